// A folder of a test's own in TMPDIR (else /tmp), made private and removed
// with everything in it when the test ends.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <string>

namespace fgtest {

class ScratchFolder {
 public:
  ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/fg-test-XXXXXX";
    if (mkdtemp(name.data()) != nullptr) m_path = name;
  }
  ~ScratchFolder() {
    if (!m_path.empty()) (void)std::system(("rm -rf '" + m_path + "'").c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  // Empty when no folder could be made.
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace fgtest
