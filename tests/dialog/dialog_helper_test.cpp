// The dialog object's properties and error-information support.
#include <string>

#include "test_dialog_helper.h"
#include "fgplatform/test_baseline.h"
#include "frame/frame_exception.h"
#include "holders/comvalue.h"

namespace {

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
  EXPECT_EQ(m_object->get_Title(&copy), S_OK) << "string getters never fail";
  EXPECT_EQ(copy, nullptr);

  CComValue path(u"/tmp/a.txt");
  ASSERT_EQ(m_object->m_FileNames.Add(path), S_OK);
  VARIANT names;
  VariantInit(&names);
  fgtest::FailCall(fgtest::Service::SafeArray, 1);
  EXPECT_EQ(m_object->get_FileNames(&names), E_OUTOFMEMORY);
  EXPECT_EQ(names.vt, VT_EMPTY);
  Reports();
}

TEST_F(DialogHelper, ConstructionRaisesWhenTheEmptyNameCannotBeAllocated) {
  auto* object = new TestDialogHelper;
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_THROW(object->CompleteConstruct(), CFrameException);
  delete object;
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

}  // namespace
