#include "fgplatform/test_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "fgplatform/win32.h"

namespace fgtest {

bool ClassesKeyExists(const char16_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

namespace {

std::string Narrow(const char16_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    char16_t c = text[i];
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out;
}

void DumpKey(HKEY key, const std::string& path, std::string& out) {
  out += "[" + path + "]\n";
  for (DWORD i = 0;; ++i) {
    char16_t name[16384];
    BYTE data[65536];
    DWORD nameSize = 16384, type = 0, size = sizeof data;
    if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    out += "  " + (nameSize == 0 ? std::string("@") : Narrow(name, nameSize)) + " " + std::to_string(type) + ":";
    for (DWORD b = 0; b < size; ++b) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x", data[b]);
      out += hex;
    }
    out += "\n";
  }
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    DWORD size = 256;
    if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) {
      out += "[" + path + "\\" + Narrow(name, size) + "] unreadable\n";
      continue;
    }
    DumpKey(child, path + "\\" + Narrow(name, size), out);
    RegCloseKey(child);
  }
}

}  // namespace

std::string RegistryDump(HKEY root, const char16_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  std::string out;
  DumpKey(key, path != nullptr ? Narrow(path, std::char_traits<char16_t>::length(path)) : std::string(), out);
  RegCloseKey(key);
  return out;
}

std::string RegistryDump() {
  return RegistryDump(HKEY_CLASSES_ROOT, nullptr) + RegistryDump(HKEY_CURRENT_USER, nullptr) +
         RegistryDump(HKEY_LOCAL_MACHINE, nullptr);
}

std::string RegistryBytes(HKEY root, const char16_t* path, const char16_t* name, DWORD* type) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
  std::string bytes(size, '\0');
  if (status == ERROR_SUCCESS && size > 0)
    status = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return "<no value>";
  bytes.resize(size);
  return bytes;
}

std::u16string RegistryText(HKEY root, const char16_t* path, const char16_t* name) {
  std::string bytes = RegistryBytes(root, path, name);
  if (bytes == "<no key>") return u"<no key>";
  if (bytes == "<no value>") return u"<no value>";
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text.substr(0, text.find(u'\0'));
}

TemporaryRegistry::TemporaryRegistry() {
  // A folder of the test's own: the registry refuses a store in a folder
  // others may write.
  char name[] = "/tmp/fg-registry-XXXXXX";
  if (mkdtemp(name) != nullptr) m_folder = name;
  m_path = m_folder + "/registry.db";
  setenv("FARROWGATE_REGISTRY", m_path.c_str(), 1);
}

TemporaryRegistry::~TemporaryRegistry() {
  if (m_folder.empty()) return;
  std::string command = "rm -rf '" + m_folder + "'";
  if (std::system(command.c_str()) != 0) return;  // a leftover folder is only untidy
}

}  // namespace fgtest
