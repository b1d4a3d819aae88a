// The record that a store's file was checked whole: it is kept only for a
// file that changed long enough ago that a later write must change its
// times, it names the file as it is then, and any change to the file (a
// byte added, the file replaced) or a record that is not a plain short file
// of the user's makes it name nothing.
#include "store_check_record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "scratch_folder.h"

namespace {

class StoreCheckRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_scratch.Path().empty());
    m_folder = m_scratch.Path();
    m_store = m_folder + "/store.db";
    m_record = m_store + "-checked";
    Write(m_store, "contents");
  }
  static void Write(const std::string& path, const std::string& text, std::ios::openmode mode = std::ios::trunc) {
    std::ofstream(path, std::ios::binary | mode) << text;
  }
  static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
  // Waits until the store's last change is old enough to be recorded.
  static void LetTimePass() { std::this_thread::sleep_for(std::chrono::milliseconds(2100)); }

  fgtest::ScratchFolder m_scratch;
  std::string m_folder, m_store, m_record;
};

TEST_F(StoreCheckRecord, NamesTheFileOnlyAsItWasWhenRecorded) {
  fgp::reg::RecordChecked(m_store);
  EXPECT_FALSE(Exists(m_record)) << "a file changed just now is too recent to tell";
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store));
  LetTimePass();
  fgp::reg::RecordChecked(m_store);
  ASSERT_TRUE(Exists(m_record));
  struct stat st {};
  ASSERT_EQ(stat(m_record.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(fgp::reg::CheckedRecordMatches(m_store));

  Write(m_store, "!", std::ios::app);
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "a byte added";
  LetTimePass();
  fgp::reg::RecordChecked(m_store);
  ASSERT_TRUE(fgp::reg::CheckedRecordMatches(m_store));
  // Rewritten with contents of the same size: its times tell.
  Write(m_store, "contents!");
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "the same size rewritten";
  LetTimePass();
  fgp::reg::RecordChecked(m_store);
  ASSERT_TRUE(fgp::reg::CheckedRecordMatches(m_store));
  // Another file put in its place, however like it.
  Write(m_store + ".new", "contents!");
  ASSERT_EQ(rename((m_store + ".new").c_str(), m_store.c_str()), 0);
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "the file replaced";
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_folder + "/absent.db"));
}

TEST_F(StoreCheckRecord, ARecordThatIsNotAPlainShortFileNamesNothing) {
  LetTimePass();
  fgp::reg::RecordChecked(m_store);
  std::string good;
  std::getline(std::ifstream(m_record), good);
  ASSERT_FALSE(good.empty());
  good += "\n";
  // A link to a record that would match.
  Write(m_folder + "/elsewhere", good);
  ASSERT_EQ(unlink(m_record.c_str()), 0);
  ASSERT_EQ(symlink((m_folder + "/elsewhere").c_str(), m_record.c_str()), 0);
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "a link";
  ASSERT_EQ(unlink(m_record.c_str()), 0);
  // A FIFO would block a reader that waited on it.
  ASSERT_EQ(mkfifo(m_record.c_str(), 0600), 0);
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "a FIFO";
  ASSERT_EQ(unlink(m_record.c_str()), 0);
  ASSERT_EQ(mkdir(m_record.c_str(), 0700), 0);
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "a folder";
  ASSERT_EQ(rmdir(m_record.c_str()), 0);
  Write(m_record, good + std::string(300, ' '));
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "longer than a record";
  Write(m_record, good.substr(0, good.size() - 2));
  EXPECT_FALSE(fgp::reg::CheckedRecordMatches(m_store)) << "cut short";
  Write(m_record, good);
  EXPECT_TRUE(fgp::reg::CheckedRecordMatches(m_store)) << "the same line as a plain file";
}

}  // namespace
