// fgreg copy and fgreg compare, as the usual registry console tool has them.
//
//   fgreg copy KEY1 KEY2 [/s] [/f]
//     Copies the values of KEY1 (with /s, its whole tree) to KEY2, made when
//     missing. The source is read whole first, so a copy into the source's
//     own tree ends. A value that would be overwritten needs /f, or a yes at
//     the terminal; without it nothing is written.
//
//   fgreg compare KEY1 KEY2 [/v NAME | /ve] [/oa | /od | /os | /on] [/s]
//     Compares the values and subkey names of two keys (with /s, their
//     trees). Lines start with "<" for what only the first has or has
//     differently, ">" for the second, "=" for what both have alike; /od
//     (the default) shows differences, /os what is alike, /oa both, /on
//     nothing. Ends with "Result Compared: Identical" (exit status 0) or
//     "Result Compared: Different" (exit status 2); 1 is a failure.
#pragma once

#include <optional>
#include <string>

#include "fgplatform/win32.h"

namespace fgreg {

struct KeyRef {
  HKEY root = nullptr;
  std::string rootName;
  std::u16string path;
  std::string text;  // as given, for messages
};

int CopyTree(const KeyRef& from, const KeyRef& to, bool recursive, bool force);

enum class CompareOutput { Differences, Same, All, None };

int CompareTrees(const KeyRef& first, const KeyRef& second, const std::optional<std::string>& valueName,
                 CompareOutput output, bool recursive);

}  // namespace fgreg
