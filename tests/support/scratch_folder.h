// A folder of a test's own, made private and removed with everything in it
// when the test ends: in `parent` when one is given, else in TMPDIR (else
// /tmp).
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <string>

namespace fgtest {

class ScratchFolder {
 public:
  explicit ScratchFolder(const char* parent = nullptr) {
    const char* tmp = std::getenv("TMPDIR");
    if (parent == nullptr) parent = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    std::string name = std::string(parent) + "/fg-test-XXXXXX";
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
