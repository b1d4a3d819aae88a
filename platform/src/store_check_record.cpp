#include "store_check_record.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace fgp::reg {

namespace {

constexpr time_t kTooRecentSeconds = 2;  // coarser than any local file system's clock tick
constexpr size_t kMaxRecord = 256;       // a record is one short line; anything longer is not one

std::string RecordPath(const std::string& storePath) { return storePath + "-checked"; }

// The file's identity, or empty when it cannot be examined or is not a
// regular file; `recent` says whether it changed too recently to tell.
std::string Identity(const std::string& path, bool& recent) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
  char text[kMaxRecord];
  int n = std::snprintf(text, sizeof text, "%llu %llu %lld %lld.%09ld %lld.%09ld\n",
                        static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
                        static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
                        st.st_mtim.tv_nsec, static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof text) return "";
  time_t now = std::time(nullptr);
  recent = st.st_mtim.tv_sec > now - kTooRecentSeconds || st.st_ctim.tv_sec > now - kTooRecentSeconds;
  return std::string(text, static_cast<size_t>(n));
}

// The record's text: a regular file of the user's, read without following
// a link or waiting on a FIFO, and no longer than a record; else empty.
std::string ReadRecord(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  struct stat st {};
  std::string text;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_size > 0 &&
      static_cast<size_t>(st.st_size) < kMaxRecord) {
    char buffer[kMaxRecord];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == st.st_size) text.assign(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

}  // namespace

bool CheckedRecordMatches(const std::string& storePath) {
  bool recent = false;
  std::string identity = Identity(storePath, recent);
  return !identity.empty() && ReadRecord(RecordPath(storePath)) == identity;
}

void RecordChecked(const std::string& storePath) {
  bool recent = false;
  std::string identity = Identity(storePath, recent);
  if (identity.empty() || recent) return;
  // Written beside it and renamed over it: a reader finds the old record or
  // the new one, never half of one.
  std::string temporary = RecordPath(storePath) + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return;
  bool written = write(fd, identity.data(), identity.size()) == static_cast<ssize_t>(identity.size());
  written = close(fd) == 0 && written;
  if (!written || rename(temporary.c_str(), RecordPath(storePath).c_str()) != 0) unlink(temporary.c_str());
}

}  // namespace fgp::reg
