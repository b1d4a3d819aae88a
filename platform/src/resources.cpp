// Finding and reading resources in a module's resource section.
#include <cstring>

#include "case_fold.h"
#include "fgplatform/kernel.h"
#include "fgplatform/libloader.h"
#include "fgplatform/resource_format.h"
#include "fgplatform/winnls.h"
#include "modules.h"

namespace {

using fgres::ResourceEntry;
using fgres::ResourceId;
using fgres::SectionHeader;

// One 16-bit unit of a section at any byte offset: names and strings may
// sit at odd offsets in a damaged (or hostile) section.
char16_t UnitAt(const BYTE* p) {
  char16_t c;
  std::memcpy(&c, p, sizeof c);
  return c;
}

// The integer an id names: MAKEINTRESOURCE, or a string "#" and decimal
// digits (at most 65535); false for a name.
bool IntegerId(LPCWSTR id, WORD& out) {
  if (IS_INTRESOURCE(id)) {
    out = LOWORD(reinterpret_cast<ULONG_PTR>(id));
    return true;
  }
  if (id[0] != u'#' || id[1] == 0) return false;
  uint32_t value = 0;
  for (const char16_t* p = id + 1; *p != 0; ++p) {
    if (*p < u'0' || *p > u'9') return false;
    value = value * 10 + static_cast<uint32_t>(*p - u'0');
    if (value > 0xFFFF) return false;
  }
  out = static_cast<WORD>(value);
  return true;
}

// A checked view of one module's section.
class Section {
 public:
  explicit Section(const fgp::ModuleResources& r) : m_data(r.data), m_size(r.size) {
    if (m_data == nullptr || m_size < sizeof(SectionHeader)) return;
    std::memcpy(&m_header, m_data, sizeof m_header);
    m_valid = m_header.magic == fgres::kMagic && m_header.version == fgres::kVersion &&
              m_header.count <= (m_size - sizeof(SectionHeader)) / sizeof(ResourceEntry);
  }
  bool Valid() const { return m_valid; }
  uint32_t Count() const { return m_header.count; }
  const ResourceEntry* Entry(uint32_t i) const {
    return reinterpret_cast<const ResourceEntry*>(m_data + sizeof(SectionHeader)) + i;
  }
  bool Matches(const ResourceId& id, LPCWSTR wanted) const {
    if (WORD number = 0; IntegerId(wanted, number)) return id.isString == 0 && id.value == number;
    if (id.isString == 0 || id.value >= m_size) return false;
    // Names are stored in upper case, null-terminated, within the section.
    const BYTE* stored = m_data + id.value;
    size_t room = (m_size - id.value) / 2;
    for (size_t i = 0;; ++i) {
      if (i >= room) return false;
      if (fgp::UpperCase(UnitAt(stored + 2 * i)) != fgp::UpperCase(wanted[i])) return false;
      if (wanted[i] == 0) return true;
    }
  }
  bool DataInside(const ResourceEntry* e) const {
    return e->dataOffset <= m_size && e->dataSize <= m_size - e->dataOffset;
  }
  const BYTE* Data(const ResourceEntry* e) const { return m_data + e->dataOffset; }

 private:
  const BYTE* m_data;
  size_t m_size;
  SectionHeader m_header{};
  bool m_valid = false;
};

// The entry of a language among the entries of one type and name, by the
// order of preference of a neutral request.
const ResourceEntry* PickLanguage(const Section& s, LPCWSTR type, LPCWSTR name, WORD language, DWORD& error) {
  const ResourceEntry* candidates[64];
  size_t n = 0;
  bool typeSeen = false;
  for (uint32_t i = 0; i < s.Count(); ++i) {
    const ResourceEntry* e = s.Entry(i);
    if (!s.Matches(e->type, type)) continue;
    typeSeen = true;
    if (s.Matches(e->name, name) && s.DataInside(e) && n < 64) candidates[n++] = e;
  }
  if (n == 0) {
    error = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
  }
  auto find = [&](WORD lang) -> const ResourceEntry* {
    for (size_t i = 0; i < n; ++i)
      if (candidates[i]->language == lang) return candidates[i];
    return nullptr;
  };
  if (language != 0) {
    const ResourceEntry* e = find(language);
    if (e == nullptr) error = ERROR_RESOURCE_LANG_NOT_FOUND;
    return e;
  }
  for (WORD lang : {WORD(0), LANGIDFROMLCID(GetThreadLocale()), GetUserDefaultLangID(), WORD(0x0409)})
    if (const ResourceEntry* e = find(lang)) return e;
  return candidates[0];
}

}  // namespace

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
  fgp::ModuleResources resources;
  if (!fgp::ResourcesOf(hModule, resources)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (lpType == nullptr || lpName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Section section(resources);
  if (!section.Valid()) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  DWORD error = 0;
  const ResourceEntry* e = PickLanguage(section, lpType, lpName, wLanguage, error);
  if (e == nullptr) SetLastError(error);
  return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(e));
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  return FindResourceExW(hModule, lpType, lpName, 0);
}

// The section the entry lies in; only such entries are served.
static bool EntryOfModule(HMODULE hModule, HRSRC hResInfo, fgp::ModuleResources& resources) {
  if (hResInfo == nullptr || !fgp::ResourcesOf(hModule, resources) || resources.data == nullptr) return false;
  auto at = reinterpret_cast<const BYTE*>(hResInfo);
  return at >= resources.data + sizeof(SectionHeader) && at + sizeof(ResourceEntry) <= resources.data + resources.size;
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
  fgp::ModuleResources resources;
  if (!EntryOfModule(hModule, hResInfo, resources)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const auto* e = reinterpret_cast<const ResourceEntry*>(hResInfo);
  return const_cast<BYTE*>(resources.data + e->dataOffset);
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  fgp::ModuleResources resources;
  if (!EntryOfModule(hModule, hResInfo, resources)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return reinterpret_cast<const ResourceEntry*>(hResInfo)->dataSize;
}

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cchBufferMax > 0) lpBuffer[0] = 0;
  HRSRC block = FindResourceExW(hInstance, RT_STRING, MAKEINTRESOURCEW((uID >> 4) + 1), 0);
  if (block == nullptr) return 0;
  const auto* p = static_cast<const BYTE*>(LockResource(LoadResource(hInstance, block)));
  size_t units = SizeofResource(hInstance, block) / 2;
  size_t at = 0;
  for (UINT i = 0; i < (uID & 15) && at < units; ++i) at += 1 + UnitAt(p + 2 * at);
  if (at >= units || UnitAt(p + 2 * at) == 0 || at + 1 + UnitAt(p + 2 * at) > units) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  int length = UnitAt(p + 2 * at);
  const auto* text = reinterpret_cast<const char16_t*>(p + 2 * (at + 1));
  if (cchBufferMax == 0) {
    *reinterpret_cast<const char16_t**>(lpBuffer) = text;
    return length;
  }
  int copied = length < cchBufferMax - 1 ? length : cchBufferMax - 1;
  std::memcpy(lpBuffer, text, static_cast<size_t>(copied) * 2);
  lpBuffer[copied] = 0;
  return copied;
}
