#include "holders/valuearray.h"

#include <cstring>

#include "frame/debug_assert.h"
#include "frame/frame_exception.h"

namespace {
constexpr const char* kSource = "valuearray";
}

CComValueArray::~CComValueArray() {
  HRESULT hRes = Destroy();
  FG_ASSERT_TEXT((((HRESULT)(hRes)) >= 0), "(((HRESULT)(hRes)) >= 0)", kSource);
}

HRESULT CComValueArray::Create(ULONG count, LONG lowerBound) {
  UINT uDims = 1;
  FG_ASSERT(m_psa == 0, kSource);
  FG_ASSERT(uDims > 0, kSource);
  if (m_psa != nullptr) return E_FAIL;
  SAFEARRAYBOUND bound = {count, lowerBound};
  m_psa = SafeArrayCreate(VT_VARIANT, uDims, &bound);
  if (m_psa == nullptr) return E_OUTOFMEMORY;
  return Lock();
}

HRESULT CComValueArray::Add(const VARIANT& value, bool copy) {
  bool created = false;
  if (m_psa == nullptr) {
    HRESULT hr = Create(0, 0);
    if (FAILED(hr)) return hr;
    created = true;
  }
  FG_ASSERT(GetDimensions() == 1, kSource);
  LONG lb = GetLowerBound(0);
  ULONG count = GetCount(0);
  HRESULT hr = Resize(count + 1, lb);
  if (SUCCEEDED(hr)) hr = SetAt(static_cast<LONG>(count) + lb, value, copy);
  if (SUCCEEDED(hr)) return hr;
  // A failed Add leaves the holder as it was: without an array when it had
  // none, else with its old count (shrinking an array cannot fail).
  if (created)
    (void)Destroy();
  else
    (void)Resize(count, lb);
  return hr;
}

HRESULT CComValueArray::Resize(ULONG count, LONG lowerBound) {
  SAFEARRAYBOUND bound = {count, lowerBound};
  const SAFEARRAYBOUND* pBound = &bound;
  FG_ASSERT(m_psa != 0, kSource);
  FG_ASSERT(pBound != 0, kSource);
  if (!IsSizable()) return E_FAIL;
  HRESULT hr = Unlock();
  if (FAILED(hr)) return hr;
  HRESULT redim = SafeArrayRedim(m_psa, &bound);
  hr = Lock();
  return FAILED(redim) ? redim : hr;
}

HRESULT CComValueArray::Destroy() {
  if (m_psa == nullptr) return S_OK;
  HRESULT hr = Unlock();
  if (FAILED(hr)) return hr;
  hr = SafeArrayDestroy(m_psa);
  if (FAILED(hr)) {
    // Someone else holds a lock: the holder keeps the array and its own lock.
    (void)Lock();
    return hr;
  }
  m_psa = nullptr;
  return S_OK;
}

HRESULT CComValueArray::SetAt(LONG lIndex, const VARIANT& value, bool copy) {
  FG_ASSERT(m_psa != 0, kSource);
  LONG lLBound = GetLowerBound(0);
  FG_ASSERT(lIndex >= lLBound, kSource);
  FG_ASSERT(lIndex <= GetUpperBound(), kSource);
  if (lIndex < lLBound || lIndex > GetUpperBound()) return E_INVALIDARG;
  VARIANT* element = static_cast<VARIANT*>(m_psa->pvData) + (lIndex - lLBound);
  if (copy) return VariantCopyInd(element, &value);
  if (element->vt != VT_EMPTY) VariantClear(element);
  std::memcpy(element, &value, sizeof(VARIANT));
  return S_OK;
}

LONG CComValueArray::GetLowerBound(UINT dimension) const {
  FG_ASSERT(m_psa != 0, kSource);
  LONG bound = 0;
  HRESULT hr = SafeArrayGetLBound(m_psa, dimension + 1, &bound);
  if (FAILED(hr)) FrameThrow(hr);
  return bound;
}

LONG CComValueArray::GetUpperBound(UINT dimension) const {
  FG_ASSERT(m_psa != 0, kSource);
  LONG bound = 0;
  HRESULT hr = SafeArrayGetUBound(m_psa, dimension + 1, &bound);
  if (FAILED(hr)) FrameThrow(hr);
  return bound;
}

ULONG CComValueArray::GetCount(UINT uDim) const {
  FG_ASSERT(m_psa != 0, kSource);
  FG_ASSERT(uDim < GetDimensions(), kSource);
  return static_cast<ULONG>(GetUpperBound(uDim) - GetLowerBound(uDim) + 1);
}

UINT CComValueArray::GetDimensions() const {
  FG_ASSERT(m_psa != 0, kSource);
  return SafeArrayGetDim(m_psa);
}

bool CComValueArray::IsSizable() const {
  FG_ASSERT(m_psa != 0, kSource);
  if (m_psa == nullptr) FrameThrow(E_FAIL);
  return (m_psa->fFeatures & FADF_FIXEDSIZE) == 0;
}

HRESULT CComValueArray::Lock() {
  FG_ASSERT(m_psa != 0, kSource);
  return SafeArrayLock(m_psa);
}

HRESULT CComValueArray::Unlock() {
  FG_ASSERT(m_psa != 0, kSource);
  return SafeArrayUnlock(m_psa);
}
