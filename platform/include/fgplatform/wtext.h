// 16-bit text helpers and the language runtime's bounds-checked copies and
// formatted prints, for 8- and 16-bit text.
//
// Case folding (lstrcmpiW, VarBstrCmp with NORM_IGNORECASE) maps the simple
// upper/lower pairs of Basic Latin, Latin-1, Latin Extended-A, Greek and
// Cyrillic; strings are then compared by code unit. _wcsicmp and _stricmp
// fold A to Z only, as the runtime's default locale does.
//
// The secure routines never end the process: an invalid parameter sets the
// runtime error number and returns, as if the program had installed an
// invalid-parameter handler that returns. Their error numbers are those of
// the runtime: 22 (EINVAL), 34 (ERANGE), 80 (STRUNCATE). Copies return the
// number; prints return -1 and leave it in the runtime error number
// (_get_errno). A print cut by a count limit (_TRUNCATE, or a count below
// the buffer size) writes what fits, returns -1 and sets 80; a successful
// call leaves the error number as it was.
//
// Format conversions follow the Windows convention: in a 16-bit format %s
// and %c are 16-bit and %S and %C 8-bit; in an 8-bit format the reverse.
// %hs/%hc are always 8-bit, %ls/%lc/%ws/%wc always 16-bit. Integer length
// prefixes: none/h/hh/l/I32 are 32-bit or narrower (l is 32-bit, as LONG),
// ll/I64 are 64-bit, I/z/t/j pointer-sized. %p prints the pointer as
// upper-case hexadecimal padded to the pointer width. %n is refused (22).
// 8-bit text in a 16-bit print, and 16-bit text in an 8-bit print, are
// converted with the thread's ANSI code page.
#pragma once

#include <cstdarg>

#include "fgplatform/basetypes.h"

#ifndef EINVAL
#define EINVAL 22
#endif
#ifndef ERANGE
#define ERANGE 34
#endif
#ifndef ENOMEM
#define ENOMEM 12
#endif
#define STRUNCATE 80
#define _TRUNCATE ((size_t)-1)
#define _NLSCMPERROR 0x7fffffff

FG_API int WINAPI lstrlenW(LPCWSTR lpString);
FG_API int WINAPI lstrlenA(LPCSTR lpString);
// Null sorts before any string; two nulls are equal.
FG_API int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
FG_API int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
// Steps over one character: a surrogate pair counts as one. At the
// terminator the same pointer is returned.
FG_API LPWSTR WINAPI CharNextW(LPCWSTR lpsz);
FG_API LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
FG_API LPWSTR WINAPI CharLowerW(LPWSTR lpsz);

FG_API size_t wcslen16(const char16_t* s);
FG_API int _wcsicmp(const char16_t* a, const char16_t* b);
FG_API int _wcsnicmp(const char16_t* a, const char16_t* b, size_t count);
FG_API int _stricmp(const char* a, const char* b);
FG_API int wcscmp16(const char16_t* a, const char16_t* b);
FG_API const char16_t* wcschr16(const char16_t* s, char16_t c);
FG_API const char16_t* wcsrchr16(const char16_t* s, char16_t c);

FG_API errno_t strcpy_s(char* dest, rsize_t destSize, const char* src);
FG_API errno_t strncpy_s(char* dest, rsize_t destSize, const char* src, rsize_t count);
FG_API errno_t strcat_s(char* dest, rsize_t destSize, const char* src);
FG_API errno_t wcscpy_s(char16_t* dest, rsize_t destSize, const char16_t* src);
FG_API errno_t wcsncpy_s(char16_t* dest, rsize_t destSize, const char16_t* src, rsize_t count);
FG_API errno_t wcscat_s(char16_t* dest, rsize_t destSize, const char16_t* src);
FG_API errno_t memcpy_s(void* dest, rsize_t destSize, const void* src, rsize_t count);
FG_API errno_t memmove_s(void* dest, rsize_t destSize, const void* src, rsize_t count);
// Counts are in 16-bit units.
FG_API errno_t wmemcpy_s(char16_t* dest, rsize_t destSize, const char16_t* src, rsize_t count);
FG_API errno_t wmemmove_s(char16_t* dest, rsize_t destSize, const char16_t* src, rsize_t count);

FG_API int sprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, ...);
FG_API int vsprintf_s(char* buffer, size_t sizeOfBuffer, const char* format, va_list args);
FG_API int _snprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, ...);
FG_API int _vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, va_list args);
FG_API int swprintf_s(char16_t* buffer, size_t sizeOfBuffer, const char16_t* format, ...);
FG_API int vswprintf_s(char16_t* buffer, size_t sizeOfBuffer, const char16_t* format, va_list args);
FG_API int _snwprintf_s(char16_t* buffer, size_t sizeOfBuffer, size_t count, const char16_t* format, ...);
FG_API int _vsnwprintf_s(char16_t* buffer, size_t sizeOfBuffer, size_t count, const char16_t* format,
                         va_list args);
