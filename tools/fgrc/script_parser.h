// Reads a resource script: STRINGTABLE, LANGUAGE, VERSIONINFO, and
// resources given by a file (a user-defined type, TYPELIB, REGISTRY,
// RT_MANIFEST or 24, RCDATA). Files are looked up beside the script, then
// in the include directories. Throws ScriptError with the line of the fault.
#pragma once

#include <string>
#include <vector>

#include "resource_set.h"
#include "script_lexer.h"

namespace fgrc {

struct ScriptInput {
  std::string path;                      // the script, for relative file names
  std::vector<std::string> includeDirs;  // further places to look for files
};

// The resources and the files they were read from.
std::vector<Resource> ParseScript(const std::string& text, const ScriptInput& input,
                                  std::vector<std::string>& filesRead);

}  // namespace fgrc
