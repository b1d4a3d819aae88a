#include "registry_tree.h"

#include <unistd.h>

#include <iostream>

#include "registry_text.h"

namespace fgreg {

namespace {

struct RootRow {
  const char* shortName;
  const char* longName;
  HKEY key;
};
const RootRow kRoots[] = {{"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                          {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                          {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                          {"HKU", "HKEY_USERS", HKEY_USERS},
                          {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};

std::string Describe(LSTATUS status) {
  switch (status) {
    case ERROR_FILE_NOT_FOUND: return "no such key or value";
    case ERROR_ACCESS_DENIED: return "access denied (a key with subkeys, or a protected key)";
    case ERROR_REGISTRY_CORRUPT: return "the registry store is damaged or is not a registry store";
    case ERROR_REGISTRY_IO_FAILED: return "the registry store cannot be opened or written";
    case ERROR_BAD_PATHNAME: return "bad key path";
    case ERROR_INVALID_PARAMETER: return "invalid key or value name";
    default: return "registry error";
  }
}

}  // namespace

bool ParseKey(const std::string& text, HKEY& root, std::string& rootName, std::u16string& path) {
  std::string head = text.substr(0, text.find('\\'));
  for (const RootRow& row : kRoots) {
    if (_stricmp(head.c_str(), row.shortName) != 0 && _stricmp(head.c_str(), row.longName) != 0) continue;
    root = row.key;
    rootName = row.longName;
    path = head.size() < text.size() ? Widen(text.substr(head.size() + 1)) : std::u16string();
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    return true;
  }
  return false;
}

std::string FullName(const std::string& rootName, const std::u16string& path) {
  return path.empty() ? rootName : rootName + "\\" + Narrow(path);
}

LSTATUS ReadValues(HKEY key, std::vector<Value>& out) {
  for (DWORD i = 0;; ++i) {
    char16_t name[16384];
    DWORD nameSize = 16384, type = 0, size = 0;
    LSTATUS rc = RegEnumValueW(key, i, name, &nameSize, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    std::string bytes(size, '\0');
    rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (rc != ERROR_SUCCESS) return rc;
    bytes.resize(size);
    out.push_back({std::u16string(name, nameSize), type, bytes});
  }
}

LSTATUS ReadSubkeys(HKEY key, std::vector<std::u16string>& out) {
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    DWORD size = 256;
    LSTATUS rc = RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    out.push_back(std::u16string(name, size));
  }
}

bool AskYes(const std::string& question, const std::string& refusal) {
  if (!isatty(STDIN_FILENO)) {
    std::cerr << "fgreg: " << refusal << "\n";
    return false;
  }
  std::cout << question << " " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Fail(const std::string& what, LSTATUS status) {
  std::cerr << "fgreg: " << what << ": " << Describe(status) << " (error " << status << ")\n";
  return 1;
}

}  // namespace fgreg
