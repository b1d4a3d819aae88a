// fgreg query: shows a key's values and subkeys, or searches a tree.
//
//   fgreg query KEY [/v NAME | /ve] [/s] [/f TEXT [/k] [/d] [/c] [/e]] [/t TYPE[,TYPE...]] [/z] [/se SEP]
//
// Without /f a key is shown as the usual tool shows it: its full name, its
// values (indented, "name    TYPE    data"), a blank line, then the full
// names of its subkeys; with /s every key beneath it in turn. /ve on a key
// without a default value shows "(Default)    REG_SZ    (value not set)".
// /f searches key names, value names and data (/k, /v, /d: only those;
// /c: case counts; /e: the whole text must match, else any part may) and
// ends with "End of search: N match(es) found."; finding nothing is exit
// status 1. /t shows only values of the types given, /z adds each type's
// number, /se joins the strings of a REG_MULTI_SZ with SEP (one character)
// instead of \0. A key that another process deletes during the walk is
// passed over.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fgplatform/win32.h"

namespace fgreg {

struct QueryOptions {
  std::string keyText;                   // as given, for messages
  std::optional<std::string> valueName;  // /v NAME, or "" for /ve
  bool valueNamesOnly = false;           // /v without a name, with /f
  bool recursive = false;                // /s
  std::optional<std::string> find;       // /f
  bool keysOnly = false;                 // /k
  bool dataOnly = false;                 // /d
  bool caseSensitive = false;            // /c
  bool exact = false;                    // /e
  std::vector<DWORD> types;              // /t; empty for all
  bool showTypeNumbers = false;          // /z
  std::string separator = "\\0";         // /se
};

// Answers the exit status.
int Query(const QueryOptions& o, HKEY root, const std::string& rootName, const std::u16string& path);

}  // namespace fgreg
