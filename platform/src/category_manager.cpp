// The component category manager: category descriptions and the
// categories each class implements or requires, as keys under HKCR
// (listed in comcat.h).
#include "category_manager.h"

#include <cstdio>
#include <string>

#include "codepage.h"
#include "registry_text.h"
#include "fgplatform/win32.h"

namespace {

using fgp::GuidText;

HRESULT FromCode(LSTATUS code) { return code == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(code); }

// Creates HKCR\path and, with a name, sets that text value in it.
HRESULT CreateKey(const std::u16string& path, const char16_t* name = nullptr, const char16_t* text = nullptr) {
  HKEY key = nullptr;
  LSTATUS code = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (code != ERROR_SUCCESS) return FromCode(code);
  if (name != nullptr) {
    auto bytes = static_cast<DWORD>((std::char_traits<char16_t>::length(text) + 1) * sizeof(char16_t));
    code = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
  }
  RegCloseKey(key);
  return FromCode(code);
}

// Removes HKCR\path with what lies under it; a missing key is no failure.
HRESULT RemoveTree(const std::u16string& path) {
  LSTATUS code = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? S_OK : FromCode(code);
}

std::u16string ClassCategoryKey(REFCLSID clsid, const char16_t* kind, REFGUID catid) {
  return u"CLSID\\" + GuidText(clsid) + u"\\" + kind + u"\\" + GuidText(catid);
}

// Runs `act` on the key `keyOf` names for each category, up to the first
// failure.
template <class KeyOf, class Act>
HRESULT ForEachCategory(ULONG count, const CATID* ids, KeyOf keyOf, Act act) {
  if (ids == nullptr && count > 0) return E_POINTER;
  for (ULONG i = 0; i < count; ++i) {
    HRESULT hr = act(keyOf(ids[i]));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT AddClassCategories(REFCLSID clsid, const char16_t* kind, ULONG count, const CATID* ids) {
  return ForEachCategory(
      count, ids, [&](REFGUID catid) { return ClassCategoryKey(clsid, kind, catid); },
      [](const std::u16string& key) { return CreateKey(key); });
}

HRESULT RemoveClassCategories(REFCLSID clsid, const char16_t* kind, ULONG count, const CATID* ids) {
  return ForEachCategory(
      count, ids, [&](REFGUID catid) { return ClassCategoryKey(clsid, kind, catid); }, RemoveTree);
}

constexpr const char16_t* kImplemented = u"Implemented Categories";
constexpr const char16_t* kRequired = u"Required Categories";

class CategoryManager final : public ICatRegister {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ICatRegister) return E_NOINTERFACE;
    *ppv = static_cast<ICatRegister*>(this);
    return S_OK;
  }
  // One object per process, alive until the process ends.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP RegisterCategories(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) override {
    if (rgCategoryInfo == nullptr && cCategories > 0) return E_POINTER;
    for (ULONG i = 0; i < cCategories; ++i) {
      const CATEGORYINFO& info = rgCategoryInfo[i];
      char locale[16];
      std::snprintf(locale, sizeof locale, "%x", static_cast<unsigned>(info.lcid));
      std::u16string description(info.szDescription, std::char_traits<char16_t>::length(info.szDescription) < 128
                                                         ? std::char_traits<char16_t>::length(info.szDescription)
                                                         : 127);
      HRESULT hr = CreateKey(u"Component Categories\\" + GuidText(info.catid), fgp::Utf8ToWide(locale).c_str(),
                             description.c_str());
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }
  STDMETHODIMP UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) override {
    return ForEachCategory(
        cCategories, rgcatid, [](REFGUID catid) { return u"Component Categories\\" + GuidText(catid); }, RemoveTree);
  }
  STDMETHODIMP RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) override {
    return AddClassCategories(rclsid, kImplemented, cCategories, rgcatid);
  }
  STDMETHODIMP UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) override {
    return RemoveClassCategories(rclsid, kImplemented, cCategories, rgcatid);
  }
  STDMETHODIMP RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) override {
    return AddClassCategories(rclsid, kRequired, cCategories, rgcatid);
  }
  STDMETHODIMP UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) override {
    return RemoveClassCategories(rclsid, kRequired, cCategories, rgcatid);
  }
};

}  // namespace

namespace fgp {

IUnknown* CategoryManagerObject() {
  static auto* manager = new CategoryManager;  // used until the very end
  return manager;
}

}  // namespace fgp
