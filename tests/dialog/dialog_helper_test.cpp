// The dialog object's properties and error-information support.
#include <string>
#include <type_traits>

#include "test_dialog_helper.h"
#include "fgplatform/test_baseline.h"
#include "fgplatform/test_outer.h"
#include "frame/frame_exception.h"
#include "holders/comvalue.h"

namespace {

// The wrappers destroy the object as their own type; a virtual destructor
// would give the contained wrapper's table an entry it must not have.
static_assert(!std::has_virtual_destructor_v<CDialogHelper>, "CDialogHelper has no virtual destructor");

class DialogHelper : public DialogObjectTest {
 protected:
  std::u16string Get(HRESULT (IDialogHelper::*getter)(BSTR*)) {
    BSTR s = reinterpret_cast<BSTR>(1);
    EXPECT_EQ((m_object->*getter)(&s), S_OK);
    std::u16string text = s == nullptr ? u"<null>" : std::u16string(s, SysStringLen(s));
    SysFreeString(s);
    return text;
  }
};

TEST_F(DialogHelper, ANewObjectReadsAsDocumented) {
  EXPECT_EQ(Get(&IDialogHelper::get_Title), u"<null>");
  EXPECT_EQ(Get(&IDialogHelper::get_FileName), u"") << "an allocated empty string";
  EXPECT_EQ(Get(&IDialogHelper::get_Filter), u"<null>");
  VARIANT_BOOL multi = 5;
  EXPECT_EQ(m_object->get_MultiSelect(&multi), S_OK);
  EXPECT_EQ(multi, 0);
  VARIANT names;
  VariantInit(&names);
  EXPECT_EQ(m_object->get_FileNames(&names), S_OK);
  EXPECT_EQ(names.vt, VT_EMPTY) << "no array, not an empty array";
}

TEST_F(DialogHelper, PutsCopyUpToTheFirstNullAndGetsCopyAll) {
  BSTR title = SysAllocStringLen(u"ab\0cd", 5);
  EXPECT_EQ(m_object->put_Title(title), S_OK);
  SysFreeString(title);
  EXPECT_EQ(Get(&IDialogHelper::get_Title), u"ab");
  EXPECT_EQ(m_object->put_FileName(nullptr), S_OK);
  EXPECT_EQ(Get(&IDialogHelper::get_FileName), u"<null>");
  BSTR filter = SysAllocString(u"Text|*.txt|");
  EXPECT_EQ(m_object->put_Filter(filter), S_OK);
  SysFreeString(filter);
  EXPECT_EQ(Get(&IDialogHelper::get_Filter), u"Text|*.txt|");
  EXPECT_EQ(m_object->put_MultiSelect(1), S_OK);
  VARIANT_BOOL multi = 0;
  m_object->get_MultiSelect(&multi);
  EXPECT_EQ(multi, 1) << "stored as given, not turned into -1";
}

TEST_F(DialogHelper, FileNamesReadsAreIndependentCopies) {
  CComValue path(u"/tmp/a.txt");
  ASSERT_EQ(m_object->m_FileNames.Add(path), S_OK);
  VARIANT first, second;
  VariantInit(&first);
  VariantInit(&second);
  ASSERT_EQ(m_object->get_FileNames(&first), S_OK);
  ASSERT_EQ(m_object->get_FileNames(&second), S_OK);
  EXPECT_EQ(first.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_NE(first.parray, second.parray);
  EXPECT_NE(first.parray, m_object->m_FileNames.m_psa);
  LONG zero = 0;
  VARIANT changed;
  changed.vt = VT_I4;
  changed.lVal = 1;
  SafeArrayPutElement(first.parray, &zero, &changed);
  auto* held = static_cast<VARIANT*>(m_object->m_FileNames.m_psa->pvData);
  EXPECT_EQ(held[0].vt, VT_BSTR) << "changing a copy leaves the object's array";
  EXPECT_EQ(m_object->m_FileNames.m_psa->cLocks, 1u);
  VariantClear(&first);
  VariantClear(&second);
}

TEST_F(DialogHelper, AccessorsReturnTheCodeOfAFailedAllocation) {
  BSTR title = SysAllocString(u"title");
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(m_object->put_Title(title), E_OUTOFMEMORY);
  EXPECT_EQ(Get(&IDialogHelper::get_Title), u"<null>") << "the property is left null";
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(m_object->put_FileName(title), E_OUTOFMEMORY);
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(m_object->put_Filter(title), E_OUTOFMEMORY);
  SysFreeString(title);
  BSTR t = SysAllocString(u"t");
  m_object->put_Title(t);
  SysFreeString(t);
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  BSTR copy = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(m_object->get_Title(&copy), E_OUTOFMEMORY) << "a lost copy is not passed off as an empty text";
  EXPECT_EQ(copy, nullptr);
  BSTR none = reinterpret_cast<BSTR>(1);
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(m_object->get_Filter(&none), S_OK) << "a property that holds no text has nothing to copy";
  EXPECT_EQ(none, nullptr);
  fgtest::ClearFaults();

  CComValue path(u"/tmp/a.txt");
  ASSERT_EQ(m_object->m_FileNames.Add(path), S_OK);
  VARIANT names;
  VariantInit(&names);
  fgtest::FailCall(fgtest::Service::SafeArray, 1);
  EXPECT_EQ(m_object->get_FileNames(&names), E_OUTOFMEMORY);
  EXPECT_EQ(names.vt, VT_EMPTY);
  Reports();
}

TEST_F(DialogHelper, ConstructionFailsWhenTheEmptyNameCannotBeAllocated) {
  void* object = reinterpret_cast<void*>(1);
  LONG locks = _pFrameModule->LockCount();
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(CComCreators<CDialogHelper>::CreatePlain(nullptr, IID_IDialogHelper, &object), E_OUTOFMEMORY)
      << "the hook's exception becomes the creation's failure, not the caller's exception";
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(_pFrameModule->LockCount(), locks) << "the wrapper was destroyed; the baseline sees no block left";
}

TEST_F(DialogHelper, OnlyTheDialogInterfaceReportsRichErrors) {
  EXPECT_EQ(m_object->InterfaceSupportsErrorInfo(IID_IDialogHelper), S_OK);
  EXPECT_EQ(m_object->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  EXPECT_EQ(m_object->InterfaceSupportsErrorInfo(IID_IUnknown), S_FALSE);
  EXPECT_EQ(m_object->InterfaceSupportsErrorInfo(IID_ISupportErrorInfo), S_FALSE);
  IDialogHelper* primary = nullptr;
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(m_object->QueryInterface(IID_IDialogHelper, reinterpret_cast<void**>(&primary)), S_OK);
  ASSERT_EQ(m_object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
  EXPECT_NE(static_cast<void*>(primary), static_cast<void*>(support));
  EXPECT_EQ(reinterpret_cast<char*>(support) - reinterpret_cast<char*>(primary), 2 * static_cast<long>(sizeof(void*)))
      << "the third interface pointer";
  support->Release();
  primary->Release();
}

TEST_F(DialogHelper, TheObjectAnswersItsInterfacesFromItsTable) {
  EXPECT_EQ(m_object->AddRef(), 2u) << "a new object holds one reference";
  EXPECT_EQ(m_object->Release(), 1u);
  auto query = [](IUnknown* through, REFIID iid) {
    void* p = nullptr;
    EXPECT_EQ(through->QueryInterface(iid, &p), S_OK);
    if (p != nullptr) static_cast<IUnknown*>(p)->Release();
    return p;
  };
  IDialogHelper* primary = m_object;
  void* unknown = query(primary, IID_IUnknown);
  EXPECT_EQ(unknown, static_cast<void*>(primary));
  EXPECT_EQ(query(primary, IID_IDispatch), unknown);
  EXPECT_EQ(query(primary, IID_IDialogHelper), unknown);
  auto* classInfo = static_cast<IUnknown*>(query(primary, IID_IProvideClassInfo));
  auto* errorInfo = static_cast<IUnknown*>(query(primary, IID_ISupportErrorInfo));
  EXPECT_NE(static_cast<void*>(classInfo), unknown);
  EXPECT_NE(static_cast<void*>(errorInfo), unknown);
  EXPECT_NE(classInfo, errorInfo);
  EXPECT_EQ(query(classInfo, IID_IUnknown), unknown) << "through the class information part";
  EXPECT_EQ(query(errorInfo, IID_IUnknown), unknown) << "through the error information part";
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(primary->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(DialogHelper, AnAggregatedObjectLendsItsInterfacesToTheOuterObject) {
  fgtest::CountingOuter outer;
  LONG locks = _pFrameModule->LockCount();
  IUnknown* aggregate = nullptr;
  ASSERT_EQ(CComCreators<CDialogHelper>::CreatePlainOrAggregated(&outer, IID_IUnknown,
                                                                    reinterpret_cast<void**>(&aggregate)),
            S_OK);
  EXPECT_EQ(_pFrameModule->LockCount(), locks + 1);
  IDialogHelper* inner = nullptr;
  ASSERT_EQ(aggregate->QueryInterface(IID_IDialogHelper, reinterpret_cast<void**>(&inner)), S_OK);
  EXPECT_NE(static_cast<void*>(inner), static_cast<void*>(aggregate));
  EXPECT_EQ(outer.count, 2) << "the inner pointer counts on the outer object";
  EXPECT_EQ(inner->put_MultiSelect(VARIANT_TRUE), S_OK) << "the inner part is a working object";
  inner->Release();
  EXPECT_EQ(outer.count, 1);
  EXPECT_EQ(aggregate->Release(), 0u);
  EXPECT_EQ(_pFrameModule->LockCount(), locks);
}

}  // namespace
