// Component categories: the built-in category manager
// (CLSID_StdComponentCategoriesMgr, created in-process by CoCreateInstance,
// one per process, no outer object) and its ICatRegister interface.
//
// Keys it writes under HKCR:
//   Component Categories\{catid}                  value named by the locale
//                                                 in hexadecimal: the description
//   CLSID\{clsid}\Implemented Categories\{catid}  (key only)
//   CLSID\{clsid}\Required Categories\{catid}     (key only)
//
// A null array with a non-zero count answers E_POINTER; a registry write
// that fails answers its code as an HRESULT, with the categories written
// before it kept. Unregistering removes each {catid} key with what lies
// under it (a missing one is no failure); the "Implemented Categories" and
// "Required Categories" keys themselves stay, even when empty, for the
// class's own unregistration to remove. UnRegisterCategories removes a
// category's key only; classes that name it keep their entries.
#pragma once

#include "fgplatform/unknwn.h"

typedef GUID CATID;
typedef REFGUID REFCATID;

typedef struct tagCATEGORYINFO {
  CATID catid;
  LCID lcid;
  OLECHAR szDescription[128];
} CATEGORYINFO;

inline constexpr CLSID CLSID_StdComponentCategoriesMgr = {0x0002E005, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ICatRegister = {0x0002E012, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

interface ICatRegister : public IUnknown {
  STDMETHOD(RegisterCategories)(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) PURE;
  STDMETHOD(UnRegisterCategories)(ULONG cCategories, CATID rgcatid[]) PURE;
  STDMETHOD(RegisterClassImplCategories)(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) PURE;
  STDMETHOD(UnRegisterClassImplCategories)(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) PURE;
  STDMETHOD(RegisterClassReqCategories)(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) PURE;
  STDMETHOD(UnRegisterClassReqCategories)(REFCLSID rclsid, ULONG cCategories, CATID rgcatid[]) PURE;
};
