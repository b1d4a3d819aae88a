// Locales: the system default from the environment, the per-thread locale.
#include "locale_table.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fgplatform/kernel.h"
#include "fgplatform/winnls.h"

namespace {

struct LocaleRow {
  LCID lcid;
  const char* language;
  const char* territory;
  UINT codePage;
};

// The first row of a language is its default territory.
constexpr LocaleRow kLocales[] = {
    {0x0409, "en", "US", 1252}, {0x0809, "en", "GB", 1252}, {0x0C09, "en", "AU", 1252},
    {0x1009, "en", "CA", 1252}, {0x0804, "zh", "CN", 936},  {0x1004, "zh", "SG", 936},
    {0x0407, "de", "DE", 1252}, {0x0C07, "de", "AT", 1252}, {0x0807, "de", "CH", 1252},
    {0x040C, "fr", "FR", 1252}, {0x080C, "fr", "BE", 1252}, {0x0410, "it", "IT", 1252},
    {0x0C0A, "es", "ES", 1252}, {0x0413, "nl", "NL", 1252}, {0x0416, "pt", "BR", 1252},
    {0x0816, "pt", "PT", 1252}, {0x041D, "sv", "SE", 1252}, {0x0406, "da", "DK", 1252},
    {0x0414, "nb", "NO", 1252}, {0x040B, "fi", "FI", 1252}, {0x007F, "", "", 1252},
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

UINT CodePageOfCodeset(const std::string& codeset) {
  std::string c = Lower(codeset);
  if (c == "utf-8" || c == "utf8") return CP_UTF8;
  if (c == "gb2312" || c == "gbk" || c == "gb18030" || c == "euc-cn" || c == "euccn" || c == "cp936") return 936;
  if (c == "iso-8859-1" || c == "iso8859-1" || c == "iso88591" || c == "iso-8859-15" || c == "iso885915" ||
      c == "cp1252")
    return 1252;
  return 0;
}

fgp::SystemLocale ReadSystemLocale() {
  const char* env = nullptr;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    env = std::getenv(name);
    if (env != nullptr && *env != '\0') break;
    env = nullptr;
  }
  std::string value = env ? env : "";
  std::string codeset;
  if (size_t at = value.find('@'); at != std::string::npos) value.resize(at);
  if (size_t dot = value.find('.'); dot != std::string::npos) {
    codeset = value.substr(dot + 1);
    value.resize(dot);
  }
  std::string language = Lower(value.substr(0, value.find('_')));
  std::string territory;
  if (size_t us = value.find('_'); us != std::string::npos) territory = value.substr(us + 1);

  const LocaleRow* match = &kLocales[0];
  const LocaleRow* languageMatch = nullptr;
  for (const LocaleRow& row : kLocales) {
    if (language != row.language || language.empty()) continue;
    if (languageMatch == nullptr) languageMatch = &row;
    if (territory == row.territory) {
      languageMatch = &row;
      break;
    }
  }
  if (languageMatch != nullptr) match = languageMatch;
  UINT cp = CodePageOfCodeset(codeset);
  if (cp == 0) cp = match->codePage;
  return {match->lcid, cp};
}

thread_local LCID t_threadLocale = 0;  // 0: not set, the user default

}  // namespace

namespace fgp {

const SystemLocale& SystemDefaultLocale() {
  static const SystemLocale locale = ReadSystemLocale();
  return locale;
}

UINT TableCodePage(LCID lcid) {
  for (const LocaleRow& row : kLocales)
    if (row.lcid == lcid) return row.codePage;
  return 0;
}

LCID ResolveLocale(LCID lcid) {
  if (lcid == LOCALE_SYSTEM_DEFAULT || lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_NEUTRAL)
    return SystemDefaultLocale().lcid;
  return lcid;
}

UINT ResolveCodePage(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_OEMCP:
      return SystemDefaultLocale().ansiCodePage;
    case CP_THREAD_ACP:
      return FgAnsiCodePageOfLocale(GetThreadLocale());
    case 1252:
    case 936:
    case CP_UTF8:
      return codePage;
    default:
      return 0;
  }
}

}  // namespace fgp

LCID WINAPI GetThreadLocale() { return t_threadLocale != 0 ? t_threadLocale : GetUserDefaultLCID(); }

BOOL WINAPI SetThreadLocale(LCID Locale) {
  LCID resolved = fgp::ResolveLocale(Locale);
  if (Locale == LOCALE_NEUTRAL || fgp::TableCodePage(resolved) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t_threadLocale = resolved;
  return TRUE;
}

LCID WINAPI GetSystemDefaultLCID() { return fgp::SystemDefaultLocale().lcid; }
LCID WINAPI GetUserDefaultLCID() { return fgp::SystemDefaultLocale().lcid; }
LANGID WINAPI GetSystemDefaultLangID() { return LANGIDFROMLCID(GetSystemDefaultLCID()); }
LANGID WINAPI GetUserDefaultLangID() { return LANGIDFROMLCID(GetUserDefaultLCID()); }
BOOL WINAPI IsValidLocale(LCID Locale, DWORD) { return fgp::TableCodePage(Locale) != 0 ? TRUE : FALSE; }
UINT WINAPI GetACP() { return fgp::SystemDefaultLocale().ansiCodePage; }
UINT WINAPI GetOEMCP() { return fgp::SystemDefaultLocale().ansiCodePage; }
BOOL WINAPI IsValidCodePage(UINT CodePage) {
  return CodePage == 1252 || CodePage == 936 || CodePage == CP_UTF8 ? TRUE : FALSE;
}

UINT WINAPI FgAnsiCodePageOfLocale(LCID Locale) {
  LCID resolved = fgp::ResolveLocale(Locale);
  if (resolved == fgp::SystemDefaultLocale().lcid) return fgp::SystemDefaultLocale().ansiCodePage;
  return fgp::TableCodePage(resolved);
}
