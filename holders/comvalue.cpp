#include "holders/comvalue.h"

#include <cstring>

#include "frame/debug_assert.h"
#include "frame/frame_exception.h"

namespace {
constexpr const char* kSource = "comvalue";
}

void CComValue::BecomeError(HRESULT hr) {
  vt = VT_ERROR;
  scode = hr;
}

CComValue::CComValue(const OLECHAR* text) {
  vt = VT_EMPTY;
  Clear();
  vt = VT_BSTR;
  bstrVal = SysAllocString(text);
  if (bstrVal == nullptr && text != nullptr) {
    BecomeError(E_OUTOFMEMORY);
    FrameThrow(E_OUTOFMEMORY);
  }
}

CComValue::CComValue(SAFEARRAY* source) {
  vt = VT_EMPTY;
  if (source == nullptr) return;
  SAFEARRAY* copy = nullptr;
  HRESULT hr = SafeArrayCopy(source, &copy);
  if (SUCCEEDED(hr) && copy != nullptr) {
    VARTYPE element = VT_EMPTY;
    SafeArrayGetVartype(source, &element);
    if (element == VT_UNKNOWN && (source->fFeatures & FADF_HAVEIID) && (source->fFeatures & FADF_DISPATCH))
      element = VT_DISPATCH;
    vt = static_cast<VARTYPE>(element | VT_ARRAY);
    parray = copy;
    return;
  }
  BecomeError(hr);
  if (hr == E_OUTOFMEMORY) FrameThrow(E_OUTOFMEMORY);
  FG_ASSERT_TEXT(false, "__condVal", kSource);
  FrameThrow(E_INVALIDARG);
}

CComValue& CComValue::operator=(const VARIANT& source) {
  if (&source == static_cast<VARIANT*>(this)) return *this;
  // Copied aside first: a copy that fails (a tag the runtime refuses, no
  // memory) leaves the destination untouched, and the old value must not
  // leak when the holder becomes the error.
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopy(&copy, &source);
  Clear();
  if (FAILED(hr)) {
    BecomeError(hr);
    FrameThrow(hr);
  }
  std::memcpy(static_cast<VARIANT*>(this), &copy, sizeof(VARIANT));
  return *this;
}

HRESULT CComValue::Detach(VARIANT* pDest) {
  FG_ASSERT(pDest != 0, kSource);
  if (pDest == nullptr) return E_POINTER;
  HRESULT hr = VariantClear(pDest);
  if (FAILED(hr)) return hr;
  std::memcpy(pDest, static_cast<VARIANT*>(this), sizeof(VARIANT));
  vt = VT_EMPTY;
  return S_OK;
}
