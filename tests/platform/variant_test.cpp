// Tagged values: clearing, copying, reference following and conversion.
#include <cstdint>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

using TaggedValue = fgtest::BaselineTest;

VARIANT Text(const char16_t* s) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
  return v;
}

// Converts `in` to `vt`; on success returns the result, which the caller
// clears.
HRESULT Change(const VARIANT& in, VARTYPE vt, VARIANT& out, USHORT flags = 0) {
  VariantInit(&out);
  return VariantChangeType(&out, &in, flags, vt);
}

struct CountedObject : IUnknown {
  ULONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

TEST_F(TaggedValue, ClearReleasesWhatTheValueOwns) {
  VARIANT v = Text(u"x");
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  CountedObject object;
  v.vt = VT_UNKNOWN;
  v.punkVal = &object;
  object.AddRef();
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(object.refs, 1u);
  v.vt = 0x7FF;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  v.vt = VT_ARRAY | VT_VARIANT;
  v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  SafeArrayLock(v.parray);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_VARIANT) << "a failed clear keeps the value";
  SafeArrayUnlock(v.parray);
  EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST_F(TaggedValue, CopyDuplicatesStringsArraysAndReferences) {
  VARIANT src = Text(u"ab\0c");
  SysReAllocStringLen(&src.bstrVal, u"ab\0c", 4);
  VARIANT dest = Text(u"old");
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_NE(dest.bstrVal, src.bstrVal);
  EXPECT_EQ(SysStringLen(dest.bstrVal), 4u) << "embedded nulls copied";
  VariantClear(&dest);

  CountedObject object;
  VARIANT unk;
  unk.vt = VT_UNKNOWN;
  unk.punkVal = &object;
  ASSERT_EQ(VariantCopy(&dest, &unk), S_OK);
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&dest);
  EXPECT_EQ(object.refs, 1u);

  fgtest::FailCall(fgtest::Service::SystemString, 1);
  dest.vt = VT_I4;
  EXPECT_EQ(VariantCopy(&dest, &src), E_OUTOFMEMORY);
  EXPECT_EQ(dest.vt, VT_EMPTY);

  VARIANT ref;
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &src.bstrVal;
  ASSERT_EQ(VariantCopyInd(&dest, &ref), S_OK);
  EXPECT_EQ(dest.vt, VT_BSTR);
  EXPECT_NE(dest.bstrVal, src.bstrVal);
  VariantClear(&dest);
  VARIANT inner = src;
  VARIANT viaVariant;
  viaVariant.vt = VT_VARIANT | VT_BYREF;
  viaVariant.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&dest, &viaVariant), S_OK);
  EXPECT_EQ(dest.vt, VT_BSTR);
  VariantClear(&dest);
  VariantClear(&src);
}

TEST_F(TaggedValue, ConvertsNumbersAndTextBothWays) {
  VARIANT five;
  five.vt = VT_I4;
  five.lVal = 5;
  VARIANT out;
  ASSERT_EQ(Change(five, VT_BSTR, out), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"5");
  VariantClear(&out);

  VARIANT yes;
  yes.vt = VT_BOOL;
  yes.boolVal = VARIANT_TRUE;
  ASSERT_EQ(Change(yes, VT_BSTR, out), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"-1");
  VariantClear(&out);
  ASSERT_EQ(Change(yes, VT_BSTR, out, VARIANT_ALPHABOOL), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"True");
  VariantClear(&out);

  for (const char16_t* t : {u"true", u"TRUE", u"True", u"7", u" 1 "}) {
    VARIANT s = Text(t);
    ASSERT_EQ(Change(s, VT_BOOL, out), S_OK) << "text " << std::string(t, t + 1);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    VariantClear(&s);
  }
  for (const char16_t* t : {u"false", u"0"}) {
    VARIANT s = Text(t);
    ASSERT_EQ(Change(s, VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    VariantClear(&s);
  }
  VARIANT bad = Text(u"maybe");
  EXPECT_EQ(Change(bad, VT_BOOL, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(bad, VT_I4, out), DISP_E_TYPEMISMATCH);
  VariantClear(&bad);

  VARIANT big = Text(u"300");
  EXPECT_EQ(Change(big, VT_UI1, out), DISP_E_OVERFLOW);
  ASSERT_EQ(Change(big, VT_I2, out), S_OK);
  EXPECT_EQ(out.vt, VT_I2);
  EXPECT_EQ(out.iVal, 300);
  VariantClear(&big);

  VARIANT real;
  real.vt = VT_R8;
  real.dblVal = 2.5;
  ASSERT_EQ(Change(real, VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, 2) << "half to even";
  real.dblVal = 0.1;
  ASSERT_EQ(Change(real, VT_BSTR, out), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"0.1");
  VariantClear(&out);

  VARIANT empty;
  empty.vt = VT_EMPTY;
  ASSERT_EQ(Change(empty, VT_BSTR, out), S_OK);
  EXPECT_EQ(SysStringLen(out.bstrVal), 0u);
  VariantClear(&out);
  VARIANT null;
  null.vt = VT_NULL;
  EXPECT_EQ(Change(null, VT_I4, out), DISP_E_TYPEMISMATCH);
  VARIANT error;
  error.vt = VT_ERROR;
  error.scode = E_FAIL;
  EXPECT_EQ(Change(error, VT_BSTR, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(five, VT_VARIANT, out), DISP_E_BADVARTYPE);
}

TEST_F(TaggedValue, ConvertsInPlaceAndThroughReferences) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = 12;
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(v.bstrVal), u"12");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK) << "the old string is freed";
  EXPECT_EQ(v.lVal, 12);
  LONG target = 9;
  VARIANT ref;
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &target;
  VARIANT out;
  ASSERT_EQ(Change(ref, VT_BSTR, out), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"9");
  VariantClear(&out);
}

TEST_F(TaggedValue, ArraysConvertOnlyToTheirOwnType) {
  VARIANT arr;
  arr.vt = VT_ARRAY | VT_VARIANT;
  arr.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  VARIANT out;
  EXPECT_EQ(Change(arr, VT_BSTR, out), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(Change(arr, VT_ARRAY | VT_VARIANT, out), S_OK);
  EXPECT_NE(out.parray, arr.parray) << "a copy, not a share";
  VariantClear(&out);
  VariantClear(&arr);
}

TEST_F(TaggedValue, ValuesJustPastA64BitRangeOverflow) {
  VARIANT out;
  VARIANT real;
  real.vt = VT_R8;
  real.dblVal = 9223372036854775808.0;  // 2^63
  EXPECT_EQ(Change(real, VT_I8, out), DISP_E_OVERFLOW);
  real.dblVal = 18446744073709551616.0;  // 2^64
  EXPECT_EQ(Change(real, VT_UI8, out), DISP_E_OVERFLOW);
  real.dblVal = -9223372036854775808.0;  // -2^63 fits
  ASSERT_EQ(Change(real, VT_I8, out), S_OK);
  EXPECT_EQ(out.llVal, INT64_MIN);
  real.dblVal = 127.4;
  ASSERT_EQ(Change(real, VT_I1, out), S_OK);
  EXPECT_EQ(out.cVal, 127);
  real.dblVal = 127.5;
  EXPECT_EQ(Change(real, VT_I1, out), DISP_E_OVERFLOW) << "rounds to 128";

  struct Case {
    const char16_t* text;
    VARTYPE vt;
  };
  const Case overflowing[] = {
      {u"9223372036854775807.5", VT_I8},   // rounds to 2^63
      {u"18446744073709551615.5", VT_UI8},  // rounds past 2^64 - 1
      {u"&H10000000000000000", VT_I8},     // 65 bits
      {u"&H10000000000000000", VT_UI8},
      {u"&H10000000000000000", VT_R8},
      {u"&O2000000000000000000000", VT_UI8},  // 64 bits and one more
  };
  for (const Case& c : overflowing) {
    VARIANT text = Text(c.text);
    EXPECT_EQ(Change(text, c.vt, out), DISP_E_OVERFLOW) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    VariantClear(&text);
  }
  VARIANT text = Text(u"&HFFFFFFFFFFFFFFFF");
  ASSERT_EQ(Change(text, VT_UI8, out), S_OK) << "64 bits exactly";
  EXPECT_EQ(out.ullVal, UINT64_MAX);
  VariantClear(&text);
}

VARIANT Date(double days) {
  VARIANT v;
  v.vt = VT_DATE;
  v.date = days;
  return v;
}

std::u16string DateText(double days, LCID lcid) {
  VARIANT in = Date(days), out;
  VariantInit(&out);
  HRESULT hr = VariantChangeTypeEx(&out, &in, lcid, 0, VT_BSTR);
  std::u16string text = SUCCEEDED(hr) ? std::u16string(out.bstrVal) : u"<failed>";
  VariantClear(&out);
  return text;
}

// The DATE type (learn.microsoft.com, "DATE type" and "Date data type"):
// days since 30 December 1899, the fraction the time of day; before that
// day the whole part counts back and the fraction forward; 1 January 100 is
// -657434 and 31 December 9999 is 2958465.
TEST_F(TaggedValue, DatesConvertAsTheirDaysAndAsTheLocalesText) {
  const LCID english = 0x0409, invariant = 0x007F, chinese = 0x0804;
  EXPECT_EQ(DateText(43832.0, english), u"1/2/2020") << "a date at midnight: the date alone";
  EXPECT_EQ(DateText(5.875, english), u"1/4/1900 9:00:00 PM");
  EXPECT_EQ(DateText(0.5, english), u"12:00:00 PM") << "on the epoch's day: the time alone";
  EXPECT_EQ(DateText(0.0, english), u"12:00:00 AM");
  EXPECT_EQ(DateText(-2.5, english), u"12/28/1899 12:00:00 PM") << "the fraction counts forward";
  EXPECT_EQ(DateText(-657434.0, english), u"1/1/0100");
  EXPECT_EQ(DateText(2958465.99999, english), u"12/31/9999 11:59:59 PM");
  EXPECT_EQ(DateText(43832.75, invariant), u"01/02/2020 18:00:00");
  EXPECT_EQ(DateText(43832.75, chinese), u"01/02/2020 18:00:00") << "other locales get the invariant forms";

  VARIANT out;
  for (double outside : {-657435.0, 2958466.0, 1e300}) {
    VARIANT d = Date(outside);
    EXPECT_EQ(Change(d, VT_BSTR, out), DISP_E_OVERFLOW) << outside;
    VARIANT r;
    r.vt = VT_R8;
    r.dblVal = outside;
    EXPECT_EQ(Change(r, VT_DATE, out), DISP_E_OVERFLOW) << outside;
  }

  VARIANT d = Date(43832.75);
  ASSERT_EQ(Change(d, VT_R8, out), S_OK);
  EXPECT_EQ(out.dblVal, 43832.75);
  ASSERT_EQ(Change(d, VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, 43833) << "rounded as a real is";
  ASSERT_EQ(Change(d, VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  VARIANT big = Date(2958465.0);
  EXPECT_EQ(Change(big, VT_I2, out), DISP_E_OVERFLOW);
  VARIANT five;
  five.vt = VT_I4;
  five.lVal = 5;
  ASSERT_EQ(Change(five, VT_DATE, out), S_OK);
  EXPECT_EQ(out.vt, VT_DATE);
  EXPECT_EQ(out.date, 5.0);
  VARIANT yes;
  yes.vt = VT_BOOL;
  yes.boolVal = VARIANT_TRUE;
  ASSERT_EQ(Change(yes, VT_DATE, out), S_OK);
  EXPECT_EQ(out.date, -1.0);

  struct Read {
    const char16_t* text;
    double date;
  } reads[] = {
      {u"1/2/2020", 43832.0},          {u" 1/2/2020 6:00 PM ", 43832.75}, {u"2020-01-02 18:00:00", 43832.75},
      {u"12:00:00 PM", 0.5},           {u"12/28/1899 12:00 PM", -2.5},    {u"2/29/2020", 43890.0},
      {u"1/1/0100", -657434.0},        {u"12/31/9999", 2958465.0},
  };
  for (const Read& r : reads) {
    VARIANT t = Text(r.text);
    ASSERT_EQ(Change(t, VT_DATE, out), S_OK) << std::string(r.text, r.text + 10);
    EXPECT_EQ(out.date, r.date) << std::string(r.text, r.text + 10);
    VariantClear(&t);
  }
  for (const char16_t* bad : {u"2/30/2020", u"13/1/2020", u"1/2/20", u"1/2/2020 25:00", u"1/2/2020 13:00 PM",
                              u"tomorrow", u"", u"1/2/2020 x", u"12/31/0099"}) {
    VARIANT t = Text(bad);
    EXPECT_EQ(Change(t, VT_DATE, out), DISP_E_TYPEMISMATCH) << std::string(bad, bad + 4);
    VariantClear(&t);
  }
  // Every valid second of a few days far apart reads back as it was written.
  for (double day : {-657434.0, -1.0, 0.0, 36525.0, 2958465.0}) {
    for (int second = 0; second < 86400; second += 3593) {
      double date = day + (day >= 0 ? second : -second) / 86400.0;
      std::u16string text = DateText(date, english);
      VARIANT t = Text(text.c_str());
      ASSERT_EQ(Change(t, VT_DATE, out), S_OK) << std::string(text.begin(), text.end());
      EXPECT_NEAR(out.date, date, 1e-9) << std::string(text.begin(), text.end());
      VariantClear(&t);
    }
  }
}

}  // namespace
