// Tagged values and the value array.
#include <string>

#include "fgplatform/test_baseline.h"
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

}  // namespace
