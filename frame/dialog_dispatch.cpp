// IDispatch of the dialog object without type information: names are found
// in DispatchNameTable and calls go straight to the interface members by
// DISPID, with the one argument of a property put converted to the
// member's type.
#include "frame/dispatch.h"

#include <cstring>

#include "dialog/dialog_helper.h"
#include "frame/debug_assert.h"
#include "frame/error_object.h"
#include "frame/guarded_call.h"
#include "holders/comvalue.h"
#include "trace/trace.h"

const DispatchNameEntry DispatchNameTable[kDispatchNameCount] = {
    {u"OpenDialog", 1},      {u"Title", 2},     {u"get_Title", 2},     {u"put_Title", 2},
    {u"FileName", 3},        {u"get_FileName", 3}, {u"put_FileName", 3}, {u"MultiSelect", 4},
    {u"get_MultiSelect", 4}, {u"put_MultiSelect", 4}, {u"FileNames", 5}, {u"get_FileNames", 5},
    {u"Filter", 6},          {u"get_Filter", 6},   {u"put_Filter", 6},
};

namespace {

constexpr const char* kSource = "dispatch";

// The DISPID of a member name, or DISPID_UNKNOWN.
DISPID FindName(const OLECHAR* name) {
  if (name == nullptr) return DISPID_UNKNOWN;
  for (const DispatchNameEntry& row : DispatchNameTable)
    if (_wcsicmp(name, row.name) == 0) return row.id;
  return DISPID_UNKNOWN;
}

void SetBool(VARIANT* result, VARIANT_BOOL value) {
  if (result == nullptr) return;
  result->vt = VT_BOOL;
  result->boolVal = value;
}

bool NamedArgumentsAllowed(const DISPPARAMS& params) {
  if (params.cNamedArgs == 0) return true;
  return params.cNamedArgs == 1 && params.rgdispidNamedArgs != nullptr &&
         params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
}

}  // namespace

HRESULT __VariantChangeType(VARIANT** ppSrc, VARIANT* dest, VARTYPE vt) {
  FG_ASSERT(ppSrc != nullptr && *ppSrc != nullptr && dest != nullptr, kSource);
  if (ppSrc == nullptr || *ppSrc == nullptr || dest == nullptr) return E_INVALIDARG;
  VARIANT* source = *ppSrc;
  FGTRACE(traceGeneral, 0, "FRAMEEVENT: __VariantChangeType(pvargDest->vt=%d,vt=%d)\n", static_cast<int>(source->vt),
          static_cast<int>(vt));
  VariantInit(dest);
  HRESULT hr = VariantChangeType(dest, source, 0, vt);
  if (SUCCEEDED(hr)) {
    (void)VariantClear(source);  // what it held is replaced by the converted value
    std::memcpy(source, dest, sizeof(VARIANT));
    return hr;
  }
  bool arrayOfValues = (source->vt & ~VT_BYREF) == (VT_ARRAY | VT_VARIANT);
  if (hr == DISP_E_TYPEMISMATCH && (vt & VT_ARRAY) != 0 && arrayOfValues) return S_OK;
  return hr;
}

STDMETHODIMP CDialogHelper::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
  if (cNames != 0 && (rgszNames == nullptr || rgDispId == nullptr)) return E_POINTER;
  for (UINT i = 0; i < cNames; ++i) {
    DISPID id = FindName(rgszNames[i]);
    if (id == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    rgDispId[i] = id;
  }
  return S_OK;
}

STDMETHODIMP CDialogHelper::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (pDispParams == nullptr) return DISP_E_BADVARTYPE;
  if (pDispParams->cArgs > 1) return DISP_E_BADPARAMCOUNT;
  if (pVarResult != nullptr) VariantInit(pVarResult);
  if (!NamedArgumentsAllowed(*pDispParams)) return DISP_E_NONAMEDARGS;
  // The temporary is cleared by its destructor on every way out, also when
  // a holder raises; the exception's code is then the result.
  CComValue temporary;
  bool ran = false;
  HRESULT hr = GuardedCall([&] {
    return InvokeMember(dispIdMember, wFlags, *pDispParams, pVarResult, puArgErr, temporary, ran);
  });
  // Only a member that ran and failed left its error object on the thread:
  // the dispatcher's own refusals leave whatever an earlier call left there
  // alone. FillExceptionRecord's own answer does not matter.
  if (FAILED(hr) && ran && pExcepInfo != nullptr) (void)FillExceptionRecord(hr, pExcepInfo);
  return hr;
}

HRESULT CDialogHelper::InvokeMember(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, UINT* argErr,
                                    CComValue& temporary, bool& ran) {
  switch (id) {
    case 1:
      return InvokeOpenDialog(params, result, ran);
    case 2:
      return InvokeTextProperty(flags, params, result, argErr, temporary, &IDialogHelper::get_Title,
                                &IDialogHelper::put_Title, ran);
    case 3:
      return InvokeTextProperty(flags, params, result, argErr, temporary, &IDialogHelper::get_FileName,
                                &IDialogHelper::put_FileName, ran);
    case 4:
      return InvokeMultiSelect(flags, params, result, argErr, temporary, ran);
    case 5:
      return InvokeFileNames(params, result, ran);
    case 6:
      return InvokeTextProperty(flags, params, result, argErr, temporary, &IDialogHelper::get_Filter,
                                &IDialogHelper::put_Filter, ran);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT CDialogHelper::InvokeOpenDialog(const DISPPARAMS& params, VARIANT* result, bool& ran) {
  if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
  VARIANT_BOOL chosen = VARIANT_FALSE;
  ran = true;
  HRESULT hr = OpenDialog(&chosen);
  SetBool(result, chosen);
  return hr;
}

HRESULT CDialogHelper::InvokeFileNames(const DISPPARAMS& params, VARIANT* result, bool& ran) {
  if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
  VARIANT names;
  VariantInit(&names);
  ran = true;
  HRESULT hr = get_FileNames(&names);
  if (result != nullptr)
    std::memcpy(result, &names, sizeof(VARIANT));  // the whole value moves to the caller
  else
    (void)VariantClear(&names);
  return hr;
}

// The argument of a put in the member's type: the argument itself when its
// tag is that type, else a converted copy in the temporary.
// DISP_E_TYPEMISMATCH (argument index 0) when it does not convert, for
// whatever reason the conversion gives.
HRESULT CDialogHelper::PutArgument(const DISPPARAMS& params, VARTYPE vt, UINT* argErr, CComValue& temporary,
                                   const VARIANT*& value) {
  if (params.cArgs != 1 || params.rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
  value = &params.rgvarg[0];
  if (value->vt == vt) return S_OK;
  temporary = *value;  // a failed copy raises its code
  VARIANT* source = &temporary;
  VARIANT converted;
  if (FAILED(__VariantChangeType(&source, &converted, vt))) {
    if (argErr != nullptr) *argErr = 0;
    return DISP_E_TYPEMISMATCH;
  }
  value = &temporary;
  return S_OK;
}

HRESULT CDialogHelper::InvokeTextProperty(WORD flags, const DISPPARAMS& params, VARIANT* result, UINT* argErr,
                                          CComValue& temporary, HRESULT (STDMETHODCALLTYPE IDialogHelper::*get)(BSTR*),
                                          HRESULT (STDMETHODCALLTYPE IDialogHelper::*put)(BSTR), bool& ran) {
  if (flags & DISPATCH_PROPERTYGET) {
    if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    BSTR text = nullptr;
    ran = true;
    HRESULT hr = (this->*get)(&text);
    if (result == nullptr) {
      SysFreeString(text);
      return hr;
    }
    result->vt = VT_BSTR;
    result->bstrVal = text;  // the caller owns it now
    return hr;
  }
  if (!(flags & DISPATCH_PROPERTYPUT)) return DISP_E_MEMBERNOTFOUND;
  const VARIANT* value = nullptr;
  if (HRESULT hr = PutArgument(params, VT_BSTR, argErr, temporary, value); FAILED(hr)) return hr;
  ran = true;
  return (this->*put)(value->bstrVal);
}

HRESULT CDialogHelper::InvokeMultiSelect(WORD flags, const DISPPARAMS& params, VARIANT* result, UINT* argErr,
                                         CComValue& temporary, bool& ran) {
  if (flags & DISPATCH_PROPERTYGET) {
    if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    VARIANT_BOOL value = VARIANT_FALSE;
    ran = true;
    HRESULT hr = get_MultiSelect(&value);
    SetBool(result, value);
    return hr;
  }
  if (!(flags & DISPATCH_PROPERTYPUT)) return DISP_E_MEMBERNOTFOUND;
  const VARIANT* value = nullptr;
  if (HRESULT hr = PutArgument(params, VT_BOOL, argErr, temporary, value); FAILED(hr)) return hr;
  ran = true;
  return put_MultiSelect(value->boolVal);
}
