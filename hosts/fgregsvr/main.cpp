// fgregsvr: registers component libraries, or with /u unregisters them, by
// loading each and calling its DllRegisterServer or DllUnregisterServer.
//
//   fgregsvr [/u] [/s] [/n] [/i[:CMDLINE]] MODULE...
//
// /s: silent, no messages. /i: also call DllInstall (after registering, or
// before unregistering with /u), with CMDLINE; /n: call no
// DllRegisterServer or DllUnregisterServer, only DllInstall (needs /i). A
// bare module name that names a file in the current folder is that file.
// Each entry point runs as one registry batch: all it wrote, or nothing.
// Every module is tried and reported; the exit status is the first
// failure's: 0 success, 1 bad command line, 2 the component runtime cannot
// start, 3 a module cannot be loaded, 4 a module has no such entry point,
// 5 an entry point failed.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fgplatform/win32.h"

namespace {

enum Exit { kSuccess = 0, kBadArguments = 1, kRuntimeFailed = 2, kLoadFailed = 3, kNoEntry = 4, kEntryFailed = 5 };

constexpr const char* kUsage =
    "usage: fgregsvr [/u] [/s] [/n] [/i[:CMDLINE]] MODULE...\n"
    "  /u  unregister the modules (call DllUnregisterServer)\n"
    "  /s  silent: print no message\n"
    "  /i  also call DllInstall, with CMDLINE when given (after registering; before unregistering with /u)\n"
    "  /n  call neither DllRegisterServer nor DllUnregisterServer (only with /i)\n"
    "Each module is tried and reported. Exit status: the first failure's, 0 for none:\n"
    "1 bad command line, 2 the component runtime cannot start, 3 a module cannot be loaded,\n"
    "4 a module has no such entry point, 5 an entry point failed.\n";

struct Options {
  bool unregister = false;
  bool silent = false;
  bool install = false;
  bool noRegister = false;
  std::string installLine;
  std::vector<std::string> modules;
};

const char* LoadFailure(DWORD error) {
  switch (error) {
    case ERROR_MOD_NOT_FOUND: return "The specified module could not be found";
    case ERROR_BAD_EXE_FORMAT: return "The file is not a valid module";
    case ERROR_PROC_NOT_FOUND: return "A procedure the module needs could not be found";
    case ERROR_DLL_INIT_FAILED: return "The module's initialization routine failed";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory";
    default: return "The module could not be loaded";
  }
}

bool IsSwitch(const std::string& a, char letter) {
  return a.size() >= 2 && (a[0] == '/' || a[0] == '-') && (a[1] == letter || a[1] == letter - 'a' + 'A');
}

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.size() == 2 && IsSwitch(a, 'u')) {
      o.unregister = true;
    } else if (a.size() == 2 && IsSwitch(a, 's')) {
      o.silent = true;
    } else if (a.size() == 2 && IsSwitch(a, 'n')) {
      o.noRegister = true;
    } else if (IsSwitch(a, 'i') && (a.size() == 2 || a[2] == ':')) {
      o.install = true;
      o.installLine = a.size() > 3 ? a.substr(3) : "";
    } else if (a.empty() || a == "--help" || (a.size() == 2 && (a[0] == '/' || a[0] == '-'))) {
      // Switches are one letter; an absolute path starts with "/" too.
      if (a == "/?" || a == "--help" || a == "-h") return false;
      std::fprintf(stderr, "fgregsvr: unknown switch %s\n", a.c_str());
      return false;
    } else {
      o.modules.push_back(a);
    }
  }
  if (o.noRegister && !o.install) {
    std::fprintf(stderr, "fgregsvr: /n needs /i\n");
    return false;
  }
  return !o.modules.empty();
}

// The path to load: a bare name that names a file here is that file (by its
// full path, which is what registration writes); anything else as given, for
// the loader's own search.
std::string PathToLoad(const std::string& module) {
  if (module.find('/') != std::string::npos || access(module.c_str(), F_OK) != 0) return module;
  char* full = realpath(module.c_str(), nullptr);
  if (full == nullptr) return module;
  std::string path = full;
  free(full);
  return path;
}

std::u16string Widen(const std::string& s) {
  std::u16string out(s.size() + 1, u'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace

// Runs an entry point as one registry batch: its changes are kept whole
// when it succeeds and not at all when it fails, and no other process sees
// them half made. A commit that fails is the entry's failure. A store that
// cannot begin a batch is left to the entry point, which then meets its
// error itself.
template <class Entry>
HRESULT AllOrNothing(Entry entry) {
  bool batched = FgRegistryBeginBatch(TRUE) == ERROR_SUCCESS;
  HRESULT hr = entry();
  if (!batched) return hr;
  LSTATUS kept = FgRegistryEndBatch(SUCCEEDED(hr) ? TRUE : FALSE);
  return SUCCEEDED(hr) && kept != ERROR_SUCCESS ? HRESULT_FROM_WIN32(kept) : hr;
}

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return kBadArguments;
  }
  auto say = [&](FILE* to, const char* format, auto... args) {
    if (!o.silent) std::fprintf(to, format, args...);
  };
  if (FAILED(CoInitialize(nullptr))) {
    say(stderr, "fgregsvr: the component runtime could not be started\n");
    return kRuntimeFailed;
  }
  typedef HRESULT(STDAPICALLTYPE * EntryFunc)();
  typedef HRESULT(STDAPICALLTYPE * InstallFunc)(BOOL, LPCWSTR);
  std::u16string installLine = Widen(o.installLine);
  int status = kSuccess;
  auto failed = [&](int code) {
    if (status == kSuccess) status = code;
  };
  for (const std::string& name : o.modules) {
    HMODULE module = LoadLibraryW(Widen(PathToLoad(name)).c_str());
    if (module == nullptr) {
      DWORD error = GetLastError();
      say(stderr, "LoadLibrary(\"%s\") failed - %s (error %u).\n", name.c_str(), LoadFailure(error),
          static_cast<unsigned>(error));
      failed(kLoadFailed);
      continue;
    }
    auto find = [&](const char* entryName) -> void* {
      void* entry = reinterpret_cast<void*>(GetProcAddress(module, entryName));
      if (entry == nullptr) {
        say(stderr, "%s was loaded, but the %s entry point was not found.\n\n"
                    "Make sure that \"%s\" is a valid component library and then try again.\n",
            name.c_str(), entryName, name.c_str());
        failed(kNoEntry);
      }
      return entry;
    };
    auto report = [&](const char* entryName, HRESULT hr) {
      if (FAILED(hr)) {
        say(stderr, "%s in %s failed.\nReturn code was: 0x%08x\n", entryName, name.c_str(), static_cast<unsigned>(hr));
        failed(kEntryFailed);
        return false;
      }
      say(stdout, "%s in %s succeeded.\n", entryName, name.c_str());
      return true;
    };
    auto install = [&]() {
      auto entry = reinterpret_cast<InstallFunc>(find("DllInstall"));
      return entry != nullptr &&
             report("DllInstall", AllOrNothing([&] { return entry(o.unregister ? FALSE : TRUE, installLine.c_str()); }));
    };
    auto registration = [&]() {
      const char* entryName = o.unregister ? "DllUnregisterServer" : "DllRegisterServer";
      auto entry = reinterpret_cast<EntryFunc>(find(entryName));
      return entry != nullptr && report(entryName, AllOrNothing(entry));
    };
    // Installing follows registering; uninstalling comes before unregistering.
    if (o.unregister) {
      if (!o.install || install()) {
        if (!o.noRegister) (void)registration();
      }
    } else if (o.noRegister || registration()) {
      if (o.install) (void)install();
    }
    FreeLibrary(module);
  }
  CoUninitialize();
  return status;
}
