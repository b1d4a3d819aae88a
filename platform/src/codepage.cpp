// MultiByteToWideChar and WideCharToMultiByte over iconv.
#include "codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "fgplatform/kernel.h"
#include "fgplatform/winnls.h"
#include "locale_table.h"

namespace {

const char* IconvName(UINT codePage) {
  switch (codePage) {
    case 1252: return "CP1252";
    case 936: return "CP936";
    case CP_UTF8: return "UTF-8";
    default: return nullptr;
  }
}

// One converter per code page and direction, per thread (iconv_t is not
// safe to share).
struct ConverterCache {
  struct Entry {
    UINT codePage;
    bool toWide;
    iconv_t cd;
  };
  Entry entries[8];
  int used = 0;
  ~ConverterCache() {
    for (int i = 0; i < used; ++i) iconv_close(entries[i].cd);
  }
  iconv_t Get(UINT codePage, bool toWide) {
    for (int i = 0; i < used; ++i)
      if (entries[i].codePage == codePage && entries[i].toWide == toWide) return entries[i].cd;
    const char* name = IconvName(codePage);
    if (name == nullptr) return reinterpret_cast<iconv_t>(-1);
    iconv_t cd = toWide ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1) || used == 8) return cd;
    entries[used++] = {codePage, toWide, cd};
    return cd;
  }
};
thread_local ConverterCache t_converters;

// Runs iconv over the whole input; on a sequence it cannot convert, calls
// `onBad(position)` which appends a replacement and answers how many input
// bytes to skip (0: give up).
template <class Out, class OnBad>
[[nodiscard]] bool RunIconv(iconv_t cd, const char* in, size_t inLen, Out& out, OnBad onBad) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char chunk[1024];
  char* src = const_cast<char*>(in);
  size_t left = inLen;
  while (left > 0) {
    char* dst = chunk;
    size_t room = sizeof(chunk);
    size_t rc = iconv(cd, &src, &left, &dst, &room);
    int err = errno;
    out.append(reinterpret_cast<const typename Out::value_type*>(chunk),
               (sizeof(chunk) - room) / sizeof(typename Out::value_type));
    if (rc != static_cast<size_t>(-1)) continue;
    if (err == E2BIG) continue;
    size_t skip = onBad(static_cast<size_t>(src - in));
    if (skip == 0) return false;
    skip = skip < left ? skip : left;
    src += skip;
    left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

namespace fgp {

ConvertResult DecodeCodePage(UINT codePage, std::string_view in, bool strict, std::u16string& out) {
  // Every code page here maps the ASCII bytes to the same characters: such
  // text, the most common, is widened without a trip through iconv or even
  // a look for the thread's converter.
  bool ascii = std::all_of(in.begin(), in.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii && IconvName(codePage) != nullptr) {
    out.assign(in.begin(), in.end());
    return ConvertResult::Ok;
  }
  iconv_t cd = t_converters.Get(codePage, /*toWide=*/true);
  if (cd == reinterpret_cast<iconv_t>(-1)) return ConvertResult::Unsupported;
  std::string bytes;  // UTF-16LE bytes; this platform is little-endian
  bool ok = RunIconv(cd, in.data(), in.size(), bytes, [&](size_t at) -> size_t {
    unsigned char b = static_cast<unsigned char>(in[at]);
    bool undefined1252 = codePage == 1252 && (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D);
    if (strict && !undefined1252) return 0;
    char16_t repl = undefined1252 ? char16_t(b) : char16_t(0xFFFD);
    bytes.append(reinterpret_cast<const char*>(&repl), 2);
    return 1;
  });
  if (!ok) return ConvertResult::Invalid;
  out.assign(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  return ConvertResult::Ok;
}

ConvertResult EncodeCodePage(UINT codePage, std::u16string_view in, bool strict, char defaultChar,
                             std::string& out, bool& usedDefault) {
  usedDefault = false;
  iconv_t cd = t_converters.Get(codePage, /*toWide=*/false);
  if (cd == reinterpret_cast<iconv_t>(-1)) return ConvertResult::Unsupported;
  const char* bytes = reinterpret_cast<const char*>(in.data());
  out.clear();
  bool ok = RunIconv(cd, bytes, in.size() * 2, out, [&](size_t at) -> size_t {
    if (strict) return 0;
    size_t unit = at / 2;
    bool pair = unit + 1 < in.size() && IsHigh(in[unit]) && IsLow(in[unit + 1]);
    usedDefault = true;
    if (codePage == CP_UTF8)
      out.append("\xEF\xBF\xBD");
    else
      out.push_back(defaultChar);
    return pair ? 4 : 2 - (at % 2);
  });
  return ok ? ConvertResult::Ok : ConvertResult::Invalid;
}

std::string WideToUtf8(std::u16string_view in) {
  std::string out;
  bool used = false;
  EncodeCodePage(CP_UTF8, in, /*strict=*/false, '?', out, used);
  return out;
}

std::u16string Utf8ToWide(std::string_view in) {
  std::u16string out;
  DecodeCodePage(CP_UTF8, in, /*strict=*/false, out);
  return out;
}

}  // namespace fgp

namespace {

// The argument rules both conversions share: a source of a length other
// than 0 (-1: up to the terminator), a destination size of 0 (a query) or
// a buffer, source and destination apart, a code page the platform knows.
// Answers the resolved code page, or 0 with ERROR_INVALID_PARAMETER.
UINT CheckConversion(UINT codePage, const void* src, int srcLength, const void* dst, int dstSize) {
  if (src == nullptr || srcLength == 0 || srcLength < -1 || dstSize < 0 || (dst == nullptr && dstSize != 0) ||
      src == dst) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT cp = fgp::ResolveCodePage(codePage);
  if (cp == 0) SetLastError(ERROR_INVALID_PARAMETER);
  return cp;
}

// Copies the converted text out, or answers its size for a query;
// ERROR_INSUFFICIENT_BUFFER when it does not fit (nothing is written).
template <class C>
int CopyOut(const std::basic_string<C>& text, C* out, int size) {
  if (size == 0) return static_cast<int>(text.size());
  if (text.size() > static_cast<size_t>(size)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text.data(), text.size() * sizeof(C));
  return static_cast<int>(text.size());
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  UINT cp = CheckConversion(CodePage, lpMultiByteStr, cbMultiByte, lpWideCharStr, cchWideChar);
  if (cp == 0) return 0;
  const DWORD allowed = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS
                                      : (MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS);
  if ((dwFlags & ~allowed) != 0 || ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t len = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  // ASCII text is widened straight into the caller's buffer.
  if (IconvName(cp) != nullptr &&
      std::all_of(lpMultiByteStr, lpMultiByteStr + len, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    if (cchWideChar == 0) return static_cast<int>(len);
    if (len > static_cast<size_t>(cchWideChar)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::copy(lpMultiByteStr, lpMultiByteStr + len, lpWideCharStr);
    return static_cast<int>(len);
  }
  std::u16string wide;
  auto rc = fgp::DecodeCodePage(cp, std::string_view(lpMultiByteStr, len), (dwFlags & MB_ERR_INVALID_CHARS) != 0,
                                wide);
  if (rc != fgp::ConvertResult::Ok) {
    SetLastError(rc == fgp::ConvertResult::Invalid ? ERROR_NO_UNICODE_TRANSLATION : ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CopyOut(wide, lpWideCharStr, cchWideChar);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  UINT cp = CheckConversion(CodePage, lpWideCharStr, cchWideChar, lpMultiByteStr, cbMultiByte);
  if (cp == 0) return 0;
  if (cp == CP_UTF8) {
    if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
  } else if ((dwFlags & ~static_cast<DWORD>(WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                                              WC_NO_BEST_FIT_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t len = 0;
  if (cchWideChar == -1) {
    while (lpWideCharStr[len] != 0) ++len;
    ++len;
  } else {
    len = static_cast<size_t>(cchWideChar);
  }
  std::string narrow;
  bool used = false;
  char defaultChar = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
  auto rc = fgp::EncodeCodePage(cp, std::u16string_view(lpWideCharStr, len), (dwFlags & WC_ERR_INVALID_CHARS) != 0,
                                defaultChar, narrow, used);
  if (rc != fgp::ConvertResult::Ok) {
    SetLastError(rc == fgp::ConvertResult::Invalid ? ERROR_NO_UNICODE_TRANSLATION : ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used ? TRUE : FALSE;
  return CopyOut(narrow, lpMultiByteStr, cbMultiByte);
}
