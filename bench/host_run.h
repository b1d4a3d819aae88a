// The benchmarks that run the hosts as a user runs them: a scratch folder
// whose registry store has the component registered, and the timed runs of
// a host's command line in it.
#pragma once

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

// The folder /tmp/NAME-PID with registry.db holding the registered
// component; empty when registration failed.
inline std::string RegisteredScratchFolder(const std::string& name) {
  std::string folder = "/tmp/" + name + "-" + std::to_string(getpid());
  std::string setup = "mkdir -p " + folder + " && FARROWGATE_REGISTRY=" + folder + "/registry.db " + FGREGSVR_PATH +
                      " /s " + FARROWGATE_MODULE_PATH;
  return std::system(setup.c_str()) == 0 ? folder : std::string();
}

// Times runs of a host: `command` (a command line run with the folder's
// store and answers file) in each iteration, after one untimed run that
// makes the host's caches, as a user's are after the first start.
inline void RunHost(benchmark::State& state, const std::string& folder, const std::string& command) {
  if (folder.empty()) return state.SkipWithError("the component could not be registered");
  std::string line = "FARROWGATE_REGISTRY=" + folder + "/registry.db FARROWGATE_DIALOG_ANSWERS=" + folder +
                     "/answers.txt " + command + " >/dev/null";
  if (std::system(line.c_str()) != 0) return state.SkipWithError("the host failed");
  for (auto _ : state) {
    if (std::system(line.c_str()) == 0) continue;
    state.SkipWithError("the host failed");
    break;
  }
}
