// IDialogHelper, the dual interface scripts use: IUnknown (slots 0-2),
// IDispatch (3-6), then its own ten members (7-16).
#pragma once

#include "fgplatform/win32.h"

interface IDialogHelper : public IDispatch {
  STDMETHOD(OpenDialog)(VARIANT_BOOL* result) PURE;         // 7, DISPID 1
  STDMETHOD(get_Title)(BSTR* pVal) PURE;                     // 8, DISPID 2
  STDMETHOD(put_Title)(BSTR newVal) PURE;                    // 9
  STDMETHOD(get_FileName)(BSTR* pVal) PURE;                  // 10, DISPID 3
  STDMETHOD(put_FileName)(BSTR newVal) PURE;                 // 11
  STDMETHOD(get_MultiSelect)(VARIANT_BOOL* pVal) PURE;       // 12, DISPID 4
  STDMETHOD(put_MultiSelect)(VARIANT_BOOL newVal) PURE;      // 13
  STDMETHOD(get_FileNames)(VARIANT* pVal) PURE;              // 14, DISPID 5
  STDMETHOD(get_Filter)(BSTR* Filter) PURE;                  // 15, DISPID 6
  STDMETHOD(put_Filter)(BSTR newVal) PURE;                   // 16
};
