#include "frame/class_factory.h"

#include "frame/debug_assert.h"
#include "trace/trace.h"

namespace {
constexpr const char* kSource = "factory";
}

const InterfaceEntry CComClassFactory::pEntries[] = {
    {&IID_IClassFactory, InterfaceOffset<IClassFactory, CComClassFactory>(), _FRAME_SIMPLEMAPENTRY},
    {nullptr, 0, nullptr},
};

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) {
  FG_ASSERT(m_pfnCreateInstance != nullptr, kSource);
  if (ppvObj == nullptr) return E_POINTER;
  *ppvObj = nullptr;
  if (pUnkOuter != nullptr && riid != IID_IUnknown) {
    FGTRACE(traceCOM, 0, "CComClassFactory: asked for non IUnknown interface while creating an aggregated object");
    return CLASS_E_NOAGGREGATION;
  }
  return m_pfnCreateInstance(pUnkOuter, riid, ppvObj);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL fLock) {
  if (fLock)
    _pFrameModule->LockModule();
  else
    _pFrameModule->UnlockModule();
  return S_OK;
}

HRESULT WINAPI CreateFactory(void* pv, REFIID riid, LPVOID* ppv) {
  FG_ASSERT(ppv != nullptr, kSource);
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* factory = new CComObjectCached<CComClassFactory>();
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->m_pfnCreateInstance = reinterpret_cast<CreatorFunc>(pv);
  HRESULT hr = factory->PrepareConstruct();
  FG_ASSERT(factory->m_dwRef == 0, kSource);
  if (SUCCEEDED(hr)) hr = factory->QueryInterface(riid, ppv);
  if (FAILED(hr)) delete factory;
  return hr;
}
