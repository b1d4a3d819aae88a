// Points the registry at a fresh store file for the lifetime of the
// object, and removes the file afterwards.
#pragma once

#include <string>

namespace fgtest {

// Whether HKEY_CLASSES_ROOT\path exists.
bool ClassesKeyExists(const char16_t* path);

class TemporaryRegistry {
 public:
  TemporaryRegistry();
  ~TemporaryRegistry();
  TemporaryRegistry(const TemporaryRegistry&) = delete;
  TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace fgtest
