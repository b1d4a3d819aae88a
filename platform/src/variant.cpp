// Tagged values: initialisation, clearing and copying.
#include <cstring>

#include "fgplatform/oleauto.h"
#include "variant_types.h"

namespace fgp {

bool IsElementType(VARTYPE base) {
  switch (base) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_VARIANT: case VT_UNKNOWN: case VT_DECIMAL:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

bool IsValidVariantType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  if ((vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) != 0) return false;
  if (vt & (VT_ARRAY | VT_BYREF)) return IsElementType(base);
  return base == VT_EMPTY || base == VT_NULL || (IsElementType(base) && base != VT_VARIANT);
}

}  // namespace fgp

namespace {

// Copies the content of a valid, non-reference value into a cleared dest.
[[nodiscard]] HRESULT CopyContent(VARIANT* dest, const VARIANT* src) {
  std::memcpy(dest, src, sizeof(VARIANT));
  if (src->vt & VT_BYREF) return S_OK;
  if (src->vt & VT_ARRAY) {
    dest->vt = VT_EMPTY;
    SAFEARRAY* copy = nullptr;
    HRESULT hr = SafeArrayCopy(src->parray, &copy);
    if (FAILED(hr)) return hr;
    dest->vt = src->vt;
    dest->parray = copy;
    return S_OK;
  }
  switch (src->vt) {
    case VT_BSTR:
      if (src->bstrVal == nullptr) return S_OK;
      dest->bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
      if (dest->bstrVal == nullptr) {
        dest->vt = VT_EMPTY;
        return E_OUTOFMEMORY;
      }
      return S_OK;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (src->punkVal != nullptr) src->punkVal->AddRef();
      return S_OK;
    default:
      return S_OK;
  }
}

}  // namespace

HRESULT fgp::DereferenceVariant(const VARIANT* src, VARIANT& out) {
  std::memset(&out, 0, sizeof(out));
  VARTYPE target = src->vt & ~VT_BYREF;
  if (src->byref == nullptr) return E_INVALIDARG;
  if (target == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    if (inner->vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
    if (inner->vt & VT_BYREF) return DereferenceVariant(inner, out);
    out = *inner;
    return S_OK;
  }
  out.vt = target;
  if (target & VT_ARRAY) {
    out.parray = *src->pparray;
    return S_OK;
  }
  switch (target) {
    case VT_I1: case VT_UI1: out.bVal = *src->pbVal; break;
    case VT_I2: case VT_UI2: case VT_BOOL: out.iVal = *src->piVal; break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: out.lVal = *src->plVal; break;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY: out.llVal = *src->pllVal; break;
    case VT_BSTR: out.bstrVal = *src->pbstrVal; break;
    case VT_UNKNOWN: case VT_DISPATCH: out.punkVal = *src->ppunkVal; break;
    case VT_DECIMAL: out.decVal = *src->pdecVal; out.vt = VT_DECIMAL; break;
    default: return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg) { pvarg->vt = VT_EMPTY; }

HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  if (!fgp::IsValidVariantType(pvarg->vt)) return DISP_E_BADVARTYPE;
  if (!(pvarg->vt & VT_BYREF)) {
    if (pvarg->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(pvarg->parray);
      if (FAILED(hr)) return hr;
    } else if (pvarg->vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((pvarg->vt == VT_UNKNOWN || pvarg->vt == VT_DISPATCH) && pvarg->punkVal != nullptr) {
      pvarg->punkVal->Release();
    }
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!fgp::IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  return CopyContent(pvargDest, pvargSrc);
}

HRESULT STDAPICALLTYPE VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
  if (!fgp::IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  VARIANT target;
  HRESULT hr = fgp::DereferenceVariant(pvargSrc, target);
  if (FAILED(hr)) return hr;
  // In place: the reference is not owned, so overwriting it frees nothing.
  if (pvarDest != pvargSrc) {
    hr = VariantClear(pvarDest);
    if (FAILED(hr)) return hr;
  }
  return CopyContent(pvarDest, &target);
}
