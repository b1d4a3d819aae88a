// Where debugger output and debug reports go: discarded, unless
// FARROWGATE_DEBUG_OUTPUT names "stderr" or a file (appended to); while a
// test captures, kept in memory instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fgp {

struct CapturedReport {
  int type;
  std::string file;
  int line;
  std::string module;
  std::string text;
};

void DebugSinkWrite(std::string_view utf8);
void DebugSinkReport(int type, const char* file, int line, const char* module, std::string_view text);


// Capture for the test controls: while on, output and reports are kept in
// memory instead of going to the sink.
void CaptureDebugSink(bool on);
std::string TakeCapturedOutput();
std::vector<CapturedReport> TakeCapturedReports();
// Capture off and everything captured dropped.
void ResetDebugSink();

}  // namespace fgp
