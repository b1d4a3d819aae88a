// 16-bit string helpers: lengths, comparisons with case folding, stepping.
#include "fgplatform/wtext.h"

#include <type_traits>

#include "case_fold.h"
#include "fgplatform/crt.h"

int WINAPI lstrlenW(LPCWSTR lpString) {
  if (lpString == nullptr) return 0;
  return static_cast<int>(wcslen16(lpString));
}

int WINAPI lstrlenA(LPCSTR lpString) {
  if (lpString == nullptr) return 0;
  return static_cast<int>(__builtin_strlen(lpString));
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  int c = fgp::CompareFolded(a, wcslen16(a), b, wcslen16(b), /*ignoreCase=*/true);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  int c = fgp::CompareFolded(a, wcslen16(a), b, wcslen16(b), /*ignoreCase=*/false);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

LPWSTR WINAPI CharNextW(LPCWSTR lpsz) {
  if (lpsz == nullptr) return nullptr;
  const char16_t* p = lpsz;
  if (*p == 0) return const_cast<LPWSTR>(p);
  if (*p >= 0xD800 && *p <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) return const_cast<LPWSTR>(p + 2);
  return const_cast<LPWSTR>(p + 1);
}

LPWSTR WINAPI CharUpperW(LPWSTR lpsz) {
  if (lpsz == nullptr) return nullptr;
  for (char16_t* p = lpsz; *p != 0; ++p) *p = fgp::UpperCase(*p);
  return lpsz;
}

LPWSTR WINAPI CharLowerW(LPWSTR lpsz) {
  if (lpsz == nullptr) return nullptr;
  for (char16_t* p = lpsz; *p != 0; ++p) *p = fgp::LowerCase(*p);
  return lpsz;
}

size_t wcslen16(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

namespace {

template <class C>
int AsciiLower(C c) {
  return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : static_cast<int>(c);
}

template <class C>
int CompareAsciiFolded(const C* a, const C* b, size_t count) {
  if (a == nullptr || b == nullptr) {
    _set_errno(EINVAL);
    return _NLSCMPERROR;
  }
  for (size_t i = 0; i < count; ++i) {
    int ca = AsciiLower(static_cast<std::make_unsigned_t<C>>(a[i]));
    int cb = AsciiLower(static_cast<std::make_unsigned_t<C>>(b[i]));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
  return 0;
}

}  // namespace

int _wcsicmp(const char16_t* a, const char16_t* b) { return CompareAsciiFolded(a, b, static_cast<size_t>(-1)); }
int _wcsnicmp(const char16_t* a, const char16_t* b, size_t count) { return CompareAsciiFolded(a, b, count); }
int _stricmp(const char* a, const char* b) { return CompareAsciiFolded(a, b, static_cast<size_t>(-1)); }

int wcscmp16(const char16_t* a, const char16_t* b) {
  while (*a != 0 && *a == *b) ++a, ++b;
  return static_cast<int>(*a) - static_cast<int>(*b);
}

const char16_t* wcschr16(const char16_t* s, char16_t c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (*s == 0) return nullptr;
  }
}

const char16_t* wcsrchr16(const char16_t* s, char16_t c) {
  const char16_t* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (*s == 0) return found;
  }
}
