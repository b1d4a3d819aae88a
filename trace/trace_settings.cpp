// The library's own trace store, its module and the filter.
#include "trace/trace_settings.h"

#include <cstdio>
#include <cstring>

#include "frame/debug_assert.h"
#include "frame/frame_exception.h"

const TraceProcessRecord* g_traceProcessRecord = nullptr;
const TraceModuleRecord* g_traceModuleRecord = nullptr;

namespace {

constexpr const char* kSource = "trace";

// The store, made and attached at load before the module and its
// categories register, closed after they are gone.
class TraceStoreObject {
 public:
  TraceStoreObject() {
    char name[260];
    int n = std::snprintf(name, sizeof name, "%s_%0x", kTraceStoreName, static_cast<unsigned>(GetCurrentProcessId()));
    // A store that cannot be made leaves tracing silent; the library loads
    // all the same (an exception here would end the host), and says why on
    // the debugger output.
    if (n > 0 && n < static_cast<int>(sizeof name) && m_store.CreateStore(name, kTraceStoreSize)) {
      g_traceProcessRecord = m_store.Process();
    } else {
      DWORD error = GetLastError();
      char line[400];
      std::snprintf(line, sizeof line, "trace: tracing is off: the trace store %s %s (error %lu)\n", name,
                    error == ERROR_ACCESS_DENIED ? "is held by an object this user does not trust" : "cannot be made",
                    static_cast<unsigned long>(error));
      OutputDebugStringA(line);
    }
    TraceSetOwnStore([]() -> CTraceAllocator* { return &TraceOwnStore(); });
    TraceSetRaise(FrameThrow);
  }
  ~TraceStoreObject() {
    g_traceProcessRecord = nullptr;
    m_store.CloseStore(false);
  }
  CTraceAllocator m_store;
};

__attribute__((init_priority(150))) TraceStoreObject g_traceStore;

// The library's own registration in the store.
class TraceModule {
 public:
  TraceModule() {
    HMODULE self = nullptr;
    (void)GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&TraceLibraryModule)), &self);
    m_handle = TraceRegister(self, RuntimeDebugReport);
    m_record = m_handle != 0 ? TraceOwnStore().GetModule(static_cast<LONG>(m_handle - 1)) : nullptr;
    g_traceModuleRecord = m_record;
  }
  ~TraceModule() {
    g_traceModuleRecord = nullptr;
    if (m_handle != 0) (void)TraceUnregister(m_handle);
  }
  DWORD_PTR m_handle = 0;
  const TraceModuleRecord* m_record = nullptr;
};

__attribute__((init_priority(190))) TraceModule g_traceModule;

// A settings tool waiting for a process of this name (trace_tool.h) is told
// once the library's module and categories are registered, and given a
// moment to apply its settings before the library's first line.
void MeetWaitingTool() {
  const TraceProcessRecord* process = TraceOwnStore().Process();
  if (process == nullptr) return;
  char name[kTraceNameChars + 1];
  int n = WideCharToMultiByte(CP_UTF8, 0, process->base.szName, -1, name, sizeof name, nullptr, nullptr);
  char waiting[128], applied[64];
  if (n <= 0 || !TraceWaitingEventName(name, waiting, sizeof waiting) ||
      !TraceAppliedEventName(GetCurrentProcessId(), applied, sizeof applied))
    return;
  HANDLE tool = OpenEventA(EVENT_MODIFY_STATE, FALSE, waiting);
  if (tool == nullptr) return;  // no tool waits: the usual case, one failed open
  if (HANDLE done = CreateEventA(nullptr, FALSE, FALSE, applied)) {
    SetEvent(tool);
    (void)WaitForSingleObject(done, kTraceToolWaitMs);
    CloseHandle(done);
  }
  CloseHandle(tool);
}

// After the categories, which are registered at priority 200.
struct TraceToolMeeting {
  TraceToolMeeting() { MeetWaitingTool(); }
};
__attribute__((init_priority(210))) TraceToolMeeting g_traceToolMeeting;

LONG IndexOf(DWORD_PTR handle) { return handle == 0 ? -1 : static_cast<LONG>(handle - 1); }

}  // namespace

CTraceAllocator& TraceOwnStore() { return g_traceStore.m_store; }

DWORD_PTR TraceLibraryModule() { return g_traceModule.m_handle; }

DWORD_PTR TraceRegister(HINSTANCE hInst, RuntimeDebugReportFunc report) {
  LONG index = TraceOwnStore().AddModule(hInst, report != nullptr ? report : RuntimeDebugReport);
  NotifyTool();
  return static_cast<DWORD_PTR>(index + 1);
}

bool TraceUnregister(DWORD_PTR module) {
  (void)TraceOwnStore().RemoveModule(IndexOf(module));
  NotifyTool();
  return true;
}

DWORD_PTR TraceRegisterCategoryA(DWORD_PTR module, const char* name) {
  if (name == nullptr) return 0;
  try {
    CNarrowToWide wide(name);
    return TraceRegisterCategoryW(module, wide);
  } catch (const CFrameException&) {
    return 0;  // a name that cannot be converted registers nothing
  }
}

DWORD_PTR TraceRegisterCategoryW(DWORD_PTR module, const WCHAR* name) {
  if (name == nullptr) return 0;
  LONG index = TraceOwnStore().AddCategory(IndexOf(module), name);
  NotifyTool();
  return static_cast<DWORD_PTR>(index + 1);
}

TraceCategoryRecord* TraceCategoryOf(DWORD_PTR category) {
  const TraceProcessRecord* process = TraceOwnStore().Process();  // null without a store
  if (category == 0 || process == nullptr || static_cast<LONG>(category - 1) >= process->nCategorySlots) return nullptr;
  return TraceOwnStore().GetCategory(IndexOf(category));
}

bool ShouldTrace(DWORD_PTR moduleHandle, DWORD_PTR categoryHandle, UINT level, TraceCategoryRecord** ppCategory,
                 RuntimeDebugReportFunc* pfnDebugReport) {
  FG_ASSERT_TEXT(ppCategory && pfnDebugReport, "ppCategory && pfnDebugReport", kSource);
  *ppCategory = nullptr;
  *pfnDebugReport = nullptr;
  CTraceAllocator& store = TraceOwnStore();
  const TraceProcessRecord* process = store.Process();
  FG_ASSERT_TEXT(process != nullptr, "pProcess", kSource);
  if (process == nullptr) return false;  // no store: nothing is written
  LONG iModule = IndexOf(moduleHandle);
  // GetModule and GetCategory assert on handles above the counts themselves.
  const TraceModuleRecord* module = store.GetModule(iModule);
  if (module == nullptr) {
    FG_ASSERT_TEXT(false, "pModule != 0", kSource);
    return false;
  }
  *pfnDebugReport = store.ReportOf(iModule);
  LONG iCategory = IndexOf(categoryHandle);
  TraceCategoryRecord* category = store.GetCategory(iCategory);
  if (category == nullptr) return false;
  DWORD moduleStatus = module->settings.eTraceStatus;
  DWORD categoryStatus = category->settings.eTraceStatus;
  bool pass = (process->bEnabled && moduleStatus == TraceStatusInherit && categoryStatus == TraceStatusInherit &&
               level <= process->nTraceLevel) ||
              (moduleStatus == TraceStatusEnabled && categoryStatus == TraceStatusInherit &&
               level <= module->settings.nTraceLevel) ||
              (categoryStatus == TraceStatusEnabled && level <= category->settings.nTraceLevel);
  if (!pass) return false;
  if (process->bShowCategory) *ppCategory = category;
  return true;
}

void NotifyTool() {
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, kTraceUpdateEventName);
  if (event == nullptr) return;
  SetEvent(event);
  CloseHandle(event);
}

WCHAR* AllocConversionBuffer(WCHAR** ppBuff, int nLength, WCHAR* pszFixed, int nFixed) {
  FG_ASSERT_TEXT(ppBuff != nullptr && nLength >= 0 && pszFixed != nullptr, "ppBuff && nLength >= 0 && pszFixed",
                 kSource);
  if (ppBuff == nullptr || nLength < 0 || pszFixed == nullptr) FrameThrow(E_INVALIDARG);
  size_t bytes = static_cast<size_t>(nLength) * sizeof(WCHAR);
  if (*ppBuff == pszFixed) {
    if (nLength > nFixed) {
      auto* heap = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
      if (heap == nullptr) FrameThrow(E_OUTOFMEMORY);
      *ppBuff = heap;
    }
  } else if (*ppBuff != nullptr && nLength > nFixed) {
    auto* heap = static_cast<WCHAR*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, *ppBuff, bytes));
    if (heap == nullptr) FrameThrow(E_OUTOFMEMORY);
    *ppBuff = heap;
  } else {
    if (*ppBuff != nullptr) HeapFree(GetProcessHeap(), 0, *ppBuff);
    *ppBuff = pszFixed;
  }
  return *ppBuff;
}

void FreeConversionBuffer(WCHAR* pBuff, WCHAR* pszFixed, int nFixed) {
  if (pBuff == nullptr) return;
  if (pBuff == pszFixed) {
    std::memset(pszFixed, 0xFE, static_cast<size_t>(nFixed) * sizeof(WCHAR));
    return;
  }
  HeapFree(GetProcessHeap(), 0, pBuff);
}

CNarrowToWide::CNarrowToWide(const char* text) {
  if (text == nullptr) return;
  int length = static_cast<int>(std::strlen(text)) + 1;
  m_psz = m_szFixed;
  AllocConversionBuffer(&m_psz, length, m_szFixed, kConversionInline);
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, m_psz, length) != 0) return;
  DWORD error = GetLastError();
  if (error == ERROR_INSUFFICIENT_BUFFER) {
    int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, nullptr, 0);
    if (needed > 0) {
      AllocConversionBuffer(&m_psz, needed, m_szFixed, kConversionInline);
      if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, m_psz, needed) != 0) return;
    }
    error = GetLastError();
  }
  FreeConversionBuffer(m_psz, m_szFixed, kConversionInline);
  m_psz = nullptr;
  FrameThrow(HRESULT_FROM_WIN32(error));
}
