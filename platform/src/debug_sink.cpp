#include "debug_sink.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "live_counts.h"

namespace {

std::mutex g_lock;
bool g_capturing = false;
std::string g_captured;
std::vector<fgp::CapturedReport> g_reports;

void WriteToConfiguredSink(std::string_view text) {
  const char* target = std::getenv("FARROWGATE_DEBUG_OUTPUT");
  if (target == nullptr || *target == '\0') return;
  if (std::strcmp(target, "stderr") == 0) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return;
  }
  FILE* f = std::fopen(target, "ab");
  if (f == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

}  // namespace

namespace fgp {

LiveCounters& Live() {
  static LiveCounters* counters = new LiveCounters;  // never destroyed: used until the very end
  return *counters;
}

void DebugSinkWrite(std::string_view utf8) {
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_capturing) {
    g_captured.append(utf8);
    return;
  }
  WriteToConfiguredSink(utf8);
}

void DebugSinkReport(int type, const char* file, int line, const char* module, std::string_view text) {
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_capturing) {
    g_reports.push_back({type, file ? file : "", line, module ? module : "", std::string(text)});
    return;
  }
  std::string out;
  if (type != 0 && file != nullptr) out = std::string(file) + "(" + std::to_string(line) + ") : ";
  out.append(text);
  if (type != 0 && (out.empty() || out.back() != '\n')) out.push_back('\n');
  WriteToConfiguredSink(out);
}

void CaptureDebugSink(bool on) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_capturing = on;
}

std::string TakeCapturedOutput() {
  std::lock_guard<std::mutex> guard(g_lock);
  std::string out;
  out.swap(g_captured);
  return out;
}

std::vector<CapturedReport> TakeCapturedReports() {
  std::lock_guard<std::mutex> guard(g_lock);
  std::vector<CapturedReport> out;
  out.swap(g_reports);
  return out;
}

void ResetDebugSink() {
  std::lock_guard<std::mutex> guard(g_lock);
  g_capturing = false;
  g_captured.clear();
  g_reports.clear();
}

}  // namespace fgp

