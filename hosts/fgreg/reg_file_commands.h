// fgreg export KEY FILE [/y] and fgreg import FILE: a tree to a .reg file
// and back.
#pragma once

#include <string>

#include "fgplatform/win32.h"

namespace fgreg {

// Writes the tree at `path` of `root` to `file`. An existing file is
// replaced only with `overwrite` or when the user at the terminal says so;
// a regular file is replaced whole or not at all. Answers the exit status.
int ExportTree(HKEY root, const std::string& rootName, const std::u16string& path, const std::string& keyText,
               const std::string& file, bool overwrite);

// Reads the whole file first, so that a file that cannot be read changes
// nothing; then makes and deletes what it says in its order. Answers the
// exit status.
int ImportFile(const std::string& file);

}  // namespace fgreg
