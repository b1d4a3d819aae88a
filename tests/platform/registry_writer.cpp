// Test helper: writes REG_DWORD values PREFIX0..PREFIXn-1 under
// HKCU\Software\FgConcurrency of the store named by FARROWGATE_REGISTRY,
// printing its process id first and then each index once its write has
// returned success. An optional third argument, a time in milliseconds of
// the realtime clock, makes it wait until then before its first call, so
// that several writers can be started together.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "fgplatform/win32.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string prefix = argv[1];
  int count = std::atoi(argv[2]);
  std::printf("%d\n", static_cast<int>(getpid()));
  std::fflush(stdout);
  if (argc > 3) {
    std::chrono::system_clock::time_point start{std::chrono::milliseconds(std::atoll(argv[3]))};
    std::this_thread::sleep_until(start);
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\FgConcurrency", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 3;
  for (int i = 0; i < count; ++i) {
    std::string name = prefix + std::to_string(i);
    std::u16string wide(name.begin(), name.end());
    DWORD value = static_cast<DWORD>(i);
    LSTATUS rc = RegSetValueExW(key, wide.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "write %d failed: %d\n", i, static_cast<int>(rc));
      return 4;
    }
    std::printf("%d\n", i);
    std::fflush(stdout);
  }
  RegCloseKey(key);
  return 0;
}
