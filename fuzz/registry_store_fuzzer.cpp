// Fuzzes the registry's check of a store at open: any bytes as the store
// file. A store the check admits is walked (keys, values, a few levels
// deep); one it refuses must be left exactly as it was.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fgplatform/win32.h"

namespace {

constexpr int kMaxDepth = 4;
constexpr DWORD kMaxChildren = 64;
std::string g_store;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Walk(HKEY key, int depth) {
  DWORD subkeys = 0, values = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return;
  for (DWORD i = 0; i < values && i < kMaxChildren; ++i) {
    char16_t name[256];
    DWORD length = 256, type = 0, size = 0;
    (void)RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, &size);
  }
  if (depth == kMaxDepth) return;
  for (DWORD i = 0; i < subkeys && i < kMaxChildren; ++i) {
    char16_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) continue;
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    Walk(child, depth + 1);
    RegCloseKey(child);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/fg-store-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) abort();
  g_store = std::string(folder) + "/registry.db";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((g_store + suffix).c_str());
  {
    std::ofstream out(g_store, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::string before(reinterpret_cast<const char*>(data), size);
  setenv("FARROWGATE_REGISTRY", g_store.c_str(), 1);
  HKEY root = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &root);
  if (status == ERROR_SUCCESS) {
    Walk(root, 0);
    RegCloseKey(root);
  }
  // Another store makes the registry let go of this one.
  setenv("FARROWGATE_REGISTRY", ":memory:", 1);
  if (RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &root) == ERROR_SUCCESS) RegCloseKey(root);
  if ((status == ERROR_REGISTRY_CORRUPT || status == ERROR_REGISTRY_IO_FAILED) && Contents(g_store) != before)
    __builtin_trap();  // a refused store was written
  return 0;
}
