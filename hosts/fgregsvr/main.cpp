// fgregsvr: registers a component library, or with /u unregisters it, by
// loading it and calling its DllRegisterServer or DllUnregisterServer.
//
//   fgregsvr [/u] [/s] MODULE
//
// /s: silent, no messages. Exit status: 0 success, 1 bad command line,
// 2 the component runtime cannot start, 3 the module cannot be loaded,
// 4 the module has no such entry point, 5 the entry point failed.
#include <cstdio>
#include <string>

#include "fgplatform/win32.h"

namespace {

enum Exit { kSuccess = 0, kBadArguments = 1, kRuntimeFailed = 2, kLoadFailed = 3, kNoEntry = 4, kEntryFailed = 5 };

constexpr const char* kUsage =
    "usage: fgregsvr [/u] [/s] MODULE\n"
    "  /u  unregister the module (call DllUnregisterServer)\n"
    "  /s  silent: print no message\n"
    "Exit status: 0 success, 1 bad command line, 2 the component runtime cannot start,\n"
    "3 the module cannot be loaded, 4 it has no such entry point, 5 the entry point failed.\n";

struct Options {
  bool unregister = false;
  bool silent = false;
  std::string module;
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

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "/u" || a == "/U" || a == "-u") {
      o.unregister = true;
    } else if (a == "/s" || a == "/S" || a == "-s") {
      o.silent = true;
    } else if (a.empty() || a == "--help" || (a.size() == 2 && (a[0] == '/' || a[0] == '-'))) {
      // Switches are one letter; an absolute path starts with "/" too.
      if (a == "/?" || a == "--help" || a == "-h") return false;
      std::fprintf(stderr, "fgregsvr: unknown switch %s\n", a.c_str());
      return false;
    } else if (!o.module.empty()) {
      std::fprintf(stderr, "fgregsvr: one module at a time\n");
      return false;
    } else {
      o.module = a;
    }
  }
  return !o.module.empty();
}

std::u16string Widen(const std::string& s) {
  std::u16string out(s.size() + 1, u'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return kBadArguments;
  }
  const char* entryName = o.unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto say = [&](FILE* to, const char* format, auto... args) {
    if (!o.silent) std::fprintf(to, format, args...);
  };
  if (FAILED(CoInitialize(nullptr))) {
    say(stderr, "fgregsvr: the component runtime could not be started\n");
    return kRuntimeFailed;
  }
  int status = kSuccess;
  HMODULE module = LoadLibraryW(Widen(o.module).c_str());
  if (module == nullptr) {
    DWORD error = GetLastError();
    say(stderr, "LoadLibrary(\"%s\") failed - %s (error %u).\n", o.module.c_str(), LoadFailure(error),
        static_cast<unsigned>(error));
    status = kLoadFailed;
  } else {
    typedef HRESULT(STDAPICALLTYPE * EntryFunc)();
    auto entry = reinterpret_cast<EntryFunc>(reinterpret_cast<void*>(GetProcAddress(module, entryName)));
    if (entry == nullptr) {
      say(stderr, "%s was loaded, but the %s entry point was not found.\n\n"
                  "Make sure that \"%s\" is a valid component library and then try again.\n",
          o.module.c_str(), entryName, o.module.c_str());
      status = kNoEntry;
    } else if (HRESULT hr = entry(); FAILED(hr)) {
      say(stderr, "%s in %s failed.\nReturn code was: 0x%08x\n", entryName, o.module.c_str(), static_cast<unsigned>(hr));
      status = kEntryFailed;
    } else {
      say(stdout, "%s in %s succeeded.\n", entryName, o.module.c_str());
    }
    FreeLibrary(module);
  }
  CoUninitialize();
  return status;
}
