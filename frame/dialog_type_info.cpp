// The dialog object's type information: its interface's, read from the
// library's own file on each request, and its class's, through the class
// information holder (IProvideClassInfo), from the registered library.
#include "dialog/dialog_helper.h"
#include "frame/module.h"
#include "frame/type_info_holder.h"

namespace {

// The holder of IProvideClassInfo: the class, the module's type library,
// version 1.0.
CComTypeInfoHolder s_classInfo = {&CLSID_DialogHelper, &CFrameModule::m_libid, 1, 0, nullptr, 0, nullptr, 0};

}  // namespace

STDMETHODIMP CDialogHelper::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadInterfaceTypeInfo(IID_IDialogHelper, &info);
  if (info != nullptr) info->Release();
  *pctinfo = SUCCEEDED(hr) ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CDialogHelper::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return LoadInterfaceTypeInfo(IID_IDialogHelper, ppTInfo);
}

STDMETHODIMP CDialogHelper::GetClassInfo(ITypeInfo** ppTI) { return s_classInfo.GetTypeInfo(0, 0, ppTI); }
