// fgscript: the console script host. Runs a script file on JavaScriptCore
// with the automation bridge (ActiveXObject, VBArray, Enumerator) and the
// WScript object of the usual console script hosts.
//
//   fgscript [//B|//I] [//logo|//nologo] [//T:nn] [//e:jscript] [//?] FILE.js [ARGS...]
//
// Host options come before the file, in any case; everything after the
// file is the script's. //B is batch mode (no logo, WScript.Interactive
// false); //T:nn ends a script that runs longer than nn seconds (1 to
// 32767) with the usual message and status 1; //? prints the usage.
// Exit status: 0, the script's WScript.Quit code, 1 for an uncaught
// exception, a syntax error (printed with file, line, column, description
// and code) or a timeout, 2 for a bad command line or an unreadable file.
#include <jsc/jsc.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "automation_bridge.h"
#include "fgplatform/win32.h"
#include "script_errors.h"
#include "script_file.h"
#include "wscript.h"

namespace {

constexpr const char* kUsage =
    "usage: fgscript [//B|//I] [//logo|//nologo] [//T:nn] [//e:jscript] [//?] FILE.js [ARGS...]\n"
    "Runs FILE.js with ActiveXObject, VBArray, Enumerator and WScript.\n"
    "  //B        batch mode: no logo, WScript.Interactive is false\n"
    "  //I        interactive mode (the default)\n"
    "  //logo     print the logo first (the default); //nologo: do not\n"
    "  //T:nn     end the script after nn seconds (1 to 32767)\n"
    "  //e:jscript  the script language (the only one)\n"
    "  //?        print this help\n"
    "Host options come before FILE.js; what follows it is the script's.\n"
    "Exit status: 0, the script's WScript.Quit code, 1 for a script error or a timeout,\n"
    "2 for a bad command line.\n";

constexpr int kMaxTimeout = 32767;

struct Options {
  bool logo = true;
  bool interactive = true;
  bool help = false;
  int timeout = 0;
  std::string file;
  std::vector<std::string> args;
};

bool ParseTimeout(const std::string& text, int& out) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::atoi(text.c_str());
  return out >= 1 && out <= kMaxTimeout;
}

bool Parse(int argc, char** argv, Options& o) {
  int i = 1;
  for (; i < argc && std::string(argv[i]).rfind("//", 0) == 0; ++i) {
    std::string option = argv[i];
    for (char& c : option) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (option == "//nologo") {
      o.logo = false;
    } else if (option == "//logo") {
      o.logo = true;
    } else if (option == "//b") {
      o.interactive = false;
      o.logo = false;
    } else if (option == "//i") {
      o.interactive = true;
    } else if (option == "//?") {
      o.help = true;
      return true;
    } else if (option.rfind("//t:", 0) == 0) {
      if (!ParseTimeout(option.substr(4), o.timeout)) {
        std::fprintf(stderr, "fgscript: //T needs a number of seconds from 1 to %d\n", kMaxTimeout);
        return false;
      }
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

// The time limit: a watchdog thread ends the process when the deadline
// passes (the engine cannot be interrupted from another thread), with the
// usual hosts' message. WScript.Timeout moves the deadline.
std::atomic<int64_t> g_deadlineMs{0};  // steady-clock milliseconds; 0 for none
std::string g_scriptPath;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Watch() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int64_t deadline = g_deadlineMs.load();
    if (deadline == 0 || NowMs() < deadline) continue;
    std::fprintf(stderr, "Script execution time was exceeded on script \"%s\".\nScript execution was terminated.\n",
                 g_scriptPath.c_str());
    std::fflush(nullptr);
    _exit(1);
  }
}

void SetTimeout(int seconds) {
  static std::once_flag started;
  g_deadlineMs = seconds > 0 ? NowMs() + int64_t{seconds} * 1000 : 0;
  if (seconds > 0) std::call_once(started, [] { std::thread(Watch).detach(); });
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
  state.timeout = SetTimeout;
  state.interactive = o.interactive;
  state.timeoutSeconds = o.timeout;
  g_scriptPath = fullPath;
  SetTimeout(o.timeout);
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
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
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
