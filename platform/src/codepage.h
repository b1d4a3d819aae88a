// Code-page conversion used inside the platform (formatted prints, debug
// output, the registry's text) on top of iconv.
#pragma once

#include <string>
#include <string_view>

#include "fgplatform/basetypes.h"

namespace fgp {

enum class ConvertResult { Ok, Invalid, Unsupported };

// Decodes 8-bit text of a resolved code page. Invalid input fails with
// `strict`, else becomes U+FFFD (the byte's own code point for 1252).
ConvertResult DecodeCodePage(UINT codePage, std::string_view in, bool strict, std::u16string& out);
// Encodes 16-bit text. Unmappable characters fail with `strict`, else become
// `defaultChar` (U+FFFD for 65001) and set `usedDefault`.
ConvertResult EncodeCodePage(UINT codePage, std::u16string_view in, bool strict, char defaultChar,
                             std::string& out, bool& usedDefault);

std::string WideToUtf8(std::u16string_view in);
std::u16string Utf8ToWide(std::string_view in);

}  // namespace fgp
