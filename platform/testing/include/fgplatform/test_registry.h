// Points the registry at a fresh store file for the lifetime of the
// object, and removes the file afterwards.
#pragma once

#include <string>

#include "fgplatform/win32.h"

namespace fgtest {

// Whether HKEY_CLASSES_ROOT\path exists.
bool ClassesKeyExists(const char16_t* path);

// Every key under root\path (null: the root) with its values, as text
// ("[path]" lines, then "  name type:hexbytes"), in enumeration order; for
// comparing the registry before and after.
std::string RegistryDump(HKEY root, const char16_t* path = nullptr);
// The dump of the classes root, the current user and the local machine.
std::string RegistryDump();

// The bytes of a value (null name: the default value), its type in *type
// when asked; "<no key>" or "<no value>" when it is missing.
std::string RegistryBytes(HKEY root, const char16_t* path, const char16_t* name = nullptr, DWORD* type = nullptr);
// A value as text, up to its first terminator; u"<no key>" or
// u"<no value>" when it is missing.
std::u16string RegistryText(HKEY root, const char16_t* path, const char16_t* name = nullptr);

class TemporaryRegistry {
 public:
  TemporaryRegistry();
  ~TemporaryRegistry();
  TemporaryRegistry(const TemporaryRegistry&) = delete;
  TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_folder;
  std::string m_path;
};

}  // namespace fgtest
