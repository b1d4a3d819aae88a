// fgtrace: lists the processes that trace through the shared trace
// settings store, shows their modules and categories, and changes their
// levels and statuses while they run.
//
//   fgtrace list
//   fgtrace show PID
//   fgtrace set PID [--level N] [--enable|--disable] [--show-category on|off] [--show-file-line on|off]
//   fgtrace module PID NAME [--level N] [--status inherit|enabled|disabled]
//   fgtrace category PID MODULE NAME [--level N] [--status inherit|enabled|disabled]
//   fgtrace watch [--count N]
//
// Exit status: 0 success, 1 failure (with a message), 2 bad command line.
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    "       fgtrace set PID [--level N] [--enable|--disable] [--show-category on|off] [--show-file-line on|off]\n"
    "       fgtrace module PID NAME [--level N] [--status inherit|enabled|disabled]\n"
    "       fgtrace category PID MODULE NAME [--level N] [--status inherit|enabled|disabled]\n"
    "       fgtrace watch [--count N]\n"
    "A line of level L is written when L <= the level that applies: an enabled category's own,\n"
    "else an enabled module's (for inheriting categories), else the process's when it is enabled.\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

constexpr const char* kStatusNames[] = {"inherit", "enabled", "disabled"};

int Usage(const std::string& why) {
  std::fprintf(stderr, "fgtrace: %s\n%s", why.c_str(), kUsage);
  return 2;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "fgtrace: %s\n", why.c_str());
  return 1;
}

std::string Narrow(const WCHAR* text) {
  std::string out;
  char buffer[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  if (n > 0) out.assign(buffer, static_cast<size_t>(n - 1));
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

int List() {
  for (DWORD pid : StoreProcesses()) {
    OpenProcess process(pid);
    if (process.Get() == nullptr) continue;  // left by a process that is gone
    TraceProcessInfo info{};
    TraceGetProcessInfo(process.Get(), &info);
    std::printf("%u\t%s\t%d module(s)\n", static_cast<unsigned>(pid), Narrow(info.szName).c_str(), info.nModules);
  }
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

int Watch(std::optional<unsigned long> count) {
  char name[64];
  TraceGetUpdateEventNameA_s(name, sizeof name);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name);
  if (event == nullptr) return Fail("cannot make the update event");
  std::printf("watching; the list is printed again whenever a process registers or removes a module\n");
  int status = List();
  for (unsigned long seen = 0; status == 0 && (!count || seen < *count); ++seen) {
    std::fflush(stdout);
    if (WaitForSingleObject(event, INFINITE) != WAIT_OBJECT_0) {
      status = Fail("waiting for the update event failed");
      break;
    }
    std::printf("--\n");
    status = List();
  }
  std::fflush(stdout);
  CloseHandle(event);
  return status;
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
      c.level = v ? Number(*v, 0xFFFFFFFFul) : std::nullopt;
      if (!c.level) return Usage("--level needs a number");
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
  if (args.size() < positional) return Usage(command + " needs more arguments");
  std::optional<unsigned long> pid = Number(args[1], 0x7FFFFFFF);
  if (!pid) return Usage("a process id is a decimal number");
  for (size_t i = 2; i < positional; ++i)
    if (args[i].empty() || args[i].size() > kTraceNameChars) return Usage("names hold 1 to 63 characters");
  Changes changes;
  if (command == "show") return args.size() == 2 ? Show(static_cast<DWORD>(*pid)) : Usage("show takes a process id");
  if (auto status = ParseChanges(args, positional, changes, command == "set")) return *status;
  if (command == "set") return Set(static_cast<DWORD>(*pid), changes);
  if (command == "module") return Module(static_cast<DWORD>(*pid), args[2], changes);
  return Category(static_cast<DWORD>(*pid), args[2], args[3], changes);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const CFrameException& e) {
    return Fail("the store changed while it was read (0x" + std::to_string(static_cast<unsigned>(e.m_hrCode)) + ")");
  } catch (...) {
    return Fail("the store changed while it was read");
  }
}
