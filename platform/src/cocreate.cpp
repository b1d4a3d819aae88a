// CoCreateInstance: the built-in global interface table and category
// manager, and the classes of in-process servers through their class
// objects (activation.cpp).
#include <map>
#include <mutex>

#include "activation.h"
#include "category_manager.h"
#include "fgplatform/comcat.h"
#include "fgplatform/objbase.h"
#include "fgplatform/unknwn.h"

namespace {

class GlobalInterfaceTable final : public IGlobalInterfaceTable {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IGlobalInterfaceTable) return E_NOINTERFACE;
    *ppv = static_cast<IGlobalInterfaceTable*>(this);
    return S_OK;
  }
  // One object per process, alive until the process ends.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid, DWORD* pdwCookie) override {
    if (pUnk == nullptr || pdwCookie == nullptr) return E_INVALIDARG;
    IUnknown* held = nullptr;
    HRESULT hr = pUnk->QueryInterface(riid, reinterpret_cast<void**>(&held));
    if (FAILED(hr)) return hr;
    std::lock_guard<std::mutex> guard(m_lock);
    *pdwCookie = ++m_lastCookie;
    m_entries[*pdwCookie] = held;
    return S_OK;
  }
  STDMETHODIMP RevokeInterfaceFromGlobal(DWORD dwCookie) override {
    IUnknown* held = nullptr;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      auto it = m_entries.find(dwCookie);
      if (it == m_entries.end()) return E_INVALIDARG;
      held = it->second;
      m_entries.erase(it);
    }
    held->Release();
    return S_OK;
  }
  STDMETHODIMP GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_entries.find(dwCookie);
    if (it == m_entries.end()) return E_INVALIDARG;
    return it->second->QueryInterface(riid, ppv);
  }

 private:
  std::mutex m_lock;
  std::map<DWORD, IUnknown*> m_entries;
  DWORD m_lastCookie = 0;
};

}  // namespace

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!fgp::ThreadInitialized()) return CO_E_NOTINITIALIZED;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  if (rclsid == CLSID_StdGlobalInterfaceTable) {
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    static GlobalInterfaceTable* table = new GlobalInterfaceTable;
    return table->QueryInterface(riid, ppv);
  }
  if (rclsid == CLSID_StdComponentCategoriesMgr) {
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return fgp::CategoryManagerObject()->QueryInterface(riid, ppv);
  }
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}
