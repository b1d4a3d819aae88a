#include "registration/server_registration.h"

#include <initializer_list>

#include "dialog/dialog_identity.h"
#include "frame/debug_assert.h"
#include "registration/regkey.h"
#include "registration/regobject.h"

namespace {

constexpr const char* kSource = "registration";
constexpr int kPathChars = 260;

HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// Sets the system default locale for the lifetime of the object and gives
// the thread its own back afterwards.
class SystemLocaleScope {
 public:
  SystemLocaleScope() : m_saved(GetThreadLocale()) { (void)SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
  ~SystemLocaleScope() { (void)SetThreadLocale(m_saved); }
  SystemLocaleScope(const SystemLocaleScope&) = delete;
  SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

 private:
  LCID m_saved;
};

typedef HRESULT(STDAPICALLTYPE* RegisterForUserFunc)(ITypeLib*, OLECHAR*, OLECHAR*);
typedef HRESULT(STDAPICALLTYPE* UnregisterForUserFunc)(REFGUID, WORD, WORD, LCID, SYSKIND);

// A call of the automation library found by name; null when it is missing.
template <class F>
F AutomationCall(const char* name) {
  HMODULE oleaut = GetModuleHandleW(u"OLEAUT32.DLL");
  if (oleaut == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(oleaut, name)));
}

bool PerUser() {
  bool perUser = false;
  return SUCCEEDED(RegistrarPerUser(&perUser)) && perUser;
}

// Whether the version of the library has its key (machine-wide, or the
// user's own when registration is per user); a read that fails for another
// reason than a missing key answers yes, so that unregistration tries and
// reports what happens.
bool TypeLibraryRegistered(const TLIBATTR& attr) {
  WCHAR guid[40];
  if (StringFromGUID2(attr.guid, guid, 40) == 0) return true;
  WCHAR path[128];
  int n = 0;
  const char16_t* root = PerUser() ? u"Software\\Classes\\TypeLib\\" : u"TypeLib\\";
  for (const char16_t* part : {root, static_cast<const char16_t*>(guid), u"\\"})
    for (const char16_t* p = part; *p != 0 && n < 100; ++p) path[n++] = *p;
  char16_t version[24];
  (void)swprintf_s(version, 24, u"%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
  for (const char16_t* p = version; *p != 0 && n < 127; ++p) path[n++] = *p;
  path[n] = 0;
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(PerUser() ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status != ERROR_FILE_NOT_FOUND;
}

// Removes HKCR\CLSID\{clsid}\<kind> when it holds no category any more.
void RemoveEmptyCategoryKey(LPCOLESTR guid, const char16_t* kind) {
  WCHAR path[128];
  int n = 0;
  for (const char16_t* part : {u"CLSID\\", static_cast<const char16_t*>(guid), u"\\", kind})
    for (const char16_t* p = part; *p != 0 && n < 127; ++p) path[n++] = *p;
  path[n] = 0;
  CRegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) != ERROR_SUCCESS) return;
  DWORD subkeys = 0;
  LONG lRes = RegQueryInfoKeyW(key.m_hKey, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
  (void)key.Close();
  if (lRes == ERROR_SUCCESS && subkeys == 0) (void)RegDeleteKeyW(HKEY_CLASSES_ROOT, path);
}

// The position where the path's extension starts (its end when it has none).
int ExtensionStart(const WCHAR* path, int length) {
  for (int i = length - 1; i >= 0; --i) {
    if (path[i] == u'.') return i;
    if (path[i] == u'\\' || path[i] == u'/') break;
  }
  return length;
}

}  // namespace

HRESULT RunAppIdScript(BOOL bRegister) {
  const RegistrarVariable variables[] = {{u"APPID", kAppIdText}, {nullptr, nullptr}};
  return UpdateFromScriptResource(FrameThisModule(), IDR_APPID_SCRIPT, bRegister, variables);
}

HRESULT RegisterModule() {
  SystemLocaleScope locale;
  HRESULT hr = RunAppIdScript(TRUE);
  if (FAILED(hr)) return hr;
  return RegisterObjectMap(&FrameComModule(), TRUE);
}

HRESULT UnregisterModule() {
  SystemLocaleScope locale;
  HRESULT hr = UnregisterObjectMap(&FrameComModule(), TRUE);
  if (FAILED(hr)) return hr;
  return RunAppIdScript(FALSE);
}

HRESULT RegisterObjectMap(_FRAME_COM_MODULE* pComModule, BOOL bRegTypeLib, const CLSID* pCLSID) {
  FG_ASSERT(pComModule != 0, kSource);
  if (pComModule == nullptr) return E_INVALIDARG;
  FG_ASSERT(pComModule->m_hInstTypeLib != 0, kSource);
  for (ObjectMapEntry** slot = pComModule->m_ppMapFirst; slot < pComModule->m_ppMapLast; ++slot) {
    ObjectMapEntry* entry = *slot;
    if (entry == nullptr || (pCLSID != nullptr && !IsEqualGUID(*pCLSID, *entry->pClassId))) continue;
    HRESULT hr = entry->pfnRegister != nullptr ? entry->pfnRegister(TRUE) : S_OK;
    if (FAILED(hr)) return hr;
    auto* categories = static_cast<const ClassCategoryEntry*>(entry->pfnCategoryMap());
    hr = UpdateClassCategories(*entry->pClassId, categories, TRUE);
    if (FAILED(hr)) return hr;
  }
  return bRegTypeLib ? RegisterTypeLibrary(pComModule->m_hInstTypeLib) : S_OK;
}

HRESULT UnregisterObjectMap(_FRAME_COM_MODULE* pComModule, BOOL bUnRegTypeLib, const CLSID* pCLSID) {
  FG_ASSERT(pComModule != 0, kSource);
  if (pComModule == nullptr) return E_INVALIDARG;
  for (ObjectMapEntry** slot = pComModule->m_ppMapFirst; slot < pComModule->m_ppMapLast; ++slot) {
    ObjectMapEntry* entry = *slot;
    if (entry == nullptr || (pCLSID != nullptr && !IsEqualGUID(*pCLSID, *entry->pClassId))) continue;
    auto* categories = static_cast<const ClassCategoryEntry*>(entry->pfnCategoryMap());
    HRESULT hr = UpdateClassCategories(*entry->pClassId, categories, FALSE);
    if (FAILED(hr)) return hr;
    hr = entry->pfnRegister != nullptr ? entry->pfnRegister(FALSE) : S_OK;
    if (FAILED(hr)) return hr;
  }
  return bUnRegTypeLib ? UnregisterTypeLibrary(pComModule->m_hInstTypeLib) : S_OK;
}

HRESULT UpdateClassCategories(REFCLSID clsid, const ClassCategoryEntry* pEntries, BOOL bRegister) {
  if (pEntries == nullptr) return S_OK;
  if (IsEqualGUID(clsid, GUID_NULL)) {
    FG_ASSERT_TEXT(false, "clsid != GUID_NULL", kSource);
    return S_OK;
  }
  ICatRegister* registrar = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                              reinterpret_cast<void**>(&registrar))))
    return S_OK;  // no category manager: the categories are skipped
  HRESULT hr = S_OK;
  for (const ClassCategoryEntry* entry = pEntries; entry->iType != CategoryTableEnd; ++entry) {
    CATID catid = *entry->pcatid;
    if (entry->iType != CategoryImplemented)
      FG_ASSERT_TEXT(entry->iType == CategoryRequired, "pEntry->iType == 2", kSource);
    if (bRegister) {
      hr = entry->iType == CategoryImplemented ? registrar->RegisterClassImplCategories(clsid, 1, &catid)
                                               : registrar->RegisterClassReqCategories(clsid, 1, &catid);
      if (FAILED(hr)) break;
    } else if (entry->iType == CategoryImplemented) {
      (void)registrar->UnRegisterClassImplCategories(clsid, 1, &catid);
    } else {
      (void)registrar->UnRegisterClassReqCategories(clsid, 1, &catid);
    }
  }
  registrar->Release();
  if (FAILED(hr)) return hr;
  if (!bRegister) {
    WCHAR guid[64];
    if (StringFromGUID2(clsid, guid, 64) != 0) {
      RemoveEmptyCategoryKey(guid, u"Required Categories");
      RemoveEmptyCategoryKey(guid, u"Implemented Categories");
    }
  }
  return S_OK;
}

HRESULT LoadModuleTypeLibrary(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex, BSTR* pbstrPath, ITypeLib** ppTypeLib) {
  FG_ASSERT_TEXT(pbstrPath != 0 && ppTypeLib != 0, "pbstrPath != 0 && ppTypeLib != 0", kSource);
  if (pbstrPath == nullptr || ppTypeLib == nullptr) return E_POINTER;
  *pbstrPath = nullptr;
  *ppTypeLib = nullptr;
  FG_ASSERT(hInstTypeLib != 0, kSource);
  if (lpszIndex != nullptr) return E_INVALIDARG;  // a module holds one type library here

  WCHAR path[kPathChars + 4];
  DWORD length = GetModuleFileNameW(hInstTypeLib, path, kPathChars);
  if (length == 0) return LastErrorResult();
  if (length == kPathChars) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  int extension = ExtensionStart(path, static_cast<int>(length));
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLib(path, &lib);
  if (FAILED(hr)) {
    if (extension > 255) return E_FAIL;
    const char16_t tlb[] = u".tlb";
    for (int i = 0; i < 5; ++i) path[extension + i] = tlb[i];
    hr = LoadTypeLib(path, &lib);
    if (FAILED(hr)) return hr;
  }
  *pbstrPath = SysAllocString(path);
  if (*pbstrPath == nullptr) {
    lib->Release();
    return E_OUTOFMEMORY;
  }
  *ppTypeLib = lib;
  return S_OK;
}

HRESULT RegisterTypeLibrary(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex) {
  BSTR path = nullptr;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadModuleTypeLibrary(hInstTypeLib, lpszIndex, &path, &lib);
  if (FAILED(hr)) return hr;
  // The help directory is the folder of the library's help file, if any.
  WCHAR helpDir[kPathChars];
  LPOLESTR helpDirArg = nullptr;
  BSTR helpFile = nullptr;
  if (SUCCEEDED(lib->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile)) && helpFile != nullptr) {
    int n = 0;
    for (; n < kPathChars - 1 && helpFile[n] != 0; ++n) helpDir[n] = helpFile[n];
    helpDir[n] = 0;
    while (n > 0 && helpDir[n - 1] != u'\\' && helpDir[n - 1] != u'/' && helpDir[n - 1] != u':') --n;
    helpDir[n] = 0;
    helpDirArg = helpDir;
  }
  SysFreeString(helpFile);
  RegisterForUserFunc forUser = PerUser() ? AutomationCall<RegisterForUserFunc>("RegisterTypeLibForUser") : nullptr;
  hr = forUser != nullptr ? forUser(lib, path, helpDirArg) : RegisterTypeLib(lib, path, helpDirArg);
  SysFreeString(path);
  lib->Release();
  return hr;
}

HRESULT UnregisterTypeLibrary(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex) {
  BSTR path = nullptr;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadModuleTypeLibrary(hInstTypeLib, lpszIndex, &path, &lib);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = lib->GetLibAttr(&attr);
  // A library that is not registered is nothing to remove: unregistration
  // goes on, so that what an interrupted registration left is removed.
  if (SUCCEEDED(hr) && TypeLibraryRegistered(*attr)) {
    UnregisterForUserFunc forUser =
        PerUser() ? AutomationCall<UnregisterForUserFunc>("UnRegisterTypeLibForUser") : nullptr;
    hr = forUser != nullptr ? forUser(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind)
                            : UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                                attr->syskind);
  }
  if (attr != nullptr) lib->ReleaseTLibAttr(attr);
  SysFreeString(path);
  lib->Release();
  return hr;
}
