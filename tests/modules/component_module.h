// The built component module, loaded by its path as a host loads it, and
// its exported entry points.
#pragma once

#include <string>

#include "fgplatform/win32.h"

namespace fgtest {

inline std::u16string ComponentModulePath() {
  std::string path = FARROWGATE_MODULE_PATH;
  return std::u16string(path.begin(), path.end());
}

inline HMODULE LoadComponentModule() { return LoadLibraryW(ComponentModulePath().c_str()); }

// The export `name` of a module as a function of type F; null when missing.
template <class F>
F ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace fgtest
