// Arrays of automation values. The descriptor is preceded by 16 bytes that
// hold the element type (FADF_HAVEVARTYPE, in the last four) or the
// interface id (FADF_HAVEIID), as published.
#include <cstring>
#include <new>

#include "fgplatform/oleauto.h"
#include "heap.h"
#include "live_counts.h"
#include "variant_types.h"

namespace {

constexpr size_t kPrefix = 16;

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
  }
}

size_t DescriptorBytes(UINT cDims) { return sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND); }

BYTE* PrefixOf(SAFEARRAY* psa) { return reinterpret_cast<BYTE*>(psa) - kPrefix; }

// Number of elements; false, with a count of 0, when the product overflows
// (possible only for bounds edited by hand after the array was made).
[[nodiscard]] bool ElementCount(const SAFEARRAY* psa, size_t& count) {
  count = 1;
  for (USHORT i = 0; i < psa->cDims; ++i) {
    if (!__builtin_mul_overflow(count, static_cast<size_t>(psa->rgsabound[i].cElements), &count)) continue;
    count = 0;
    return false;
  }
  return true;
}

[[nodiscard]] bool DataBytes(const SAFEARRAY* psa, size_t& bytes) {
  size_t count = 0;
  return ElementCount(psa, count) && !__builtin_mul_overflow(count, static_cast<size_t>(psa->cbElements), &bytes);
}

// Releases what the elements [first, first + count) refer to and zeroes them.
void ReleaseElements(SAFEARRAY* psa, size_t first, size_t count) {
  if (psa->pvData == nullptr || count == 0) return;
  BYTE* data = static_cast<BYTE*>(psa->pvData) + first * psa->cbElements;
  for (size_t i = 0; i < count; ++i) {
    void* element = data + i * psa->cbElements;
    if (psa->fFeatures & FADF_BSTR) {
      SysFreeString(*static_cast<BSTR*>(element));
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown* unknown = *static_cast<IUnknown**>(element);
      if (unknown != nullptr) unknown->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
      VariantClear(static_cast<VARIANT*>(element));
    }
  }
  std::memset(data, 0, count * psa->cbElements);
}

// Copies one element into zeroed storage, taking references and copies.
[[nodiscard]] HRESULT CopyElement(const SAFEARRAY* psa, const void* from, void* to) {
  if (psa->fFeatures & FADF_BSTR) {
    BSTR s = *static_cast<const BSTR*>(from);
    BSTR copy = nullptr;
    if (s != nullptr) {
      copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s));
      if (copy == nullptr) return E_OUTOFMEMORY;
    }
    *static_cast<BSTR*>(to) = copy;
    return S_OK;
  }
  if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* unknown = *static_cast<IUnknown* const*>(from);
    if (unknown != nullptr) unknown->AddRef();
    *static_cast<IUnknown**>(to) = unknown;
    return S_OK;
  }
  if (psa->fFeatures & FADF_VARIANT) {
    static_cast<VARIANT*>(to)->vt = VT_EMPTY;
    return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
  }
  std::memcpy(to, from, psa->cbElements);
  return S_OK;
}

// The element offset of an index vector (dimensions first to last), or
// false when an index lies outside its bounds.
[[nodiscard]] bool ElementOffset(const SAFEARRAY* psa, const LONG* indices, size_t& offset) {
  offset = 0;
  size_t stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
    int64_t at = static_cast<int64_t>(indices[d]) - bound.lLbound;
    if (at < 0 || at >= static_cast<int64_t>(bound.cElements)) return false;
    offset += static_cast<size_t>(at) * stride;
    stride *= bound.cElements;
  }
  return true;
}

void SetFeatures(SAFEARRAY* psa, VARTYPE vt) {
  BYTE* prefix = PrefixOf(psa);
  switch (vt) {
    case VT_BSTR: psa->fFeatures |= FADF_BSTR | FADF_HAVEVARTYPE; break;
    case VT_VARIANT: psa->fFeatures |= FADF_VARIANT | FADF_HAVEVARTYPE; break;
    case VT_UNKNOWN:
      psa->fFeatures |= FADF_UNKNOWN | FADF_HAVEIID;
      std::memcpy(prefix, &IID_IUnknown, sizeof(GUID));
      return;
    case VT_DISPATCH:
      psa->fFeatures |= FADF_DISPATCH | FADF_HAVEIID;
      std::memcpy(prefix, &IID_IDispatch, sizeof(GUID));
      return;
    default: psa->fFeatures |= FADF_HAVEVARTYPE; break;
  }
  DWORD stored = vt;
  std::memcpy(prefix + kPrefix - sizeof(DWORD), &stored, sizeof(stored));
}

bool IsLocked(const SAFEARRAY* psa) { return psa->cLocks > 0; }

}  // namespace

HRESULT STDAPICALLTYPE SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr || cDims == 0 || cDims > 0xFFFF) return E_INVALIDARG;
  *ppsaOut = nullptr;
  auto* block = static_cast<BYTE*>(fgp::HeapBlockAlloc(fgp::ArrayHeap(), kPrefix + DescriptorBytes(cDims), /*zero=*/true));
  if (block == nullptr) return E_OUTOFMEMORY;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
  psa->cDims = static_cast<USHORT>(cDims);
  *ppsaOut = psa;
  ++fgp::Live().arrays;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayAllocData(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  size_t bytes = 0;
  if (!DataBytes(psa, bytes)) return E_OUTOFMEMORY;
  void* data = fgp::HeapBlockAlloc(fgp::ArrayHeap(), bytes, /*zero=*/true);
  if (data == nullptr) return E_OUTOFMEMORY;
  psa->pvData = data;
  return S_OK;
}

SAFEARRAY* STDAPICALLTYPE SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  if (rgsabound == nullptr || cDims == 0 || ElementSize(vt) == 0) return nullptr;
  SAFEARRAY* psa = nullptr;
  if (FAILED(SafeArrayAllocDescriptor(cDims, &psa))) return nullptr;
  psa->cbElements = ElementSize(vt);
  SetFeatures(psa, vt);
  for (UINT d = 0; d < cDims; ++d) psa->rgsabound[cDims - 1 - d] = rgsabound[d];
  if (FAILED(SafeArrayAllocData(psa))) {
    SafeArrayDestroyDescriptor(psa);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* STDAPICALLTYPE SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound = {cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT STDAPICALLTYPE SafeArrayDestroyData(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (IsLocked(psa)) return DISP_E_ARRAYISLOCKED;
  size_t count = 0;
  (void)ElementCount(psa, count);  // an overflowing count is 0: no element is walked
  ReleaseElements(psa, 0, count);
  if (psa->pvData != nullptr && !(psa->fFeatures & (FADF_STATIC | FADF_AUTO | FADF_EMBEDDED)))
    fgp::HeapBlockFree(fgp::ArrayHeap(), psa->pvData);
  psa->pvData = nullptr;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (IsLocked(psa)) return DISP_E_ARRAYISLOCKED;
  fgp::HeapBlockFree(fgp::ArrayHeap(), PrefixOf(psa));
  --fgp::Live().arrays;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  HRESULT hr = SafeArrayDestroyData(psa);
  if (FAILED(hr)) return hr;
  return SafeArrayDestroyDescriptor(psa);
}

HRESULT STDAPICALLTYPE SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (psa == nullptr) return S_OK;
  SAFEARRAY* copy = nullptr;
  HRESULT hr = SafeArrayAllocDescriptor(psa->cDims, &copy);
  if (FAILED(hr)) return hr;
  std::memcpy(PrefixOf(copy), PrefixOf(psa), kPrefix + DescriptorBytes(psa->cDims));
  copy->fFeatures &= ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED);
  copy->cLocks = 0;
  copy->pvData = nullptr;
  hr = SafeArrayAllocData(copy);
  if (FAILED(hr)) {
    SafeArrayDestroyDescriptor(copy);
    return hr;
  }
  size_t count = 0;
  (void)ElementCount(psa, count);  // an overflowing count is 0: no element is walked
  for (size_t i = 0; i < count && psa->pvData != nullptr; ++i) {
    hr = CopyElement(psa, static_cast<BYTE*>(psa->pvData) + i * psa->cbElements,
                     static_cast<BYTE*>(copy->pvData) + i * copy->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);  // elements not yet copied are zero and release nothing
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
  if (psa == nullptr || psaboundNew == nullptr || psa->cDims == 0) return E_INVALIDARG;
  if (IsLocked(psa)) return DISP_E_ARRAYISLOCKED;
  if (psa->fFeatures & FADF_FIXEDSIZE) return E_INVALIDARG;
  size_t oldCount = 0;
  (void)ElementCount(psa, oldCount);  // an overflowing count is 0: no element is walked
  SAFEARRAYBOUND old = psa->rgsabound[0];
  psa->rgsabound[0] = *psaboundNew;
  size_t newCount = 0, newBytes = 0;
  if (!ElementCount(psa, newCount) || !DataBytes(psa, newBytes)) {
    psa->rgsabound[0] = old;
    return E_OUTOFMEMORY;
  }
  psa->rgsabound[0] = old;
  if (newCount < oldCount) ReleaseElements(psa, newCount, oldCount - newCount);
  void* data = psa->pvData == nullptr ? fgp::HeapBlockAlloc(fgp::ArrayHeap(), newBytes, /*zero=*/true)
                                      : fgp::HeapBlockRealloc(fgp::ArrayHeap(), psa->pvData, newBytes, /*zero=*/true);
  if (data == nullptr) {
    // Growing failed: the array is unchanged. Shrinking cannot fail: the
    // larger block is kept.
    if (newCount > oldCount || psa->pvData == nullptr) return E_OUTOFMEMORY;
    data = psa->pvData;
  }
  psa->pvData = data;
  psa->rgsabound[0] = *psaboundNew;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayLock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks >= 0xFFFF) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayUnlock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

UINT STDAPICALLTYPE SafeArrayGetDim(SAFEARRAY* psa) { return psa != nullptr ? psa->cDims : 0; }
UINT STDAPICALLTYPE SafeArrayGetElemsize(SAFEARRAY* psa) { return psa != nullptr ? psa->cbElements : 0; }

HRESULT STDAPICALLTYPE SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<int64_t>(bound.lLbound) + bound.cElements - 1);
  return S_OK;
}

// In the documented order: the stored type, then a record, dispatch or
// unknown array by its flag. An array with an IID but neither interface
// flag is taken as VT_UNKNOWN; strings and variants by their flags.
HRESULT STDAPICALLTYPE SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    DWORD stored = 0;
    std::memcpy(&stored, PrefixOf(psa) + kPrefix - sizeof(DWORD), sizeof(stored));
    *pvt = static_cast<VARTYPE>(stored);
  } else if (psa->fFeatures & FADF_RECORD) {
    *pvt = VT_RECORD;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *pvt = VT_DISPATCH;
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_HAVEIID)) {
    *pvt = VT_UNKNOWN;
  } else if (psa->fFeatures & FADF_BSTR) {
    *pvt = VT_BSTR;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *pvt = VT_VARIANT;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid) {
  if (psa == nullptr || pguid == nullptr || !(psa->fFeatures & FADF_HAVEIID)) return E_INVALIDARG;
  std::memcpy(pguid, PrefixOf(psa), sizeof(GUID));
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
  if (psa == nullptr || rgIndices == nullptr || ppvData == nullptr) return E_INVALIDARG;
  size_t offset = 0;
  if (!ElementOffset(psa, rgIndices, offset)) return DISP_E_BADINDEX;
  *ppvData = static_cast<BYTE*>(psa->pvData) + offset * psa->cbElements;
  return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (pv == nullptr) return E_INVALIDARG;
  void* element = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &element);
  if (FAILED(hr)) return hr;
  if (psa->fFeatures & FADF_VARIANT) static_cast<VARIANT*>(pv)->vt = VT_EMPTY;
  return CopyElement(psa, element, pv);
}

HRESULT STDAPICALLTYPE SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  void* element = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &element);
  if (FAILED(hr)) return hr;
  // Strings and interfaces are passed as the value itself, other types by
  // address; the new content is copied before the old is released.
  BYTE fresh[sizeof(VARIANT)] = {};
  if (psa->fFeatures & FADF_VARIANT) {
    if (pv == nullptr) return E_INVALIDARG;
    hr = CopyElement(psa, pv, fresh);
  } else if (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) {
    hr = CopyElement(psa, &pv, fresh);
  } else {
    if (pv == nullptr) return E_INVALIDARG;
    hr = CopyElement(psa, pv, fresh);
  }
  if (FAILED(hr)) return hr;
  size_t offset = static_cast<size_t>(static_cast<BYTE*>(element) - static_cast<BYTE*>(psa->pvData)) / psa->cbElements;
  ReleaseElements(psa, offset, 1);
  std::memcpy(element, fresh, psa->cbElements);
  return S_OK;
}
