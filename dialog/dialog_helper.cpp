#include "dialog/dialog_helper.h"

#include "frame/guarded_call.h"
#include "holders/comvalue.h"

namespace {

// The interfaces whose failures carry rich error information.
const IID* const kErrorInfoInterfaces[] = {&IID_IDialogHelper};

// Hands the caller its own copy of a text property. A copy that cannot be
// made is reported: answering success with null would pass an empty text
// off as the property's value.
HRESULT CopyOut(const CComString& member, BSTR* out) {
  *out = member.Copy();
  return *out == nullptr && !member.IsNull() ? E_OUTOFMEMORY : S_OK;
}

}  // namespace

const InterfaceEntry CDialogHelper::pEntries[] = {
    {&IID_IDialogHelper, InterfaceOffset<IDialogHelper, CDialogHelper>(), _FRAME_SIMPLEMAPENTRY},
    {&IID_IDispatch, InterfaceOffset<IDispatch, CDialogHelper>(), _FRAME_SIMPLEMAPENTRY},
    {&IID_IProvideClassInfo, InterfaceOffset<IProvideClassInfo, CDialogHelper>(), _FRAME_SIMPLEMAPENTRY},
    {&IID_ISupportErrorInfo, InterfaceOffset<ISupportErrorInfo, CDialogHelper>(), _FRAME_SIMPLEMAPENTRY},
    {nullptr, 0, nullptr},
};

HRESULT CDialogHelper::CompleteConstruct() {
  m_bstrFileName.AssignNarrow("");
  return S_OK;
}

STDMETHODIMP CDialogHelper::get_Title(BSTR* pVal) {
  return CopyOut(m_bstrTitle, pVal);
}

STDMETHODIMP CDialogHelper::put_Title(BSTR newVal) {
  return GuardedCall([&] {
    m_bstrTitle.Assign(newVal);
    return S_OK;
  });
}

STDMETHODIMP CDialogHelper::get_FileName(BSTR* pVal) {
  return CopyOut(m_bstrFileName, pVal);
}

STDMETHODIMP CDialogHelper::put_FileName(BSTR newVal) {
  return GuardedCall([&] {
    m_bstrFileName.Assign(newVal);
    return S_OK;
  });
}

STDMETHODIMP CDialogHelper::get_MultiSelect(VARIANT_BOOL* pVal) {
  *pVal = m_bMultiSelect;
  return S_OK;
}

STDMETHODIMP CDialogHelper::put_MultiSelect(VARIANT_BOOL newVal) {
  m_bMultiSelect = newVal;
  return S_OK;
}

STDMETHODIMP CDialogHelper::get_FileNames(VARIANT* pVal) {
  return GuardedCall([&] {
    CComValue value(m_FileNames.m_psa);
    return value.Detach(pVal);
  });
}

STDMETHODIMP CDialogHelper::get_Filter(BSTR* Filter) {
  return CopyOut(m_bstrFilter, Filter);
}

STDMETHODIMP CDialogHelper::put_Filter(BSTR newVal) {
  return GuardedCall([&] {
    m_bstrFilter.Assign(newVal);
    return S_OK;
  });
}

STDMETHODIMP CDialogHelper::InterfaceSupportsErrorInfo(REFIID riid) {
  for (const IID* iid : kErrorInfoInterfaces)
    if (IsEqualGUID(*iid, riid)) return S_OK;
  return S_FALSE;
}
