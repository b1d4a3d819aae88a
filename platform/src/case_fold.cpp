#include "case_fold.h"

#include <unicode/uchar.h>

namespace fgp {

namespace {

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// A simple mapping that leaves the basic plane stays a code unit; one that
// would leave it (none does for simple case mapping today) keeps `c`.
char16_t Unit(UChar32 mapped, char16_t c) { return mapped >= 0 && mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : c; }

}  // namespace

char16_t UpperCase(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  if (IsSurrogate(c)) return c;
  return Unit(u_toupper(c), c);
}

char16_t LowerCase(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (IsSurrogate(c)) return c;
  return Unit(u_tolower(c), c);
}

int CompareFolded(const char16_t* a, size_t na, const char16_t* b, size_t nb, bool ignoreCase) {
  size_t n = na < nb ? na : nb;
  for (size_t i = 0; i < n; ++i) {
    char16_t ca = ignoreCase ? UpperCase(a[i]) : a[i];
    char16_t cb = ignoreCase ? UpperCase(b[i]) : b[i];
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (na == nb) return 0;
  return na < nb ? -1 : 1;
}

}  // namespace fgp
