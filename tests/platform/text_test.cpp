// 16-bit text helpers and the runtime's bounds-checked copies and prints.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

using Text = fgtest::BaselineTest;

int RuntimeErrno() {
  int e = -1;
  _get_errno(&e);
  return e;
}

TEST_F(Text, ComparisonsFoldAsDocumented) {
  EXPECT_EQ(_wcsicmp(u"put_Title", u"PUT_TITLE"), 0);
  EXPECT_LT(_wcsicmp(u"a", u"b"), 0);
  EXPECT_NE(_wcsicmp(u"\u00E9", u"\u00C9"), 0) << "only A to Z fold";
  EXPECT_EQ(lstrcmpiW(u"\u00E9t\u00E9", u"\u00C9T\u00C9"), 0) << "lstrcmpi folds beyond ASCII";
  EXPECT_EQ(lstrcmpiW(u"HKCR", u"hkcr"), 0);
  EXPECT_LT(lstrcmpiW(u"abc", u"abcd"), 0);
  EXPECT_LT(lstrcmpiW(nullptr, u""), 0);
  EXPECT_EQ(lstrcmpiW(nullptr, nullptr), 0);
  _set_errno(0);
  EXPECT_EQ(_wcsicmp(nullptr, u"a"), _NLSCMPERROR);
  EXPECT_EQ(RuntimeErrno(), EINVAL);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenW(u"abc"), 3);
  const char16_t* pair = u"\U0001F600x";
  EXPECT_EQ(CharNextW(pair), pair + 2) << "a surrogate pair is one character";
  EXPECT_EQ(CharNextW(pair + 3), pair + 3) << "the terminator does not advance";
}

TEST_F(Text, CopiesSetTheRuntimeErrorNumbers) {
  char16_t buf[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(wcscpy_s(buf, 4, u"abc"), 0);
  EXPECT_EQ(std::u16string(buf), u"abc");
  _set_errno(0);
  EXPECT_EQ(wcscpy_s(buf, 3, u"abc"), ERANGE);
  EXPECT_EQ(buf[0], 0) << "a failed copy empties the destination";
  EXPECT_EQ(RuntimeErrno(), ERANGE);
  EXPECT_EQ(wcscpy_s(buf, 4, nullptr), EINVAL);
  EXPECT_EQ(wcscpy_s(nullptr, 4, u"a"), EINVAL);
  EXPECT_EQ(wcsncpy_s(buf, 4, u"abcdef", _TRUNCATE), STRUNCATE);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(wcsncpy_s(buf, 4, u"abcdef", 2), 0);
  EXPECT_EQ(std::u16string(buf), u"ab");
  EXPECT_EQ(wcsncpy_s(buf, 4, u"abcdef", 5), ERANGE);
  char narrow[3];
  EXPECT_EQ(strcpy_s(narrow, 3, "ab"), 0);
  EXPECT_EQ(strcpy_s(narrow, 2, "ab"), ERANGE);
  EXPECT_EQ(narrow[0], 0);
  char16_t dest[3];
  EXPECT_EQ(wmemcpy_s(dest, 3, u"abcd", 4), ERANGE);
  EXPECT_EQ(wmemcpy_s(dest, 3, u"abc", 3), 0);
}

TEST_F(Text, PrintsFollowTheSixteenBitConventions) {
  char16_t buf[64];
  EXPECT_EQ(swprintf_s(buf, 64, u"%s|%S|%d|%x|%c", u"wide", "narrow", -5, 255, u'Z'), 19);
  EXPECT_EQ(std::u16string(buf), u"wide|narrow|-5|ff|Z");
  char nbuf[64];
  EXPECT_EQ(sprintf_s(nbuf, 64, "%s %S %ls %hs", "n", u"w", u"l", "h"), 7);
  EXPECT_EQ(std::string(nbuf), "n w l h");
  EXPECT_GT(sprintf_s(nbuf, 64, "hr = 0x%x", static_cast<unsigned>(0x8007000E)), 0);
  EXPECT_EQ(std::string(nbuf), "hr = 0x8007000e");
  sprintf_s(nbuf, 64, "%ld %I64d %5s|%-3d|", static_cast<LONG>(-1), static_cast<long long>(1) << 40, "ab", 7);
  EXPECT_EQ(std::string(nbuf), "-1 1099511627776    ab|7  |");
  swprintf_s(buf, 64, u"ErrorCode:%d", 65535);
  EXPECT_EQ(std::u16string(buf), u"ErrorCode:65535");
  swprintf_s(buf, 64, u"%s", static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(std::u16string(buf), u"(null)");
}

TEST_F(Text, PrintsReportOverflowTruncationAndBadFormats) {
  char buf[8];
  _set_errno(0);
  EXPECT_EQ(sprintf_s(buf, 8, "%s", "12345678"), -1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(RuntimeErrno(), ERANGE);
  _set_errno(0);
  EXPECT_EQ(_snprintf_s(buf, 8, _TRUNCATE, "%s", "12345678"), -1);
  EXPECT_EQ(std::string(buf), "1234567");
  EXPECT_EQ(RuntimeErrno(), STRUNCATE);
  _set_errno(0);
  EXPECT_EQ(_snprintf_s(buf, 8, 3, "%s", "12345"), -1);
  EXPECT_EQ(std::string(buf), "123") << "cut at the count limit";
  EXPECT_EQ(RuntimeErrno(), STRUNCATE);
  _set_errno(0);
  EXPECT_EQ(_snprintf_s(buf, 8, 7, "%s", "1234567"), 7);
  EXPECT_EQ(RuntimeErrno(), 0) << "success leaves the error number";
  EXPECT_EQ(_snprintf_s(buf, 8, _TRUNCATE, "%n", nullptr), -1);
  EXPECT_EQ(RuntimeErrno(), EINVAL);
  EXPECT_EQ(sprintf_s(nullptr, 8, "x"), -1);
  EXPECT_EQ(RuntimeErrno(), EINVAL);
  char16_t wide[6];
  _set_errno(0);
  EXPECT_EQ(_snwprintf_s(wide, 6, 5, u"%s", u"abcdefg"), -1);
  EXPECT_EQ(std::u16string(wide), u"abcde");
  EXPECT_EQ(RuntimeErrno(), STRUNCATE);
}

}  // namespace
