// The registration of type libraries: RegisterTypeLib writes the documented
// keys, LoadRegTypeLib finds a library through them, UnRegisterTypeLib
// removes them again.
//
//   HKCR\TypeLib\{libid}\MAJOR.MINOR           (default) the library's help string, else its name
//                                   \FLAGS      (default) the library flags, decimal
//                                   \HELPDIR    (default) the help directory (the file's own folder)
//                                   \LCID\win32 (default) the library's full path (win64 for SYS_WIN64)
//   HKCR\Interface\{iid}                     (default) the interface's name
//                       \ProxyStubClsid32    (default) the automation marshaler's class
//                       \TypeLib             (default) {libid}, "Version" MAJOR.MINOR
//
// Versions and locales are written in hexadecimal, as the keys are read.
// An interface gets its key when it is dual or marked for automation.
// The per-user calls write and remove the same keys under
// HKCU\Software\Classes instead of HKCR.
#include <cstdio>
#include <string>
#include <vector>

#include "codepage.h"
#include "registry_text.h"
#include "fgplatform/win32.h"

namespace {

constexpr const char16_t* kMarshaler = u"{00020424-0000-0000-C000-000000000046}";

using fgp::GuidText;

std::u16string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return fgp::Utf8ToWide(text);
}

std::u16string VersionText(WORD major, WORD minor) { return Hex(major) + u"." + Hex(minor); }

const char16_t* PlatformKey(SYSKIND kind) { return kind == SYS_WIN64 ? u"win64" : u"win32"; }

// Where the class keys live: the classes root, or the user's own classes.
struct Classes {
  HKEY root;
  const char16_t* prefix;
  std::u16string operator()(const std::u16string& path) const { return prefix + path; }
};
const Classes kMachine{HKEY_CLASSES_ROOT, u""};
const Classes kUser{HKEY_CURRENT_USER, u"Software\\Classes\\"};

// Writes a key's default value (and creates the key); false on a failure.
bool WriteDefault(const Classes& at, const std::u16string& path, const std::u16string& value,
                  const char16_t* name = nullptr) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(at.root, at(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// The interfaces of a library that get keys of their own: GUID and name.
// A type whose description cannot be read (memory) fails the whole list, so
// that no interface is registered under a name it does not have.
HRESULT AutomationInterfaces(ITypeLib* lib, std::vector<std::pair<GUID, std::u16string>>& out) {
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    HRESULT hr = lib->GetTypeInfo(i, &info);
    if (FAILED(hr)) return hr;
    TYPEATTR* attr = nullptr;
    hr = info->GetTypeAttr(&attr);
    if (SUCCEEDED(hr)) {
      bool automation = (attr->typekind == TKIND_DISPATCH || attr->typekind == TKIND_INTERFACE) &&
                        (attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE));
      BSTR name = nullptr;
      if (automation) hr = info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
      if (automation && SUCCEEDED(hr)) out.push_back({attr->guid, name != nullptr ? std::u16string(name) : std::u16string()});
      SysFreeString(name);
      info->ReleaseTypeAttr(attr);
    }
    info->Release();
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

std::u16string FolderOf(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

bool Removed(LSTATUS status) {
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

// Removes a key (with what lies under it); false when a key that is there
// could not be removed.
bool RemoveTree(const Classes& at, const std::u16string& path) { return Removed(RegDeleteTreeW(at.root, at(path).c_str())); }
bool RemoveKey(const Classes& at, const std::u16string& path) { return Removed(RegDeleteKeyW(at.root, at(path).c_str())); }

bool HasSubkeys(const Classes& at, const std::u16string& path, std::initializer_list<const char16_t*> ignored) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(at.root, at(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool any = false;
  char16_t name[256];
  for (DWORD i = 0; !any; ++i) {
    DWORD size = 256;
    if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    any = true;
    for (const char16_t* skip : ignored) any = any && lstrcmpiW(name, skip) != 0;
  }
  RegCloseKey(key);
  return any;
}

HRESULT Register(const Classes& at, ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  if (ptlib == nullptr || szFullPath == nullptr) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  HRESULT hr = ptlib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  TLIBATTR a = *attr;
  ptlib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  // A library without texts still registers; one whose texts cannot be
  // read for want of memory does not, rather than under an empty title.
  hr = ptlib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  if (hr == E_OUTOFMEMORY) return hr;
  std::vector<std::pair<GUID, std::u16string>> interfaces;
  hr = AutomationInterfaces(ptlib, interfaces);
  if (FAILED(hr)) {
    SysFreeString(name);
    SysFreeString(doc);
    return hr;
  }
  std::u16string title = doc != nullptr ? doc : name != nullptr ? name : u"";
  SysFreeString(name);
  SysFreeString(doc);

  std::u16string libid = GuidText(a.guid);
  std::u16string version = VersionText(a.wMajorVerNum, a.wMinorVerNum);
  std::u16string versionKey = u"TypeLib\\" + libid + u"\\" + version;
  std::u16string helpDir = szHelpDir != nullptr ? std::u16string(szHelpDir) : FolderOf(szFullPath);
  bool ok = WriteDefault(at, versionKey, title) && WriteDefault(at, versionKey + u"\\FLAGS", Hex(a.wLibFlags)) &&
            WriteDefault(at, versionKey + u"\\HELPDIR", helpDir) &&
            WriteDefault(at, versionKey + u"\\" + Hex(a.lcid) + u"\\" + PlatformKey(a.syskind), szFullPath);
  for (size_t i = 0; ok && i < interfaces.size(); ++i) {
    std::u16string key = u"Interface\\" + GuidText(interfaces[i].first);
    ok = WriteDefault(at, key, interfaces[i].second) && WriteDefault(at, key + u"\\ProxyStubClsid", kMarshaler) &&
         WriteDefault(at, key + u"\\ProxyStubClsid32", kMarshaler) && WriteDefault(at, key + u"\\TypeLib", libid) &&
         WriteDefault(at, key + u"\\TypeLib", version, u"Version");
  }
  if (ok) return S_OK;
  // Nothing half written stays: the version's key and the interfaces' go.
  (void)RemoveTree(at, versionKey);  // as far as the registry lets it
  if (!HasSubkeys(at, u"TypeLib\\" + libid, {})) (void)RemoveKey(at, u"TypeLib\\" + libid);
  for (const auto& [iid, unused] : interfaces) (void)RemoveTree(at, u"Interface\\" + GuidText(iid));
  return TYPE_E_REGISTRYACCESS;
}

HRESULT Unregister(const Classes& at, REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  std::u16string libid = GuidText(libID);
  std::u16string versionKey = u"TypeLib\\" + libid + u"\\" + VersionText(wVerMajor, wVerMinor);
  std::u16string platformKey = versionKey + u"\\" + Hex(lcid) + u"\\" + PlatformKey(syskind);
  std::u16string path;
  if (!fgp::ReadKeyText(at.root, at(platformKey), path)) return TYPE_E_REGISTRYACCESS;  // not registered
  // The interfaces' keys go when they name this library. A library file
  // that is gone leaves them; one that cannot be read for want of memory
  // stops the call before anything is removed.
  std::vector<std::pair<GUID, std::u16string>> interfaces;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLib(path.c_str(), &lib);
  if (hr == E_OUTOFMEMORY) return hr;
  if (SUCCEEDED(hr)) {
    hr = AutomationInterfaces(lib, interfaces);
    lib->Release();
    if (FAILED(hr)) return hr;
  }
  bool ok = true;
  for (const auto& [iid, name] : interfaces) {
    std::u16string key = u"Interface\\" + GuidText(iid), owner;
    if (fgp::ReadKeyText(at.root, at(key + u"\\TypeLib"), owner) && lstrcmpiW(owner.c_str(), libid.c_str()) == 0)
      ok = RemoveTree(at, key) && ok;
  }
  ok = RemoveKey(at, platformKey) && ok;
  std::u16string localeKey = versionKey + u"\\" + Hex(lcid);
  if (!HasSubkeys(at, localeKey, {})) ok = RemoveKey(at, localeKey) && ok;
  if (!HasSubkeys(at, versionKey, {u"FLAGS", u"HELPDIR"})) ok = RemoveTree(at, versionKey) && ok;
  if (!HasSubkeys(at, u"TypeLib\\" + libid, {})) ok = RemoveKey(at, u"TypeLib\\" + libid) && ok;
  return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

}  // namespace

HRESULT STDAPICALLTYPE RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  return Register(kMachine, ptlib, szFullPath, szHelpDir);
}

HRESULT STDAPICALLTYPE RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir) {
  return Register(kUser, ptlib, szFullPath, szHelpDir);
}

HRESULT STDAPICALLTYPE UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                                SYSKIND syskind) {
  return Unregister(kUser, libID, wMajorVerNum, wMinorVerNum, lcid, syskind);
}

HRESULT STDAPICALLTYPE QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid, BSTR* lpbstrPathName) {
  if (lpbstrPathName == nullptr) return E_INVALIDARG;
  *lpbstrPathName = nullptr;
  std::u16string versionKey = u"TypeLib\\" + GuidText(guid) + u"\\" + VersionText(wMaj, wMin);
  // The locale's own key, then its primary language, then the neutral one.
  for (LCID tried : {lcid, static_cast<LCID>(PRIMARYLANGID(LANGIDFROMLCID(lcid))), static_cast<LCID>(0)}) {
    for (const char16_t* platform : {u"win32", u"win64"}) {
      std::u16string path;
      if (!fgp::ReadClassesText(versionKey + u"\\" + Hex(tried) + u"\\" + platform, path)) continue;
      *lpbstrPathName = SysAllocString(path.c_str());
      return *lpbstrPathName != nullptr ? S_OK : E_OUTOFMEMORY;
    }
  }
  return TYPE_E_LIBNOTREGISTERED;
}

HRESULT STDAPICALLTYPE LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  BSTR path = nullptr;
  HRESULT hr = QueryPathOfRegTypeLib(rguid, wVerMajor, wVerMinor, lcid, &path);
  if (FAILED(hr)) return hr;
  hr = LoadTypeLib(path, pptlib);
  SysFreeString(path);
  return hr;
}

HRESULT STDAPICALLTYPE UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  return Unregister(kMachine, libID, wVerMajor, wVerMinor, lcid, syskind);
}
