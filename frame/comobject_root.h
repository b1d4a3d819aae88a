// The reference-count root of the library's objects, with its thread
// models, and the construction hooks the creators call.
#pragma once

#include "fgplatform/win32.h"

struct CComSingleThreadModel {
  static ULONG Increment(LONG* p) { return static_cast<ULONG>(++*p); }
  static ULONG Decrement(LONG* p) { return static_cast<ULONG>(--*p); }
};

struct CComMultiThreadModel {
  static ULONG Increment(LONG* p) { return static_cast<ULONG>(InterlockedIncrement(p)); }
  static ULONG Decrement(LONG* p) { return static_cast<ULONG>(InterlockedDecrement(p)); }
};

class CComObjectRootBase {
 public:
  // Hooks of the creators; a class overrides the ones it needs.
  HRESULT PrepareConstruct() { return S_OK; }
  HRESULT CompleteConstruct() { return S_OK; }
  HRESULT AfterConstruct() { return S_OK; }
  void CompleteRelease() {}

  // In a contained object the same storage holds the outer object.
  union {
    LONG m_dwRef = 0;
    IUnknown* m_pOuterObject;
  };
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
 public:
  ULONG IncrementRef() { return ThreadModel::Increment(&m_dwRef); }
  ULONG DecrementRef() { return ThreadModel::Decrement(&m_dwRef); }
};
