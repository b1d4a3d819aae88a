#include "frame/error_object.h"

#include "frame/debug_assert.h"

namespace {

constexpr const char* kSource = "errorobject";

// A counted reference released on every path.
template <class T>
class Ref {
 public:
  ~Ref() {
    if (p != nullptr) p->Release();
  }
  T* p = nullptr;
};

}  // namespace

HRESULT SetErrorObject(REFCLSID clsid, LPCOLESTR description, DWORD helpContext, LPCOLESTR helpFile, REFIID iid,
                       HRESULT hr, HINSTANCE resourceModule) {
  WCHAR message[1024];
  if (reinterpret_cast<ULONG_PTR>(description) < 0x10000) {
    UINT nID = LOWORD(reinterpret_cast<ULONG_PTR>(description));
    [[maybe_unused]] HRESULT hRes = hr;  // named for the assertion's text
    FG_ASSERT_TEXT((nID >= 0x0200 && nID <= 0xffff) || hRes != 0,
                   "(nID >= 0x0200 && nID <= 0xffff) || hRes != 0", kSource);
    if (LoadStringW(resourceModule, nID, message, 1024) == 0) {
      FG_ASSERT_TEXT(false, "0", kSource);
      wcscpy_s(message, 1024, u"Unknown Error");
    }
    description = message;
    if (hr == 0) hr = static_cast<HRESULT>(0x80040000u | nID);
  }
  Ref<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(&create.p))) {
    create.p->SetGUID(iid);
    LPOLESTR progId = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId != nullptr) create.p->SetSource(progId);
    if (helpContext != 0 && helpFile != nullptr) {
      create.p->SetHelpContext(helpContext);
      create.p->SetHelpFile(const_cast<LPOLESTR>(helpFile));
    }
    CoTaskMemFree(progId);
    create.p->SetDescription(const_cast<LPOLESTR>(description));
    Ref<IErrorInfo> info;
    if (SUCCEEDED(create.p->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info.p))))
      SetErrorInfo(0, info.p);
  }
  return hr != 0 ? hr : DISP_E_EXCEPTION;
}

HRESULT ReportErrorObject(REFCLSID clsid, LPCOLESTR description, REFIID iid, HRESULT hr) {
  return SetErrorObject(clsid, description, 0, nullptr, iid, hr, nullptr);
}

HRESULT FillExceptionRecord(HRESULT hr, EXCEPINFO* excepinfo) {
  if (excepinfo == nullptr) return E_POINTER;
  excepinfo->pfnDeferredFillIn = nullptr;
  excepinfo->scode = hr;
  Ref<IErrorInfo> info;
  HRESULT got = GetErrorInfo(0, &info.p);
  if (got == S_OK) {
    info.p->GetSource(&excepinfo->bstrSource);
    info.p->GetDescription(&excepinfo->bstrDescription);
    info.p->GetHelpFile(&excepinfo->bstrHelpFile);
    info.p->GetHelpContext(&excepinfo->dwHelpContext);
  }
  return got;
}
