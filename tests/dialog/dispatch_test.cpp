// Late-bound calls of the dialog object: names to DISPIDs, the get and put
// choice, argument counts and conversions, failures and their exception
// record.
#include <string>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "frame/dispatch.h"
#include "frame/module.h"
#include "frame/type_info_holder.h"
#include "test_dialog_helper.h"

namespace {

class Dispatch : public DialogObjectTest {
 protected:
  // Invokes with the arguments given (last argument first, as IDispatch
  // packs them); the result goes to m_result, cleared before.
  HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> args = {}, std::vector<DISPID> named = {}) {
    VariantClear(&m_result);
    DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
    m_argErr = 99;
    m_excep = {};
    return m_object->Invoke(id, IID_NULL, 0, flags, &params, &m_result, &m_excep, &m_argErr);
  }
  static VARIANT Int(LONG v) {
    VARIANT a;
    a.vt = VT_I4;
    a.lVal = v;
    return a;
  }
  static VARIANT Bool(bool v) {
    VARIANT a;
    a.vt = VT_BOOL;
    a.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return a;
  }
  // A text argument borrowing a system string that the fixture frees.
  VARIANT Text(const char16_t* s) {
    VARIANT a;
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(s);
    m_strings.push_back(a.bstrVal);
    return a;
  }
  void TearDown() override {
    VariantClear(&m_result);
    SysFreeString(m_excep.bstrDescription);
    SysFreeString(m_excep.bstrSource);
    SysFreeString(m_excep.bstrHelpFile);
    for (BSTR s : m_strings) SysFreeString(s);
    DialogObjectTest::TearDown();
  }
  std::u16string Title() { return DialogObjectTest::Text(&IDialogHelper::get_Title); }
  VARIANT m_result{};
  EXCEPINFO m_excep{};
  UINT m_argErr = 99;
  std::vector<BSTR> m_strings;
};

TEST_F(Dispatch, NamesAreFoundWithoutCaseAndTheFirstUnknownNameStops) {
  const char16_t* names[] = {u"title", u"PUT_TITLE", u"opendialog", u"filenames", u"Get_Filter"};
  DISPID ids[5] = {};
  ASSERT_EQ(m_object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names), 5, 0, ids), S_OK);
  EXPECT_EQ(std::vector<DISPID>(ids, ids + 5), (std::vector<DISPID>{2, 2, 1, 5, 6}));

  const char16_t* second[] = {u"Title", u"NoSuchMember", u"Filter"};
  DISPID got[3] = {-7, -7, -7};
  EXPECT_EQ(m_object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(second), 3, 0, got), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(got[0], 2) << "earlier names stay filled";
  EXPECT_EQ(got[1], -7) << "the unknown one and later ones are left as they were";
  EXPECT_EQ(got[2], -7);
  const char16_t* put[] = {u"put_FileNames"};
  EXPECT_EQ(m_object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(put), 1, 0, got), DISP_E_UNKNOWNNAME)
      << "FileNames has no put";
}

TEST_F(Dispatch, PutsConvertTheirArgumentAndGetsHandTheValueOver) {
  ASSERT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Int(5)}, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(Title(), u"5");
  VARIANT truth = Bool(true), expected;
  VariantInit(&expected);
  ASSERT_EQ(VariantChangeType(&expected, &truth, 0, VT_BSTR), S_OK);
  ASSERT_EQ(Call(2, DISPATCH_PROPERTYPUT, {truth}), S_OK);
  EXPECT_EQ(Title(), std::u16string(expected.bstrVal)) << "the text the platform's conversion makes";
  VariantClear(&expected);

  ASSERT_EQ(Call(2, DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT), S_OK) << "get wins when both are asked";
  EXPECT_EQ(m_result.vt, VT_BSTR);

  ASSERT_EQ(Call(4, DISPATCH_PROPERTYPUT, {Text(u"-1")}), S_OK);
  ASSERT_EQ(Call(4, DISPATCH_PROPERTYGET), S_OK);
  EXPECT_EQ(m_result.vt, VT_BOOL);
  EXPECT_EQ(m_result.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(4, DISPATCH_PROPERTYPUT, {Text(u"perhaps")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(m_argErr, 0u);
  ASSERT_EQ(Call(4, DISPATCH_PROPERTYGET), S_OK);
  EXPECT_EQ(m_result.boolVal, VARIANT_TRUE) << "a refused put changes nothing";

  VARIANT none;
  VariantInit(&none);
  DISPPARAMS empty{nullptr, nullptr, 0, 0};
  EXPECT_EQ(m_object->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &empty, nullptr, nullptr, nullptr), S_OK)
      << "without a result slot the value is released (the baseline counts strings)";
  EXPECT_EQ(none.vt, VT_EMPTY);
}

TEST_F(Dispatch, CountsFlagsAndNamedArgumentsFollowTheTable) {
  fgtest::QueueDialogAnswer(fgtest::DialogAnswer{});
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT), S_OK) << "the method runs whatever the flags";
  EXPECT_EQ(m_result.vt, VT_BOOL);
  EXPECT_EQ(m_result.boolVal, VARIANT_FALSE) << "cancelled";
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Int(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(2, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYGET, {Int(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(5, DISPATCH_PROPERTYPUT, {Int(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(7, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(0, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Int(1), Int(2)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Int(1)}, {1}), DISP_E_NONAMEDARGS);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Int(1)}, {DISPID_PROPERTYPUT, 1}), DISP_E_NONAMEDARGS);
  EXPECT_EQ(m_object->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr),
            DISP_E_BADVARTYPE);

  ASSERT_EQ(Call(5, DISPATCH_METHOD), S_OK) << "FileNames looks at no flags";
  EXPECT_EQ(m_result.vt, VT_EMPTY) << "no dialog yet: no array";
}

TEST_F(Dispatch, AFailingMemberKeepsItsCodeAndFillsTheExceptionRecord) {
  fgtest::DialogAnswer failed;
  failed.kind = fgtest::DialogAnswer::Error;
  failed.error = 0x3002;
  fgtest::QueueDialogAnswer(failed);
  EXPECT_EQ(Call(1, DISPATCH_METHOD), DISP_E_EXCEPTION) << "the member's own code";
  std::u16string description = m_excep.bstrDescription != nullptr ? m_excep.bstrDescription : u"";
  EXPECT_EQ(description.substr(description.size() - 15), u"ErrorCode:12290");
  EXPECT_EQ(m_result.vt, VT_BOOL);
  Reports();
}

// An error object an earlier, unrelated call left on the thread belongs to
// that call: the dispatcher's own refusals neither hand it over nor take it.
TEST_F(Dispatch, TheDispatchersOwnRefusalsLeaveAnEarlierErrorObjectAlone) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  BSTR text = SysAllocString(u"an earlier failure");
  create->SetDescription(text);
  SysFreeString(text);
  IErrorInfo* earlier = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&earlier)), S_OK);
  create->Release();
  ASSERT_EQ(SetErrorInfo(0, earlier), S_OK);
  VARIANT array{};
  array.vt = VT_ARRAY | VT_I4;  // no text converts from it
  EXPECT_EQ(Call(7, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(m_excep.bstrDescription, nullptr);
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Int(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(m_excep.bstrDescription, nullptr);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {array}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(m_excep.bstrDescription, nullptr);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYGET, {Int(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(m_excep.bstrDescription, nullptr);
  IErrorInfo* still = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &still), S_OK) << "still on the thread";
  EXPECT_EQ(still, earlier);
  if (still != nullptr) still->Release();
  earlier->Release();
}

TEST_F(Dispatch, AllocationFailuresAnswerTheirCodeAndLeaveNothingBehind) {
  // A text argument goes to the member as it is: the member's copy is the
  // one allocation, and a failed copy leaves the title null (as the string
  // holder's Assign does).
  VARIANT after = Text(u"after");  // made before any fault is armed
  auto putText = [&] { return static_cast<long>(Call(2, DISPATCH_PROPERTYPUT, {after})); };
  auto titleIsNewOrNull = [&](const fgtest::FaultRun& run) {
    EXPECT_EQ(Title(), run.succeeded ? u"after" : u"<null>");
  };
  fgtest::FaultLoopCounts counts =
      fgtest::RunFaultLoop(fgtest::Service::SystemString, S_OK, E_OUTOFMEMORY, putText, titleIsNewOrNull);
  EXPECT_GE(counts.once, 1);

  // A conversion that fails for want of memory is a type mismatch, as any
  // failed conversion is; the temporary is cleared all the same.
  Put(&IDialogHelper::put_Title, u"before");
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Int(12345)}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(m_argErr, 0u);
  fgtest::ClearFaults();
  EXPECT_EQ(Title(), u"before");
  Reports();
}

TEST_F(Dispatch, AnArrayOfValuesStaysAsItIsWhenAnotherArrayTypeIsAsked) {
  VARIANT array;
  array.vt = VT_ARRAY | VT_VARIANT;
  array.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT* source = &array;
  VARIANT scratch;
  EXPECT_EQ(__VariantChangeType(&source, &scratch, VT_ARRAY | VT_BSTR), S_OK);
  EXPECT_EQ(array.vt, VT_ARRAY | VT_VARIANT) << "left unchanged";
  VARIANT number = Int(7);
  source = &number;
  ASSERT_EQ(__VariantChangeType(&source, &scratch, VT_BSTR), S_OK);
  EXPECT_EQ(number.vt, VT_BSTR) << "converted in place";
  EXPECT_EQ(std::u16string(number.bstrVal), u"7");
  VariantClear(&number);
  VariantClear(&array);
  EXPECT_EQ(__VariantChangeType(nullptr, &scratch, VT_BSTR), E_INVALIDARG);
  std::vector<std::string> lines = TraceLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "FRAMEEVENT: __VariantChangeType(pvargDest->vt=8204,vt=8200)\n");
  Reports();
}

TEST_F(Dispatch, TypeInformationComesFromTheLibrarysOwnFileAndTheRegistry) {
  UINT count = 7;
  ASSERT_EQ(m_object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u) << "the program's file holds the type library";
  EXPECT_EQ(m_object->GetTypeInfoCount(nullptr), E_POINTER);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(m_object->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  ASSERT_EQ(m_object->GetTypeInfo(0, 0, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IDialogHelper);
  info->ReleaseTypeAttr(attr);
  ITypeInfo* again = nullptr;
  ASSERT_EQ(m_object->GetTypeInfo(0, 0, &again), S_OK);
  EXPECT_NE(again, info) << "the interface's information is loaded anew each time";
  again->Release();
  info->Release();

  // The class's information needs the registered library.
  fgtest::TemporaryRegistry registry;
  IProvideClassInfo* provider = nullptr;
  ASSERT_EQ(m_object->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&provider)), S_OK);
  ITypeInfo* classInfo = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(provider->GetClassInfo(&classInfo), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(classInfo, nullptr);
  std::vector<std::string> lines = TraceLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "ERROR : Unable to load Typelibrary. (HRESULT = 0x8002801d)\n");
  EXPECT_EQ(lines[1], "\tVerify TypelibID and major version specified with\n");
  EXPECT_EQ(lines[2], "\tIProvideClassInfoImpl or CComTypeInfoHolder\n");

  char16_t path[260];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, 260), 0u);
  ITypeLib* lib = nullptr;
  ASSERT_EQ(LoadTypeLib(path, &lib), S_OK);
  ASSERT_EQ(RegisterTypeLib(lib, path, nullptr), S_OK);
  lib->Release();
  ASSERT_EQ(provider->GetClassInfo(&classInfo), S_OK);
  ASSERT_EQ(classInfo->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_EQ(attr->guid, CLSID_DialogHelper);
  classInfo->ReleaseTypeAttr(attr);
  ITypeInfo* same = nullptr;
  ASSERT_EQ(provider->GetClassInfo(&same), S_OK);
  EXPECT_EQ(same, classInfo) << "kept by the holder until the module unloads";
  same->Release();
  classInfo->Release();
  provider->Release();
  // What unloading the module does: its term functions release the held
  // information (and the baseline sees the term function's record freed).
  RunTermFuncs(_pFrameModule);
  Reports();
}

TEST_F(Dispatch, AHolderOfTheModulesOwnLibraryCachesTheMemberNames) {
  // Versions 0xFFFF ask for the library in the module's own file, whatever
  // its version: no registration is needed.
  CComTypeInfoHolder holder = {&IID_IDialogHelper, &CFrameModule::m_libid, 0xFFFF, 0xFFFF, nullptr, 0, nullptr, 0};
  ITypeInfo* info = nullptr;
  ASSERT_EQ(holder.GetTI(0, &info), S_OK);
  ASSERT_NE(holder.m_pNameCache, nullptr);
  ASSERT_EQ(holder.m_nNameCount, 10);
  EXPECT_EQ(std::u16string(holder.m_pNameCache[0].m_bstrName), u"OpenDialog");
  EXPECT_EQ(holder.m_pNameCache[0].m_memid, 1);
  EXPECT_EQ(holder.m_pNameCache[9].m_nLen, 6) << "Filter";
  EXPECT_EQ(holder.m_pNameCache[9].m_memid, 6);
  ITypeInfo2* info2 = nullptr;
  EXPECT_EQ(info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2)), S_OK) << "the richer one is kept";
  info2->Release();
  info->Release();
  EXPECT_EQ(holder.GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  RunTermFuncs(_pFrameModule);
  EXPECT_EQ(holder.m_pTypeInfo, nullptr) << "released at unload";
  EXPECT_EQ(holder.m_pNameCache, nullptr);
}

}  // namespace
