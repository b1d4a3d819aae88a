#include "fgplatform/test_registry.h"

#include <cstdlib>
#include <unistd.h>

namespace fgtest {

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
