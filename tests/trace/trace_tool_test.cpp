// The settings tool changing a running host's trace settings from another
// process, and a hostile writer scribbling over a host's store.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fgplatform/test_process.h"
#include "trace/trace_tool.h"

namespace {

// A program running in the background, its output (standard output and
// error together) read line by line.
class Child {
 public:
  // `command` is run through exec, so the shell's pid is the program's.
  explicit Child(const std::string& command) {
    m_out = popen(("echo $$; exec " + command + " 2>&1").c_str(), "r");
    m_pid = static_cast<pid_t>(std::atol(ReadLine().c_str()));
  }
  ~Child() {
    if (m_out != nullptr) pclose(m_out);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  DWORD Pid() const { return static_cast<DWORD>(m_pid); }
  std::string ReadLine() {
    char line[256];
    return m_out != nullptr && std::fgets(line, sizeof line, m_out) != nullptr ? line : "";
  }
  // Reads until a line starts with `text`; the lines read go to `output`.
  bool ReadUntil(const std::string& text, std::string& output) {
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
      output += line;
      if (line.rfind(text, 0) == 0) return true;
    }
    return false;
  }
  // The rest of its output, and its exit status (-1 for a signal).
  int Finish(std::string& output) {
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) output += line;
    int status = pclose(m_out);
    m_out = nullptr;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Stops it as Ctrl-C would; answers its exit status.
  int Interrupt() {
    kill(m_pid, SIGINT);
    std::string rest;
    return Finish(rest);
  }

 private:
  FILE* m_out = nullptr;
  pid_t m_pid = 0;
};

// A running trace_host, past the line with its pid.
class Host : public Child {
 public:
  explicit Host(const std::string& args) : Child(std::string(TRACE_HOST_PATH) + " " + args) { (void)ReadLine(); }
};

// fgtrace in the background (ended after a minute whatever happens).
class Background : public Child {
 public:
  explicit Background(const std::string& args) : Child("timeout 60 " + std::string(FGTRACE_PATH) + " " + args) {}
};

int Tool(const std::string& args, std::string* output = nullptr) {
  return fgtest::RunCommand(std::string(FGTRACE_PATH) + " " + args, output);
}

// The file that holds a process's trace store (platform/src/shared_objects.h).
std::string StoreFileOf(DWORD pid) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(pid));
  return "/dev/shm/fg." + std::to_string(getuid()) + "." + kTraceStoreName + "_" + hex;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// A host killed where nothing of it can clean up: its pid.
DWORD KilledHost() {
  Host host("run 1000");
  kill(static_cast<pid_t>(host.Pid()), SIGKILL);
  std::string rest;
  host.Finish(rest);
  return host.Pid();
}

TEST(TraceTool, AHostFollowsACategoryChangedFromAnotherProcess) {
  Host host("wait");
  ASSERT_NE(host.Pid(), 0u);
  std::string pid = std::to_string(host.Pid());
  std::string out;
  ASSERT_EQ(Tool("show " + pid, &out), 0) << out;
  EXPECT_NE(out.find("module trace_host (handle 1): level 0, inherit"), std::string::npos) << out;
  EXPECT_NE(out.find("category traceCOM (handle 2): level 0, inherit"), std::string::npos) << out;
  ASSERT_EQ(Tool("list", &out), 0);
  EXPECT_NE(out.find(pid + "\ttrace_host\t1 module(s)"), std::string::npos) << out;

  ASSERT_EQ(Tool("category " + pid + " trace_host traceCOM --level 1 --status enabled", &out), 0) << out;
  std::string hostOutput;
  EXPECT_EQ(host.Finish(hostOutput), 0) << "the host's next line follows the new setting";
  EXPECT_EQ(hostOutput.substr(0, 10), "got: tick ");
}

TEST(TraceTool, AForkedChildLeavesItsParentsStoreWhole) {
  Host host("fork 50");
  ASSERT_NE(host.Pid(), 0u);
  ASSERT_EQ(host.ReadLine(), "forked\n");
  std::string out;
  ASSERT_EQ(Tool("show " + std::to_string(host.Pid()), &out), 0) << out;
  EXPECT_NE(out.find("module trace_host (handle 1): level 0, inherit"), std::string::npos) << out;
  EXPECT_NE(out.find("category traceCOM (handle 2)"), std::string::npos) << out;
  std::string rest;
  EXPECT_EQ(host.Finish(rest), 0);
}

TEST(TraceTool, AKilledHostsStoreIsRemovedByTheNextListingOrHost) {
  DWORD listed = KilledHost();
  ASSERT_TRUE(Exists(StoreFileOf(listed))) << "nothing of the killed host ran to remove it";
  std::string out;
  ASSERT_EQ(Tool("list", &out), 0) << out;
  EXPECT_EQ(out.find(std::to_string(listed) + "\t"), std::string::npos) << out;
  EXPECT_FALSE(Exists(StoreFileOf(listed))) << "the listing removed it";

  DWORD swept = KilledHost();
  ASSERT_TRUE(Exists(StoreFileOf(swept)));
  Host next("run 1");
  std::string rest;
  EXPECT_EQ(next.Finish(rest), 0);
  EXPECT_FALSE(Exists(StoreFileOf(swept))) << "the next host to make its store removed it";
}

// The name the host will use is taken before it starts (the shell's pid is
// the host's after exec): by another user when the suite can act as one,
// else by a file of this user that others may write.
TEST(TraceTool, AHostWhoseStoreNameIsTakenSaysSoAndTracesNothing) {
  bool asOther = geteuid() == 0 && std::system("command -v setpriv >/dev/null 2>&1") == 0;
  std::string plant = asOther ? "setpriv --reuid=65534 --regid=65534 --clear-groups sh -c \"printf planted > $f\""
                              : "printf planted > $f && chmod 666 $f";
  std::string prefix = "/dev/shm/fg." + std::to_string(getuid()) + "." + kTraceStoreName + "_";
  std::string out;
  int status = fgtest::RunCommand("sh -c 'f=" + prefix + "$(printf %x $$); " + plant +
                                      " && echo pid $$ && FARROWGATE_DEBUG_OUTPUT=stderr exec " + TRACE_HOST_PATH +
                                      " run 1' 2>&1",
                                  &out);
  unsigned pid = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "pid %u", &pid), 1) << out;
  std::string file = StoreFileOf(pid);
  struct stat st {};
  bool planted = lstat(file.c_str(), &st) == 0;
  unlink(file.c_str());
  EXPECT_EQ(status, 0) << out;
  ASSERT_TRUE(planted) << "the planted object stays";
  EXPECT_EQ(static_cast<unsigned>(st.st_size), 7u) << "and is not written";
  EXPECT_NE(out.find("trace: tracing is off: the trace store " + file.substr(file.find(kTraceStoreName)) +
                     " is held by an object this user does not trust (error 5)"),
            std::string::npos)
      << out;
  if (!asOther) GTEST_SKIP() << "planted by this user only: this test must run as root with setpriv for another user";
}

TEST(TraceTool, ClearErrorsForBadRequests) {
  std::string out;
  EXPECT_EQ(Tool("show 4000000", &out), 1);
  EXPECT_NE(out.find("process 4000000 has no trace store"), std::string::npos) << out;
  EXPECT_EQ(Tool("show x", &out), 2);
  EXPECT_EQ(Tool("set 1 --level", &out), 2);
  EXPECT_EQ(Tool("set 1 --level 3", &out), 2) << "levels are 0 to 2";
  EXPECT_NE(out.find("--level is 0, 1 or 2"), std::string::npos) << out;
  EXPECT_EQ(Tool("module 1 m --status sometimes", &out), 2);
  EXPECT_EQ(Tool("frobnicate", &out), 2);
  Host host("run 100");
  std::string pid = std::to_string(host.Pid());
  EXPECT_EQ(Tool("module " + pid + " nosuch --level 1", &out), 1);
  EXPECT_NE(out.find("has no module nosuch"), std::string::npos) << out;
  EXPECT_EQ(Tool("set " + pid + " --level 2 --show-category on", &out), 0);
  TraceStoreHandle store = TraceOpenProcess(host.Pid());
  ASSERT_NE(store, nullptr);
  UINT level = 0;
  bool showCategory = false;
  TraceGetProcess(store, &level, nullptr, &showCategory, nullptr);
  EXPECT_EQ(level, 2u);
  EXPECT_TRUE(showCategory);
  TraceCloseProcess(store);
  std::string rest;
  EXPECT_EQ(host.Finish(rest), 0);
}

TEST(TraceTool, AHostileWriterDoesNotCrashTheHost) {
  Host host("run 100");
  ASSERT_NE(host.Pid(), 0u);
  TraceStoreHandle store = TraceOpenProcess(host.Pid());
  ASSERT_NE(store, nullptr);
  TraceProcessRecord* p = store->Process();
  TraceModuleRecord* module = store->GetModule(0);
  ASSERT_NE(module, nullptr);
  TraceCategoryRecord* category = store->GetCategory(module->base.iFirstCategory);
  ASSERT_NE(category, nullptr);
  category->iNextCategory = module->base.iFirstCategory;  // a chain that loops
  for (WCHAR& c : category->szName) c = u'x';             // a name without its end
  p->bShowCategory = 1;
  p->nTraceLevel = 5;
  module->base.iFirstCategory = 0x3FFFFFFF;
  p->nModuleSlots = 0x7FFFFFFF;
  p->nCategorySlots = -7;
  p->cbFrontCommitted = 0xFFFFFFF0;
  std::string out;
  int shown = Tool("show " + std::to_string(host.Pid()), &out);
  EXPECT_TRUE(shown == 0 || shown == 1) << "the tool survives it too: " << out;
  p->nCategorySlots = 0x7FFFFFFF;
  p->pBase = nullptr;
  TraceCloseProcess(store);
  std::string rest;
  EXPECT_EQ(host.Finish(rest), 0) << "the host ran to its end: " << rest;
}

// Two watches at once both see a host that registers; the tool's event
// wakes only one of them. Other processes of the machine may register at
// the same time: each watch is read until the host's line shows.
TEST(TraceTool, EveryWatchReprintsWhenAProcessRegisters) {
  Background first("watch"), second("watch");
  std::string out1, out2;
  ASSERT_TRUE(first.ReadUntil("watching", out1)) << out1;
  ASSERT_TRUE(second.ReadUntil("watching", out2)) << out2;
  usleep(300000);  // their first lists are printed right after that line
  Host host("run 100");  // its module's registration sets the tool's event
  ASSERT_NE(host.Pid(), 0u);
  const std::string expected = std::to_string(host.Pid()) + "\ttrace_host\t1 module(s)";
  EXPECT_TRUE(first.ReadUntil("--", out1) && first.ReadUntil(expected, out1)) << out1;
  EXPECT_TRUE(second.ReadUntil("--", out2) && second.ReadUntil(expected, out2)) << out2;
  EXPECT_EQ(first.Interrupt(), 0) << "Ctrl-C ends a watch through its normal exit";
  EXPECT_EQ(second.Interrupt(), 0);
  char event[64];
  TraceGetUpdateEventNameA_s(event, sizeof event);
  EXPECT_FALSE(Exists("/dev/shm/fg." + std::to_string(getuid()) + ".ev." + event)) << "no wake-up is left behind";
  std::string rest;
  EXPECT_EQ(host.Finish(rest), 0);

  std::string once;
  EXPECT_EQ(Tool("watch --count 0", &once), 0) << "with a count of 0 it lists once and ends: " << once;
  EXPECT_EQ(once.substr(0, 8), "watching");
}

// A process too short-lived to be given a PID by hand is set up before its
// first line: the registrar's level-2 lines show.
TEST(TraceTool, WaitAppliesSettingsToAProcessFromItsFirstLine) {
  char folder[] = "/tmp/fgtrace-wait-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string registrar = std::string("FARROWGATE_REGISTRY=") + folder + "/registry.db FARROWGATE_DEBUG_OUTPUT=stderr " +
                          FGREGSVR_PATH + " /s " + FARROWGATE_MODULE_PATH;
  std::string plain;
  ASSERT_EQ(fgtest::RunCommand(registrar, &plain), 0) << plain;
  EXPECT_EQ(plain.find("Setting Value"), std::string::npos) << "not written at the default level";

  Background tool("set --wait FGREGSVR --level 2");
  std::string toolOutput;
  ASSERT_TRUE(tool.ReadUntil("fgtrace: waiting for FGREGSVR to start", toolOutput)) << toolOutput;
  std::string traced;
  EXPECT_EQ(fgtest::RunCommand(registrar, &traced), 0) << traced;
  EXPECT_NE(traced.find("Setting Value Farrowgate.DialogHelper at default"), std::string::npos) << traced;
  EXPECT_EQ(tool.Finish(toolOutput), 0) << toolOutput;
  EXPECT_NE(toolOutput.find("applied to process "), std::string::npos) << toolOutput;
  (void)fgtest::RunCommand(std::string("rm -rf ") + folder);

  std::string out;
  EXPECT_EQ(Tool("set --wait", &out), 2) << out;
  EXPECT_EQ(Tool("module --wait fgregsvr", &out), 2) << out;
}

}  // namespace
