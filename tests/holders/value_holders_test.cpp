// Tagged values and the value array.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "frame/frame_exception.h"
#include "holders/comvalue.h"
#include "holders/valuearray.h"

namespace {

using ValueHolders = fgtest::BaselineTest;

TEST_F(ValueHolders, TextValuesAndDetach) {
  CComValue text(u"path");
  EXPECT_EQ(text.vt, VT_BSTR);
  CComValue none(static_cast<const OLECHAR*>(nullptr));
  EXPECT_EQ(none.vt, VT_BSTR) << "null text is a string value with a null string";
  EXPECT_EQ(none.bstrVal, nullptr);
  VARIANT dest;
  dest.vt = VT_BSTR;
  dest.bstrVal = SysAllocString(u"old");
  long before = fgtest::Live().systemStrings;
  EXPECT_EQ(text.Detach(&dest), S_OK);
  EXPECT_EQ(fgtest::Live().systemStrings, before - 1) << "the old string was released";
  EXPECT_EQ(text.vt, VT_EMPTY);
  EXPECT_EQ(std::u16string(dest.bstrVal), u"path");
  VariantClear(&dest);
  EXPECT_EQ(text.Detach(nullptr), E_POINTER);
  EXPECT_EQ(Reports().size(), 1u) << "pDest != 0 asserted";
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  try {
    CComValue failing(u"x");
    ADD_FAILURE();
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, E_OUTOFMEMORY);
  }
}

TEST_F(ValueHolders, AddGrowsUnderOneLockAndDestroyReleasesIt) {
  CComValueArray array;
  CComValue a(u"a"), b(u"b");
  EXPECT_EQ(array.Destroy(), S_OK) << "nothing held";
  ASSERT_EQ(array.Add(a), S_OK);
  ASSERT_NE(array.m_psa, nullptr);
  EXPECT_EQ(array.GetLowerBound(), 0);
  EXPECT_EQ(array.GetCount(), 1u);
  ASSERT_EQ(array.Add(b), S_OK);
  EXPECT_EQ(array.GetCount(), 2u);
  EXPECT_EQ(array.m_psa->cLocks, 1u) << "one lock across growth";
  auto* items = static_cast<VARIANT*>(array.m_psa->pvData);
  EXPECT_EQ(std::u16string(items[1].bstrVal), u"b") << "the new one last";
  EXPECT_NE(items[0].bstrVal, a.bstrVal) << "added by copy";
  {
    CComValue copy(array.m_psa);
    EXPECT_EQ(copy.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_NE(copy.parray, array.m_psa);
  }
  EXPECT_EQ(array.m_psa->cLocks, 1u) << "a copy does not touch the holder's lock";
  EXPECT_EQ(array.SetAt(2, a), E_INVALIDARG);
  EXPECT_EQ(Reports().size(), 1u) << "lIndex <= GetUpperBound() asserted";
  EXPECT_EQ(std::u16string(items[1].bstrVal), u"b") << "out of range changes nothing";
  EXPECT_EQ(array.Destroy(), S_OK);
  EXPECT_EQ(array.m_psa, nullptr);
  CComValue empty(array.m_psa);
  EXPECT_EQ(empty.vt, VT_EMPTY);
}

TEST_F(ValueHolders, FixedSizeArraysRefuseResizeAndFailuresLeaveTheArray) {
  CComValueArray array;
  ASSERT_EQ(array.Create(2, 0), S_OK);
  array.m_psa->fFeatures |= FADF_FIXEDSIZE;
  EXPECT_EQ(array.Resize(3), E_FAIL);
  array.m_psa->fFeatures &= ~FADF_FIXEDSIZE;
  CComValue v(u"v");
  fgtest::FailCall(fgtest::Service::SafeArray, 1);
  EXPECT_EQ(array.Add(v), E_OUTOFMEMORY);
  EXPECT_EQ(array.GetCount(), 2u) << "a failed Add leaves the array as it was";
  EXPECT_EQ(array.m_psa->cLocks, 1u) << "and locked again";
  EXPECT_EQ(array.Create(1), E_FAIL) << "an array is already held";
  Reports();
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  try {
    CComValue copy(array.m_psa);
    SUCCEED();  // two empty elements: no string to copy
  } catch (const CFrameException&) {
    ADD_FAILURE();
  }
  fgtest::ClearFaults();
  ASSERT_EQ(array.SetAt(0, v), S_OK);
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  try {
    CComValue copy(array.m_psa);
    ADD_FAILURE();
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, E_OUTOFMEMORY);
  }
}

TEST_F(ValueHolders, SetAtWithoutCopyTakesOverTheValue) {
  CComValueArray array;
  ASSERT_EQ(array.Create(1), S_OK);
  VARIANT owned;
  owned.vt = VT_BSTR;
  owned.bstrVal = SysAllocString(u"taken");
  ASSERT_EQ(array.SetAt(0, owned, /*copy=*/false), S_OK);
  EXPECT_EQ(static_cast<VARIANT*>(array.m_psa->pvData)[0].bstrVal, owned.bstrVal);
  CComValue assigned;
  assigned = static_cast<VARIANT*>(array.m_psa->pvData)[0];
  EXPECT_EQ(assigned.vt, VT_BSTR);
  EXPECT_NE(assigned.bstrVal, owned.bstrVal);
  EXPECT_THROW(CComValueArray().IsSizable(), CFrameException);
  Reports();
}

TEST_F(ValueHolders, AFailedAddLeavesTheHolderAsItWas) {
  CComValue text(u"element");
  // A holder without an array: any failure leaves it without one.
  auto addToEmpty = [&] {
    CComValueArray fresh;
    HRESULT hr = fresh.Add(text);
    if (FAILED(hr)) {
      EXPECT_EQ(fresh.m_psa, nullptr) << "no empty array left behind";
    } else {
      EXPECT_EQ(fresh.GetCount(), 1u);
    }
    return static_cast<long>(hr);
  };
  for (fgtest::Service s : {fgtest::Service::SafeArray, fgtest::Service::SystemString})
    fgtest::RunFaultLoop(s, S_OK, E_OUTOFMEMORY, addToEmpty);

  // A holder with two elements keeps two, and its one lock, when the copy
  // of the new element fails after the array has grown.
  CComValueArray array;
  ASSERT_EQ(array.Add(text), S_OK);
  ASSERT_EQ(array.Add(text), S_OK);
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(array.Add(text), E_OUTOFMEMORY);
  EXPECT_EQ(array.GetCount(), 2u);
  EXPECT_EQ(array.m_psa->cLocks, 1u);
}

TEST_F(ValueHolders, DestroyingAnArraySomeoneElseLocksKeepsItUsable) {
  CComValueArray array;
  CComValue text(u"element");
  ASSERT_EQ(array.Add(text), S_OK);
  SAFEARRAY* held = array.m_psa;
  ASSERT_EQ(SafeArrayLock(held), S_OK);
  EXPECT_EQ(array.Destroy(), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(array.m_psa, held);
  EXPECT_EQ(held->cLocks, 2u) << "the holder's own lock is taken again";
  ASSERT_EQ(SafeArrayUnlock(held), S_OK);
  EXPECT_EQ(array.Add(text), S_OK) << "the holder still works";
  EXPECT_EQ(array.Destroy(), S_OK);
  EXPECT_EQ(array.m_psa, nullptr);
}

TEST_F(ValueHolders, AssigningAValueWithABadTagFreesTheOldValue) {
  CComValue value(u"old text");
  long strings = fgtest::Live().systemStrings;
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x0FFF;  // no such type
  try {
    value = bad;
    ADD_FAILURE() << "no exception";
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, DISP_E_BADVARTYPE);
  }
  EXPECT_EQ(value.vt, VT_ERROR);
  EXPECT_EQ(value.scode, DISP_E_BADVARTYPE);
  EXPECT_EQ(fgtest::Live().systemStrings, strings - 1) << "the old string is freed";
}
}  // namespace
