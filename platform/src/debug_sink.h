// Where debugger output and debug reports go: discarded, unless
// FARROWGATE_DEBUG_OUTPUT names "stderr" or a file (appended to); while a
// test captures, kept in memory instead.
#pragma once

#include <string_view>

namespace fgp {

void DebugSinkWrite(std::string_view utf8);
void DebugSinkReport(int type, const char* file, int line, const char* module, std::string_view text);

}  // namespace fgp
