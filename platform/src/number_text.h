// Reading numbers from automation text: blanks around, a sign, decimal
// digits with "," group separators, a fraction and an exponent, or "&H"
// hexadecimal and "&O" octal digits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fgp {

struct ParsedNumber {
  bool isInteger = true;  // no fraction, no exponent
  bool negative = false;
  bool tooLarge = false;  // integer digits beyond 64 bits
  bool radix = false;     // "&H" or "&O" digits: an integer of at most 64 bits
  uint64_t magnitude = 0;
  double real = 0;
};

// False when the text is not a number.
[[nodiscard]] bool ParseNumberText(const char16_t* text, size_t length, ParsedNumber& out);

// Rounds half to even.
double RoundHalfEven(double value);
// Whether a whole number `r` lies in [min, max], compared exactly: the
// bound past max is the power of two max + 1, which a double holds.
bool InSigned(double r, int64_t min, int64_t max);
bool InUnsigned(double r, uint64_t max);

// The number as a signed or unsigned integer in [min, max]; false on
// overflow (a fraction is rounded half to even first).
[[nodiscard]] bool NumberToSigned(const ParsedNumber& n, int64_t min, int64_t max, int64_t& out);
[[nodiscard]] bool NumberToUnsigned(const ParsedNumber& n, uint64_t max, uint64_t& out);

}  // namespace fgp
