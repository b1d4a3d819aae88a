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
#include <string>
#include <vector>

#include "automation_bridge.h"
#include "fgplatform/win32.h"
#include "script_errors.h"
#include "script_file.h"
#include "wscript.h"

namespace {

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

void ReportError(const std::string& file, const fgscript::ScriptError& error) {
  std::fprintf(stderr, "%s\n", fgscript::FormatError(file, error).c_str());
}

// The end of every run, normal or by WScript.Quit: every object the script
// still holds is released and the component runtime shut down, so that the
// component is unloaded and its own clean-up runs.
void ReleaseEverything() {
  std::fflush(nullptr);
  fgbridge::ReleaseAll();
  CoFreeUnusedLibraries();
  CoUninitialize();
}

// WScript.Quit: the process ends from inside the call, so nothing more of
// the script runs.
[[noreturn]] void EndByQuit(int code) {
  ReleaseEverything();
  std::exit(code);
}

int Run(const Options& o) {
  std::string code, error;
  if (!fgscript::ReadScriptFile(o.file, code, error)) {
    std::fprintf(stderr, "fgscript: %s %s\n", o.file.c_str(), error.c_str());
    return 2;
  }
  std::string fullPath = FullPath(o.file);
  JSCContext* context = jsc_context_new();
  fgbridge::Install(context);
  fgscript::WScriptState state;
  state.end = EndByQuit;
  fgscript::InstallWScript(context, fullPath, o.args, state);

  JSCException* syntax = nullptr;
  int status = 0;
  if (jsc_context_check_syntax(context, code.data(), static_cast<gssize>(code.size()), JSC_CHECK_SYNTAX_MODE_SCRIPT,
                               o.file.c_str(), 1, &syntax) != JSC_CHECK_SYNTAX_RESULT_SUCCESS) {
    ReportError(o.file, fgscript::DescribeSyntaxError(context, code, syntax));
    g_object_unref(syntax);
    status = 1;
  } else {
    JSCValue* result = jsc_context_evaluate_with_source_uri(context, code.data(), static_cast<gssize>(code.size()),
                                                            o.file.c_str(), 1);
    if (result != nullptr) g_object_unref(result);
    JSCException* exception = jsc_context_get_exception(context);
    if (exception != nullptr) {
      g_object_ref(exception);
      jsc_context_clear_exception(context);
      ReportError(o.file, fgscript::DescribeUncaught(context, exception));
      g_object_unref(exception);
      status = 1;
    }
  }
  std::fflush(stdout);
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
  ReleaseEverything();
  return status;
}
