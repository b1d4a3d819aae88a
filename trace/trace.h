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

enum TraceStatus : DWORD { TraceStatusInherit = 0, TraceStatusEnabled = 1, TraceStatusDisabled = 2 };

class TraceCategory {
 public:
  TraceCategory(const char* name, UINT startLevel = 0);
  DWORD_PTR Handle() const { return m_handle; }

 private:
  DWORD_PTR m_handle;
};

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
  void operator()(const TraceCategory& category, UINT level, const char* format, ...) const;
  void operator()(const TraceCategory& category, UINT level, const char16_t* format, ...) const;

 private:
  const char* m_file;
  int m_line;
};

#define FGTRACE TraceSite(__FILE__, __LINE__)
