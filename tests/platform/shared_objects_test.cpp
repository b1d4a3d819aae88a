// Shared memory, events and the token calls, within one process and across
// a child process.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
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
