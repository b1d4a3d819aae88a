// The runtime's printf engine for 8- and 16-bit formats, following the
// conventions written down in fgplatform/wtext.h.
#pragma once

#include <cstdarg>
#include <string>

namespace fgp {

// Appends the formatted text to `out`. Answers 0, or EINVAL for a format the
// runtime refuses (an unknown conversion, %n).
int FormatV(std::string& out, const char* format, va_list args);
int FormatV(std::u16string& out, const char16_t* format, va_list args);

}  // namespace fgp
