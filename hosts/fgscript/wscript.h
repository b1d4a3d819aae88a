// The WScript object of the console script host: Echo, Arguments, Quit,
// ScriptName, ScriptFullName, Sleep, StdOut and StdErr.
#pragma once

#include <jsc/jsc.h>

#include <string>
#include <vector>

namespace fgscript {

struct WScriptState {
  bool quit = false;
  int quitCode = 0;
};

void InstallWScript(JSCContext* context, const std::string& fullPath, const std::vector<std::string>& args,
                    WScriptState& state);

}  // namespace fgscript
