// The runtime error number and the debug report routine.
#include "fgplatform/crt.h"

#include <string>

#include "debug_sink.h"
#include "format.h"
#include "fgplatform/wtext.h"

namespace {
thread_local int t_runtimeErrno = 0;
}

errno_t _get_errno(int* pValue) {
  if (pValue == nullptr) return EINVAL;
  *pValue = t_runtimeErrno;
  return 0;
}

errno_t _set_errno(int value) {
  t_runtimeErrno = value;
  return 0;
}

int* _fg_errno() { return &t_runtimeErrno; }

int RuntimeDebugReportV(int reportType, const char* file, int line, const char* module, const char* format,
                        va_list args) {
  std::string text;
  if (format != nullptr && fgp::FormatV(text, format, args) != 0) text = format;
  fgp::DebugSinkReport(reportType, file, line, module, text);
  return 0;
}

int RuntimeDebugReport(int reportType, const char* file, int line, const char* module, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = RuntimeDebugReportV(reportType, file, line, module, format, args);
  va_end(args);
  return rc;
}
