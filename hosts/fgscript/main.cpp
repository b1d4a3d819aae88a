// fgscript: the console script host. Runs a script file on JavaScriptCore
// with the automation bridge (ActiveXObject, VBArray, Enumerator) and the
// WScript object of the usual console script hosts.
//
//   fgscript [//nologo] [//e:jscript] FILE.js [ARGS...]
//
// Exit status: 0, the script's WScript.Quit code, 1 for an uncaught
// exception or a syntax error (printed with file, line, column,
// description and code), 2 for a bad command line or an unreadable file.
#include <jsc/jsc.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "automation_bridge.h"
#include "fgplatform/win32.h"
#include "wscript.h"

namespace {

constexpr size_t kMaxScriptBytes = 16u << 20;
constexpr unsigned kSyntaxError = 0x800A03EA;
constexpr unsigned kUncaught = 0x800A139E;

constexpr const char* kUsage =
    "usage: fgscript [//nologo] [//e:jscript] FILE.js [ARGS...]\n"
    "Runs FILE.js with ActiveXObject, VBArray, Enumerator and WScript.\n"
    "Exit status: 0, the script's WScript.Quit code, 1 for a script error, 2 for a bad command line.\n";

struct Options {
  bool logo = true;
  std::string file;
  std::vector<std::string> args;
};

bool Parse(int argc, char** argv, Options& o) {
  int i = 1;
  for (; i < argc && std::string(argv[i]).rfind("//", 0) == 0; ++i) {
    std::string option = argv[i];
    for (char& c : option) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (option == "//nologo") {
      o.logo = false;
    } else if (option != "//e:jscript" && option != "//e:javascript") {
      std::fprintf(stderr, "fgscript: unknown option %s\n", argv[i]);
      return false;
    }
  }
  if (i >= argc) return false;
  o.file = argv[i];
  o.args.assign(argv + i + 1, argv + argc);
  return true;
}

std::string FullPath(const std::string& file) {
  char resolved[PATH_MAX];
  return realpath(file.c_str(), resolved) != nullptr ? std::string(resolved) : file;
}

// As script hosts print an error: where, what, and the code.
void Report(JSCContext* context, const std::string& file, JSCException* exception, bool syntax) {
  unsigned code = syntax ? kSyntaxError : fgbridge::CodeOf(context, exception, kUncaught);
  std::fprintf(stderr, "%s(%u, %u) %s: %s (0x%08X)\n", file.c_str(), jsc_exception_get_line_number(exception),
               jsc_exception_get_column_number(exception),
               syntax ? "Script compilation error" : "Script runtime error", jsc_exception_get_message(exception),
               code);
}

int Run(const Options& o) {
  std::ifstream in(o.file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "fgscript: cannot read %s\n", o.file.c_str());
    return 2;
  }
  std::string code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (code.size() > kMaxScriptBytes) {
    std::fprintf(stderr, "fgscript: %s is larger than %zu bytes\n", o.file.c_str(), kMaxScriptBytes);
    return 2;
  }
  std::string fullPath = FullPath(o.file);
  JSCContext* context = jsc_context_new();
  fgbridge::Install(context);
  fgscript::WScriptState state;
  fgscript::InstallWScript(context, fullPath, o.args, state);

  JSCException* syntax = nullptr;
  int status = 0;
  if (jsc_context_check_syntax(context, code.data(), static_cast<gssize>(code.size()), JSC_CHECK_SYNTAX_MODE_SCRIPT,
                               o.file.c_str(), 1, &syntax) != JSC_CHECK_SYNTAX_RESULT_SUCCESS) {
    Report(context, o.file, syntax, /*syntax=*/true);
    g_object_unref(syntax);
    status = 1;
  } else {
    JSCValue* result = jsc_context_evaluate_with_source_uri(context, code.data(), static_cast<gssize>(code.size()),
                                                            o.file.c_str(), 1);
    if (result != nullptr) g_object_unref(result);
    JSCException* exception = jsc_context_get_exception(context);
    if (state.quit) {
      status = state.quitCode;
    } else if (exception != nullptr) {
      Report(context, o.file, exception, /*syntax=*/false);
      status = 1;
    }
  }
  std::fflush(stdout);
  // Every object the script still holds is released before the runtime
  // ends, so that the component can be unloaded.
  fgbridge::ReleaseAll();
  fgbridge::Uninstall(context);
  g_object_unref(context);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (o.logo) std::printf("Farrowgate Script Host 1.0\n\n");
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "fgscript: the component runtime could not be started\n");
    return 2;
  }
  int status = Run(o);
  CoFreeUnusedLibraries();
  CoUninitialize();
  return status;
}
