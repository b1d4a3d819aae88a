// Server registration: everything the library needs in the registry. The
// application's AppID entries (script resource 101), the class entries of
// every object-map class with its component categories, and the type
// library in the library's own resources. Registration writes the AppID
// entries first and the classes last; unregistration goes the other way.
// Both run under the system default locale and give the caller's locale
// back on every path.
#pragma once

#include "fgplatform/win32.h"
#include "frame/object_map.h"

// The script resource with the application's entries.
inline constexpr UINT IDR_APPID_SCRIPT = 101;

// Rows of a class's component-category table.
enum ClassCategoryKind : int { CategoryTableEnd = 0, CategoryImplemented = 1, CategoryRequired = 2 };
struct ClassCategoryEntry {
  int iType;
  const CATID* pcatid;
};

[[nodiscard]] HRESULT RegisterModule();
[[nodiscard]] HRESULT UnregisterModule();
[[nodiscard]] HRESULT RunAppIdScript(BOOL bRegister);
[[nodiscard]] HRESULT RegisterObjectMap(_FRAME_COM_MODULE* pComModule, BOOL bRegTypeLib, const CLSID* pCLSID = nullptr);
[[nodiscard]] HRESULT UnregisterObjectMap(_FRAME_COM_MODULE* pComModule, BOOL bUnRegTypeLib,
                                          const CLSID* pCLSID = nullptr);
[[nodiscard]] HRESULT UpdateClassCategories(REFCLSID clsid, const ClassCategoryEntry* pEntries, BOOL bRegister);
// The module's type library: its own file first, then the ".tlb" file
// beside it. On success *pbstrPath is the path that loaded. Modules here
// hold one type library: an index (naming a later one) is not offered and
// answers E_INVALIDARG.
[[nodiscard]] HRESULT LoadModuleTypeLibrary(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex, BSTR* pbstrPath,
                                            ITypeLib** ppTypeLib);
[[nodiscard]] HRESULT RegisterTypeLibrary(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex = nullptr);
[[nodiscard]] HRESULT UnregisterTypeLibrary(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex = nullptr);
