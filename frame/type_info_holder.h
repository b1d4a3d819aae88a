// Type information for late-bound callers: the interface's, loaded afresh
// from the library's own file on every request (LoadInterfaceTypeInfo),
// and the class's, loaded once from the registered type library and kept
// by a CComTypeInfoHolder until the module unloads.
#pragma once

#include "fgplatform/win32.h"

struct NameCacheEntry {
  BSTR m_bstrName;  // owned
  int m_nLen;
  DISPID m_memid;
};

class CComTypeInfoHolder {
 public:
  const GUID* m_pguid;
  const GUID* m_plibid;
  WORD wMajorVersion;
  WORD wMinorVersion;
  ITypeInfo* m_pTypeInfo;
  LONG m_dwRef;  // kept for the record's layout; no operation uses it
  NameCacheEntry* m_pNameCache;
  int m_nNameCount;

  // DISP_E_BADINDEX for an index other than 0.
  [[nodiscard]] HRESULT GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo);
  // The held type information with a new reference, loaded first when it
  // is not yet; the load's failure otherwise.
  [[nodiscard]] HRESULT GetTI(LCID lcid, ITypeInfo** ppInfo);
  [[nodiscard]] HRESULT GetTI(LCID lcid);
  // Fills the name cache from the functions of `pInfo`; E_OUTOFMEMORY when
  // the cache cannot be allocated.
  [[nodiscard]] HRESULT LoadNames(ITypeInfo* pInfo);
  // The term function: releases what the holder `dw` loaded.
  static void __stdcall ReleaseTypeInfo(DWORD_PTR dw);
};

// The type information of `guid` from the type library in this module's
// own file, with its reference passing to the caller; nothing is cached.
// E_POINTER for a null out-pointer, E_FAIL when the module's path is not
// available or 260 characters long, else LoadTypeLib's or the library's
// failure.
[[nodiscard]] HRESULT LoadInterfaceTypeInfo(REFGUID guid, ITypeInfo** ppTypeInfo);
