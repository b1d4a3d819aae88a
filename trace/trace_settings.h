// The settings the trace filter reads: a process record, module records
// and category records, with the defaults process enabled at level 0,
// category and file prefixes off, modules and categories inheriting at
// level 0.
//
// Deliberately minimal for now: the records are kept in this process only.
// The shared settings store that an outside tool can change replaces this
// file's storage; the filter and the call sites stay as they are.
#pragma once

#include "fgplatform/crt.h"
#include "trace/trace.h"

struct TraceSettings {
  UINT nTraceLevel;
  DWORD eTraceStatus;
};

struct TraceProcessSettings {
  UINT nTraceLevel = 0;
  bool bEnabled = true;
  bool bShowCategory = false;
  bool bShowFileLine = false;
};

struct TraceModuleSettings {
  TraceSettings settings{0, TraceStatusInherit};
  RuntimeDebugReportFunc pfnReport = nullptr;
};

struct TraceCategorySettings {
  TraceSettings settings{0, TraceStatusInherit};
  char16_t szName[64] = {};
};

TraceProcessSettings* TraceProcess();
// Null for a handle that names no record (0 included).
TraceModuleSettings* TraceModuleRecord(DWORD_PTR module);
TraceCategorySettings* TraceCategoryRecord(DWORD_PTR category);

// Registers a category of a module and answers its handle (0: none).
DWORD_PTR TraceRegisterCategoryA(DWORD_PTR module, const char* name);
// Stores the level, and the status when it is 0, 1 or 2. Always true.
bool TraceModifyCategory(void* store, DWORD_PTR category, UINT level, DWORD status);
bool TraceModifyModule(void* store, DWORD_PTR module, UINT level, DWORD status);
bool TraceModifyProcess(void* store, UINT level, bool enabled, bool showCategory, bool showFileLine);

// The filter: whether a line of `level` passes; fills the category record
// to prefix with (only when category names are shown) and the module's
// report routine.
bool ShouldTrace(DWORD_PTR module, DWORD_PTR category, UINT level, TraceCategorySettings** category_out,
                 RuntimeDebugReportFunc* report_out);
