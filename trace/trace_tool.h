// The operations a settings tool uses on the trace store of a process: open
// the region of a process, take a snapshot of its modules and categories,
// read their settings and change them. For the modify and get operations a
// null store handle stands for the calling process's own store (set by the
// library at load); close, snapshot and the info operations need a handle.
#pragma once

#include "trace/trace.h"
#include "trace/trace_store.h"

typedef CTraceAllocator* TraceStoreHandle;

struct TraceProcessInfo {
  WCHAR szName[64];
  WCHAR szPath[260];
  DWORD dwId;
  UINT nLevel;
  bool bEnabled;
  bool bShowCategory;
  bool bShowFileLine;
  int nModules;
};

struct TraceModuleInfo {
  WCHAR szName[64];
  WCHAR szPath[260];
  UINT nLevel;
  DWORD eStatus;
  DWORD_PTR hModule;
  int nCategories;
};

struct TraceCategoryInfo {
  WCHAR szName[64];
  UINT nLevel;
  DWORD eStatus;
  DWORD_PTR hCategory;
};

// The calling process's own store, for null store handles.
void TraceSetOwnStore(CTraceAllocator* (*own)());
// How the operations raise CFrameException: the library sets the routine
// that writes the exception's trace line first; a settings tool, which has
// no trace facility of its own, throws directly.
void TraceSetRaise(void (*raise)(HRESULT));

// Null when the process has no store (or it cannot be opened).
TraceStoreHandle TraceOpenProcess(DWORD processId);
// These raise CFrameException E_FAIL for a null handle, after the debug
// assertion "__condVal".
void TraceCloseProcess(TraceStoreHandle store);
void TraceSnapshotProcess(TraceStoreHandle store);
// These need a handle and its snapshot (E_FAIL without either); a position
// outside the snapshot raises the structured exception 0xC000008C, a missing
// record CFrameException E_FAIL.
void TraceGetProcessInfo(TraceStoreHandle store, TraceProcessInfo* info);
void TraceGetModuleInfo(TraceStoreHandle store, int position, TraceModuleInfo* info);
void TraceGetCategoryInfo(TraceStoreHandle store, DWORD_PTR hModule, int position, TraceCategoryInfo* info);

bool TraceModifyProcess(TraceStoreHandle store, UINT level, bool enabled, bool showCategory, bool showFileLine);
bool TraceModifyModule(TraceStoreHandle store, DWORD_PTR hModule, UINT level, DWORD status);
bool TraceModifyCategory(TraceStoreHandle store, DWORD_PTR hCategory, UINT level, DWORD status);
// Null out-pointers are skipped; a missing record raises CFrameException E_FAIL.
bool TraceGetProcess(TraceStoreHandle store, UINT* level, bool* enabled, bool* showCategory, bool* showFileLine);
bool TraceGetModule(TraceStoreHandle store, DWORD_PTR hModule, UINT* level, DWORD* status);
bool TraceGetCategory(TraceStoreHandle store, DWORD_PTR hCategory, UINT* level, DWORD* status);

// A settings tool can wait for a process by its executable's name and set
// it up before it writes its first line: the tool makes the event named by
// TraceWaitingEventName for that name; a library loading into a process of
// that name, once its module and categories are registered, makes the
// event named by TraceAppliedEventName for its process id, sets the tool's,
// and waits up to kTraceToolWaitMs for the tool to set its own.
// Names are "FarrowgateTraceTool_Waiting_<name>", the name in lower case
// with every character but letters, digits, '.', '-' and '_' as '_', and
// "FarrowgateTraceTool_Applied_<pid in hex>". False when the buffer is too
// small.
inline constexpr DWORD kTraceToolWaitMs = 2000;
bool TraceWaitingEventName(const char* processName, char* out, size_t size);
bool TraceAppliedEventName(DWORD processId, char* out, size_t size);

// "FarrowgateTraceTool_ProcessAddedStatic3", the event a tool waits on.
void TraceGetUpdateEventNameA(char* name);
void TraceGetUpdateEventNameA_s(char* name, size_t size);
void TraceGetUpdateEventNameW(WCHAR* name);
void TraceGetUpdateEventNameW_s(WCHAR* name, size_t size);
