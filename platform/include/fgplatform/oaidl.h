// IDispatch, the late-bound calling interface of automation.
#pragma once

#include "fgplatform/unknwn.h"
#include "fgplatform/wtypes.h"

interface ITypeInfo;
interface ITypeLib;

interface IDispatch : public IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) PURE;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) PURE;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) PURE;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                    VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;
};
typedef IDispatch* LPDISPATCH;

// Rich error information.
interface IErrorInfo : public IUnknown {
  STDMETHOD(GetGUID)(GUID* pGUID) PURE;
  STDMETHOD(GetSource)(BSTR* pBstrSource) PURE;
  STDMETHOD(GetDescription)(BSTR* pBstrDescription) PURE;
  STDMETHOD(GetHelpFile)(BSTR* pBstrHelpFile) PURE;
  STDMETHOD(GetHelpContext)(DWORD* pdwHelpContext) PURE;
};

interface ICreateErrorInfo : public IUnknown {
  STDMETHOD(SetGUID)(REFGUID rguid) PURE;
  STDMETHOD(SetSource)(LPOLESTR szSource) PURE;
  STDMETHOD(SetDescription)(LPOLESTR szDescription) PURE;
  STDMETHOD(SetHelpFile)(LPOLESTR szHelpFile) PURE;
  STDMETHOD(SetHelpContext)(DWORD dwHelpContext) PURE;
};

interface ISupportErrorInfo : public IUnknown {
  STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) PURE;
};

interface IProvideClassInfo : public IUnknown {
  STDMETHOD(GetClassInfo)(ITypeInfo** ppTI) PURE;
};
