// Shared memory, events and the token calls, within one process and across
// a child process.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

std::string Unique(const char* what) { return std::string("FgTest_") + what + "_" + std::to_string(getpid()); }

// Runs `body` in a child process; answers its exit status.
template <class F>
int InChild(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The file that holds the object of a name (shared_objects.h).
std::string FileOf(const std::string& name, const char* kind = "") {
  return "/dev/shm/fg." + std::to_string(getuid()) + "." + kind + name;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Writes a copy of `from` at `to` as the user 65534, the way another user of
// the machine would plant it; false when this process cannot act as another
// user (it is not root, or setpriv is missing).
bool PlantAsAnotherUser(const std::string& from, const std::string& to) {
  if (geteuid() != 0 || std::system("command -v setpriv >/dev/null 2>&1") != 0) return false;
  std::string command =
      "setpriv --reuid=65534 --regid=65534 --clear-groups sh -c 'cat > " + to + "' < " + from + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

// Every way a name can hold something this user must not trust: each is
// refused, by openers as a missing object and by creators as access denied,
// and left as it was.
void ExpectRefused(const std::string& name, const std::string& file, bool event) {
  struct stat st {};
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  bool regular = S_ISREG(st.st_mode);  // a FIFO is not read here: that would wait for a writer
  std::string before = regular ? Contents(file) : "";
  if (event) {
    EXPECT_EQ(OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()), nullptr) << file;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << file;
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, name.c_str()), nullptr) << file;
  } else {
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_WRITE, FALSE, name.c_str()), nullptr) << file;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << file;
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr) << file;
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str()), nullptr)
        << file;
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << file;
  EXPECT_EQ(lstat(file.c_str(), &st), 0) << "left in place: " << file;
  if (regular) {
    EXPECT_EQ(Contents(file), before) << file;
  }
}

TEST(SharedObjects, WhatAnotherUserCouldHavePlantedIsNeverTaken) {
  // Live objects of this process, whose files are copied under other names:
  // the copies claim a creator that is alive.
  std::string real = Unique("real");
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, real.c_str());
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, real.c_str());
  ASSERT_NE(mapping, nullptr);
  ASSERT_NE(event, nullptr);
  for (bool isEvent : {false, true}) {
    const char* kind = isEvent ? "ev." : "";
    std::string source = FileOf(real, kind);
    std::string open = Unique(isEvent ? "openev" : "open");  // this user's, but others may write it
    {
      std::ofstream(FileOf(open, kind), std::ios::binary) << Contents(source);
    }
    ASSERT_EQ(chmod(FileOf(open, kind).c_str(), 0666), 0);
    ExpectRefused(open, FileOf(open, kind), isEvent);
    std::string fifo = Unique(isEvent ? "fifoev" : "fifo");  // would hang a blocking open
    ASSERT_EQ(mkfifo(FileOf(fifo, kind).c_str(), 0600), 0);
    ExpectRefused(fifo, FileOf(fifo, kind), isEvent);
    std::string link = Unique(isEvent ? "linkev" : "link");  // leads elsewhere
    ASSERT_EQ(symlink(source.c_str(), FileOf(link, kind).c_str()), 0);
    ExpectRefused(link, FileOf(link, kind), isEvent);
    for (const std::string& n : {open, fifo, link}) unlink(FileOf(n, kind).c_str());
  }
  std::string planted = Unique("planted");
  bool asOther = PlantAsAnotherUser(FileOf(real), FileOf(planted)) &&
                 PlantAsAnotherUser(FileOf(real, "ev."), FileOf(planted, "ev."));
  if (asOther) {
    ExpectRefused(planted, FileOf(planted), false);
    ExpectRefused(planted, FileOf(planted, "ev."), true);
  }
  unlink(FileOf(planted).c_str());
  unlink(FileOf(planted, "ev.").c_str());
  CloseHandle(event);
  CloseHandle(mapping);
  if (!asOther) GTEST_SKIP() << "objects of another user not tried: this test must run as root with setpriv";
}

TEST(SharedObjects, AForkedChildRemovesNoNameOfItsParent) {
  std::string name = Unique("forked");
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(mapping, nullptr);
  ASSERT_NE(event, nullptr);
  pid_t child = fork();
  if (child == 0) {
    CloseHandle(event);
    CloseHandle(mapping);
    std::exit(0);  // the at-exit clean-up runs
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(access(FileOf(name).c_str(), F_OK), 0) << "the mapping's name is the parent's";
  EXPECT_EQ(access(FileOf(name, "ev.").c_str(), F_OK), 0) << "the event's name is the parent's";
  CloseHandle(event);
  CloseHandle(mapping);
  EXPECT_NE(access(FileOf(name).c_str(), F_OK), 0) << "removed by the process that made it";
  EXPECT_NE(access(FileOf(name, "ev.").c_str(), F_OK), 0);
}

TEST(SharedObjects, AKilledCreatorLeavesNeitherARegionNorAWakeUp) {
  std::string name = Unique("killed");
  EXPECT_EQ(InChild([&] {
              HANDLE m = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
              HANDLE e = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
              if (m == nullptr || e == nullptr || !SetEvent(e)) return 1;
              kill(getpid(), SIGKILL);  // no clean-up runs
              return 2;
            }),
            -1);
  ASSERT_EQ(access(FileOf(name).c_str(), F_OK), 0) << "left behind";
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(access(FileOf(name).c_str(), F_OK), 0) << "removed by the process that found it";
  EXPECT_EQ(OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()), nullptr);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "made anew";
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the dead setter's wake-up is gone";
  CloseHandle(event);
}

TEST(SharedMemory, ANamedMappingIsOneMemoryForEveryViewAndProcess) {
  std::string name = Unique("map");
  HANDLE first = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, 0x400000,
                                    name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  auto* view = static_cast<char*>(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(VirtualAlloc(view + 10, 100, MEM_COMMIT, PAGE_READWRITE), view) << "the first page of the range";
  std::strcpy(view + 10, "shared");

  HANDLE second = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  auto* other = static_cast<char*>(MapViewOfFile(second, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(other, nullptr);
  EXPECT_STREQ(other + 10, "shared");
  MEMORY_BASIC_INFORMATION mbi{};
  ASSERT_EQ(VirtualQuery(other + 5000, &mbi, sizeof mbi), sizeof mbi);
  EXPECT_EQ(mbi.AllocationBase, other);
  EXPECT_EQ(mbi.RegionSize, 0x400000u - info.dwPageSize) << "the existing mapping keeps its size";
  EXPECT_EQ(mbi.Type, static_cast<DWORD>(MEM_MAPPED));
  int local = 0;
  EXPECT_EQ(VirtualQuery(&local, &mbi, sizeof mbi), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_EQ(VirtualAlloc(view + 0x400000, 1, MEM_COMMIT, PAGE_READWRITE), nullptr) << "outside every view";

  EXPECT_EQ(InChild([&] {
              HANDLE h = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name.c_str());
              auto* v = h != nullptr ? static_cast<char*>(MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 0)) : nullptr;
              if (v == nullptr || std::strcmp(v + 10, "shared") != 0) return 1;
              std::strcpy(v + 10, "written by the child");
              return 0;
            }),
            0);
  EXPECT_STREQ(view + 10, "written by the child");

  EXPECT_TRUE(UnmapViewOfFile(other));
  EXPECT_FALSE(UnmapViewOfFile(other)) << "not a view any more";
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_WRITE, FALSE, name.c_str()), nullptr) << "the creator closed its last handle";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SharedMemory, ANameLeftByAKilledProcessIsFreeAgain) {
  std::string name = Unique("stale");
  EXPECT_EQ(InChild([&] {
              HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
              if (h == nullptr) return 1;
              kill(getpid(), SIGKILL);  // no clean-up runs
              return 2;
            }),
            -1);
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_WRITE, FALSE, name.c_str()), nullptr) << "its creator is gone";
  HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "made anew, not joined";
  CloseHandle(h);
}

TEST(SharedMemory, RefusalsAndFaults) {
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, "FgZero"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateFileMappingA(reinterpret_cast<HANDLE>(0x100), nullptr, PAGE_READWRITE, 0, 4096, "FgFile"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  std::string tooLong(201, 'x');
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, tooLong.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(MapViewOfFile(reinterpret_cast<HANDLE>(0x12345), FILE_MAP_READ, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  std::string name = Unique("fault");
  fgtest::FailCall(fgtest::Service::Mapping, 1, /*persistent=*/false);
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  fgtest::ClearFaults();
  HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(h, nullptr);
  void* v = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  ASSERT_NE(v, nullptr);
  fgtest::FailCall(fgtest::Service::Mapping, 1, /*persistent=*/false);
  EXPECT_EQ(VirtualAlloc(v, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr) << "a commit that fails";
  fgtest::ClearFaults();
  EXPECT_EQ(MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 8192), nullptr) << "larger than the mapping";
  UnmapViewOfFile(v);
  CloseHandle(h);
}

TEST(Events, NamedEventsSignalAcrossProcesses) {
  std::string name = Unique("event");
  EXPECT_EQ(OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(InChild([&] {
              HANDLE h = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
              return h != nullptr && SetEvent(h) && SetEvent(h) && CloseHandle(h) ? 0 : 1;
            }),
            0);
  EXPECT_EQ(WaitForSingleObject(event, 1000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(event, 10), static_cast<DWORD>(WAIT_TIMEOUT)) << "set twice is set once";

  HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "stays set";
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x12345), 0), WAIT_FAILED);
  CloseHandle(manual);
  CloseHandle(event);
  EXPECT_EQ(OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()), nullptr) << "gone with its creator's last handle";

  HANDLE token = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_DUPLICATE | TOKEN_IMPERSONATE, TRUE, &token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(token, nullptr);
  EXPECT_TRUE(RevertToSelf());
  EXPECT_TRUE(SetThreadToken(nullptr, nullptr));
}

}  // namespace
