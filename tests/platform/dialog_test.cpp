// The platform's open-file dialog: request checks, result forms, the
// answers file and its log.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

class Dialog : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    std::memset(&m_ofn, 0, sizeof m_ofn);
    m_ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    m_ofn.lpstrFile = m_buffer;
    m_ofn.nMaxFile = 64;
    m_ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY;
    m_buffer[0] = 0;
    m_answers = "/tmp/fg-answers-" + std::to_string(getpid());
    m_log = m_answers + ".log";
  }
  void TearDown() override {
    unsetenv("FARROWGATE_DIALOG_ANSWERS");
    unsetenv("FARROWGATE_DIALOG_LOG");
    unlink(m_answers.c_str());
    unlink(m_log.c_str());
    BaselineTest::TearDown();
  }
  void WriteAnswers(const std::string& text) {
    std::ofstream(m_answers) << text;
    setenv("FARROWGATE_DIALOG_ANSWERS", m_answers.c_str(), 1);
  }
  OPENFILENAMEW m_ofn;
  char16_t m_buffer[64];
  std::string m_answers, m_log;
};

TEST_F(Dialog, ResultFormsOffsetsAndTheSmallBufferCode) {
  fgtest::DialogAnswer two;
  two.kind = fgtest::DialogAnswer::Files;
  two.paths = {u"/d/a.txt", u"/d/bb"};
  fgtest::QueueDialogAnswer(two);
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(std::u16string(m_buffer, 13), std::u16string(u"/d\0a.txt\0bb\0\0", 13));
  EXPECT_EQ(m_ofn.nFileOffset, 3);
  fgtest::DialogAnswer one;
  one.kind = fgtest::DialogAnswer::Files;
  one.paths = {u"/d/name.ext"};
  one.readOnlyChecked = true;
  m_ofn.Flags = OFN_EXPLORER;
  fgtest::QueueDialogAnswer(one);
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(std::u16string(m_buffer), u"/d/name.ext");
  EXPECT_EQ(m_ofn.nFileOffset, 3);
  EXPECT_EQ(m_ofn.nFileExtension, 8);
  EXPECT_TRUE(m_ofn.Flags & OFN_READONLY) << "the read-only box is shown and checked";
  m_ofn.nMaxFile = 5;
  fgtest::QueueDialogAnswer(one);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  EXPECT_EQ(static_cast<WORD>(m_buffer[0]), 12) << "the needed size in the first two bytes";
  m_ofn.lStructSize = 75;
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
  m_ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_DIALOGFAILURE)) << "no backend";
}

TEST_F(Dialog, TheAnswersFileIsTakenInOrderAndTheRequestsAreLogged) {
  WriteAnswers("# a run\nfiles\t/d/a.txt\t/d/b.txt\n\ncancel\nerror 0x3002\n");
  setenv("FARROWGATE_DIALOG_LOG", m_log.c_str(), 1);
  m_ofn.lpstrTitle = u"Pick one";
  m_ofn.lpstrFilter = u"Text\0*.txt\0\0";
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(std::u16string(m_buffer), u"/d");
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u) << "cancelled";
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0x3002u);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u) << "used up: cancelled";
  std::ifstream in(m_log);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("  title: \"Pick one\"\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\"Text\" = \"*.txt\";"), std::string::npos) << log;
  EXPECT_NE(log.find("  flags: 0x00080204\n"), std::string::npos) << log;
}

// lpstrFileTitle: "The file name and extension (without path information)
// of the selected file" (OPENFILENAMEW).
TEST_F(Dialog, TheFileTitleIsTheChosenNameWithoutItsPath) {
  char16_t title[8];
  std::fill(std::begin(title), std::end(title), u'#');
  m_ofn.lpstrFileTitle = title;
  m_ofn.nMaxFileTitle = 8;
  WriteAnswers("files\t/etc/hosts\nfiles\t/tmp/a-long-name.txt\nfiles\t/etc/hostname\t/etc/hosts\n");
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(std::u16string(title), u"hosts");
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(std::u16string(title), u"a-long-") << "cut to the buffer, terminated";
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(std::u16string(title), u"hostnam") << "of several files, the first";
  m_ofn.lpstrFileTitle = nullptr;
  WriteAnswers("files\t/etc/hosts\n");
  EXPECT_TRUE(GetOpenFileNameW(&m_ofn)) << "a null title buffer is allowed";
}

TEST_F(Dialog, AMalformedAnswersFileFailsTheDialogClearly) {
  WriteAnswers("files /no/tab/here\n");
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
  EXPECT_NE(Output().find(":1: expected"), std::string::npos);
}

// With OFN_FILEMUSTEXIST the dialog refuses a missing file and stays open:
// the answers file's next line is the user's next try.
TEST_F(Dialog, AMissingFileIsRefusedWhenFilesMustExist) {
  std::string real = m_answers + ".real";
  std::ofstream(real) << "x";
  WriteAnswers("files\t/no/such/dir/a.txt\nfiles\t/tmp/no-such-file.fg\nfiles\t" + real + "\n");
  m_ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST;
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(std::u16string(m_buffer), std::u16string(real.begin(), real.end()));
  std::string output = Output();
  EXPECT_NE(output.find("/no/such/dir/a.txt: the path does not exist"), std::string::npos) << output;
  EXPECT_NE(output.find("/tmp/no-such-file.fg: file not found"), std::string::npos) << output;

  // A folder is no file to open, whatever the flags: the dialog opens it.
  WriteAnswers("files\t/tmp\ncancel\n");
  m_ofn.Flags = OFN_EXPLORER;
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn)) << "the next answer, a cancel, is taken";
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_NE(Output().find("/tmp: a folder, not a file"), std::string::npos);
  std::string second = m_answers + ".2";  // a new file: a rewrite may keep the old time stamp
  std::ofstream(second) << "files\t/tmp/no-such-file.fg\n";
  setenv("FARROWGATE_DIALOG_ANSWERS", second.c_str(), 1);
  m_ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST;
  EXPECT_TRUE(GetOpenFileNameW(&m_ofn)) << "only the folder must exist";
  unlink(real.c_str());
  unlink(second.c_str());
}

TEST_F(Dialog, MultiSelectCountsTheListEndAndReadsTheInitialNameWithinItsBuffer) {
  fgtest::DialogAnswer one;
  one.kind = fgtest::DialogAnswer::Files;
  one.paths = {u"/d/" + std::u16string(60, u'n')};  // 63 characters: the list's end does not fit 64
  fgtest::QueueDialogAnswer(one);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  EXPECT_EQ(static_cast<WORD>(m_buffer[0]), 65) << "the path, its terminator and the empty string";
  m_ofn.Flags = OFN_EXPLORER;
  fgtest::QueueDialogAnswer(one);
  EXPECT_TRUE(GetOpenFileNameW(&m_ofn)) << "one path and its terminator fit in single-select mode";

  // A one-character buffer holding the needed size from the last call, and
  // no terminator: the next request reads one character of it, no more.
  auto* tiny = new char16_t[1];
  m_ofn.lpstrFile = tiny;
  m_ofn.nMaxFile = 1;
  fgtest::QueueDialogAnswer(one);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  fgtest::QueueDialogAnswer(fgtest::DialogAnswer{});
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(fgtest::LastDialogRequest().initialFile, std::u16string(1, tiny[0]));
  delete[] tiny;
  m_ofn.lpstrFile = m_buffer;
}

TEST_F(Dialog, SeveralFilesAreChosenInOneFolder) {
  fgtest::DialogAnswer across;
  across.kind = fgtest::DialogAnswer::Files;
  across.paths = {u"/a/one.txt", u"/b/two.txt"};
  fgtest::QueueDialogAnswer(across);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn)) << "the result could name only one of the folders";
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_INVALIDFILENAME));
  WriteAnswers("files\t/a/one.txt\t/b/two.txt\n");
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
  EXPECT_NE(Output().find(":1: expected 'files<TAB>PATH...' (full paths in one folder)"), std::string::npos);
}

TEST_F(Dialog, TheAnswersFileRefusesWhatNoUserCouldChoose) {
  struct Case {
    std::string line;
    const char* why;
  };
  const Case cases[] = {
      {std::string("files\t/d/a\0b\n", 12), "a NUL byte inside a path"},
      {"files\t/" + std::string(70000, 'p') + "\n", "a path longer than the platform's longest"},
      {"error 0x\n", "a code without digits"},
      {"error -5\n", "a negative code"},
  };
  for (const Case& c : cases) {
    std::string fresh = m_answers + "." + std::to_string(&c - cases);
    std::ofstream(fresh, std::ios::binary) << c.line;
    setenv("FARROWGATE_DIALOG_ANSWERS", fresh.c_str(), 1);
    EXPECT_FALSE(GetOpenFileNameW(&m_ofn)) << c.why;
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION)) << c.why;
    unlink(fresh.c_str());
  }
  Output();

  WriteAnswers("error 010\n");
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), 10u) << "decimal, not octal";

  std::string folder = m_answers + ".dir";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  setenv("FARROWGATE_DIALOG_ANSWERS", folder.c_str(), 1);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION)) << "a folder is no answers file";
  rmdir(folder.c_str());
  fgtest::TakeDebugOutput();

  std::string fifo = m_answers + ".fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  setenv("FARROWGATE_DIALOG_ANSWERS", fifo.c_str(), 1);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn)) << "at once: no writer is waited for";
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION)) << "a FIFO is no answers file";
  unlink(fifo.c_str());
  fgtest::TakeDebugOutput();

  std::string noisy = "\x01\x1b[2J" + std::string(50000, 'z') + "\n";
  WriteAnswers(noisy);
  EXPECT_FALSE(GetOpenFileNameW(&m_ofn));
  std::string output = fgtest::TakeDebugOutput();
  EXPECT_LT(output.size(), 1000u) << "a long line is cut";
  EXPECT_NE(output.find("\\x01\\x1B[2J"), std::string::npos) << output;
  EXPECT_NE(output.find("(50005 bytes)"), std::string::npos) << output;
}

TEST_F(Dialog, TheFilterInUseComesBack) {
  fgtest::DialogAnswer answer;
  answer.kind = fgtest::DialogAnswer::Files;
  answer.paths = {u"/d/a.log"};
  answer.filterIndex = 2;
  m_ofn.nFilterIndex = 1;
  fgtest::QueueDialogAnswer(answer);
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(m_ofn.nFilterIndex, 2u);
  answer.filterIndex = 0;
  fgtest::QueueDialogAnswer(answer);
  ASSERT_TRUE(GetOpenFileNameW(&m_ofn));
  EXPECT_EQ(m_ofn.nFilterIndex, 2u) << "an answer without a filter leaves the index";
}

}  // namespace
