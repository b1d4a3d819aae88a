// The least the library needs of its language runtime: the thread's runtime
// error number and the debug report routine.
//
// The runtime error number is kept per thread apart from the C library's
// errno, so that calls of the host's C library never disturb it.
//
// RuntimeDebugReport formats its message (8-bit format, the conventions of
// wtext.h) and hands the report to the debug sink: a warning is the bare
// message; an error or an assertion is "file(line) : " followed by the
// message, and ends with a line end when the message has none. It answers 0
// (do not break into a debugger). Tests capture every report with its type,
// file, line and text.
#pragma once

#include <cstdarg>

#include "fgplatform/basetypes.h"

#define _CRT_WARN 0
#define _CRT_ERROR 1
#define _CRT_ASSERT 2

FG_API errno_t _get_errno(int* pValue);
FG_API errno_t _set_errno(int value);
FG_API int* _fg_errno();

typedef int(__cdecl* RuntimeDebugReportFunc)(int reportType, const char* file, int line, const char* module,
                                              const char* format, ...);

FG_API int RuntimeDebugReport(int reportType, const char* file, int line, const char* module, const char* format,
                              ...);
FG_API int RuntimeDebugReportV(int reportType, const char* file, int line, const char* module,
                               const char* format, va_list args);
