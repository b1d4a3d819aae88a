#include "shared_objects.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "shared_names.h"
#include "fgplatform/winerror.h"

namespace fgp {

namespace {

constexpr uint32_t kMagic = 0x4D534746;  // "FGSM"
constexpr uint64_t kMaxPayload = 1ull << 32;
constexpr const char* kFolder = "/dev/shm";

std::string PathOf(const std::string& posixName) { return kFolder + posixName; }

// The start time of a process (clock ticks after boot), 0 when it is gone.
uint64_t StartTimeOf(pid_t pid) {
  char path[32];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[1024];
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return 0;
  text[n] = 0;
  // The command (field 2) may hold anything; the fields after its last ')'
  // are numbers. The state is field 3, the start time field 22.
  const char* p = std::strrchr(text, ')');
  if (p == nullptr) return 0;
  p += 2;
  for (int field = 3; field < 22; ++field) {
    p = std::strchr(p, ' ');
    if (p == nullptr) return 0;
    ++p;
  }
  unsigned long long start = 0;
  return std::sscanf(p, "%llu", &start) == 1 ? start : 0;
}

bool CreatorAlive(const SharedHeader& h) {
  return h.creatorPid > 0 && h.creatorStart != 0 && StartTimeOf(h.creatorPid) == h.creatorStart;
}

bool OwnedAndPrivate(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

SharedVerdict Judge(int fd, SharedKind kind, SharedHeader& h) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !OwnedAndPrivate(st)) return SharedVerdict::Foreign;
  bool whole = pread(fd, &h, sizeof h, 0) == static_cast<ssize_t>(sizeof h) && h.magic == kMagic &&
               h.size <= kMaxPayload && static_cast<uint64_t>(st.st_size) >= SharedPageBytes() + h.size;
  if (!whole || !CreatorAlive(h)) return SharedVerdict::Stale;
  if (kind != SharedKind::Any && h.kind != static_cast<uint32_t>(kind)) return SharedVerdict::Foreign;
  return SharedVerdict::Usable;
}

int OpenPath(const std::string& path, bool writable, SharedVerdict& verdict) {
  // Never follows a link and never waits on a FIFO planted under the name.
  int fd = open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) verdict = errno == ENOENT ? SharedVerdict::Missing : SharedVerdict::Foreign;
  return fd;
}

SharedVerdict JudgePath(const std::string& path) {
  SharedVerdict verdict = SharedVerdict::Missing;
  int fd = OpenPath(path, false, verdict);
  if (fd < 0) return verdict;
  SharedHeader h{};
  verdict = Judge(fd, SharedKind::Any, h);
  close(fd);
  return verdict;
}

}  // namespace

uint64_t SharedPageBytes() { return static_cast<uint64_t>(sysconf(_SC_PAGESIZE)); }

int MakeSharedObject(SharedKind kind, uint64_t payload) {
  if (payload > kMaxPayload) {
    errno = EINVAL;
    return -1;
  }
  int fd = open(kFolder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  SharedHeader h{kMagic, static_cast<uint32_t>(kind), payload, static_cast<int32_t>(getpid()), 0,
                 StartTimeOf(getpid())};
  if (fchmod(fd, 0600) != 0 || ftruncate(fd, static_cast<off_t>(SharedPageBytes() + payload)) != 0 ||
      pwrite(fd, &h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) {
    int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

int PublishSharedObject(int fd, const std::string& posixName) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return linkat(AT_FDCWD, self, AT_FDCWD, PathOf(posixName).c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

int OpenSharedObject(const std::string& posixName, bool writable, SharedKind kind, SharedHeader& header,
                     SharedVerdict& verdict) {
  int fd = OpenPath(PathOf(posixName), writable, verdict);
  if (fd < 0) return -1;
  verdict = Judge(fd, kind, header);
  if (verdict == SharedVerdict::Usable) return fd;
  close(fd);
  if (verdict == SharedVerdict::Stale) RemoveStaleObject(posixName);
  return -1;
}

DWORD PublishOrJoin(int fd, const std::string& posixName, SharedKind kind, int& existing, SharedHeader& header) {
  existing = -1;
  // A few rounds: a stale object under the name is removed and the name tried again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    int error = PublishSharedObject(fd, posixName);
    if (error == 0) {
      RememberSharedName(posixName);
      return ERROR_SUCCESS;
    }
    if (error != EEXIST) break;
    SharedVerdict verdict = SharedVerdict::Missing;
    existing = OpenSharedObject(posixName, /*writable=*/true, kind, header, verdict);
    if (existing >= 0) return ERROR_ALREADY_EXISTS;
    if (verdict == SharedVerdict::Foreign) return ERROR_ACCESS_DENIED;
  }
  return ERROR_NOT_ENOUGH_MEMORY;
}

// The stale object is first moved to a name of this process's own, judged
// again there, and removed only if it is still stale; an object that a live
// process made under the name meanwhile is put back.
void RemoveStaleObject(const std::string& posixName) {
  static std::atomic<unsigned> counter{0};
  std::string path = PathOf(posixName);
  std::string aside = std::string(kFolder) + "/fg." + std::to_string(geteuid()) + ".gone." +
                      std::to_string(getpid()) + "." + std::to_string(++counter);
  if (rename(path.c_str(), aside.c_str()) != 0) return;
  if (JudgePath(aside) != SharedVerdict::Stale) (void)link(aside.c_str(), path.c_str());
  unlink(aside.c_str());
}

void SweepStaleObjects() {
  static std::atomic<bool> swept{false};
  if (swept.exchange(true)) return;
  std::string prefix = "fg." + std::to_string(geteuid()) + ".";
  DIR* dir = opendir(kFolder);
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    std::string posixName = std::string("/") + entry->d_name;
    if (JudgePath(PathOf(posixName)) == SharedVerdict::Stale) RemoveStaleObject(posixName);
  }
  closedir(dir);
}

}  // namespace fgp
