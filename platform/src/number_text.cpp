#include "number_text.h"

#include <cmath>
#include <string>

namespace fgp {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == 0xA0; }
int DigitValue(char16_t c, int base) {
  int v = -1;
  if (c >= u'0' && c <= u'9') v = c - u'0';
  if (c >= u'a' && c <= u'f') v = c - u'a' + 10;
  if (c >= u'A' && c <= u'F') v = c - u'A' + 10;
  return v < base ? v : -1;
}

bool ParseRadix(const char16_t* p, const char16_t* end, int base, ParsedNumber& out) {
  out.radix = true;
  if (p == end) return false;
  for (; p < end; ++p) {
    int d = DigitValue(*p, base);
    if (d < 0) return false;
    if (out.magnitude > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) out.tooLarge = true;
    out.magnitude = out.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  out.real = static_cast<double>(out.magnitude);
  return true;
}

}  // namespace

bool ParseNumberText(const char16_t* text, size_t length, ParsedNumber& out) {
  out = ParsedNumber{};
  if (text == nullptr) return false;
  const char16_t* p = text;
  const char16_t* end = text + length;
  while (p < end && IsBlank(*p)) ++p;
  while (end > p && IsBlank(end[-1])) --end;
  if (p < end && (*p == u'+' || *p == u'-')) out.negative = *p++ == u'-';
  if (end - p >= 2 && p[0] == u'&' && (p[1] == u'H' || p[1] == u'h')) return ParseRadix(p + 2, end, 16, out);
  if (end - p >= 2 && p[0] == u'&' && (p[1] == u'O' || p[1] == u'o')) return ParseRadix(p + 2, end, 8, out);

  std::string digits;  // for strtod
  bool sawDigit = false;
  for (; p < end && ((*p >= u'0' && *p <= u'9') || (*p == u',' && sawDigit)); ++p) {
    if (*p == u',') continue;
    sawDigit = true;
    digits.push_back(static_cast<char>(*p));
    uint64_t d = static_cast<uint64_t>(*p - u'0');
    if (out.magnitude > (UINT64_MAX - d) / 10) out.tooLarge = true;
    out.magnitude = out.magnitude * 10 + d;
  }
  if (p < end && *p == u'.') {
    out.isInteger = false;
    digits.push_back('.');
    for (++p; p < end && *p >= u'0' && *p <= u'9'; ++p) {
      sawDigit = true;
      digits.push_back(static_cast<char>(*p));
    }
  }
  if (!sawDigit) return false;
  if (p < end && (*p == u'e' || *p == u'E')) {
    out.isInteger = false;
    digits.push_back('e');
    ++p;
    if (p < end && (*p == u'+' || *p == u'-')) digits.push_back(static_cast<char>(*p++));
    bool expDigit = false;
    for (; p < end && *p >= u'0' && *p <= u'9'; ++p) {
      expDigit = true;
      digits.push_back(static_cast<char>(*p));
    }
    if (!expDigit) return false;
  }
  if (p != end) return false;
  out.real = std::strtod(digits.c_str(), nullptr);
  return true;
}

double RoundHalfEven(double value) { return std::nearbyint(value); }  // default rounding mode: to nearest even

bool InSigned(double r, int64_t min, int64_t max) {
  return r >= static_cast<double>(min) && r < static_cast<double>(max) + 1.0;
}

bool InUnsigned(double r, uint64_t max) { return r >= 0 && r < static_cast<double>(max) + 1.0; }

bool NumberToSigned(const ParsedNumber& n, int64_t min, int64_t max, int64_t& out) {
  if (!n.isInteger) {
    double r = RoundHalfEven(n.negative ? -n.real : n.real);
    if (!InSigned(r, min, max)) return false;
    out = static_cast<int64_t>(r);
    return true;
  }
  if (n.tooLarge) return false;
  if (n.negative) {
    if (n.magnitude > static_cast<uint64_t>(-(min + 1)) + 1) return false;
    out = n.magnitude == 0 ? 0 : -static_cast<int64_t>(n.magnitude - 1) - 1;
    return true;
  }
  if (n.magnitude > static_cast<uint64_t>(max)) return false;
  out = static_cast<int64_t>(n.magnitude);
  return true;
}

bool NumberToUnsigned(const ParsedNumber& n, uint64_t max, uint64_t& out) {
  if (!n.isInteger) {
    double r = RoundHalfEven(n.negative ? -n.real : n.real);
    if (r == 0) r = 0;  // -0
    if (!InUnsigned(r, max)) return false;
    out = static_cast<uint64_t>(r);
    return true;
  }
  if (n.tooLarge || (n.negative && n.magnitude != 0) || n.magnitude > max) return false;
  out = n.magnitude;
  return true;
}

}  // namespace fgp
