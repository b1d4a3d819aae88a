// The library's side of the trace settings: its own store (created or
// joined at load), the registration of its module and categories, the
// filter every line passes, the conversion of 8-bit names, and the signal
// to a settings tool.
#pragma once

#include "fgplatform/crt.h"
#include "trace/trace.h"
#include "trace/trace_tool.h"

// The store of this process as this library attached to it; not valid when
// it could not be created (then nothing is written).
CTraceAllocator& TraceOwnStore();

// Registers a module (its report routine, else the runtime's debug report)
// and answers its handle, 0 when the store has no room.
DWORD_PTR TraceRegister(HINSTANCE hInst, RuntimeDebugReportFunc report);
bool TraceUnregister(DWORD_PTR module);
// 0 for a null name or when the store has no room.
DWORD_PTR TraceRegisterCategoryA(DWORD_PTR module, const char* name);
DWORD_PTR TraceRegisterCategoryW(DWORD_PTR module, const WCHAR* name);
// The record of a category handle; null for 0 or an unknown handle.
TraceCategoryRecord* TraceCategoryOf(DWORD_PTR category);

// The filter: whether a line of `level` passes; fills the category record
// to prefix with (only when category names are shown) and the module's
// report routine.
bool ShouldTrace(DWORD_PTR module, DWORD_PTR category, UINT level, TraceCategoryRecord** ppCategory,
                 RuntimeDebugReportFunc* pfnDebugReport);

// Sets the settings tool's event, when a tool made it.
void NotifyTool();

// Conversion of 8-bit text (the thread's code page) to 16-bit text, in a
// 128-character buffer of its own or on the heap. Raises CFrameException
// for a failed conversion or allocation.
inline constexpr int kConversionInline = 128;
WCHAR* AllocConversionBuffer(WCHAR** ppBuff, int nLength, WCHAR* pszFixed, int nFixed);
void FreeConversionBuffer(WCHAR* pBuff, WCHAR* pszFixed, int nFixed);

class CNarrowToWide {
 public:
  explicit CNarrowToWide(const char* text);
  ~CNarrowToWide() { FreeConversionBuffer(m_psz, m_szFixed, kConversionInline); }
  CNarrowToWide(const CNarrowToWide&) = delete;
  CNarrowToWide& operator=(const CNarrowToWide&) = delete;
  operator const WCHAR*() const { return m_psz; }

 private:
  WCHAR m_szFixed[kConversionInline];
  WCHAR* m_psz = nullptr;
};
