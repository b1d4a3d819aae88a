// The library's debug assertion: in Debug builds a failed condition is
// reported through the runtime's debug report with the expression text, the
// source name and the line, and execution continues. Release builds
// evaluate nothing.
#pragma once

#include "fgplatform/crt.h"

#ifndef NDEBUG
#define FG_ASSERT_TEXT(cond, text, source)                                        \
  do {                                                                            \
    if (!(cond)) RuntimeDebugReport(_CRT_ASSERT, source, __LINE__, nullptr, "%s", text); \
  } while (0)
#else
#define FG_ASSERT_TEXT(cond, text, source) \
  do {                                     \
  } while (0)
#endif

#define FG_ASSERT(cond, source) FG_ASSERT_TEXT(cond, #cond, source)
