// Text forms of registry data for the registry tool: parsing the data given
// on the command line, and showing values.
#pragma once

#include <optional>
#include <string>

#include "fgplatform/win32.h"

namespace fgreg {

std::u16string Widen(const std::string& utf8);
std::string Narrow(const std::u16string& text);

// REG_SZ and the other type names; nullopt for an unknown name.
std::optional<DWORD> TypeFromName(const std::string& name);
std::string TypeName(DWORD type);

// The bytes stored for `text` given as data of `type`; nullopt when the text
// does not fit the type (a bad number, odd hexadecimal digits).
std::optional<std::string> ParseData(DWORD type, const std::string& text);
// The data as the query command shows it; the strings of a REG_MULTI_SZ
// are joined with `separator`.
std::string ShowData(DWORD type, const std::string& bytes, const std::string& separator = "\\0");

}  // namespace fgreg
