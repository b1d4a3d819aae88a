// A module for the loader tests. What happens to it is written into the
// process environment, which the test reads: FG_TESTMODULE_EVENTS collects
// "attach," and "detach,", FG_TESTMODULE_STATIC is "constructed" or
// "destroyed". FG_TESTMODULE_REFUSE=1 makes the attach answer FALSE.
#include <cstdlib>
#include <string>

#include "fgplatform/win32.h"

namespace {

void Note(const char* what) {
  const char* old = std::getenv("FG_TESTMODULE_EVENTS");
  std::string events = old != nullptr ? old : "";
  setenv("FG_TESTMODULE_EVENTS", (events + what).c_str(), 1);
}

struct StaticProbe {
  StaticProbe() { setenv("FG_TESTMODULE_STATIC", "constructed", 1); }
  ~StaticProbe() { setenv("FG_TESTMODULE_STATIC", "destroyed", 1); }
} g_probe;

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    Note("attach,");
    const char* refuse = std::getenv("FG_TESTMODULE_REFUSE");
    return refuse == nullptr || std::string(refuse) != "1";
  }
  if (reason == DLL_PROCESS_DETACH) Note("detach,");
  return TRUE;
}

extern "C" __attribute__((visibility("default"))) int TestModuleAnswer() { return 42; }
