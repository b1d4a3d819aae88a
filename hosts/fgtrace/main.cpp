// fgtrace: lists the processes that trace through the shared trace
// settings store, shows their modules and categories, and changes their
// levels and statuses while they run, or as soon as a process of a given
// name starts.
//
//   fgtrace list
//   fgtrace show PID
//   fgtrace set PID|--wait NAME [--level N] [--enable|--disable] [--show-category on|off] [--show-file-line on|off]
//   fgtrace module PID|--wait NAME MODULE [--level N] [--status inherit|enabled|disabled]
//   fgtrace category PID|--wait NAME MODULE NAME [--level N] [--status inherit|enabled|disabled]
//   fgtrace watch [--count N]
//
// Exit status: 0 success, 1 failure (with a message), 2 bad command line.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fgplatform/win32.h"
#include "frame/frame_exception.h"
#include "trace/trace_tool.h"

namespace {

constexpr const char* kUsage =
    "usage: fgtrace list\n"
    "       fgtrace show PID\n"
    "       fgtrace set PID|--wait NAME [--level N] [--enable|--disable] [--show-category on|off]\n"
    "                   [--show-file-line on|off]\n"
    "       fgtrace module PID|--wait NAME MODULE [--level N] [--status inherit|enabled|disabled]\n"
    "       fgtrace category PID|--wait NAME MODULE CATEGORY [--level N] [--status inherit|enabled|disabled]\n"
    "       fgtrace watch [--count N]\n"
    "Levels are 0, 1 and 2. A line of level L is written when L is at most the level that applies:\n"
    "  the category's own level when the category is enabled;\n"
    "  else, for a category that inherits, the module's level when the module is enabled;\n"
    "  else, only when both inherit, the process's level when the process is enabled.\n"
    "A disabled category or module writes nothing.\n"
    "--wait NAME waits for the next process whose program is NAME to start and applies the\n"
    "settings before its first line (for processes that end too soon to be given a PID).\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

constexpr unsigned long kMaxLevel = 2;
constexpr DWORD kPollMs = 250;  // a watch or a wait looks again at least this often

volatile sig_atomic_t g_stop = 0;

void Stop(int) { g_stop = 1; }

// Ctrl-C and a termination end a watch or a wait at its next look, through
// the normal exit, so that the event it made is removed with it.
void StopOnSignals() {
  struct sigaction action {};
  action.sa_handler = Stop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

constexpr const char* kStatusNames[] = {"inherit", "enabled", "disabled"};

int Usage(const std::string& why) {
  std::fprintf(stderr, "fgtrace: %s\n%s", why.c_str(), kUsage);
  return 2;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "fgtrace: %s\n", why.c_str());
  return 1;
}

// Names and paths come from a region other processes write: control
// characters are shown as \xNN, never sent to the terminal.
std::string Narrow(const WCHAR* text) {
  std::string out;
  char buffer[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  for (int i = 0; i + 1 < n; ++i) {
    auto c = static_cast<unsigned char>(buffer[i]);
    if (c >= 0x20 && c != 0x7F) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
    out += escaped;
  }
  return out;
}

// A decimal number of at most `max`; nothing for anything else.
std::optional<unsigned long> Number(const std::string& text, unsigned long max) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
  if (value > max) return std::nullopt;
  return value;
}

std::optional<DWORD> StatusFromName(const std::string& name) {
  for (DWORD i = 0; i < 3; ++i)
    if (name == kStatusNames[i]) return i;
  return std::nullopt;
}

const char* StatusName(DWORD status) { return status < 3 ? kStatusNames[status] : "?"; }

// The process's store with a snapshot, closed when done.
class OpenProcess {
 public:
  explicit OpenProcess(DWORD pid) : m_store(TraceOpenProcess(pid)) {
    if (m_store != nullptr) TraceSnapshotProcess(m_store);
  }
  ~OpenProcess() {
    if (m_store != nullptr) TraceCloseProcess(m_store);
  }
  OpenProcess(const OpenProcess&) = delete;
  OpenProcess& operator=(const OpenProcess&) = delete;
  TraceStoreHandle Get() const { return m_store; }

 private:
  TraceStoreHandle m_store;
};

std::string NoStore(DWORD pid) {
  return "process " + std::to_string(pid) +
         " has no trace store (it is not running, or has loaded nothing that traces)";
}

// The processes whose stores exist, from the shared-memory names.
std::vector<DWORD> StoreProcesses() {
  std::vector<DWORD> pids;
  std::string prefix = "fg." + std::to_string(getuid()) + "." + kTraceStoreName + "_";
  DIR* dir = opendir("/dev/shm");
  if (dir == nullptr) return pids;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string hex = name.substr(prefix.size());
    if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
    pids.push_back(static_cast<DWORD>(std::strtoul(hex.c_str(), nullptr, 16)));
  }
  closedir(dir);
  return pids;
}

struct Listed {
  DWORD pid;
  std::string name;
  int modules;
};

std::vector<Listed> Listing() {
  std::vector<Listed> listed;
  for (DWORD pid : StoreProcesses()) {
    OpenProcess process(pid);
    if (process.Get() == nullptr) continue;  // left by a process that is gone (and now removed)
    TraceProcessInfo info{};
    TraceGetProcessInfo(process.Get(), &info);
    listed.push_back({pid, Narrow(info.szName), info.nModules});
  }
  return listed;
}

bool SameListing(const std::vector<Listed>& a, const std::vector<Listed>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].pid != b[i].pid || a[i].name != b[i].name || a[i].modules != b[i].modules) return false;
  return true;
}

void Print(const std::vector<Listed>& listed) {
  for (const Listed& p : listed)
    std::printf("%u\t%s\t%d module(s)\n", static_cast<unsigned>(p.pid), p.name.c_str(), p.modules);
}

int List() {
  Print(Listing());
  return 0;
}

int Show(DWORD pid) {
  OpenProcess process(pid);
  if (process.Get() == nullptr) return Fail(NoStore(pid));
  TraceProcessInfo info{};
  TraceGetProcessInfo(process.Get(), &info);
  std::printf("process %u %s\n  path %s\n  level %u, %s, show category %s, show file and line %s\n",
              static_cast<unsigned>(info.dwId), Narrow(info.szName).c_str(), Narrow(info.szPath).c_str(), info.nLevel,
              info.bEnabled ? "enabled" : "disabled", info.bShowCategory ? "on" : "off",
              info.bShowFileLine ? "on" : "off");
  for (int m = 0; m < info.nModules; ++m) {
    TraceModuleInfo module{};
    TraceGetModuleInfo(process.Get(), m, &module);
    std::printf("module %s (handle %lu): level %u, %s\n  path %s\n", Narrow(module.szName).c_str(),
                static_cast<unsigned long>(module.hModule), module.nLevel, StatusName(module.eStatus),
                Narrow(module.szPath).c_str());
    for (int c = 0; c < module.nCategories; ++c) {
      TraceCategoryInfo category{};
      TraceGetCategoryInfo(process.Get(), module.hModule, c, &category);
      std::printf("  category %s (handle %lu): level %u, %s\n", Narrow(category.szName).c_str(),
                  static_cast<unsigned long>(category.hCategory), category.nLevel, StatusName(category.eStatus));
    }
  }
  return 0;
}

// The module of that name in the snapshot (without regard to case).
std::optional<TraceModuleInfo> FindModule(TraceStoreHandle store, const std::string& name) {
  TraceProcessInfo info{};
  TraceGetProcessInfo(store, &info);
  for (int m = 0; m < info.nModules; ++m) {
    TraceModuleInfo module{};
    TraceGetModuleInfo(store, m, &module);
    if (strcasecmp(Narrow(module.szName).c_str(), name.c_str()) == 0) return module;
  }
  return std::nullopt;
}

struct Changes {
  std::optional<unsigned long> level;
  std::optional<DWORD> status;
  std::optional<bool> enabled, showCategory, showFileLine;
};

int Set(DWORD pid, const Changes& c) {
  OpenProcess process(pid);
  if (process.Get() == nullptr) return Fail(NoStore(pid));
  UINT level = 0;
  bool enabled = false, showCategory = false, showFileLine = false;
  TraceGetProcess(process.Get(), &level, &enabled, &showCategory, &showFileLine);
  TraceModifyProcess(process.Get(), c.level ? static_cast<UINT>(*c.level) : level, c.enabled.value_or(enabled),
                     c.showCategory.value_or(showCategory), c.showFileLine.value_or(showFileLine));
  return 0;
}

int Module(DWORD pid, const std::string& name, const Changes& c) {
  OpenProcess process(pid);
  if (process.Get() == nullptr) return Fail(NoStore(pid));
  std::optional<TraceModuleInfo> module = FindModule(process.Get(), name);
  if (!module) return Fail("process " + std::to_string(pid) + " has no module " + name);
  TraceModifyModule(process.Get(), module->hModule, c.level ? static_cast<UINT>(*c.level) : module->nLevel,
                    c.status.value_or(module->eStatus));
  return 0;
}

int Category(DWORD pid, const std::string& moduleName, const std::string& name, const Changes& c) {
  OpenProcess process(pid);
  if (process.Get() == nullptr) return Fail(NoStore(pid));
  std::optional<TraceModuleInfo> module = FindModule(process.Get(), moduleName);
  if (!module) return Fail("process " + std::to_string(pid) + " has no module " + moduleName);
  for (int i = 0; i < module->nCategories; ++i) {
    TraceCategoryInfo category{};
    TraceGetCategoryInfo(process.Get(), module->hModule, i, &category);
    if (strcasecmp(Narrow(category.szName).c_str(), name.c_str()) != 0) continue;
    TraceModifyCategory(process.Get(), category.hCategory, c.level ? static_cast<UINT>(*c.level) : category.nLevel,
                        c.status.value_or(category.eStatus));
    return 0;
  }
  return Fail("module " + moduleName + " has no category " + name);
}

// Reprints the list whenever it changes. The event wakes one waiter at a
// time, so every watch also looks again every kPollMs: two watches at once
// both see every change that stays long enough to be listed.
int Watch(std::optional<unsigned long> count) {
  char name[64];
  TraceGetUpdateEventNameA_s(name, sizeof name);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name);
  if (event == nullptr) return Fail("cannot make the update event");
  StopOnSignals();
  std::printf("watching; the list is printed again whenever a process registers or removes a module\n");
  std::vector<Listed> shown = Listing();
  Print(shown);
  int status = 0;
  for (unsigned long seen = 0; !g_stop && (!count || seen < *count);) {
    std::fflush(stdout);
    if (WaitForSingleObject(event, kPollMs) == WAIT_FAILED) {
      status = Fail("waiting for the update event failed");
      break;
    }
    std::vector<Listed> now = Listing();
    if (SameListing(now, shown)) continue;
    std::printf("--\n");
    Print(now);
    shown = std::move(now);
    ++seen;
  }
  std::fflush(stdout);
  CloseHandle(event);
  return status;
}

// Whether the process is a run of the program `name` (its store says so).
bool Named(DWORD pid, const std::string& name) {
  OpenProcess process(pid);
  if (process.Get() == nullptr) return false;
  TraceProcessInfo info{};
  TraceGetProcessInfo(process.Get(), &info);
  return strcasecmp(Narrow(info.szName).c_str(), name.c_str()) == 0;
}

// Waits for the next process of the program `name` to start (trace_tool.h
// tells how it waits for the tool), applies the settings to it, and lets it
// go on.
int WaitFor(const std::string& name, const std::function<int(DWORD)>& apply) {
  char waiting[128];
  if (!TraceWaitingEventName(name.c_str(), waiting, sizeof waiting)) return Usage("the program name is too long");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, waiting);
  if (event == nullptr) return Fail("cannot make the event " + std::string(waiting));
  StopOnSignals();
  std::fprintf(stderr, "fgtrace: waiting for %s to start\n", name.c_str());
  int status = -1;
  while (status < 0 && !g_stop) {
    if (WaitForSingleObject(event, kPollMs) == WAIT_FAILED) {
      status = Fail("waiting for the event failed");
      break;
    }
    for (DWORD pid : StoreProcesses()) {
      char applied[64];
      HANDLE done = TraceAppliedEventName(pid, applied, sizeof applied)
                        ? OpenEventA(EVENT_MODIFY_STATE, FALSE, applied)
                        : nullptr;
      if (done == nullptr) continue;  // not starting, or not waiting for a tool
      if (Named(pid, name)) {
        status = apply(pid);
        if (status == 0) std::printf("applied to process %u\n", static_cast<unsigned>(pid));
      }
      SetEvent(done);
      CloseHandle(done);
      if (status >= 0) break;
    }
  }
  CloseHandle(event);
  return status >= 0 ? status : Fail("stopped before " + name + " started");
}

// Reads the options after the positional arguments.
std::optional<int> ParseChanges(const std::vector<std::string>& args, size_t from, Changes& c, bool process) {
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto onOff = [&](std::optional<bool>& into) -> bool {
      std::optional<std::string> v = next();
      if (!v || (*v != "on" && *v != "off")) return false;
      into = *v == "on";
      return true;
    };
    if (a == "--level") {
      std::optional<std::string> v = next();
      c.level = v ? Number(*v, kMaxLevel) : std::nullopt;
      if (!c.level) return Usage("--level is 0, 1 or 2");
    } else if (a == "--status" && !process) {
      std::optional<std::string> v = next();
      c.status = v ? StatusFromName(*v) : std::nullopt;
      if (!c.status) return Usage("--status is inherit, enabled or disabled");
    } else if (process && (a == "--enable" || a == "--disable")) {
      c.enabled = a == "--enable";
    } else if (process && a == "--show-category") {
      if (!onOff(c.showCategory)) return Usage("--show-category is on or off");
    } else if (process && a == "--show-file-line") {
      if (!onOff(c.showFileLine)) return Usage("--show-file-line is on or off");
    } else {
      return Usage("unexpected argument " + a);
    }
  }
  return std::nullopt;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("a command is needed");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "list") return args.size() == 1 ? List() : Usage("list takes no arguments");
  if (command == "watch") {
    std::optional<unsigned long> count;
    if (args.size() == 3 && args[1] == "--count") {
      count = Number(args[2], 1000000);
      if (!count) return Usage("--count needs a number");
    } else if (args.size() != 1) {
      return Usage("watch takes only --count N");
    }
    return Watch(count);
  }
  size_t positional = command == "show" || command == "set" ? 2 : command == "module" ? 3 : command == "category" ? 4 : 0;
  if (positional == 0) return Usage("unknown command " + command);
  // "--wait NAME" stands where the process id would.
  bool wait = command != "show" && args.size() > 1 && args[1] == "--wait";
  size_t first = wait ? 2 : 1;  // the process id, or the program's name
  positional += first - 1;
  if (args.size() < positional) return Usage(command + " needs more arguments");
  std::optional<unsigned long> pid = wait ? std::optional<unsigned long>(0) : Number(args[1], 0x7FFFFFFF);
  if (!pid) return Usage("a process id is a decimal number");
  if (wait && (args[first].empty() || args[first].size() > kTraceNameChars))
    return Usage("a program name holds 1 to 63 characters");
  for (size_t i = first + 1; i < positional; ++i)
    if (args[i].empty() || args[i].size() > kTraceNameChars) return Usage("names hold 1 to 63 characters");
  Changes changes;
  if (command == "show") return args.size() == 2 ? Show(static_cast<DWORD>(*pid)) : Usage("show takes a process id");
  if (auto status = ParseChanges(args, positional, changes, command == "set")) return *status;
  std::function<int(DWORD)> apply = [&](DWORD target) {
    if (command == "set") return Set(target, changes);
    if (command == "module") return Module(target, args[first + 1], changes);
    return Category(target, args[first + 1], args[first + 2], changes);
  };
  return wait ? WaitFor(args[first], apply) : apply(static_cast<DWORD>(*pid));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const CFrameException& e) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(e.m_hrCode));
    return Fail("the store changed while it was read (" + std::string(code) + ")");
  } catch (...) {
    return Fail("the store changed while it was read");
  }
}
