// The WScript object of the console script host: Echo, Arguments (with
// Named and Unnamed), Quit, ScriptName, ScriptFullName, Sleep, StdIn,
// StdOut and StdErr (Write, WriteLine, WriteBlankLines), CreateObject
// (as new ActiveXObject) and GetObject (refused: no running objects here),
// Interactive, Timeout (seconds; setting it restarts the count), Name,
// Version, BuildVersion, FullName and Path (the host program's).
#pragma once

#include <jsc/jsc.h>

#include <string>
#include <vector>

namespace fgscript {

// WScript.Quit([code]) ends the script at once: the host's `end` runs
// from inside the call and does not return, so no catch, finally or
// callback of the script runs after it. The code is converted as an
// automation call converts an argument to a 32-bit integer (VariantChangeType
// to VT_I4): a missing code or undefined is 0, numbers are rounded half to
// even, booleans are -1 and 0, numeric strings are read as numbers. A code
// that does not convert (a string that is no number, a number outside the
// 32-bit range, an object) makes Quit throw the conversion's error (Type
// mismatch 0x80020005, Overflow 0x8002000A) and the script goes on. The
// exit status is the code's low 8 bits, as the system keeps them.
struct WScriptState {
  void (*end)(int code) = nullptr;
  // Sets the time the script may still run, in seconds; 0 for no limit.
  void (*timeout)(int seconds) = nullptr;
  bool interactive = true;
  int timeoutSeconds = 0;
};

void InstallWScript(JSCContext* context, const std::string& fullPath, const std::vector<std::string>& args,
                    WScriptState& state);

}  // namespace fgscript
