// The change stamp read from a database's shared log header: it holds while
// nothing commits, changes with every commit of another connection (also
// after the log restarts), and is refused, so that the caller asks SQLite,
// while the header's two copies differ (a commit writing it) or the header
// is not initialised, and for a database that has no shared header.
#include "wal_index_stamp.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "scratch_folder.h"

namespace {

class WalIndexStamp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_folder.Path().empty());
    m_path = m_folder.Path() + "/store.db";
    m_reader = Connect();
    m_writer = Connect();
    Run(m_writer, "PRAGMA journal_mode=WAL; CREATE TABLE t(x)");
    Run(m_reader, "SELECT count(*) FROM t");  // the reader's log and shared header are open
  }
  void TearDown() override {
    sqlite3_close(m_reader);
    sqlite3_close(m_writer);
  }
  sqlite3* Connect() {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(m_path.c_str(), &db), SQLITE_OK);
    return db;
  }
  static void Run(sqlite3* db, const char* sql) {
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  }
  uint64_t Stamp() {
    uint64_t stamp = 0;
    EXPECT_TRUE(fgp::reg::WalIndexStamp(m_reader, stamp));
    return stamp;
  }

  fgtest::ScratchFolder m_folder;
  std::string m_path;
  sqlite3* m_reader = nullptr;
  sqlite3* m_writer = nullptr;
};

TEST_F(WalIndexStamp, HoldsWhileNothingCommitsAndChangesWithEveryCommit) {
  std::set<uint64_t> seen;
  uint64_t stamp = Stamp();
  EXPECT_EQ(Stamp(), stamp) << "no commit, no change";
  Run(m_writer, "SELECT * FROM t");
  EXPECT_EQ(Stamp(), stamp) << "another connection's read is no change";
  seen.insert(stamp);
  for (int i = 0; i < 5; ++i) {
    Run(m_writer, "INSERT INTO t VALUES(1)");
    EXPECT_TRUE(seen.insert(Stamp()).second) << "commit " << i;
  }
  // A checkpoint that empties the log, then a commit that starts the log
  // over at its first frame again.
  Run(m_writer, "PRAGMA wal_checkpoint(TRUNCATE)");
  Run(m_writer, "INSERT INTO t VALUES(2)");
  EXPECT_TRUE(seen.insert(Stamp()).second) << "a commit after the log restarted";
  Run(m_writer, "BEGIN; INSERT INTO t VALUES(3); ROLLBACK");
  EXPECT_EQ(seen.count(Stamp()), 1u) << "a rolled-back transaction commits nothing";
}

// Where the header's fields are: SQLite's "WAL-mode File Format" document,
// section 2 ("The WAL-Index File Format"): the file grows in regions of
// 32768 bytes; section 2.1 ("The WAL-Index Header"): two copies of 48
// bytes at 0 and 48, iVersion (always 3007000) at 0, isInit at 12, mxFrame
// (the committed frames) at 16. The frames are pinned against SQLite's own
// count, which a passive checkpoint reports without starting the log over.
TEST_F(WalIndexStamp, TheHeaderIsWhereTheFormatDocumentSaysItIs) {
  for (int i = 0; i < 3; ++i) Run(m_writer, "INSERT INTO t VALUES(1)");
  sqlite3_stmt* checkpoint = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(m_writer, "PRAGMA wal_checkpoint(PASSIVE)", -1, &checkpoint, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(checkpoint), SQLITE_ROW);
  int logFrames = sqlite3_column_int(checkpoint, 1);
  sqlite3_finalize(checkpoint);
  uint32_t frames = 0;
  ASSERT_TRUE(fgp::reg::WalIndexFrames(m_reader, frames));
  EXPECT_GE(logFrames, 4) << "the table made, then three rows";
  EXPECT_EQ(frames, static_cast<uint32_t>(logFrames));

  int fd = open((m_path + "-shm").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_size % 32768, 0);
  unsigned char header[96];
  ASSERT_EQ(pread(fd, header, sizeof header, 0), static_cast<ssize_t>(sizeof header));
  close(fd);
  uint32_t version = 0, copied = 0;
  std::memcpy(&version, header, 4);
  std::memcpy(&copied, header + 48 + 16, 4);
  EXPECT_EQ(version, 3007000u);
  EXPECT_EQ(header[12], 1);
  EXPECT_EQ(copied, frames) << "the second copy";
}

TEST_F(WalIndexStamp, AHeaderBeingWrittenOrNotInitialisedIsNotRead) {
  uint64_t before = Stamp();
  int fd = open((m_path + "-shm").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  void* mapped = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  ASSERT_NE(mapped, MAP_FAILED);
  auto* header = static_cast<unsigned char*>(mapped);
  uint64_t stamp = 0;
  // The first copy rewritten, the second not yet: a commit half way.
  header[16] ^= 0xFF;  // the first copy's count of frames
  EXPECT_FALSE(fgp::reg::WalIndexStamp(m_reader, stamp));
  header[16] ^= 0xFF;
  EXPECT_EQ(Stamp(), before);
  header[12] = header[48 + 12] = 0;  // both copies' "initialised" flag
  EXPECT_FALSE(fgp::reg::WalIndexStamp(m_reader, stamp));
  header[12] = header[48 + 12] = 1;
  EXPECT_EQ(Stamp(), before);
  munmap(mapped, 4096);
}

TEST(WalIndexStampWithoutLog, ADatabaseInMemoryHasNoSharedHeader) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t(x); SELECT * FROM t", nullptr, nullptr, nullptr), SQLITE_OK);
  uint64_t stamp = 0;
  EXPECT_FALSE(fgp::reg::WalIndexStamp(db, stamp));
  sqlite3_close(db);
}

}  // namespace
