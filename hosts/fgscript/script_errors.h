// The line fgscript prints for a script's uncaught error, as the usual
// console script hosts print one:
//   FILE(LINE, COLUMN) Script runtime error: DESCRIPTION (0xCODE)
//   FILE(LINE, COLUMN) Script compilation error: DESCRIPTION (0x800A03EA)
// The place is the engine's; columns count from 1. A thrown value the
// engine gives no place for (a number, a string, a plain object) is
// printed without one: "FILE Script runtime error: ...".
#pragma once

#include <jsc/jsc.h>

#include <string>

namespace fgscript {

struct ScriptError {
  unsigned line = 0;    // 0: unknown
  unsigned column = 0;  // 0: unknown
  bool syntax = false;
  std::string description;
  unsigned code = 0;
};

// An uncaught exception: the description is the thrown value's own
// `description`, else its `message`, else "Exception thrown and not
// caught"; the code its own `number`, else the code of its kind.
ScriptError DescribeUncaught(JSCContext* context, JSCException* exception);

// A syntax error found before the script ran. The engine names the line
// only; the column is that of the token the engine's message names, found
// on that line and confirmed by checking the text up to it (1 when it
// cannot be found).
ScriptError DescribeSyntaxError(JSCContext* context, const std::string& source, JSCException* exception);

std::string FormatError(const std::string& file, const ScriptError& error);

}  // namespace fgscript
