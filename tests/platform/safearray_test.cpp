// Arrays: bounds, locks, element clean-up, copies and failures.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/win32.h"

namespace {

using Array = fgtest::BaselineTest;

void PutText(SAFEARRAY* psa, LONG index, const char16_t* text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  ASSERT_EQ(SafeArrayPutElement(psa, &index, &v), S_OK);
  VariantClear(&v);
}

TEST_F(Array, CreateRecordsBoundsFeaturesAndType) {
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 2u);
  EXPECT_EQ(psa->cbElements, 4u);
  EXPECT_EQ(psa->cLocks, 0u);
  EXPECT_EQ(psa->rgsabound[1].cElements, 3u) << "the first dimension is stored last";
  LONG lb = 0, ub = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lb), S_OK);
  EXPECT_EQ(lb, -2);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &ub), S_OK);
  EXPECT_EQ(ub, 3);
  EXPECT_EQ(SafeArrayGetUBound(psa, 3, &ub), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lb), DISP_E_BADINDEX);
  VARTYPE vt = 0;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_I4);
  LONG at[2] = {3, 1};
  LONG value = 77;
  EXPECT_EQ(SafeArrayPutElement(psa, at, &value), S_OK);
  LONG back = 0;
  EXPECT_EQ(SafeArrayGetElement(psa, at, &back), S_OK);
  EXPECT_EQ(back, 77);
  LONG outside[2] = {4, 1};
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &back), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

  SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 1);
  EXPECT_EQ(objects->fFeatures & (FADF_HAVEIID | FADF_DISPATCH), FADF_HAVEIID | FADF_DISPATCH);
  EXPECT_EQ(SafeArrayGetVartype(objects, &vt), S_OK);
  // SafeArrayGetVartype (oleauto.h, learn.microsoft.com): FADF_HAVEVARTYPE
  // gives the stored type, FADF_RECORD VT_RECORD, FADF_DISPATCH VT_DISPATCH
  // and FADF_UNKNOWN VT_UNKNOWN.
  EXPECT_EQ(vt, VT_DISPATCH) << "an array of dispatch pointers";
  SafeArrayDestroy(objects);
  SAFEARRAY* unknowns = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  EXPECT_EQ(SafeArrayGetVartype(unknowns, &vt), S_OK);
  EXPECT_EQ(vt, VT_UNKNOWN);
  SafeArrayDestroy(unknowns);
  SAFEARRAY* bare = nullptr;
  ASSERT_EQ(SafeArrayAllocDescriptor(1, &bare), S_OK);
  bare->fFeatures = FADF_DISPATCH;  // no IID and no stored type: the flag alone decides
  EXPECT_EQ(SafeArrayGetVartype(bare, &vt), S_OK);
  EXPECT_EQ(vt, VT_DISPATCH);
  bare->fFeatures = FADF_UNKNOWN;
  EXPECT_EQ(SafeArrayGetVartype(bare, &vt), S_OK);
  EXPECT_EQ(vt, VT_UNKNOWN);
  bare->fFeatures = 0;
  EXPECT_EQ(SafeArrayGetVartype(bare, &vt), E_INVALIDARG) << "nothing tells the type";
  EXPECT_EQ(SafeArrayDestroyDescriptor(bare), S_OK);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, bounds), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, bounds), nullptr);
}

TEST_F(Array, LocksAreCountedAndHonoured) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
  void* data = nullptr;
  EXPECT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(data, psa->pvData);
  EXPECT_EQ(SafeArrayLock(psa), S_OK);
  EXPECT_EQ(psa->cLocks, 2u);
  SAFEARRAYBOUND bigger = {5, 0};
  EXPECT_EQ(SafeArrayRedim(psa, &bigger), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED) << "one lock still held";
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST_F(Array, RedimKeepsElementsAndReleasesTheCutOnes) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  PutText(psa, 0, u"a");
  PutText(psa, 1, u"b");
  SAFEARRAYBOUND three = {3, 0};
  ASSERT_EQ(SafeArrayRedim(psa, &three), S_OK);
  auto* items = static_cast<VARIANT*>(psa->pvData);
  EXPECT_EQ(std::u16string(items[1].bstrVal), u"b");
  EXPECT_EQ(items[2].vt, VT_EMPTY) << "grown part zeroed";
  long stringsBefore = fgtest::Live().systemStrings;
  SAFEARRAYBOUND one = {1, 0};
  ASSERT_EQ(SafeArrayRedim(psa, &one), S_OK);
  EXPECT_EQ(fgtest::Live().systemStrings, stringsBefore - 1) << "the cut element was released";
  fgtest::FailCall(fgtest::Service::SafeArray, 1);
  EXPECT_EQ(SafeArrayRedim(psa, &three), E_OUTOFMEMORY);
  EXPECT_EQ(psa->rgsabound[0].cElements, 1u) << "a failed growth leaves the array";
  psa->fFeatures |= FADF_FIXEDSIZE;
  EXPECT_EQ(SafeArrayRedim(psa, &three), E_INVALIDARG);
  psa->fFeatures &= ~FADF_FIXEDSIZE;
  SafeArrayDestroy(psa);
}

TEST_F(Array, CopyIsDeepAndFailsCleanly) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 3);
  PutText(psa, 0, u"one");
  PutText(psa, 2, u"three");
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  auto* a = static_cast<VARIANT*>(psa->pvData);
  auto* b = static_cast<VARIANT*>(copy->pvData);
  EXPECT_NE(a[0].bstrVal, b[0].bstrVal);
  EXPECT_EQ(std::u16string(b[2].bstrVal), u"three");
  SafeArrayDestroy(copy);

  auto copyArray = [&] { return static_cast<long>(SafeArrayCopy(psa, &copy)); };
  auto check = [&](const fgtest::FaultRun& run) {
    if (!run.succeeded) {
      EXPECT_EQ(copy, nullptr) << "a failed copy hands out nothing";
      return;
    }
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::u16string(static_cast<VARIANT*>(copy->pvData)[2].bstrVal), u"three");
    SafeArrayDestroy(copy);
    copy = nullptr;
  };
  fgtest::FaultLoopCounts counts =
      fgtest::RunFaultLoop(fgtest::Service::SystemString, S_OK, E_OUTOFMEMORY, copyArray, check);
  EXPECT_EQ(counts.once, 2) << "one string for each element that holds one";
  fgtest::FailCall(fgtest::Service::SafeArray, 2);
  EXPECT_EQ(SafeArrayCopy(psa, &copy), E_OUTOFMEMORY) << "the data block";
  EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
  EXPECT_EQ(copy, nullptr);
  SafeArrayDestroy(psa);
}

TEST_F(Array, PutElementTakesStringsByValue) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 1);
  BSTR s = SysAllocString(u"kept by the caller");
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(psa, &i, s), S_OK);
  BSTR stored = *static_cast<BSTR*>(psa->pvData);
  EXPECT_NE(stored, s);
  ASSERT_EQ(SafeArrayPutElement(psa, &i, nullptr), S_OK);  // replaces and frees the copy
  EXPECT_EQ(*static_cast<BSTR*>(psa->pvData), nullptr);
  SysFreeString(s);
  SafeArrayDestroy(psa);
}

}  // namespace
