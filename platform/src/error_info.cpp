// Error objects and the thread's current one.
#include <atomic>
#include <new>

#include "faults.h"
#include "fgplatform/oleauto.h"
#include "live_counts.h"

namespace {

class ErrorObject final : public ICreateErrorInfo, public IErrorInfo {
 public:
  ~ErrorObject() {
    for (BSTR s : {m_source, m_description, m_helpFile}) SysFreeString(s);
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo)
      *ppv = static_cast<IErrorInfo*>(this);
    else if (riid == IID_ICreateErrorInfo)
      *ppv = static_cast<ICreateErrorInfo*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP SetGUID(REFGUID rguid) override {
    m_guid = rguid;
    return S_OK;
  }
  STDMETHODIMP SetSource(LPOLESTR s) override { return Replace(m_source, s); }
  STDMETHODIMP SetDescription(LPOLESTR s) override { return Replace(m_description, s); }
  STDMETHODIMP SetHelpFile(LPOLESTR s) override { return Replace(m_helpFile, s); }
  STDMETHODIMP SetHelpContext(DWORD context) override {
    m_helpContext = context;
    return S_OK;
  }
  STDMETHODIMP GetGUID(GUID* out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = m_guid;
    return S_OK;
  }
  STDMETHODIMP GetSource(BSTR* out) override { return Copy(m_source, out); }
  STDMETHODIMP GetDescription(BSTR* out) override { return Copy(m_description, out); }
  STDMETHODIMP GetHelpFile(BSTR* out) override { return Copy(m_helpFile, out); }
  STDMETHODIMP GetHelpContext(DWORD* out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = m_helpContext;
    return S_OK;
  }

 private:
  static HRESULT Replace(BSTR& field, LPOLESTR text) {
    BSTR copy = nullptr;
    if (text != nullptr && (copy = SysAllocString(text)) == nullptr) return E_OUTOFMEMORY;
    SysFreeString(field);
    field = copy;
    return S_OK;
  }
  static HRESULT Copy(BSTR field, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (field == nullptr) return S_OK;
    *out = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(field), SysStringByteLen(field));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  std::atomic<ULONG> m_refs{1};
  GUID m_guid = GUID_NULL;
  BSTR m_source = nullptr;
  BSTR m_description = nullptr;
  BSTR m_helpFile = nullptr;
  DWORD m_helpContext = 0;
};

// The thread's error object; released when the thread ends.
struct CurrentError {
  IErrorInfo* info = nullptr;
  ~CurrentError() {
    if (info != nullptr) info->Release();
  }
};
thread_local CurrentError t_current;

}  // namespace

bool fgp::ThreadHasErrorObject() { return t_current.info != nullptr; }

HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = nullptr;
  if (fgp::ShouldFail(fgp::FaultService::ErrorInfo)) return E_OUTOFMEMORY;
  auto* object = new (std::nothrow) ErrorObject;
  if (object == nullptr) return E_OUTOFMEMORY;
  *pperrinfo = object;
  return S_OK;
}

HRESULT STDAPICALLTYPE SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
  if (perrinfo != nullptr) perrinfo->AddRef();
  IErrorInfo* old = t_current.info;
  t_current.info = perrinfo;
  if (old != nullptr) old->Release();
  return S_OK;
}

HRESULT STDAPICALLTYPE GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = t_current.info;
  t_current.info = nullptr;
  return *pperrinfo != nullptr ? S_OK : S_FALSE;
}
