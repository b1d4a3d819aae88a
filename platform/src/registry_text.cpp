#include "registry_text.h"

#include <map>
#include <mutex>
#include <utility>

namespace fgp {

namespace {

// What ReadClassesText answered, by key path and value name, for one change
// stamp of the store. Bounded: a full cache starts over.
struct ClassesText {
  bool found = false;
  std::u16string text;
  DWORD type = 0;
};
constexpr size_t kMaxCachedTexts = 256;
std::mutex g_cacheLock;
uint64_t g_cacheStamp = 0;
std::map<std::pair<std::u16string, std::u16string>, ClassesText>& Cache() {
  static auto* cache = new std::map<std::pair<std::u16string, std::u16string>, ClassesText>;  // to the very end
  return *cache;
}

}  // namespace

bool ReadClassesText(const std::u16string& path, std::u16string& out, const char16_t* name, DWORD* type) {
  uint64_t stamp = 0;
  bool stamped = RegistryChangeStamp(stamp) == ERROR_SUCCESS;
  auto key = std::make_pair(path, std::u16string(name != nullptr ? name : u""));
  if (stamped) {
    std::lock_guard<std::mutex> guard(g_cacheLock);
    if (g_cacheStamp != stamp) {
      Cache().clear();
      g_cacheStamp = stamp;
    }
    auto it = Cache().find(key);
    if (it != Cache().end()) {
      if (!it->second.found) return false;
      out = it->second.text;
      if (type != nullptr) *type = it->second.type;
      return true;
    }
  }
  ClassesText read;
  read.found = ReadKeyText(HKEY_CLASSES_ROOT, path, read.text, name, &read.type);
  if (stamped) {
    // Kept only when nothing changed while it was read. The stamp is taken
    // before the cache's lock: the registry's lock is never waited for while
    // the cache's is held.
    uint64_t after = 0;
    bool unchanged = RegistryChangeStamp(after) == ERROR_SUCCESS && after == stamp;
    std::lock_guard<std::mutex> guard(g_cacheLock);
    if (unchanged && g_cacheStamp == stamp) {
      if (Cache().size() >= kMaxCachedTexts) Cache().clear();
      Cache()[key] = read;
    }
  }
  if (!read.found) return false;
  out = read.text;
  if (type != nullptr) *type = read.type;
  return true;
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
