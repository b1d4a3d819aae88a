// The user of the end-to-end tests: xdotool, on another thread, finds the
// dialog's window by its title and plays keys into it.
//
// Every wait is bounded: each xdotool call runs under `timeout`, and a
// watchdog presses Escape on a dialog that is still open after the user's
// steps, and ends the process if even that does not close it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Plays the user's part on another thread while the dialog runs.
class User {
 public:
  // `steps` are xdotool commands, each run on its own: a "type" command
  // takes every word after it as text.
  User(std::string title, std::vector<std::string> steps) : m_title(std::move(title)), m_steps(std::move(steps)) {
    m_thread = std::thread([this] { Play(); });
  }
  ~User() {
    m_closed = true;
    m_thread.join();
  }
  bool FoundTheDialog() const { return m_found; }

 private:
  static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }
  void Play() {
    // The window is found by its exact title once it is shown, and the
    // chooser is given time to list its folder before it takes the focus and
    // the keys arrive.
    std::string window = "$(timeout 20 xdotool search --sync --onlyvisible --name '^" + m_title + "$' | head -1)";
    m_found = Run("w=" + window + " && test -n \"$w\" && sleep 2 && timeout 10 xdotool windowfocus --sync $w");
    for (size_t i = 0; m_found && i < m_steps.size(); ++i) {
      Run("timeout 20 xdotool " + m_steps[i]);
      std::this_thread::sleep_for(300ms);
    }
    for (int i = 0; i < 200 && !m_closed; ++i) std::this_thread::sleep_for(100ms);
    if (m_closed) return;
    std::fprintf(stderr, "the dialog is still open: pressing Escape\n");
    Run("timeout 10 xdotool key Escape");
    for (int i = 0; i < 100 && !m_closed; ++i) std::this_thread::sleep_for(100ms);
    if (!m_closed) {
      std::fprintf(stderr, "the dialog does not close: giving up\n");
      std::_Exit(1);
    }
  }
  std::string m_title;
  std::vector<std::string> m_steps;
  std::atomic<bool> m_found{false}, m_closed{false};
  std::thread m_thread;
};

}  // namespace
