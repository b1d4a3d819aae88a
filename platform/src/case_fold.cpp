#include "case_fold.h"

namespace fgp {

char16_t UpperCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 32;
  if (c < 0xE0) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    bool oddLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return oddLower ? ((c & 1) == 0 ? c - 1 : c) : ((c & 1) == 1 ? c - 1 : c);
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

char16_t LowerCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F) {
    bool oddLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return oddLower ? ((c & 1) == 1 ? c + 1 : c) : ((c & 1) == 0 ? c + 1 : c);
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
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
