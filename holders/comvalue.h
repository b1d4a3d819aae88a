// CComValue owns one tagged value and clears it when cleared or destroyed.
// Failures raise CFrameException after the value became an error value
// (VT_ERROR) holding the failure code.
#pragma once

#include "fgplatform/win32.h"

class CComValue : public VARIANT {
 public:
  CComValue() { vt = VT_EMPTY; }
  // VT_BSTR with a copy up to the first null character (null text: a null
  // string, not an error).
  explicit CComValue(const OLECHAR* text);
  // VT_ARRAY combined with the element type, holding a full copy; null
  // gives an empty value. A failed copy raises E_OUTOFMEMORY when that is
  // what it reported, else E_INVALIDARG.
  explicit CComValue(SAFEARRAY* source);
  ~CComValue() { Clear(); }
  CComValue(const CComValue&) = delete;
  CComValue& operator=(const CComValue&) = delete;
  CComValue& operator=(const VARIANT& source);

  void Clear() { VariantClear(this); }
  // Moves the value into *pDest, which is cleared first.
  [[nodiscard]] HRESULT Detach(VARIANT* pDest);

 private:
  void BecomeError(HRESULT hr);
};
static_assert(sizeof(CComValue) == sizeof(VARIANT), "a holder is exactly a tagged value");
