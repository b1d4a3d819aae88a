// Names of the objects several processes share (file mappings, events):
// the POSIX name a Win32 name stands for, and the removal of the names a
// process created when it is done with them or exits.
#pragma once

#include <string>

#include "fgplatform/basetypes.h"

namespace fgp {

// Win32 names of shared objects hold at most this many characters.
inline constexpr size_t kMaxSharedName = 200;

// "/fg.<user id>.<kind><name>" with "/" and "\" turned into "_"; false
// (ERROR_FILENAME_EXCED_RANGE, or ERROR_INVALID_NAME for an empty name) when
// the name cannot be one.
bool PosixSharedName(LPCSTR name, const char* kind, std::string& out);

// The process that made the object of `posixName` removes the name when
// ForgetSharedName is called for it, or at exit. A forked child inherits the
// record but removes nothing: the names are its parent's.
void RememberSharedName(const std::string& posixName);
void ForgetSharedName(const std::string& posixName);

}  // namespace fgp
