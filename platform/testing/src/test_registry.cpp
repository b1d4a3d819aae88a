#include "fgplatform/test_registry.h"

#include <cstdlib>
#include <unistd.h>

#include "fgplatform/win32.h"

namespace fgtest {

bool ClassesKeyExists(const char16_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

TemporaryRegistry::TemporaryRegistry() {
  char name[] = "/tmp/fg-registry-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  unlink(name);  // the registry creates its own file
  m_path = name;
  setenv("FARROWGATE_REGISTRY", m_path.c_str(), 1);
}

TemporaryRegistry::~TemporaryRegistry() {
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((m_path + suffix).c_str());
}

}  // namespace fgtest
