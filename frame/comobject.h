// The wrappers that finish a class into a component object, and the
// creators that make them.
//
// A class T supplies its interfaces, a root (CComObjectRootEx), its
// construction hooks and its interface table `T::pEntries`; the wrappers
// supply IUnknown:
//   CComObject<T>           a stand-alone object, counting for itself;
//   CComAggObject<T>        the controlling part of an aggregate: its own
//                           IUnknown and count, with the class inside;
//   CComContainedObject<T>  the class inside an aggregate: its IUnknown
//                           calls go to the outer object.
// Every live CComObject and CComAggObject holds one lock on the module.
// Wrappers live in the process heap, so that out of memory comes from the
// platform's heap like every other allocation of the library.
#pragma once

#include <new>

#include "fgplatform/win32.h"
#include "frame/comobject_root.h"
#include "frame/debug_assert.h"
#include "frame/frame_exception.h"
#include "frame/interface_table.h"
#include "frame/module.h"

namespace frame_detail {

constexpr const char* kObjectSource = "comobject";

// Heap placement of the wrappers; a failed allocation answers null.
struct ProcessHeapAllocated {
  static void* operator new(size_t size) noexcept { return HeapAlloc(GetProcessHeap(), 0, size); }
  static void operator delete(void* p) noexcept { HeapFree(GetProcessHeap(), 0, p); }
};

// The per-class checks before the table walk.
template <class T>
[[nodiscard]] HRESULT QueryClass(T* pThis, REFIID iid, void** ppv) {
  FG_ASSERT(ppv != nullptr, kObjectSource);
  FG_ASSERT(pThis != nullptr, kObjectSource);
  FG_ASSERT(T::pEntries[0].pFunc == _FRAME_SIMPLEMAPENTRY, kObjectSource);
  return QueryFromTable(pThis, T::pEntries, iid, ppv);
}

inline void LockModule() { _pFrameModule->LockModule(); }
inline void UnlockModule() { _pFrameModule->UnlockModule(); }

// AddRef and Release of a wrapper that counts for itself.
template <class Root>
ULONG CountedAddRef(Root& root) {
  FG_ASSERT(root.m_dwRef != -1, kObjectSource);
  return root.IncrementRef();
}
template <class Root>
ULONG CountedRelease(Root& root) {
  ULONG left = root.DecrementRef();
  FG_ASSERT(static_cast<LONG>(left) >= kDestroyedCount, kObjectSource);  // released after its destruction
  return left;
}

}  // namespace frame_detail

template <class Base>
class CComObject : public Base, public frame_detail::ProcessHeapAllocated {
 public:
  explicit CComObject(void* = nullptr) { frame_detail::LockModule(); }
  virtual ~CComObject() {
    this->m_dwRef = kDestroyedCount;
    this->CompleteRelease();
    frame_detail::UnlockModule();
  }
  using frame_detail::ProcessHeapAllocated::operator new;
  using frame_detail::ProcessHeapAllocated::operator delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    return frame_detail::QueryClass<Base>(this, iid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return frame_detail::CountedAddRef(*this); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = frame_detail::CountedRelease(*this);
    if (left == 0) delete this;
    return left;
  }
};

template <class Base>
class CComContainedObject : public Base {
 public:
  explicit CComContainedObject(void* pv) { this->m_pOuterObject = static_cast<IUnknown*>(pv); }

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    return this->m_pOuterObject->QueryInterface(iid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return this->m_pOuterObject->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return this->m_pOuterObject->Release(); }
};

template <class Contained>
class CComAggObject : public IUnknown,
                      public CComObjectRootEx<CComSingleThreadModel>,
                      public frame_detail::ProcessHeapAllocated {
 public:
  explicit CComAggObject(void* pv) : m_inner(pv) { frame_detail::LockModule(); }
  virtual ~CComAggObject() {
    m_dwRef = kDestroyedCount;
    CompleteRelease();
    frame_detail::UnlockModule();
  }

  [[nodiscard]] HRESULT PrepareConstruct() {
    HRESULT hr = m_inner.PrepareConstruct();
    return SUCCEEDED(hr) ? CComObjectRootEx::PrepareConstruct() : hr;
  }
  [[nodiscard]] HRESULT CompleteConstruct() {
    (void)CComObjectRootEx::CompleteConstruct();  // the outer root's hook has nothing to fail
    return m_inner.CompleteConstruct();
  }
  [[nodiscard]] HRESULT AfterConstruct() { return m_inner.AfterConstruct(); }
  void CompleteRelease() {
    CComObjectRootEx::CompleteRelease();
    m_inner.CompleteRelease();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    FG_ASSERT(ppv != nullptr, frame_detail::kObjectSource);
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    // The pointer handed out is the inner object's: its AddRef goes outside.
    return frame_detail::QueryClass<Contained>(&m_inner, iid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return frame_detail::CountedAddRef(*this); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = frame_detail::CountedRelease(*this);
    if (left == 0) delete this;
    return left;
  }

  CComContainedObject<Contained> m_inner;
};

// A creator: the outer object (or null), the interface wanted, the out pointer.
typedef HRESULT(WINAPI* CreatorFunc)(void* pv, REFIID riid, LPVOID* ppv);

// The steps every creator takes for its wrapper. `holdCount` raises the
// count around the hooks, so that pointers taken and released inside them
// cannot destroy the object; without it the count must still be 0 after
// them. An exception from a hook destroys the wrapper and goes on to the
// interface operation that asked for the object.
template <class Wrapper>
[[nodiscard]] HRESULT CreateWrapper(void* pv, REFIID iid, void** ppv, bool holdCount) {
  FG_ASSERT(ppv != nullptr, frame_detail::kObjectSource);
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  Wrapper* object = nullptr;
  try {
    object = new Wrapper(pv);
  } catch (...) {
    object = nullptr;  // a constructor that raised leaves no wrapper
  }
  if (object == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = E_OUTOFMEMORY;
  try {
    if (holdCount) object->IncrementRef();
    hr = object->PrepareConstruct();
    if (SUCCEEDED(hr)) hr = object->CompleteConstruct();
    if (SUCCEEDED(hr)) hr = object->AfterConstruct();
    if (holdCount)
      object->DecrementRef();
    else
      FG_ASSERT(object->m_dwRef == 0, frame_detail::kObjectSource);
  } catch (const CFrameException& e) {
    // A construction hook that raised (out of memory) fails the creation
    // with its code: no exception leaves a creator for its caller.
    delete object;
    return e.m_hrCode;
  } catch (...) {
    delete object;
    throw;
  }
  if (hr == S_OK) hr = object->QueryInterface(iid, ppv);
  if (hr != S_OK) delete object;
  return hr;
}

template <class T>
struct CComCreators {
  static HRESULT WINAPI CreatePlain(void*, REFIID iid, LPVOID* ppv) {
    return CreateWrapper<CComObject<T>>(nullptr, iid, ppv, /*holdCount=*/true);
  }
  static HRESULT WINAPI CreateAggregated(void* pv, REFIID iid, LPVOID* ppv) {
    return CreateWrapper<CComAggObject<T>>(pv, iid, ppv, /*holdCount=*/false);
  }
  // The creator of the class's object-map row.
  static HRESULT WINAPI CreatePlainOrAggregated(void* pv, REFIID iid, LPVOID* ppv) {
    FG_ASSERT(ppv != nullptr, frame_detail::kObjectSource);
    return pv != nullptr ? CreateAggregated(pv, iid, ppv) : CreatePlain(nullptr, iid, ppv);
  }
};
