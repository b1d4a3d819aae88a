// The reference-count root of the library's objects, with its thread
// models, and the construction hooks the creators call.
#pragma once

#include "fgplatform/win32.h"
#include "frame/critical_section.h"
#include "frame/debug_assert.h"

struct CComSingleThreadModel {
  static ULONG Increment(LONG* p) { return static_cast<ULONG>(++*p); }
  static ULONG Decrement(LONG* p) { return static_cast<ULONG>(--*p); }
};

struct CComMultiThreadModel {
  static ULONG Increment(LONG* p) { return static_cast<ULONG>(InterlockedIncrement(p)); }
  static ULONG Decrement(LONG* p) { return static_cast<ULONG>(InterlockedDecrement(p)); }
};

// The count a wrapper holds while it is destroyed: far from 0, so calls
// made meanwhile cannot destroy it twice, and a later Release trips the
// check for an object already released.
constexpr LONG kDestroyedCount = -1073741823;  // -(0x7FFFFFFF / 2)

class CComObjectRootBase {
 public:
  // Hooks of the creators; a class overrides the ones it needs.
  [[nodiscard]] HRESULT PrepareConstruct() { return S_OK; }
  [[nodiscard]] HRESULT CompleteConstruct() { return S_OK; }
  [[nodiscard]] HRESULT AfterConstruct() { return S_OK; }
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
  void Lock() {}
  void Unlock() {}
};

// An object's critical section, made by the construction hook rather than
// the constructor so that a failure becomes the creator's result.
class CFrameObjectSection {
 public:
  CFrameObjectSection() = default;
  ~CFrameObjectSection() {
    if (m_bInitialized) DeleteSection(&m_sec);
  }
  CFrameObjectSection(const CFrameObjectSection&) = delete;
  CFrameObjectSection& operator=(const CFrameObjectSection&) = delete;
  // Made once: a second call is asserted and keeps the section it has
  // (making it again would lose the first one).
  [[nodiscard]] HRESULT Init() {
    FG_ASSERT_TEXT(!m_bInitialized, "!m_bInitialized", "object");
    if (m_bInitialized) return S_OK;
    HRESULT hr = InitializeSection(&m_sec);
    m_bInitialized = SUCCEEDED(hr);
    return hr;
  }
  [[nodiscard]] HRESULT Lock() { return EnterSection(&m_sec); }
  void Unlock() { LeaveSection(&m_sec); }

  CRITICAL_SECTION m_sec{};
  bool m_bInitialized = false;
};

template <>
class CComObjectRootEx<CComMultiThreadModel> : public CComObjectRootBase {
 public:
  ULONG IncrementRef() { return CComMultiThreadModel::Increment(&m_dwRef); }
  ULONG DecrementRef() { return CComMultiThreadModel::Decrement(&m_dwRef); }
  [[nodiscard]] HRESULT PrepareConstruct() { return m_critsec.Init(); }
  [[nodiscard]] HRESULT Lock() { return m_critsec.Lock(); }
  void Unlock() { m_critsec.Unlock(); }

  CFrameObjectSection m_critsec;
};
