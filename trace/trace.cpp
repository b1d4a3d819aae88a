// Trace categories, the line layout and the write operations.
#include "trace/trace.h"

#include "frame/frame_exception.h"
#include "trace/trace_settings.h"

namespace {

constexpr int kLineChars = 1024;

// Appends the formatted message at *position while the line has room; a
// message that does not fit marks the line full (it is cut at 1023
// characters). The runtime error number is kept as the caller had it unless
// the print reports a real error, which goes to CheckCrtError.
template <class C>
void AppendMessage(C* buffer, int* position, const C* format, va_list args) {
  if (*position < 0 || *position >= kLineChars) return;
  int saved = 0;
  _get_errno(&saved);
  _set_errno(0);
  int written;
  if constexpr (sizeof(C) == 1)
    written = _vsnprintf_s(buffer + *position, kLineChars - *position, kLineChars - 1 - *position, format, args);
  else
    written = _vsnwprintf_s(buffer + *position, kLineChars - *position, kLineChars - 1 - *position, format, args);
  int error = 0;
  _get_errno(&error);
  *position = written < 0 ? kLineChars : *position + written;
  if (error != 0)
    CheckCrtError(error);
  else
    _set_errno(saved);
}

template <class C>
void AppendPart(C* buffer, int* position, const C* format, ...) {
  va_list args;
  va_start(args, format);
  AppendMessage(buffer, position, format, args);
  va_end(args);
}

}  // namespace

TraceCategory::TraceCategory(const char* name, UINT startLevel)
    : m_handle(TraceRegisterCategoryA(TraceLibraryModule(), name)), m_record(TraceCategoryOf(m_handle)) {
  (void)TraceModifyCategory(nullptr, m_handle, startLevel, TraceStatusInherit);
}


// The 27 categories, registered in this order (handles 1 to 27), before
// every other static object of the library.
__attribute__((init_priority(200))) TraceCategory traceGeneral("traceGeneral");
__attribute__((init_priority(200))) TraceCategory traceCOM("traceCOM");
__attribute__((init_priority(200))) TraceCategory traceQI("traceQI");
__attribute__((init_priority(200))) TraceCategory traceRegistrar("traceRegistrar");
__attribute__((init_priority(200))) TraceCategory traceRefcount("traceRefcount");
__attribute__((init_priority(200))) TraceCategory traceWindowing("traceWindowing");
__attribute__((init_priority(200))) TraceCategory traceControls("traceControls");
__attribute__((init_priority(200))) TraceCategory traceHosting("traceHosting");
__attribute__((init_priority(200))) TraceCategory traceDBClient("traceDBClient");
__attribute__((init_priority(200))) TraceCategory traceDBProvider("traceDBProvider");
__attribute__((init_priority(200))) TraceCategory traceSnapin("traceSnapin");
__attribute__((init_priority(200))) TraceCategory traceNotImpl("traceNotImpl");
__attribute__((init_priority(200))) TraceCategory traceAllocation("traceAllocation");
__attribute__((init_priority(200))) TraceCategory traceException("traceException");
__attribute__((init_priority(200))) TraceCategory traceTime("traceTime");
__attribute__((init_priority(200))) TraceCategory traceCache("traceCache");
__attribute__((init_priority(200))) TraceCategory traceStencil("traceStencil");
__attribute__((init_priority(200))) TraceCategory traceString("traceString");
__attribute__((init_priority(200))) TraceCategory traceMap("traceMap");
__attribute__((init_priority(200))) TraceCategory traceUtil("traceUtil");
__attribute__((init_priority(200))) TraceCategory traceSecurity("traceSecurity");
__attribute__((init_priority(200))) TraceCategory traceSync("traceSync");
__attribute__((init_priority(200))) TraceCategory traceISAPI("traceISAPI");
__attribute__((init_priority(200))) TraceCategory traceUser("traceUser");
__attribute__((init_priority(200))) TraceCategory traceUser2("traceUser2");
__attribute__((init_priority(200))) TraceCategory traceUser3("traceUser3");
__attribute__((init_priority(200))) TraceCategory traceUser4("traceUser4");

namespace {

// One line: the filter, the prefixes the process asks for, the message, and
// the module's report routine (else the debugger output). A line changes
// nothing for its caller: the runtime error number is as it was, and no
// exception leaves (a line whose formatting fails is dropped).
template <class C>
void WriteLine(DWORD_PTR module, const char* file, int line, DWORD_PTR category, UINT level, const C* format,
               va_list args) {
  TraceCategoryRecord* record = nullptr;
  RuntimeDebugReportFunc report = nullptr;
  if (!ShouldTrace(module, category, level, &record, &report)) return;  // the filter changes nothing
  int savedErrno = 0;
  _get_errno(&savedErrno);
  try {
    C buffer[kLineChars] = {};
    int position = 0;
    const TraceProcessRecord* process = TraceOwnStore().Process();
    if (process->bShowFileLine) {
      if constexpr (sizeof(C) == 1)
        AppendPart(buffer, &position, "%s(%d) : ", file, line);
      else
        AppendPart(buffer, &position, u"%S(%d) : ", file, line);
    }
    if (record != nullptr && process->bShowCategory) {
      // The name is read from shared memory: copied with its length bounded.
      WCHAR name[64];
      int n = 0;
      for (; n < 63 && record->szName[n] != 0; ++n) name[n] = record->szName[n];
      name[n] = 0;
      if constexpr (sizeof(C) == 1)
        AppendPart(buffer, &position, "%S: ", name);
      else
        AppendPart(buffer, &position, u"%s: ", name);
    }
    AppendMessage(buffer, &position, format, args);
    if constexpr (sizeof(C) == 1) {
      if (report != nullptr)
        report(_CRT_WARN, nullptr, 0, nullptr, "%s", buffer);
      else
        OutputDebugStringA(buffer);
    } else {
      if (report != nullptr)
        report(_CRT_WARN, nullptr, 0, nullptr, "%S", buffer);
      else
        OutputDebugStringW(buffer);
    }
  } catch (...) {
  }
  _set_errno(savedErrno);
}

}  // namespace

void TraceWriteA(DWORD_PTR module, const char* file, int line, DWORD_PTR category, UINT level, const char* format,
                 va_list args) {
  WriteLine(module, file, line, category, level, format, args);
}

void TraceWriteW(DWORD_PTR module, const char* file, int line, DWORD_PTR category, UINT level,
                 const char16_t* format, va_list args) {
  WriteLine(module, file, line, category, level, format, args);
}

void TraceSite::Write(const TraceCategory& category, UINT level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  TraceWriteA(TraceLibraryModule(), m_file, m_line, category.Handle(), level, format, args);
  va_end(args);
}

void TraceSite::Write(const TraceCategory& category, UINT level, const char16_t* format, ...) const {
  va_list args;
  va_start(args, format);
  TraceWriteW(TraceLibraryModule(), m_file, m_line, category.Handle(), level, format, args);
  va_end(args);
}
