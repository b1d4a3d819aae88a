// printf engine: parses each conversion itself, renders numbers through the
// C library's snprintf and strings through the code-page conversion, so
// that 8- and 16-bit formats share one implementation.
#include "format.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "codepage.h"
#include "fgplatform/winnls.h"
#include "locale_table.h"

namespace {

enum class Length { Default, Char, Short, Long32, Long64, Pointer, LongDouble, Wide };

struct Directive {
  char flags[8] = {};
  int nFlags = 0;
  int width = -1;
  int precision = -1;
  Length length = Length::Default;
  bool LeftAlign() const { return std::memchr(flags, '-', nFlags) != nullptr; }
  bool ZeroPad() const { return std::memchr(flags, '0', nFlags) != nullptr; }
};

template <class C>
bool IsDigit(C c) {
  return c >= '0' && c <= '9';
}

// The narrow printf directive for a numeric conversion.
std::string NumericDirective(const Directive& directive, const char* lengthWord, char conversion) {
  std::string s = "%";
  s.append(directive.flags, directive.nFlags);
  if (directive.width >= 0) s += std::to_string(directive.width);
  if (directive.precision >= 0) s += "." + std::to_string(directive.precision);
  s += lengthWord;
  s += conversion;
  return s;
}

template <class... A>
std::string Snprintf(const std::string& directive, A... value) {
  int n = std::snprintf(nullptr, 0, directive.c_str(), value...);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), directive.c_str(), value...);
  out.resize(static_cast<size_t>(n));
  return out;
}

UINT ThreadCodePage() { return fgp::ResolveCodePage(CP_THREAD_ACP); }

std::u16string Widen(std::string_view s) {
  std::u16string out;
  fgp::DecodeCodePage(ThreadCodePage(), s, /*strict=*/false, out);
  return out;
}

std::string Narrow(std::u16string_view s) {
  std::string out;
  bool used = false;
  fgp::EncodeCodePage(ThreadCodePage(), s, /*strict=*/false, '?', out, used);
  return out;
}

void AppendAscii(std::string& out, const std::string& s) { out += s; }
void AppendAscii(std::u16string& out, const std::string& s) {
  for (char c : s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}
void AppendText(std::string& out, std::string_view narrow, std::u16string_view wide, bool isWide) {
  out += isWide ? Narrow(wide) : std::string(narrow);
}
void AppendText(std::u16string& out, std::string_view narrow, std::u16string_view wide, bool isWide) {
  out += isWide ? std::u16string(wide) : Widen(narrow);
}

template <class S>
void Pad(S& out, const Directive& directive, size_t length, const S& text) {
  size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  size_t fill = width > length ? width - length : 0;
  typename S::value_type padChar = directive.ZeroPad() && !directive.LeftAlign() ? '0' : ' ';
  if (!directive.LeftAlign()) out.append(fill, padChar);
  out += text;
  if (directive.LeftAlign()) out.append(fill, ' ');
}

// A string or character argument, 8- or 16-bit.
template <class S>
void FormatText(S& out, const Directive& directive, bool isWide, va_list& args, bool isChar) {
  std::string narrow;
  std::u16string wide;
  if (isChar) {
    int c = va_arg(args, int);
    if (isWide)
      wide.push_back(static_cast<char16_t>(c));
    else
      narrow.push_back(static_cast<char>(c));
  } else if (isWide) {
    const char16_t* p = va_arg(args, const char16_t*);
    if (p == nullptr) p = u"(null)";
    size_t n = 0;
    while (p[n] != 0 && (directive.precision < 0 || n < static_cast<size_t>(directive.precision))) ++n;
    wide.assign(p, n);
  } else {
    const char* p = va_arg(args, const char*);
    if (p == nullptr) p = "(null)";
    size_t n = 0;
    while (p[n] != 0 && (directive.precision < 0 || n < static_cast<size_t>(directive.precision))) ++n;
    narrow.assign(p, n);
  }
  S text;
  AppendText(text, narrow, wide, isWide);
  Pad(out, directive, text.size(), text);
}

std::string FormatInteger(const Directive& directive, char conversion, va_list& args) {
  bool isSigned = conversion == 'd' || conversion == 'i';
  unsigned long long bits = 0;
  long long value = 0;
  switch (directive.length) {
    case Length::Long64:
      value = va_arg(args, long long);
      break;
    case Length::Pointer:
      value = static_cast<long long>(va_arg(args, intptr_t));
      if (!isSigned) bits = static_cast<uintptr_t>(value);
      break;
    default:
      value = va_arg(args, int);
      break;
  }
  if (isSigned) {
    if (directive.length == Length::Short) value = static_cast<short>(value);
    if (directive.length == Length::Char) value = static_cast<signed char>(value);
    return Snprintf(NumericDirective(directive, "ll", conversion), value);
  }
  if (directive.length == Length::Long64)
    bits = static_cast<unsigned long long>(value);
  else if (directive.length != Length::Pointer)
    bits = static_cast<unsigned int>(value);
  if (directive.length == Length::Short) bits = static_cast<unsigned short>(bits);
  if (directive.length == Length::Char) bits = static_cast<unsigned char>(bits);
  return Snprintf(NumericDirective(directive, "ll", conversion), bits);
}

std::string FormatReal(const Directive& directive, char conversion, va_list& args) {
  if (directive.length == Length::LongDouble) return Snprintf(NumericDirective(directive, "L", conversion), va_arg(args, long double));
  return Snprintf(NumericDirective(directive, "", conversion), va_arg(args, double));
}

// The flags, width and precision of a directive; `*` takes its value from
// the arguments, a negative width meaning left alignment.
template <class C>
void ParseFlagsWidthPrecision(const C*& p, Directive& directive, va_list& args) {
  while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') {
    if (directive.nFlags < 7) directive.flags[directive.nFlags++] = static_cast<char>(*p);
    ++p;
  }
  if (*p == '*') {
    directive.width = va_arg(args, int);
    if (directive.width < 0 && directive.nFlags < 8) directive.flags[directive.nFlags++] = '-';
    if (directive.width < 0) directive.width = -directive.width;
    ++p;
  } else {
    while (IsDigit(*p)) directive.width = (directive.width < 0 ? 0 : directive.width * 10) + (*p++ - '0');
  }
  if (*p != '.') return;
  ++p;
  directive.precision = 0;
  if (*p == '*') {
    directive.precision = va_arg(args, int);
    ++p;
    return;
  }
  while (IsDigit(*p)) directive.precision = directive.precision * 10 + (*p++ - '0');
}

// The length modifier: h, hh, l, ll, L, w, z, t, j, I, I32, I64.
template <class C>
Length ParseLength(const C*& p) {
  switch (*p) {
    case 'h':
      ++p;
      if (*p != 'h') return Length::Short;
      ++p;
      return Length::Char;
    case 'l':
      ++p;
      if (*p != 'l') return Length::Long32;
      ++p;
      return Length::Long64;
    case 'L': ++p; return Length::LongDouble;
    case 'w': ++p; return Length::Wide;
    case 'z': case 't': case 'j': ++p; return Length::Pointer;
    case 'I':
      ++p;
      if (p[0] == '6' && p[1] == '4') {
        p += 2;
        return Length::Long64;
      }
      if (p[0] == '3' && p[1] == '2') {
        p += 2;
        return Length::Long32;
      }
      return Length::Pointer;
    default: return Length::Default;
  }
}

// %p: the address in upper-case hexadecimal, as many digits as a pointer has.
template <class C>
void FormatPointer(std::basic_string<C>& out, const Directive& directive, va_list& args) {
  Directive hex = directive;
  hex.nFlags = 0;
  hex.width = -1;
  hex.precision = static_cast<int>(2 * sizeof(void*));
  std::string digits = Snprintf(NumericDirective(hex, "ll", 'X'),
                                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(va_arg(args, void*))));
  std::basic_string<C> text;
  AppendAscii(text, digits);
  Pad(out, directive, text.size(), text);
}

// One conversion; EINVAL for %n and conversions the runtime does not know.
template <class C>
int FormatConversion(std::basic_string<C>& out, const Directive& directive, C conversion, va_list& args) {
  constexpr bool kWideFormat = sizeof(C) == 2;
  switch (conversion) {
    case 'd': case 'i': case 'u': case 'o': case 'x': case 'X':
      AppendAscii(out, FormatInteger(directive, static_cast<char>(conversion), args));
      return 0;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
      AppendAscii(out, FormatReal(directive, static_cast<char>(conversion), args));
      return 0;
    case 'c': case 'C': case 's': case 'S': {
      // Lower case is the format's own width, upper case the other; h and
      // l (or w) name it outright.
      bool upper = conversion == 'C' || conversion == 'S';
      bool isWide = kWideFormat != upper;
      if (directive.length == Length::Short) isWide = false;
      if (directive.length == Length::Long32 || directive.length == Length::Wide) isWide = true;
      FormatText(out, directive, isWide, args, /*isChar=*/conversion == 'c' || conversion == 'C');
      return 0;
    }
    case 'p':
      FormatPointer(out, directive, args);
      return 0;
    default:
      return EINVAL;
  }
}

template <class C>
int FormatImpl(std::basic_string<C>& out, const C* format, va_list& args) {
  for (const C* p = format; *p != 0;) {
    if (*p != '%') {
      out.push_back(*p++);
      continue;
    }
    ++p;
    if (*p == '%') {
      out.push_back('%');
      ++p;
      continue;
    }
    Directive directive;
    ParseFlagsWidthPrecision(p, directive, args);
    directive.length = ParseLength(p);
    C conversion = *p;
    if (conversion == 0) return EINVAL;
    ++p;
    if (int rc = FormatConversion(out, directive, conversion, args); rc != 0) return rc;
  }
  return 0;
}

template <class C>
int FormatCopy(std::basic_string<C>& out, const C* format, va_list argsIn) {
  va_list args;
  va_copy(args, argsIn);
  int rc = FormatImpl(out, format, args);
  va_end(args);
  return rc;
}

}  // namespace

namespace fgp {

int FormatV(std::string& out, const char* format, va_list args) { return FormatCopy(out, format, args); }
int FormatV(std::u16string& out, const char16_t* format, va_list args) { return FormatCopy(out, format, args); }

}  // namespace fgp
