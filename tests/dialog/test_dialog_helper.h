// The dialog object as the tests make it.
#pragma once

#include <string>
#include <vector>

#include "dialog/dialog_helper.h"
#include "fgplatform/test_baseline.h"
#include "frame/comobject.h"

// Makes a plain object as the class factory will, holding one reference.
inline CComObject<CDialogHelper>* MakeDialogObject() {
  IDialogHelper* object = nullptr;
  HRESULT hr = CComCreators<CDialogHelper>::CreatePlain(nullptr, IID_IDialogHelper, reinterpret_cast<void**>(&object));
  EXPECT_EQ(hr, S_OK);
  return static_cast<CComObject<CDialogHelper>*>(object);
}

// A fixture holding one new object, released (to a count of 0) at the end.
class DialogObjectTest : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    m_object = MakeDialogObject();
  }
  void TearDown() override {
    EXPECT_EQ(m_object->Release(), 0u);
    BaselineTest::TearDown();
  }
  void Put(HRESULT (IDialogHelper::*setter)(BSTR), const char16_t* text) {
    BSTR s = text != nullptr ? SysAllocString(text) : nullptr;
    EXPECT_EQ((m_object->*setter)(s), S_OK);
    SysFreeString(s);
  }
  // A string property as text; "<null>" for a null string.
  std::u16string Text(HRESULT (IDialogHelper::*getter)(BSTR*)) {
    BSTR s = nullptr;
    (m_object->*getter)(&s);
    std::u16string text = s != nullptr ? std::u16string(s) : u"<null>";
    SysFreeString(s);
    return text;
  }
  std::u16string FileName() { return Text(&IDialogHelper::get_FileName); }
  std::vector<std::u16string> FileNames() {
    VARIANT v;
    VariantInit(&v);
    m_object->get_FileNames(&v);
    std::vector<std::u16string> out;
    if (v.vt == (VT_ARRAY | VT_VARIANT)) {
      auto* items = static_cast<VARIANT*>(v.parray->pvData);
      for (ULONG i = 0; i < v.parray->rgsabound[0].cElements; ++i) out.push_back(items[i].bstrVal);
    }
    VariantClear(&v);
    return out;
  }
  // The description of the thread's error object, taken off the thread.
  static std::u16string TakeDescription(GUID* iid = nullptr) {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return u"<none>";
    BSTR d = nullptr;
    info->GetDescription(&d);
    if (iid != nullptr) info->GetGUID(iid);
    std::u16string text = d != nullptr ? std::u16string(d) : u"";
    SysFreeString(d);
    info->Release();
    return text;
  }
  CComObject<CDialogHelper>* m_object = nullptr;
};
