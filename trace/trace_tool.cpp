#include "trace/trace_tool.h"

#include <cstdio>
#include <new>

#include "frame/debug_assert.h"
#include "frame/frame_exception.h"

namespace {

constexpr const char* kSource = "tracetool";

CTraceAllocator* (*g_ownStore)() = nullptr;

[[noreturn]] void ThrowDirectly(HRESULT hr) { throw CFrameException(hr); }
void (*g_raise)(HRESULT) = ThrowDirectly;

[[noreturn]] void Raise(HRESULT hr) {
  g_raise(hr);
  throw CFrameException(hr);  // not reached: every raise routine throws
}

CTraceAllocator* Resolve(TraceStoreHandle store) {
  if (store != nullptr) return store;
  return g_ownStore != nullptr ? g_ownStore() : nullptr;
}

// A store handle the operation needs: E_FAIL without one.
CTraceAllocator* Required(TraceStoreHandle store) {
  FG_ASSERT_TEXT(store != nullptr, "__condVal", kSource);
  if (store == nullptr) Raise(E_FAIL);
  return store;
}

CTraceAllocator* WithSnapshot(TraceStoreHandle store) {
  CTraceAllocator* allocator = Required(store);
  FG_ASSERT_TEXT(allocator->HasSnapshot(), "pAllocator->m_bSnapshot", kSource);
  if (!allocator->HasSnapshot() || !allocator->IsValid()) Raise(E_FAIL);
  return allocator;
}

void CopyText(WCHAR* to, size_t chars, const WCHAR* from, size_t fromChars) {
  size_t n = 0;
  for (; n + 1 < chars && n < fromChars && from[n] != 0; ++n) to[n] = from[n];
  to[n] = 0;
}

DWORD ReportedStatus(DWORD status) { return status <= TraceStatusDisabled ? status : TraceStatusInherit; }

bool ValidStatus(DWORD status) { return status <= TraceStatusDisabled; }

TraceModuleRecord* ModuleOf(CTraceAllocator* allocator, DWORD_PTR hModule) {
  return allocator != nullptr && hModule != 0 ? allocator->GetModule(static_cast<LONG>(hModule - 1)) : nullptr;
}

TraceCategoryRecord* CategoryOf(CTraceAllocator* allocator, DWORD_PTR hCategory) {
  return allocator != nullptr && hCategory != 0 ? allocator->GetCategory(static_cast<LONG>(hCategory - 1)) : nullptr;
}

void StoreSettings(TraceSettings& settings, UINT level, DWORD status) {
  if (ValidStatus(status))
    settings.eTraceStatus = status;
  else
    FG_ASSERT_TEXT(false, "false", kSource);
  settings.nTraceLevel = level;
}

}  // namespace

void TraceSetOwnStore(CTraceAllocator* (*own)()) { g_ownStore = own; }

void TraceSetRaise(void (*raise)(HRESULT)) { g_raise = raise != nullptr ? raise : ThrowDirectly; }

TraceStoreHandle TraceOpenProcess(DWORD processId) {
  char name[64];
  int n = std::snprintf(name, sizeof name, "%s_%0x", kTraceStoreName, static_cast<unsigned>(processId));
  if (n < 0 || n >= static_cast<int>(sizeof name)) return nullptr;
  auto* allocator = new (std::nothrow) CTraceAllocator;
  if (allocator == nullptr) return nullptr;
  if (allocator->OpenStore(name)) return allocator;
  delete allocator;
  return nullptr;
}

void TraceCloseProcess(TraceStoreHandle store) {
  CTraceAllocator* allocator = Required(store);
  allocator->ReleaseSnapshot();
  allocator->CloseStore(true);
  delete allocator;
}

void TraceSnapshotProcess(TraceStoreHandle store) { Required(store)->TakeSnapshot(); }

void TraceGetProcessInfo(TraceStoreHandle store, TraceProcessInfo* info) {
  CTraceAllocator* allocator = WithSnapshot(store);
  const TraceProcessRecord* p = allocator->Process();
  CopyText(info->szName, 64, p->base.szName, 256);
  CopyText(info->szPath, 260, p->base.szPath, 260);
  info->dwId = p->dwProcessId;
  info->nLevel = p->nTraceLevel;
  info->bEnabled = p->bEnabled != 0;
  info->bShowCategory = p->bShowCategory != 0;
  info->bShowFileLine = p->bShowFileLine != 0;
  info->nModules = allocator->SnapshotModuleCount();
}

void TraceGetModuleInfo(TraceStoreHandle store, int position, TraceModuleInfo* info) {
  CTraceAllocator* allocator = WithSnapshot(store);
  const TraceSnapshotModule* entry = allocator->SnapshotModule(position);
  if (entry == nullptr) {
    FG_ASSERT_TEXT(false, "nIndex >= 0 && nIndex < m_nSize", kSource);
    RaiseException(EXCEPTION_ARRAY_BOUNDS_EXCEEDED, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  }
  TraceModuleRecord* module = ModuleOf(allocator, entry->hModule);
  if (module == nullptr) Raise(E_FAIL);
  CopyText(info->szName, 64, module->base.szName, 256);
  CopyText(info->szPath, 260, module->base.szPath, 260);
  info->nLevel = module->settings.nTraceLevel;
  info->eStatus = ReportedStatus(module->settings.eTraceStatus);
  info->hModule = entry->hModule;
  info->nCategories = entry->nCategories;
}

void TraceGetCategoryInfo(TraceStoreHandle store, DWORD_PTR hModule, int position, TraceCategoryInfo* info) {
  CTraceAllocator* allocator = WithSnapshot(store);
  TraceModuleRecord* module = ModuleOf(allocator, hModule);
  if (module == nullptr || position < 0) Raise(E_FAIL);
  LONG at = module->base.iFirstCategory;
  for (int step = 0; step < position && at != -1 && step < allocator->MaxCategories(); ++step) {
    TraceCategoryRecord* category = allocator->GetCategory(at);
    if (category == nullptr) Raise(E_FAIL);
    at = category->iNextCategory;
  }
  TraceCategoryRecord* category = allocator->GetCategory(at);
  if (category == nullptr) Raise(E_FAIL);
  CopyText(info->szName, 64, category->szName, 64);
  info->nLevel = category->settings.nTraceLevel;
  info->eStatus = ReportedStatus(category->settings.eTraceStatus);
  info->hCategory = static_cast<DWORD_PTR>(at) + 1;
}

bool TraceModifyProcess(TraceStoreHandle store, UINT level, bool enabled, bool showCategory, bool showFileLine) {
  CTraceAllocator* allocator = Resolve(store);
  if (allocator == nullptr || !allocator->IsValid()) return true;
  TraceProcessRecord* p = allocator->Process();
  p->nTraceLevel = level;
  p->bEnabled = enabled ? 1 : 0;
  p->bShowCategory = showCategory ? 1 : 0;
  p->bShowFileLine = showFileLine ? 1 : 0;
  return true;
}

bool TraceModifyModule(TraceStoreHandle store, DWORD_PTR hModule, UINT level, DWORD status) {
  if (TraceModuleRecord* module = ModuleOf(Resolve(store), hModule)) StoreSettings(module->settings, level, status);
  return true;
}

bool TraceModifyCategory(TraceStoreHandle store, DWORD_PTR hCategory, UINT level, DWORD status) {
  if (TraceCategoryRecord* category = CategoryOf(Resolve(store), hCategory))
    StoreSettings(category->settings, level, status);
  return true;
}

bool TraceGetProcess(TraceStoreHandle store, UINT* level, bool* enabled, bool* showCategory, bool* showFileLine) {
  CTraceAllocator* allocator = Resolve(store);
  if (allocator == nullptr || !allocator->IsValid()) Raise(E_FAIL);
  const TraceProcessRecord* p = allocator->Process();
  if (level != nullptr) *level = p->nTraceLevel;
  if (enabled != nullptr) *enabled = p->bEnabled != 0;
  if (showCategory != nullptr) *showCategory = p->bShowCategory != 0;
  if (showFileLine != nullptr) *showFileLine = p->bShowFileLine != 0;
  return true;
}

bool TraceGetModule(TraceStoreHandle store, DWORD_PTR hModule, UINT* level, DWORD* status) {
  TraceModuleRecord* module = ModuleOf(Resolve(store), hModule);
  if (module == nullptr) Raise(E_FAIL);
  if (level != nullptr) *level = module->settings.nTraceLevel;
  if (status != nullptr) *status = ReportedStatus(module->settings.eTraceStatus);
  return true;
}

bool TraceGetCategory(TraceStoreHandle store, DWORD_PTR hCategory, UINT* level, DWORD* status) {
  TraceCategoryRecord* category = CategoryOf(Resolve(store), hCategory);
  if (category == nullptr) Raise(E_FAIL);
  if (level != nullptr) *level = category->settings.nTraceLevel;
  if (status != nullptr) *status = ReportedStatus(category->settings.eTraceStatus);
  return true;
}

bool TraceWaitingEventName(const char* processName, char* out, size_t size) {
  int n = std::snprintf(out, size, "FarrowgateTraceTool_Waiting_");
  if (processName == nullptr || n < 0 || static_cast<size_t>(n) >= size) return false;
  size_t at = static_cast<size_t>(n);
  for (const char* c = processName; *c != 0; ++c, ++at) {
    if (at + 1 >= size) return false;
    char ch = *c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a') : *c;
    bool kept = (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '_';
    out[at] = kept ? ch : '_';
  }
  out[at] = 0;
  return true;
}

bool TraceAppliedEventName(DWORD processId, char* out, size_t size) {
  int n = std::snprintf(out, size, "FarrowgateTraceTool_Applied_%x", static_cast<unsigned>(processId));
  return n > 0 && static_cast<size_t>(n) < size;
}

void TraceGetUpdateEventNameA(char* name) { TraceGetUpdateEventNameA_s(name, 64); }

void TraceGetUpdateEventNameA_s(char* name, size_t size) {
  if (name == nullptr || size == 0) return;
  size_t n = 0;
  for (; n + 1 < size && kTraceUpdateEventName[n] != 0; ++n) name[n] = kTraceUpdateEventName[n];
  name[n] = 0;
}

void TraceGetUpdateEventNameW(WCHAR* name) { TraceGetUpdateEventNameW_s(name, 64); }

void TraceGetUpdateEventNameW_s(WCHAR* name, size_t size) {
  if (name == nullptr || size == 0) return;
  size_t n = 0;
  for (; n + 1 < size && kTraceUpdateEventName[n] != 0; ++n) name[n] = static_cast<WCHAR>(kTraceUpdateEventName[n]);
  name[n] = 0;
}
