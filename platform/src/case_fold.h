// Simple case mapping of the alphabets the platform folds (Basic Latin,
// Latin-1, Latin Extended-A, Greek, Cyrillic) and the comparison built on it.
#pragma once

#include <cstddef>

namespace fgp {

char16_t UpperCase(char16_t c);
char16_t LowerCase(char16_t c);
// Compares code unit by code unit (after folding to upper case when asked),
// then by length: <0, 0, >0.
int CompareFolded(const char16_t* a, size_t na, const char16_t* b, size_t nb, bool ignoreCase);

}  // namespace fgp
