// The class factory a host asks for instances of one class, created once
// per class in the cached wrapper: the reference the object map keeps does
// not hold the library, every further one does.
#pragma once

#include "fgplatform/win32.h"
#include "frame/comobject.h"

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
 public:
  // E_POINTER for a null out pointer; CLASS_E_NOAGGREGATION (with a trace
  // line) for an outer object asking for anything but IUnknown; else the
  // instance creator's answer.
  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) override;
  // Raises (true) or lowers (false) the module's lock count; S_OK.
  STDMETHODIMP LockServer(BOOL fLock) override;

  static const InterfaceEntry pEntries[];
  CreatorFunc m_pfnCreateInstance = nullptr;
};

// The wrapper of a cached object: its count of 1 is the cache's, which
// holds no lock on the module; a second reference locks it, dropping back
// to 1 unlocks it.
template <class Base>
class CComObjectCached : public Base, public frame_detail::ProcessHeapAllocated {
 public:
  CComObjectCached() = default;
  virtual ~CComObjectCached() {
    this->m_dwRef = kDestroyedCount;
    this->CompleteRelease();
  }
  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override { return frame_detail::QueryClass(this, iid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override {
    ULONG count = this->IncrementRef();
    if (count == 2) frame_detail::LockModule();
    return count;
  }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG count = this->DecrementRef();
    if (count == 0)
      delete this;
    else if (count == 1)
      frame_detail::UnlockModule();
    return count;
  }
  using frame_detail::ProcessHeapAllocated::operator new;
  using frame_detail::ProcessHeapAllocated::operator delete;
};

// Makes a factory whose instance creator is `pv`, in the cached wrapper,
// and answers its `riid`: E_OUTOFMEMORY when it cannot be allocated, the
// critical section's failure code when that cannot be made.
HRESULT WINAPI CreateFactory(void* pv, REFIID riid, LPVOID* ppv);
