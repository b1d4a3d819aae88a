// The trace facility every subsystem writes through: 27 named categories,
// levels 0 to 2, and the call FGTRACE(category, level, format, ...) with an
// 8- or 16-bit format.
//
// A line passes when the settings admit its level (see trace_settings.h);
// written lines go to the module's report routine (the runtime's debug
// report), as warning reports with the finished line as their only text.
// With the default settings exactly the level 0 lines are written, as bare
// message text.
#pragma once

#include <cstdarg>

#include "fgplatform/win32.h"
#include "trace/trace_store.h"

enum TraceStatus : DWORD { TraceStatusInherit = 0, TraceStatusEnabled = 1, TraceStatusDisabled = 2 };

class TraceCategory {
 public:
  TraceCategory(const char* name, UINT startLevel = 0);
  DWORD_PTR Handle() const { return m_handle; }
  // The category's record in the store; null without one.
  const TraceCategoryRecord* Record() const { return m_record; }

 private:
  DWORD_PTR m_handle;
  const TraceCategoryRecord* m_record = nullptr;
};

// The process record and the library's module record while the store is
// open (null otherwise), for the quick check below.
extern const TraceProcessRecord* g_traceProcessRecord;
extern const TraceModuleRecord* g_traceModuleRecord;

// Whether a line can be passed over without the whole filter: the same
// decision as the filter's, from the category's own setting when it is
// enabled, else the library module's when the category inherits and the
// module is enabled, else the process's when both inherit; a disabled
// category or module admits nothing. Answers false for every line the filter
// may admit (it then decides alone).
inline bool TraceSkipsQuickly(const TraceCategory& category, UINT level) {
  const TraceCategoryRecord* record = category.Record();
  const TraceProcessRecord* process = g_traceProcessRecord;
  const TraceModuleRecord* module = g_traceModuleRecord;
  if (record == nullptr || process == nullptr || module == nullptr) return true;  // nothing is written
  DWORD categoryStatus = record->settings.eTraceStatus;
  if (categoryStatus == TraceStatusEnabled) return level > record->settings.nTraceLevel;
  if (categoryStatus != TraceStatusInherit) return true;
  DWORD moduleStatus = module->settings.eTraceStatus;
  if (moduleStatus == TraceStatusEnabled) return level > module->settings.nTraceLevel;
  if (moduleStatus != TraceStatusInherit) return true;
  return process->bEnabled == 0 || level > process->nTraceLevel;
}

extern TraceCategory traceGeneral;
extern TraceCategory traceCOM;
extern TraceCategory traceQI;
extern TraceCategory traceRegistrar;
extern TraceCategory traceRefcount;
extern TraceCategory traceWindowing;
extern TraceCategory traceControls;
extern TraceCategory traceHosting;
extern TraceCategory traceDBClient;
extern TraceCategory traceDBProvider;
extern TraceCategory traceSnapin;
extern TraceCategory traceNotImpl;
extern TraceCategory traceAllocation;
extern TraceCategory traceException;
extern TraceCategory traceTime;
extern TraceCategory traceCache;
extern TraceCategory traceStencil;
extern TraceCategory traceString;
extern TraceCategory traceMap;
extern TraceCategory traceUtil;
extern TraceCategory traceSecurity;
extern TraceCategory traceSync;
extern TraceCategory traceISAPI;
extern TraceCategory traceUser;
extern TraceCategory traceUser2;
extern TraceCategory traceUser3;
extern TraceCategory traceUser4;

// The library's own module handle in the trace settings.
DWORD_PTR TraceLibraryModule();

// Writes one line for a module; nothing when the settings do not admit it.
void TraceWriteA(DWORD_PTR module, const char* file, int line, DWORD_PTR category, UINT level, const char* format,
                 va_list args);
void TraceWriteW(DWORD_PTR module, const char* file, int line, DWORD_PTR category, UINT level,
                 const char16_t* format, va_list args);

// A source position and the two write forms for it.
class TraceSite {
 public:
  TraceSite(const char* file, int line) : m_file(file), m_line(line) {}
  // A line that is not admitted costs the quick check only.
  template <class... Args>
  void operator()(const TraceCategory& category, UINT level, const char* format, Args... args) const {
    if (!TraceSkipsQuickly(category, level)) Write(category, level, format, args...);
  }
  template <class... Args>
  void operator()(const TraceCategory& category, UINT level, const char16_t* format, Args... args) const {
    if (!TraceSkipsQuickly(category, level)) Write(category, level, format, args...);
  }

 private:
  void Write(const TraceCategory& category, UINT level, const char* format, ...) const;
  void Write(const TraceCategory& category, UINT level, const char16_t* format, ...) const;

  const char* m_file;
  int m_line;
};

#define FGTRACE TraceSite(__FILE__, __LINE__)
