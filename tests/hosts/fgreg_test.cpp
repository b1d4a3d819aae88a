// The registry tool, run as a user runs it.
#include <gtest/gtest.h>

#include "fgreg_fixture.h"
#include "fgplatform/test_process.h"
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST_F(Fgreg, RoundTripsEveryType) {
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /ve /d 'default text'"), 0);
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v Path /t REG_EXPAND_SZ /d '%HOME%/x'"), 0);
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v List /t REG_MULTI_SZ /d 'a\\0bc'"), 0);
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v Count /t REG_DWORD /d 42"), 0);
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v Big /t REG_QWORD /d 0x100000000"), 0);
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v Raw /t REG_BINARY /d 00ff10"), 0);
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v Nothing /t REG_NONE"), 0);
  std::string out;
  ASSERT_EQ(Run("query 'HKEY_CURRENT_USER\\Software\\Fg'", &out), 0);
  for (const char* line : {"(Default)    REG_SZ    default text", "Path    REG_EXPAND_SZ    %HOME%/x",
                           "List    REG_MULTI_SZ    a\\0bc", "Count    REG_DWORD    0x2a",
                           "Big    REG_QWORD    0x100000000", "Raw    REG_BINARY    00ff10",
                           "Nothing    REG_NONE    "})
    EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;

  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v Count /t REG_DWORD /d 7", &out), 1) << "exists without /f";
  EXPECT_EQ(Run("add 'HKCU\\Software\\Fg' /v Count /t REG_DWORD /d 7 /f"), 0);
  ASSERT_EQ(Run("query 'HKCU\\Software\\Fg' /v count", &out), 0);
  EXPECT_NE(out.find("Count    REG_DWORD    0x7"), std::string::npos) << out;
  EXPECT_EQ(Run("delete 'HKCU\\Software\\Fg' /v Count /f"), 0);
  EXPECT_EQ(Run("query 'HKCU\\Software\\Fg' /v Count"), 1);
  EXPECT_EQ(Run("delete 'HKCU\\Software\\Fg'", &out), 1) << "deletion needs /f off a terminal";
  EXPECT_EQ(Run("delete 'HKCU\\Software\\Fg' /f"), 0);
  EXPECT_EQ(Run("query 'HKCU\\Software\\Fg'", &out), 1);
  EXPECT_NE(out.find("no such key"), std::string::npos);
}

TEST_F(Fgreg, RefusesBadTypesDataAndKeys) {
  std::string out;
  EXPECT_NE(Run("add 'HKCU\\X' /v n /t REG_WHAT /d 1", &out), 0);
  EXPECT_NE(out.find("unknown type REG_WHAT"), std::string::npos);
  EXPECT_EQ(Run("add 'HKCU\\X' /v n /t REG_DWORD /d 4294967296", &out), 1);
  EXPECT_NE(out.find("not valid for REG_DWORD"), std::string::npos);
  EXPECT_EQ(Run("add 'HKCU\\X' /v n /t REG_BINARY /d abc", &out), 1);
  EXPECT_NE(Run("query 'HKXX\\Y'", &out), 0);
  EXPECT_NE(out.find("unknown root"), std::string::npos);
  EXPECT_EQ(Run("query 'HKCU\\Missing'", &out), 1);
}

TEST_F(Fgreg, HelpIsAnAnswerAndABadCommandLineIsNot) {
  std::string out;
  EXPECT_EQ(Run("--help", &out), 0);
  EXPECT_EQ(out.rfind("usage: fgreg query", 0), 0u) << out;
  EXPECT_EQ(Run("/?", &out), 0);
  EXPECT_EQ(Run("frobnicate HKCU", &out), 2);
  EXPECT_NE(out.find("unknown operation frobnicate"), std::string::npos) << out;
  EXPECT_NE(out.find("usage: fgreg query"), std::string::npos) << "the usage follows the complaint";
  EXPECT_EQ(Run("query", &out), 2);
  EXPECT_NE(out.find("a command and a key are needed"), std::string::npos) << out;
  EXPECT_EQ(Run("ADD 'HKCU\\Case' /v x /d y", &out), 0) << "verbs ignore case: " << out;
  EXPECT_EQ(Run("Query 'HKCU\\Case' /v x", &out), 0) << out;
  EXPECT_NE(out.find("x    REG_SZ    y"), std::string::npos) << out;
}

TEST_F(Fgreg, NumbersAreDecimalOrHexadecimalAndTheStoreIsLeftClosed) {
  std::string out;
  EXPECT_EQ(Run("add 'HKCU\\N' /v d /t REG_DWORD /d 010", &out), 0) << out;
  EXPECT_EQ(Run("add 'HKCU\\N' /v h /t REG_DWORD /d 0x10", &out), 0) << out;
  EXPECT_EQ(Run("query 'HKCU\\N'", &out), 0);
  EXPECT_NE(out.find("d    REG_DWORD    0xa"), std::string::npos) << "010 is ten, not eight: " << out;
  EXPECT_NE(out.find("h    REG_DWORD    0x10"), std::string::npos) << out;
  EXPECT_EQ(Run("add 'HKCU\\N' /v bad /t REG_DWORD /d 0x", &out), 1);
  EXPECT_NE(access(m_store.c_str(), F_OK), -1);
  EXPECT_EQ(access((m_store + "-wal").c_str(), F_OK), -1) << "the log is folded back when fgreg exits";
  EXPECT_EQ(access((m_store + "-shm").c_str(), F_OK), -1);
}

TEST_F(Fgreg, AnEmptyStorePathAndAFullDiskAreErrors) {
  std::string out;
  EXPECT_EQ(fgtest::RunCommand(std::string(FGREG_PATH) + " --registry '' query HKCU", &out), 2) << out;
  EXPECT_NE(out.find("--registry needs a path"), std::string::npos) << out;
  EXPECT_EQ(Run("add 'HKCU\\E' /v x /d y", &out), 0);
  EXPECT_EQ(Run("export 'HKCU\\E' /dev/full /y", &out), 1) << out;
  EXPECT_NE(out.find("cannot write /dev/full"), std::string::npos) << out;
}

// The store of a user who may read it but not write it (made read-only, or
// in a snapshot). As root the test plays that user with setpriv, since root
// may write any file.
TEST_F(Fgreg, AStoreTheUserMayOnlyReadIsReadWithoutSideFilesAndNotWritten) {
  std::string out;
  ASSERT_EQ(Run("add 'HKCU\\R' /v x /d kept", &out), 0) << out;
  ASSERT_EQ(chmod(m_store.c_str(), 0400), 0);
  std::string as;
  if (geteuid() == 0) {
    as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (fgtest::RunCommand("chown -R 65534:65534 '" + m_folder + "' && " + as + "test -x " + FGREG_PATH) != 0)
      GTEST_SKIP() << "the user 65534 cannot run " << FGREG_PATH;
  }
  std::string fgreg = as + FGREG_PATH + " --registry " + m_store + " ";
  EXPECT_EQ(fgtest::RunCommand(fgreg + "query 'HKCU\\R'", &out), 0) << out;
  EXPECT_NE(out.find("x    REG_SZ    kept"), std::string::npos) << out;
  EXPECT_EQ(access((m_store + "-wal").c_str(), F_OK), -1) << "a reader that may not write leaves no side files";
  EXPECT_EQ(access((m_store + "-shm").c_str(), F_OK), -1);
  EXPECT_EQ(fgtest::RunCommand(fgreg + "add 'HKCU\\R' /v y /d new", &out), 1) << out;
  EXPECT_NE(out.find("access denied"), std::string::npos) << out;
  EXPECT_EQ(fgtest::RunCommand(fgreg + "query 'HKCU\\R'", &out), 0) << out;
  EXPECT_EQ(out.find("new"), std::string::npos) << out;
  EXPECT_EQ(access((m_store + "-wal").c_str(), F_OK), -1);
}

TEST_F(Fgreg, ADamagedStoreGivesAClearError) {
  {
    std::ofstream f(m_store);
    f << "this is not a registry";
  }
  std::string out;
  EXPECT_EQ(Run("query HKCR", &out), 1);
  EXPECT_NE(out.find("damaged"), std::string::npos) << out;
}

}  // namespace
