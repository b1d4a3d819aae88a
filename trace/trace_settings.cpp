// Process-local trace records (see trace_settings.h) and the filter.
#include "trace/trace_settings.h"

#include <vector>

#include "frame/debug_assert.h"

namespace {

struct Records {
  TraceProcessSettings process;
  std::vector<TraceModuleSettings> modules;
  std::vector<TraceCategorySettings> categories;
};

// Made by the first category's registration, which comes before every
// other static object of the library, so it is destroyed after them all.
Records& AllRecords() {
  static Records records;
  return records;
}

bool ValidStatus(DWORD status) { return status <= TraceStatusDisabled; }

}  // namespace

TraceProcessSettings* TraceProcess() { return &AllRecords().process; }

TraceModuleSettings* TraceModuleRecord(DWORD_PTR module) {
  Records& r = AllRecords();
  if (module == 0 || module > r.modules.size()) return nullptr;
  return &r.modules[module - 1];
}

TraceCategorySettings* TraceCategoryRecord(DWORD_PTR category) {
  Records& r = AllRecords();
  if (category == 0 || category > r.categories.size()) return nullptr;
  return &r.categories[category - 1];
}

DWORD_PTR TraceLibraryModule() {
  static DWORD_PTR handle = [] {
    Records& r = AllRecords();
    TraceModuleSettings module;
    module.pfnReport = RuntimeDebugReport;
    r.modules.push_back(module);
    return static_cast<DWORD_PTR>(r.modules.size());
  }();
  return handle;
}

DWORD_PTR TraceRegisterCategoryA(DWORD_PTR module, const char* name) {
  if (name == nullptr || TraceModuleRecord(module) == nullptr) return 0;
  TraceCategorySettings category;
  for (size_t i = 0; i < 63 && name[i] != 0; ++i) category.szName[i] = static_cast<char16_t>(name[i]);
  AllRecords().categories.push_back(category);
  return AllRecords().categories.size();
}

bool TraceModifyCategory(void*, DWORD_PTR handle, UINT level, DWORD status) {
  TraceCategorySettings* category = TraceCategoryRecord(handle);
  if (category == nullptr) return true;
  if (ValidStatus(status))
    category->settings.eTraceStatus = status;
  else
    FG_ASSERT_TEXT(false, "false", "trace");
  category->settings.nTraceLevel = level;
  return true;
}

bool TraceModifyModule(void*, DWORD_PTR handle, UINT level, DWORD status) {
  TraceModuleSettings* module = TraceModuleRecord(handle);
  if (module == nullptr) return true;
  if (ValidStatus(status))
    module->settings.eTraceStatus = status;
  else
    FG_ASSERT_TEXT(false, "false", "trace");
  module->settings.nTraceLevel = level;
  return true;
}

bool TraceModifyProcess(void*, UINT level, bool enabled, bool showCategory, bool showFileLine) {
  TraceProcessSettings* p = TraceProcess();
  p->nTraceLevel = level;
  p->bEnabled = enabled;
  p->bShowCategory = showCategory;
  p->bShowFileLine = showFileLine;
  return true;
}

bool ShouldTrace(DWORD_PTR moduleHandle, DWORD_PTR categoryHandle, UINT level, TraceCategorySettings** categoryOut,
                 RuntimeDebugReportFunc* reportOut) {
  *categoryOut = nullptr;
  *reportOut = nullptr;
  const TraceProcessSettings* process = TraceProcess();
  const TraceModuleSettings* module = TraceModuleRecord(moduleHandle);
  if (module == nullptr) return false;
  *reportOut = module->pfnReport;
  TraceCategorySettings* category = TraceCategoryRecord(categoryHandle);
  if (category == nullptr) return false;
  DWORD moduleStatus = module->settings.eTraceStatus;
  DWORD categoryStatus = category->settings.eTraceStatus;
  bool pass = (process->bEnabled && moduleStatus == TraceStatusInherit && categoryStatus == TraceStatusInherit &&
               level <= process->nTraceLevel) ||
              (moduleStatus == TraceStatusEnabled && categoryStatus == TraceStatusInherit &&
               level <= module->settings.nTraceLevel) ||
              (categoryStatus == TraceStatusEnabled && level <= category->settings.nTraceLevel);
  if (!pass) return false;
  if (process->bShowCategory) *categoryOut = category;
  return true;
}
