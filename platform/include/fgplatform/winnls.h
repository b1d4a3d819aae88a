// Locales and code-page conversion.
//
// The system default locale comes from the process environment (LC_ALL,
// else LC_CTYPE, else LANG): the language and territory map to an LCID, the
// codeset to the ANSI code page (UTF-8 to 65001, GB2312/GBK/GB18030 to 936,
// ISO-8859-1 and CP1252 to 1252). "C", "POSIX" or nothing give 0x0409 with
// code page 1252. The user default is the same as the system default.
//
// The thread locale is per thread and starts as the user default. The
// thread's ANSI code page (CP_THREAD_ACP) is the system ANSI code page while
// the thread locale is the system default, and otherwise the ANSI code page
// the locale table gives for the thread locale (0x0804 is 936, the Western
// locales 1252).
//
// Conversions support code pages 1252, 936 and 65001 through iconv, and the
// selectors CP_ACP, CP_OEMCP (taken as the ANSI code page), CP_THREAD_ACP.
// Undefined bytes of 1252 (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the code
// point of the same value and back, so U+0081 round-trips; other invalid
// input becomes U+FFFD (65001: one for each byte of an invalid sequence) or
// the default character (WideCharToMultiByte), unless the ERR_INVALID_CHARS
// flag asks for ERROR_NO_UNICODE_TRANSLATION.
//
// Choice where the system differs: WideCharToMultiByte to 1252 or 936 makes
// no best-fit substitutions (the system writes, say, "a" for U+0101 unless
// WC_NO_BEST_FIT_CHARS is given); every character the code page lacks
// becomes the default character, as if WC_NO_BEST_FIT_CHARS were always set.
#pragma once

#include "fgplatform/basetypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define LANG_NEUTRAL 0x00
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SORT_DEFAULT 0x0
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))

#define LOCALE_SYSTEM_DEFAULT ((LCID)0x0800)
#define LOCALE_USER_DEFAULT ((LCID)0x0400)
#define LOCALE_NEUTRAL ((LCID)0x0000)
#define LOCALE_INVARIANT ((LCID)0x007F)

#define NORM_IGNORECASE 0x00000001

FG_API LCID WINAPI GetThreadLocale();
// Sets the thread locale. LOCALE_SYSTEM_DEFAULT and LOCALE_USER_DEFAULT are
// resolved to the locale they stand for; an unknown LCID answers FALSE with
// ERROR_INVALID_PARAMETER.
FG_API BOOL WINAPI SetThreadLocale(LCID Locale);
FG_API LCID WINAPI GetSystemDefaultLCID();
FG_API LCID WINAPI GetUserDefaultLCID();
FG_API LANGID WINAPI GetSystemDefaultLangID();
FG_API LANGID WINAPI GetUserDefaultLangID();
FG_API BOOL WINAPI IsValidLocale(LCID Locale, DWORD dwFlags);
FG_API UINT WINAPI GetACP();
FG_API UINT WINAPI GetOEMCP();
FG_API BOOL WINAPI IsValidCodePage(UINT CodePage);

// The ANSI code page of a locale (after resolving the default selectors);
// 0 for a locale the platform does not know.
FG_API UINT WINAPI FgAnsiCodePageOfLocale(LCID Locale);

FG_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                      LPWSTR lpWideCharStr, int cchWideChar);
FG_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                      LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                      LPBOOL lpUsedDefaultChar);
