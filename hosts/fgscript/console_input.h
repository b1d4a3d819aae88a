// WScript.StdIn: the host's standard input as a script reads it, a line,
// a number of characters or all of it at a time. Characters are UTF-8
// sequences (a sequence cut short by the end of input is what there is).
// Reads block until the input has what they need or ends; the time limit
// (//T) still ends a script that waits.
#pragma once

#include <jsc/jsc.h>

namespace fgscript {

// All that ReadAll or ReadLine answers at once (Read answers at most this
// much); more is refused as out of memory rather than taking the host's
// memory without bound.
inline constexpr size_t kMaxReadAll = 64u << 20;

// Adds readLine, read, readAll, skipLine, atEnd and atEndOfLine to the
// native object WScript is built over. readLine and read answer null at
// the end of input, skipLine false.
void AddConsoleInput(JSCValue* native);

}  // namespace fgscript
