// The creatable-class base: the class's identity for creation and for
// error reporting.
#pragma once

#include "fgplatform/win32.h"
#include "frame/error_object.h"

template <class T, const CLSID* pclsid>
class CComCoClass {
 public:
  static const CLSID& GetObjectCLSID() { return *pclsid; }
  // Attaches an error object with the class as its source; answers `hr`,
  // or DISP_E_EXCEPTION for 0.
  static HRESULT ReportError(LPCOLESTR description, REFIID iid = GUID_NULL, HRESULT hr = 0) {
    return ReportErrorObject(GetObjectCLSID(), description, iid, hr);
  }
  static HRESULT ReportError(UINT nID, REFIID iid = GUID_NULL, HRESULT hr = 0) {
    return ReportErrorObject(GetObjectCLSID(), reinterpret_cast<LPCOLESTR>(static_cast<ULONG_PTR>(nID)), iid, hr);
  }
};
