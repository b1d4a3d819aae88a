// Simple case mapping of every 16-bit code unit, as the Unicode character
// database gives it (through ICU): the one-to-one mapping, never the
// expanding kind (so "\u00DF" stays itself); surrogates map to themselves.
// The comparison built on it is the platform's caseless comparison of
// names (lstrcmpiW, the registry, resource names).
#pragma once

#include <cstddef>

namespace fgp {

char16_t UpperCase(char16_t c);
char16_t LowerCase(char16_t c);
// Compares code unit by code unit (after folding to upper case when asked),
// then by length: <0, 0, >0.
int CompareFolded(const char16_t* a, size_t na, const char16_t* b, size_t nb, bool ignoreCase);

}  // namespace fgp
