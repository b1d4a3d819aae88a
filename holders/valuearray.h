// CComValueArray owns one array of tagged values (element type VT_VARIANT)
// and, while it holds one, exactly one lock on it. Operations that change
// the shape unlock around the change and lock again.
#pragma once

#include "fgplatform/win32.h"

class CComValueArray {
 public:
  CComValueArray() = default;
  ~CComValueArray();
  CComValueArray(const CComValueArray&) = delete;
  CComValueArray& operator=(const CComValueArray&) = delete;

  [[nodiscard]] HRESULT Create(ULONG count = 0, LONG lowerBound = 0);
  // Appends one element (creating an array of lower bound 0 first).
  [[nodiscard]] HRESULT Add(const VARIANT& value, bool copy = true);
  [[nodiscard]] HRESULT Resize(ULONG count, LONG lowerBound = 0);
  // After a failure the holder still holds the array.
  [[nodiscard]] HRESULT Destroy();
  [[nodiscard]] HRESULT SetAt(LONG index, const VARIANT& value, bool copy = true);
  // Dimensions count from 0; failures raise their own code.
  LONG GetLowerBound(UINT dimension = 0) const;
  LONG GetUpperBound(UINT dimension = 0) const;
  ULONG GetCount(UINT dimension = 0) const;
  UINT GetDimensions() const;
  // Raises E_FAIL when no array is held.
  bool IsSizable() const;
  [[nodiscard]] HRESULT Lock();
  [[nodiscard]] HRESULT Unlock();

  SAFEARRAY* m_psa = nullptr;
};
