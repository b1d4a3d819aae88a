#include "registry_text.h"

namespace fgp {

bool ReadClassesText(const std::u16string& path, std::u16string& out, const char16_t* name, DWORD* type) {
  return ReadKeyText(HKEY_CLASSES_ROOT, path, out, name, type);
}

bool ReadKeyText(HKEY root, const std::u16string& path, std::u16string& out, const char16_t* name, DWORD* type) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD kind = 0, size = 0;
  LSTATUS rc = RegQueryValueExW(key, name, nullptr, &kind, nullptr, &size);
  std::u16string text(size / 2, u'\0');
  if (rc == ERROR_SUCCESS && size > 0)
    rc = RegQueryValueExW(key, name, nullptr, &kind, reinterpret_cast<BYTE*>(text.data()), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (kind != REG_SZ && kind != REG_EXPAND_SZ)) return false;
  text.resize(size / 2);
  while (!text.empty() && text.back() == 0) text.pop_back();
  if (type != nullptr) *type = kind;
  out = text;
  return !out.empty();
}

std::u16string GuidText(REFGUID g) {
  char16_t text[40];
  StringFromGUID2(g, text, 40);
  return text;
}

}  // namespace fgp
