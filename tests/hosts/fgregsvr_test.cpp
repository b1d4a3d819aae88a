// fgregsvr and fgreg script, run as a user runs them against a store of
// their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fgplatform/test_process.h"

namespace {

class RegistrationTools : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    m_dir = std::string(tmp != nullptr ? tmp : "/tmp");
    m_store = m_dir + "/tools-" + std::to_string(getpid()) + ".db";
  }
  void TearDown() override {
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((m_store + suffix).c_str());
  }
  int Run(const std::string& command, std::string* output = nullptr) {
    return fgtest::RunCommand("FARROWGATE_REGISTRY='" + m_store + "' " + command, output);
  }
  int Svr(const std::string& args, std::string* output = nullptr) {
    return Run(std::string(FGREGSVR_PATH) + " " + args, output);
  }
  int Reg(const std::string& args, std::string* output = nullptr) {
    return Run(std::string(FGREG_PATH) + " " + args, output);
  }
  std::string WriteScript(const std::string& name, const std::string& text) {
    std::string path = m_dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string m_dir;
  std::string m_store;
};

TEST_F(RegistrationTools, FgregsvrRegistersAndUnregistersTheComponent) {
  const std::string module = FARROWGATE_MODULE_PATH;
  std::string out;
  ASSERT_EQ(Svr(module, &out), 0) << out;
  EXPECT_EQ(out, "DllRegisterServer in " + module + " succeeded.\n");
  ASSERT_EQ(Reg("query 'HKCR\\Farrowgate.DialogHelper\\CLSID'", &out), 0);
  EXPECT_NE(out.find("{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}"), std::string::npos) << out;

  ASSERT_EQ(Svr("/u /s " + module, &out), 0);
  EXPECT_EQ(out, "") << "silent";
  EXPECT_EQ(Reg("query 'HKCR\\Farrowgate.DialogHelper'", &out), 1);

  EXPECT_EQ(Svr("/u " + module, &out), 0) << "unregistering what is not registered removes nothing: " << out;
  EXPECT_EQ(out, "DllUnregisterServer in " + module + " succeeded.\n");
  EXPECT_EQ(Svr(m_dir + "/no-such-module.so", &out), 3);
  EXPECT_NE(out.find("LoadLibrary(\"" + m_dir + "/no-such-module.so\") failed"), std::string::npos) << out;
  EXPECT_EQ(Svr(SCRIPT_MODULE_PATH, &out), 4);
  EXPECT_NE(out.find("the DllRegisterServer entry point was not found"), std::string::npos) << out;
  EXPECT_EQ(Svr("/s " + m_dir + "/no-such-module.so", &out), 3);
  EXPECT_EQ(out, "");
  EXPECT_EQ(Svr("", &out), 1);
  EXPECT_NE(out.find("usage: fgregsvr"), std::string::npos);
  EXPECT_EQ(Svr("/x " + module, &out), 1);
}

// As the usual registrar: a bare name found in the current folder, several
// modules each reported, DllInstall through /i and /n.
TEST_F(RegistrationTools, FgregsvrTakesModulesAsTheUsualRegistrarDoes) {
  const std::string module = FARROWGATE_MODULE_PATH;
  const std::string folder = module.substr(0, module.rfind('/'));
  const std::string bare = module.substr(module.rfind('/') + 1);
  std::string out;
  ASSERT_EQ(fgtest::RunCommand("cd '" + folder + "' && FARROWGATE_REGISTRY='" + m_store + "' " + FGREGSVR_PATH + " " + bare,
                               &out),
            0)
      << out;
  EXPECT_EQ(out, "DllRegisterServer in " + bare + " succeeded.\n");
  ASSERT_EQ(Reg("query 'HKCR\\CLSID\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}\\InprocServer32' /ve", &out), 0);
  EXPECT_NE(out.find("REG_SZ    " + module + "\n"), std::string::npos) << "registered by its full path: " << out;

  EXPECT_EQ(Svr("/u " + module + " " + m_dir + "/no-such-module.so " + module, &out), 3)
      << "the first failure's status; every module is tried";
  EXPECT_NE(out.find("DllUnregisterServer in " + module + " succeeded.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("no-such-module.so\") failed"), std::string::npos) << out;
  EXPECT_EQ(Reg("query 'HKCR\\Farrowgate.DialogHelper'", &out), 1);

  EXPECT_EQ(Svr("/i:setup " + module, &out), 4) << "registered, then no DllInstall";
  EXPECT_NE(out.find("DllRegisterServer in " + module + " succeeded.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("the DllInstall entry point was not found"), std::string::npos) << out;
  EXPECT_EQ(Svr("/u /i " + module, &out), 4) << "no DllInstall: unregistration is not reached";
  EXPECT_EQ(Reg("query 'HKCR\\Farrowgate.DialogHelper'", &out), 0) << "still registered";
  EXPECT_EQ(Svr("/u /s " + module, &out), 0);
  EXPECT_EQ(Svr("/n /i " + module, &out), 4) << "only DllInstall";
  EXPECT_EQ(Reg("query 'HKCR\\Farrowgate.DialogHelper'", &out), 1) << "nothing registered";
  EXPECT_EQ(Svr("/n " + module, &out), 1) << "/n needs /i";
  EXPECT_NE(out.find("/n needs /i"), std::string::npos) << out;
}

TEST_F(RegistrationTools, FgregRunsAScriptWithVariables) {
  std::string script = WriteScript("tool.rgs", "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\t'%NAME%' = s '%VALUE%'\r\n\t}\r\n}");
  std::string out;
  ASSERT_EQ(Reg("script " + script + " NAME=Fg.Tool 'VALUE=a value'", &out), 0) << out;
  ASSERT_EQ(Reg("query 'HKCU\\Software\\Fg.Tool' /ve", &out), 0);
  EXPECT_NE(out.find("(Default)    REG_SZ    a value"), std::string::npos) << out;
  ASSERT_EQ(Reg("script /u " + script + " NAME=Fg.Tool VALUE=x", &out), 0) << out;
  EXPECT_EQ(Reg("query 'HKCU\\Software\\Fg.Tool'", &out), 1);
  EXPECT_EQ(Reg("query 'HKCU\\Software'", &out), 0) << "kept by NoRemove";

  EXPECT_EQ(Reg("script " + script + " NAME=Fg.Tool", &out), 1) << "VALUE is missing";
  EXPECT_NE(out.find("line 5: no variable VALUE is given (add VALUE=VALUE): 0x80020009"), std::string::npos) << out;
  std::string typo = WriteScript("typo.rgs", "HKCU\n{\n\tNoRemove Software\n\t{\n\t\tFg.Typo = q 'x'\n\t}\n}\n");
  EXPECT_EQ(Reg("script " + typo, &out), 1);
  EXPECT_NE(out.find("typo.rgs line 5: at 'q': 0x80020009"), std::string::npos) << out;
  EXPECT_EQ(Reg("query 'HKCU\\Software\\Fg.Typo'", &out), 1) << "the failed registration is undone";
  // Two root blocks, the second failing: the script is one batch, so its
  // first block goes too, and the store is as it was.
  std::string two = WriteScript("two.rgs", "HKCU\n{\n\tNoRemove Software\n\t{\n\t\tFg.First = s 'x'\n\t}\n}\n"
                                           "HKLM\n{\n\tFg.Second = q 'y'\n}\n");
  EXPECT_EQ(Reg("script " + two, &out), 1);
  EXPECT_NE(out.find("two.rgs line 10: at 'q'"), std::string::npos) << out;
  EXPECT_EQ(Reg("query 'HKCU\\Software\\Fg.First'", &out), 1) << "the first block is undone with the second";
  std::string cut = WriteScript("cut.rgs", "HKCU\n{\n\tFg.Cut = s '%NAME\n}\n");
  EXPECT_EQ(Reg("script " + cut, &out), 1);
  EXPECT_NE(out.find("cut.rgs line 3: the variable at '%NAME' has no closing %"), std::string::npos) << out;
  std::string open = WriteScript("open.rgs", "HKCU\n{\n\tFg.Open\n");
  EXPECT_EQ(Reg("script " + open, &out), 1);
  EXPECT_NE(out.find("open.rgs line 4: at the end of the script"), std::string::npos) << out;
  EXPECT_EQ(Reg("script " + script + " NOEQUALS", &out), 2);
  EXPECT_EQ(Reg("script " + m_dir + "/missing.rgs", &out), 1);
  EXPECT_NE(out.find("cannot read"), std::string::npos);
  std::string big = WriteScript("big.rgs", std::string((1 << 20) + 1, ' '));
  EXPECT_EQ(Reg("script " + big, &out), 1);
  EXPECT_NE(out.find("larger than"), std::string::npos) << out;
  unlink(script.c_str());
  unlink(big.c_str());

  // The same script in UTF-16 of either byte order, after its mark.
  const std::string text = "HKCU { NoRemove Software { Fg.Wide = s 'w\xC3\xA9' } }";
  for (bool bigEndian : {false, true}) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    std::u16string units;
    for (size_t i = 0; i < text.size(); ++i) {
      auto c = static_cast<unsigned char>(text[i]);
      units.push_back(c == 0xC3 ? static_cast<char16_t>(0xE9) : static_cast<char16_t>(c));
      if (c == 0xC3) ++i;
    }
    for (char16_t u : units) {
      char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    std::string wide = WriteScript(bigEndian ? "be.rgs" : "le.rgs", bytes);
    ASSERT_EQ(Reg("script " + wide, &out), 0) << out;
    ASSERT_EQ(Reg("query 'HKCU\\Software\\Fg.Wide' /ve", &out), 0) << out;
    EXPECT_NE(out.find("(Default)    REG_SZ    w\xC3\xA9"), std::string::npos) << (bigEndian ? "big: " : "little: ") << out;
    ASSERT_EQ(Reg("script /u " + wide, &out), 0) << out;
    unlink(wide.c_str());
  }
}

// Starts fgregsvr on the component with the test's store, its output
// discarded; the process id.
pid_t StartRegistration(const std::string& store) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  setenv("FARROWGATE_REGISTRY", store.c_str(), 1);
  int null = open("/dev/null", O_RDWR);
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  execl(FGREGSVR_PATH, "fgregsvr", "/s", FARROWGATE_MODULE_PATH, static_cast<char*>(nullptr));
  _exit(127);
}

int WaitFor(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A registration is one batch of the store: killed at any moment it leaves
// either nothing or the whole tree, never a part.
TEST_F(RegistrationTools, ARegistrationKilledAtAnyMomentLeavesNothingOrTheWholeTree) {
  std::string empty, whole, out;
  ASSERT_EQ(Reg("query HKCR /s", &empty), 0);
  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(WaitFor(StartRegistration(m_store)), 0);
  auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(Reg("query HKCR /s", &whole), 0);
  ASSERT_NE(whole, empty);
  std::mt19937 random(20261210);
  std::uniform_int_distribution<long> at(0, std::chrono::duration_cast<std::chrono::microseconds>(took).count());
  int nothing = 0, all = 0;
  for (int round = 0; round < 25; ++round) {
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((m_store + suffix).c_str());
    pid_t pid = StartRegistration(m_store);
    std::this_thread::sleep_for(std::chrono::microseconds(at(random)));
    kill(pid, SIGKILL);
    WaitFor(pid);
    ASSERT_EQ(Reg("query HKCR /s", &out), 0) << "round " << round;
    ASSERT_TRUE(out == empty || out == whole) << "round " << round << " left a part of the tree:\n" << out;
    (out == empty ? nothing : all) += 1;
  }
  std::printf("killed registrations: %d left nothing, %d the whole tree\n", nothing, all);
}

// Registrations that run at once each wait for the other's batch instead
// of meeting its half-made keys.
TEST_F(RegistrationTools, RegistrationsRunningAtOnceAllSucceed) {
  ASSERT_EQ(Svr("/s " FARROWGATE_MODULE_PATH), 0);
  std::string whole, out;
  ASSERT_EQ(Reg("query HKCR /s", &whole), 0);
  for (int round = 0; round < 5; ++round) {
    std::vector<pid_t> running;
    for (int i = 0; i < 4; ++i) running.push_back(StartRegistration(m_store));
    for (pid_t pid : running) EXPECT_EQ(WaitFor(pid), 0) << "round " << round;
    ASSERT_EQ(Reg("query HKCR /s", &out), 0);
    EXPECT_EQ(out, whole) << "round " << round;
  }
}

}  // namespace
