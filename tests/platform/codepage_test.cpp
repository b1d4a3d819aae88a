// Locales and code-page conversion.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

using CodePage = fgtest::BaselineTest;

std::u16string ToWide(UINT cp, const std::string& s, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0) MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

TEST_F(CodePage, DecodesEachSupportedCodePage) {
  EXPECT_EQ(ToWide(1252, "caf\xE9 \x80"), u"caf\u00E9 \u20AC");
  EXPECT_EQ(ToWide(1252, "\x81"), u"\u0081") << "undefined byte keeps its value";
  EXPECT_EQ(ToWide(936, "\xCE\xC4\xBC\xFE"), u"\u6587\u4EF6");
  EXPECT_EQ(ToWide(CP_UTF8, "\xE6\x96\x87"), u"\u6587");
  EXPECT_EQ(ToWide(CP_UTF8, "a\xFF" "b"), u"a\uFFFD" "b");
}

TEST_F(CodePage, CountsIncludeTheTerminatorForLengthMinusOne) {
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  char16_t buf[4];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buf, 4), 4);
  EXPECT_EQ(buf[3], 0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buf, 4), 3);
}

TEST_F(CodePage, RefusesBadArgumentsWithTheDocumentedErrors) {
  char16_t buf[2];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, buf, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, buf, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a", 0, buf, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(437, 0, "a", 1, buf, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, buf, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3", 1, buf, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(CodePage, EncodesWithDefaultCharacterWhereUnmappable) {
  char out[8] = {};
  BOOL used = FALSE;
  int n = WideCharToMultiByte(1252, 0, u"a\u6587", 2, out, sizeof out, nullptr, &used);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(std::string(out, 2), "a?");
  EXPECT_TRUE(used);
  n = WideCharToMultiByte(936, 0, u"\u6587", -1, out, sizeof out, nullptr, nullptr);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::string(out), "\xCE\xC4");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"x", 1, out, 8, "?", nullptr), 0)
      << "UTF-8 takes no default character";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xD800", 1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u6587", 1, out, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(CodePage, ThreadCodePageFollowsTheThreadLocale) {
  LCID saved = GetThreadLocale();
  ASSERT_TRUE(SetThreadLocale(0x0804));
  EXPECT_EQ(GetThreadLocale(), 0x0804u);
  EXPECT_EQ(ToWide(CP_THREAD_ACP, "\xCE\xC4"), u"\u6587");
  ASSERT_TRUE(SetThreadLocale(0x0409 == GetSystemDefaultLCID() ? 0x0407 : 0x0409));
  EXPECT_EQ(ToWide(CP_THREAD_ACP, "\xE9"), u"\u00E9");
  ASSERT_TRUE(SetThreadLocale(LOCALE_SYSTEM_DEFAULT));
  EXPECT_EQ(GetThreadLocale(), GetSystemDefaultLCID()) << "the selector is resolved";
  EXPECT_EQ(FgAnsiCodePageOfLocale(GetThreadLocale()), GetACP());
  SetLastError(0);
  EXPECT_FALSE(SetThreadLocale(0x12345));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetThreadLocale(saved);
}

}  // namespace
