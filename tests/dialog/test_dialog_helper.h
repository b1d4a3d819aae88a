// A test-only finish of CDialogHelper: it supplies IUnknown (with the
// table of the three interface pointers) until the frame's wrappers exist,
// and answers E_NOTIMPL for what later issues add.
#pragma once

#include "dialog/dialog_helper.h"

class TestDialogHelper : public CDialogHelper {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IDialogHelper)
      *ppv = static_cast<IDialogHelper*>(this);
    else if (riid == IID_IProvideClassInfo)
      *ppv = static_cast<IProvideClassInfo*>(this);
    else if (riid == IID_ISupportErrorInfo)
      *ppv = static_cast<ISupportErrorInfo*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return IncrementRef(); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = DecrementRef();
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP GetClassInfo(ITypeInfo**) override { return E_NOTIMPL; }

  // Makes an object as the creators will: constructed, then the hook.
  static TestDialogHelper* Make() {
    auto* object = new TestDialogHelper;
    object->CompleteConstruct();
    object->AddRef();
    return object;
  }
};
