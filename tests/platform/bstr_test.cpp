// System strings: layout, lengths, reallocation, comparison, failures.
#include <cstring>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

using SystemString = fgtest::BaselineTest;

DWORD PrefixOf(BSTR s) {
  DWORD n;
  std::memcpy(&n, reinterpret_cast<BYTE*>(s) - 4, 4);
  return n;
}

TEST_F(SystemString, LayoutHoldsByteLengthBeforeAndTwoZeroBytesAfter) {
  BSTR s = SysAllocStringLen(u"ab\0cd", 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(PrefixOf(s), 10u);
  EXPECT_EQ(SysStringLen(s), 5u) << "embedded nulls count";
  EXPECT_EQ(s[2], 0);
  EXPECT_EQ(s[5], 0) << "terminator after the data";
  SysFreeString(s);

  BSTR odd = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(SysStringByteLen(odd), 3u);
  EXPECT_EQ(SysStringLen(odd), 1u);
  const BYTE* bytes = reinterpret_cast<const BYTE*>(odd);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4], 0);
  SysFreeString(odd);

  BSTR blank = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 3u);
  SysFreeString(blank);
}

TEST_F(SystemString, NullReadsAsEmpty) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr) << "an empty string is allocated, not null";
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

TEST_F(SystemString, ReallocationMayReadFromTheOldString) {
  BSTR s = SysAllocString(u"abcdef");
  ASSERT_TRUE(SysReAllocString(&s, s + 2));
  EXPECT_EQ(std::u16string(s), u"cdef");
  ASSERT_TRUE(SysReAllocStringLen(&s, s, 2));
  EXPECT_EQ(SysStringLen(s), 2u);
  EXPECT_EQ(std::u16string(s), u"cd");
  ASSERT_TRUE(SysReAllocString(&s, nullptr));
  EXPECT_EQ(s, nullptr);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

TEST_F(SystemString, FailedAllocationsAnswerNullAndKeepTheOldString) {
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(SysAllocString(u"x"), nullptr);
  EXPECT_EQ(fgtest::FaultsFired(fgtest::Service::SystemString), 1);

  BSTR s = SysAllocString(u"keep");
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_FALSE(SysReAllocString(&s, u"other"));
  EXPECT_EQ(std::u16string(s), u"keep");
  SysFreeString(s);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x40000000), nullptr) << "beyond the largest length";
}

TEST_F(SystemString, HostileLengthsAnswerNullAndNeverWrap) {
  // Character counts whose byte count wraps 32 bits (0x80000000 * 2 is 0,
  // 0x80000001 * 2 is 2) and byte counts whose block size would wrap.
  for (UINT chars : {0x7FFFFFF9u, 0x80000000u, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu})
    EXPECT_EQ(SysAllocStringLen(nullptr, chars), nullptr) << chars;
  for (UINT bytes : {0x7FFFFFF1u, 0xFFFFFFF9u, 0xFFFFFFFAu, 0xFFFFFFFCu, 0xFFFFFFFFu})
    EXPECT_EQ(SysAllocStringByteLen(nullptr, bytes), nullptr) << bytes;
  BSTR s = SysAllocString(u"keep");
  for (UINT chars : {0x80000000u, 0x80000001u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(SysReAllocStringLen(&s, nullptr, chars)) << chars;
    EXPECT_EQ(std::u16string(s), u"keep") << "the old string is kept";
  }
  SysFreeString(s);
}

TEST_F(SystemString, CompareTreatsNullAsEmptyAndHonoursIgnoreCase) {
  BSTR empty = SysAllocString(u"");
  BSTR a = SysAllocString(u"abc");
  BSTR upper = SysAllocString(u"ABC");
  BSTR longer = SysAllocString(u"abcd");
  BSTR withNull = SysAllocStringLen(u"abc\0", 4);
  EXPECT_EQ(VarBstrCmp(nullptr, empty, LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(nullptr, nullptr, LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(nullptr, a, LOCALE_USER_DEFAULT, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(a, upper, 0x400, 0), VARCMP_GT);
  EXPECT_EQ(VarBstrCmp(a, upper, 0x400, NORM_IGNORECASE), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(a, longer, 0x400, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(longer, a, 0x400, 0), VARCMP_GT);
  EXPECT_EQ(VarBstrCmp(withNull, a, 0x400, 0), VARCMP_GT) << "the length prefix counts";
  EXPECT_EQ(VarBstrCmp(a, a, 0x12345, 0), E_INVALIDARG);
  for (BSTR s : {empty, a, upper, longer, withNull}) SysFreeString(s);
}

TEST_F(SystemString, UnsignedFromTextFollowsTheAutomationRules) {
  ULONG v = 7;
  EXPECT_EQ(VarUI4FromStr(u"  123  ", 0x409, 0, &v), S_OK);
  EXPECT_EQ(v, 123u);
  EXPECT_EQ(VarUI4FromStr(u"&HFF", 0x409, 0, &v), S_OK);
  EXPECT_EQ(v, 255u);
  EXPECT_EQ(VarUI4FromStr(u"&hffffffff", 0x409, 0, &v), S_OK);
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_EQ(VarUI4FromStr(u"4294967295", 0x409, 0, &v), S_OK);
  EXPECT_EQ(v, 4294967295u);
  EXPECT_EQ(VarUI4FromStr(u"2.5", 0x409, 0, &v), S_OK);
  EXPECT_EQ(v, 2u) << "rounds half to even";
  EXPECT_EQ(VarUI4FromStr(u"3.5", 0x409, 0, &v), S_OK);
  EXPECT_EQ(v, 4u);
  v = 7;
  EXPECT_EQ(VarUI4FromStr(u"4294967296", 0x409, 0, &v), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI4FromStr(u"-1", 0x409, 0, &v), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI4FromStr(u"&H100000000", 0x409, 0, &v), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI4FromStr(u"12a", 0x409, 0, &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarUI4FromStr(u"", 0x409, 0, &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarUI4FromStr(u"&H", 0x409, 0, &v), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(v, 7u) << "a failed conversion leaves the output alone";
}

}  // namespace
