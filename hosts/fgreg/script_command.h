// fgreg script [/u] FILE [NAME=VALUE ...]: runs a registry script file
// through the registrar, registering (or, with /u, unregistering) what it
// describes, with the variables given.
#pragma once

#include <string>
#include <vector>

namespace fgreg {

// Script files are read up to this size.
inline constexpr size_t kMaxScriptFileBytes = 1 << 20;

// The exit status: 0 success, 1 failure (with a message on stderr), 2 a
// variable argument without "=".
int RunScriptFile(const std::string& file, const std::vector<std::string>& variables, bool unregister);

}  // namespace fgreg
