// Rich error information: error objects, their source from the registry,
// resource descriptions, and the exception record of late-bound callers.
#include <string>

#include "dialog/dialog_identity.h"
#include "fgplatform/test_baseline.h"
#include "fgplatform/test_registry.h"
#include "frame/com_error.h"
#include "frame/comcoclass.h"
#include "frame/error_object.h"
#include "registration/regkey.h"

namespace {

class ErrorInfo : public fgtest::BaselineTest {
 protected:
  void RegisterProgId() {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"CLSID\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}\\ProgID"), 0);
    ASSERT_EQ(key.WriteString(nullptr, kProgId), 0);
  }
  static std::u16string Text(BSTR s) { return s != nullptr ? std::u16string(s) : u"<null>"; }
  fgtest::TemporaryRegistry m_registry;
};

using DialogClass = CComCoClass<struct DialogTag, &CLSID_DialogHelper>;

TEST_F(ErrorInfo, ATextFailureWithoutCodeAnswersDispExceptionAndCarriesTheSource) {
  RegisterProgId();
  EXPECT_EQ(DialogClass::ReportError(u"\u6587\u4EF6\u540D\u65E0\u6548ErrorCode:12290", IID_IDialogHelper, 0),
            DISP_E_EXCEPTION);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  GUID iid;
  info->GetGUID(&iid);
  EXPECT_EQ(iid, IID_IDialogHelper);
  BSTR source = nullptr, description = nullptr, helpFile = nullptr;
  info->GetSource(&source);
  info->GetDescription(&description);
  info->GetHelpFile(&helpFile);
  EXPECT_EQ(Text(source), u"Farrowgate.DialogHelper.1");
  EXPECT_EQ(Text(description), u"\u6587\u4EF6\u540D\u65E0\u6548ErrorCode:12290");
  EXPECT_EQ(helpFile, nullptr);
  for (BSTR s : {source, description}) SysFreeString(s);
  info->Release();
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE) << "taking it removed it";
}

TEST_F(ErrorInfo, AnUnregisteredClassHasNoSourceAndAnExplicitCodeComesBack) {
  EXPECT_EQ(DialogClass::ReportError(u"text", GUID_NULL, E_ACCESSDENIED), E_ACCESSDENIED);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR source = nullptr;
  info->GetSource(&source);
  EXPECT_EQ(source, nullptr);
  info->Release();
}

TEST_F(ErrorInfo, ResourceIdsLoadTheirStringOrUnknownError) {
  EXPECT_EQ(SetErrorObject(CLSID_DialogHelper, reinterpret_cast<LPCOLESTR>(0x300), 0, nullptr, GUID_NULL, 0, nullptr),
            static_cast<HRESULT>(0x80040300));
  EXCEPINFO record = {};
  EXPECT_EQ(FillExceptionRecord(DISP_E_EXCEPTION, &record), S_OK);
  EXPECT_EQ(Text(record.bstrDescription), u"A message from the resources");
  SysFreeString(record.bstrDescription);

  EXPECT_EQ(SetErrorObject(CLSID_DialogHelper, reinterpret_cast<LPCOLESTR>(0x301), 0, nullptr, GUID_NULL, 0, nullptr),
            static_cast<HRESULT>(0x80040301));
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, "0") << "a missing string is asserted";
  record = {};
  EXPECT_EQ(FillExceptionRecord(E_FAIL, &record), S_OK) << "the object set with the missing string";
  EXPECT_EQ(Text(record.bstrDescription), u"Unknown Error");
  SysFreeString(record.bstrDescription);

  EXPECT_EQ(SetErrorObject(CLSID_DialogHelper, nullptr, 0, nullptr, GUID_NULL, E_FAIL, nullptr), E_FAIL)
      << "a null description is resource id 0, accepted with an explicit code";
  IErrorInfo* info = nullptr;
  GetErrorInfo(0, &info);
  info->Release();
  Reports();
}

TEST_F(ErrorInfo, HelpFieldsAreSetOnlyTogether) {
  ASSERT_EQ(SetErrorObject(CLSID_DialogHelper, u"d", 5, nullptr, GUID_NULL, E_FAIL, nullptr), E_FAIL);
  EXCEPINFO record = {};
  record.dwHelpContext = 99;
  ASSERT_EQ(FillExceptionRecord(E_FAIL, &record), S_OK);
  EXPECT_EQ(record.dwHelpContext, 0u) << "no help file: no help context either";
  SysFreeString(record.bstrDescription);
  ASSERT_EQ(SetErrorObject(CLSID_DialogHelper, u"d", 5, u"help.chm", GUID_NULL, E_FAIL, nullptr), E_FAIL);
  record = {};
  ASSERT_EQ(FillExceptionRecord(E_FAIL, &record), S_OK);
  EXPECT_EQ(record.dwHelpContext, 5u);
  EXPECT_EQ(Text(record.bstrHelpFile), u"help.chm");
  SysFreeString(record.bstrDescription);
  SysFreeString(record.bstrHelpFile);
}

TEST_F(ErrorInfo, FillExceptionRecordWithAndWithoutAnObject) {
  EXPECT_EQ(FillExceptionRecord(E_FAIL, nullptr), E_POINTER);
  EXCEPINFO record = {};
  record.wCode = 7;
  record.pfnDeferredFillIn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(EXCEPINFO*)>(1);
  EXPECT_EQ(FillExceptionRecord(DISP_E_EXCEPTION, &record), S_FALSE);
  EXPECT_EQ(record.scode, DISP_E_EXCEPTION);
  EXPECT_EQ(record.pfnDeferredFillIn, nullptr);
  EXPECT_EQ(record.wCode, 7) << "left as the caller set it";
  EXPECT_EQ(record.bstrDescription, nullptr);
}

TEST_F(ErrorInfo, WhenNoErrorObjectCanBeMadeTheCodeStillComesBack) {
  fgtest::FailCall(fgtest::Service::ErrorInfo, 1);
  EXPECT_EQ(DialogClass::ReportError(u"text"), DISP_E_EXCEPTION);
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

TEST_F(ErrorInfo, ComErrorsAdoptAndCopyTheirErrorObject) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  IErrorInfo* info = nullptr;
  create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
  create->Release();
  try {
    RaiseComError(E_OUTOFMEMORY, info);  // adopts the reference
  } catch (const CComError& e) {
    CComError copy(e);
    EXPECT_EQ(copy.m_pErrorInfo, info);
    EXPECT_EQ(copy.m_hrCode, E_OUTOFMEMORY);
  }
  try {
    IssueComError(E_INVALIDARG);
  } catch (const CComError& e) {
    EXPECT_EQ(e.m_hrCode, E_INVALIDARG);
    EXPECT_EQ(e.m_pErrorInfo, nullptr);
  }
  try {
    RaiseStructuredException(0xC000008C, EXCEPTION_NONCONTINUABLE);
  } catch (const CStructuredException& e) {
    EXPECT_EQ(e.Code(), 0xC000008Cu);
    EXPECT_EQ(e.m_nArguments, 0u);
  }
}

}  // namespace
