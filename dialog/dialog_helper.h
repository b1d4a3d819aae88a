// CDialogHelper keeps the settings of an open-file dialog and its results
// as the automation properties of IDialogHelper. The class is abstract:
// the frame's wrappers supply IUnknown. The late-bound operations are
// defined with the frame's dispatcher: calls by name in
// frame/dialog_dispatch.cpp, type information in frame/dialog_type_info.cpp.
#pragma once

#include "dialog/dialog_identity.h"
#include "dialog/dialog_interface.h"
#include "frame/comcoclass.h"
#include "frame/comobject_root.h"
#include "frame/interface_table.h"
#include "holders/comstring.h"
#include "holders/comvalue.h"
#include "holders/valuearray.h"

class CDialogHelper : public IDialogHelper,
                      public IProvideClassInfo,
                      public ISupportErrorInfo,
                      public CComObjectRootEx<CComSingleThreadModel>,
                      public CComCoClass<CDialogHelper, &CLSID_DialogHelper> {
 public:
  CDialogHelper() = default;
  // Not virtual: the wrappers destroy the object as their own type, and the
  // contained wrapper's table has no destructor entry.
  ~CDialogHelper() = default;

  // Sets FileName to an allocated empty string; raises E_OUTOFMEMORY when
  // it cannot.
  [[nodiscard]] HRESULT CompleteConstruct();

  // Shows the open-file dialog (see open_dialog.cpp).
  STDMETHODIMP OpenDialog(VARIANT_BOOL* result) override;
  // After a dialog that returned no choice: S_OK when it was cancelled,
  // else the failure reported through rich error information.
  [[nodiscard]] HRESULT ReportDialogFailure();

  STDMETHODIMP get_Title(BSTR* pVal) override;
  STDMETHODIMP put_Title(BSTR newVal) override;
  STDMETHODIMP get_FileName(BSTR* pVal) override;
  STDMETHODIMP put_FileName(BSTR newVal) override;
  STDMETHODIMP get_MultiSelect(VARIANT_BOOL* pVal) override;
  STDMETHODIMP put_MultiSelect(VARIANT_BOOL newVal) override;
  STDMETHODIMP get_FileNames(VARIANT* pVal) override;
  STDMETHODIMP get_Filter(BSTR* Filter) override;
  STDMETHODIMP put_Filter(BSTR newVal) override;
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                      VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  [[nodiscard]] HRESULT RunOpenDialog(VARIANT_BOOL* result);
  // Stores a successful dialog's choice from the name buffer [name, end);
  // on failure FileName and FileNames are as they were.
  [[nodiscard]] HRESULT StoreChoice(OLECHAR* name, const OLECHAR* end);

  // The dispatcher's steps for each member (frame/dialog_dispatch.cpp).
  // `ran` is set once the member itself is called: only then does its
  // failure come with the thread's error object.
  [[nodiscard]] HRESULT InvokeMember(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, UINT* argErr,
                                     CComValue& temporary, bool& ran);
  [[nodiscard]] HRESULT InvokeOpenDialog(const DISPPARAMS& params, VARIANT* result, bool& ran);
  [[nodiscard]] HRESULT InvokeFileNames(const DISPPARAMS& params, VARIANT* result, bool& ran);
  [[nodiscard]] HRESULT InvokeTextProperty(WORD flags, const DISPPARAMS& params, VARIANT* result, UINT* argErr,
                                           CComValue& temporary, HRESULT (STDMETHODCALLTYPE IDialogHelper::*get)(BSTR*),
                                           HRESULT (STDMETHODCALLTYPE IDialogHelper::*put)(BSTR), bool& ran);
  [[nodiscard]] HRESULT InvokeMultiSelect(WORD flags, const DISPPARAMS& params, VARIANT* result, UINT* argErr,
                                          CComValue& temporary, bool& ran);
  [[nodiscard]] static HRESULT PutArgument(const DISPPARAMS& params, VARTYPE vt, UINT* argErr, CComValue& temporary,
                                           const VARIANT*& value);

  // The interfaces the object answers: IDialogHelper and IDispatch through
  // the primary pointer (which also answers IUnknown), then the class
  // information and error information parts.
  static const InterfaceEntry pEntries[];

  // Members in their published order; destroyed in reverse (the array
  // first, then the strings from last to first).
  CComString m_bstrTitle;
  CComString m_bstrFileName;
  CComString m_bstrFilter;
  VARIANT_BOOL m_bMultiSelect = 0;
  CComValueArray m_FileNames;
};
