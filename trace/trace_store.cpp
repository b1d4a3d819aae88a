#include "trace/trace_store.h"

#include <sched.h>

#include <cstring>

#include "frame/debug_assert.h"
#include "trace/trace.h"

namespace {

constexpr const char* kSource = "tracestore";
constexpr int kGrowthSpins = 1 << 16;  // a holder that never lets go (a dead or hostile writer) is given up on

LONG Load(const LONG& field) { return __atomic_load_n(&field, __ATOMIC_ACQUIRE); }
void Store(LONG& field, LONG value) { __atomic_store_n(&field, value, __ATOMIC_RELEASE); }

// Copies at most `limit` characters and a terminator.
void CopyName(WCHAR* to, const WCHAR* from, int limit) {
  int n = 0;
  for (; n < limit && from[n] != 0; ++n) to[n] = from[n];
  to[n] = 0;
}

template <class T>
bool Append(T*& array, LONG& count, LONG& allocated, const T& value) {
  if (count == allocated) {
    LONG grown = allocated == 0 ? 16 : allocated * 2;
    size_t bytes = sizeof(T) * static_cast<size_t>(grown);
    void* fresh = array == nullptr ? HeapAlloc(GetProcessHeap(), 0, bytes) : HeapReAlloc(GetProcessHeap(), 0, array, bytes);
    if (fresh == nullptr) return false;
    array = static_cast<T*>(fresh);
    allocated = grown;
  }
  array[count++] = value;
  return true;
}

template <class T>
void FreeList(T*& array, LONG& count, LONG& allocated) {
  if (array != nullptr) HeapFree(GetProcessHeap(), 0, array);
  array = nullptr;
  count = allocated = 0;
}

}  // namespace

bool TraceSettings::TryClaim() {
  if (Load(nCookie) != 0) return false;
  if (InterlockedIncrement(&nUseCount) == 1) return true;
  InterlockedDecrement(&nUseCount);
  return false;
}

void TraceSettings::Validate(LONG cookie) {
  FG_ASSERT_TEXT(cookie != 0, "nCookie != 0", kSource);
  Store(nCookie, cookie);
}

bool TraceSettings::TryPin() {
  if (InterlockedIncrement(&nUseCount) > 1 && Load(nCookie) != 0) return true;
  Unpin();
  return false;
}

// The last release frees the record by clearing its cookie, but only the
// cookie seen before the release: a failed pin of a free record releases
// it too, and a claim may have made it valid meanwhile, whose cookie must
// stay.
void TraceSettings::Unpin() {
  LONG cookie = Load(nCookie);
  if (InterlockedDecrement(&nUseCount) != 0 || cookie == 0) return;
  (void)__atomic_compare_exchange_n(&nCookie, &cookie, 0, false, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED);
}

LONG TraceProcessRecord::NextCookie() { return InterlockedIncrement(&nLastCookie); }

CTraceAllocator::~CTraceAllocator() {
  ReleaseSnapshot();
  CloseStore(false);
  FreeList(m_snapshotModules, m_nSnapshotModules, m_nSnapshotModulesAlloc);
  FreeList(m_snapshotCategories, m_nSnapshotCategories, m_nSnapshotCategoriesAlloc);
}

bool CTraceAllocator::Commit(DWORD offset, DWORD bytes) {
  return VirtualAlloc(m_pBufferStart + offset, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

bool CTraceAllocator::CreateStore(const char* name, DWORD size) {
  CloseStore(false);
  FG_ASSERT_TEXT(!m_hMap && !m_pBufferStart, "!m_hMap && !m_pBufferStart", kSource);
  if (size < sizeof(TraceProcessRecord)) return false;
  HANDLE token = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_DUPLICATE | TOKEN_IMPERSONATE, TRUE, &token) && !RevertToSelf()) {
    CloseHandle(token);
    return false;
  }
  m_hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, size, name);
  DWORD created = GetLastError();
  if (m_hMap != nullptr) m_pBufferStart = static_cast<BYTE*>(MapViewOfFile(m_hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  m_nPageSize = info.dwPageSize;
  MEMORY_BASIC_INFORMATION view{};
  if (m_pBufferStart != nullptr && VirtualQuery(m_pBufferStart, &view, sizeof view) == sizeof view) {
    m_cbView = static_cast<DWORD>(view.RegionSize);
    auto* record = reinterpret_cast<TraceProcessRecord*>(m_pBufferStart);
    if (created == ERROR_ALREADY_EXISTS) {
      // Another module of this process made the region: its view at pBase
      // shows the same memory. This object keeps a view of its own all the
      // same, so that each module unmaps only what it mapped, whatever the
      // shared count says.
      TraceProcessRecord* base = record->pBase;
      MEMORY_BASIC_INFORMATION theirs{};
      DWORD front = record->cbFrontCommitted;
      if (base != nullptr && VirtualQuery(base, &theirs, sizeof theirs) == sizeof theirs &&
          theirs.AllocationBase == base && theirs.RegionSize == m_cbView && front <= m_cbView &&
          std::memcmp(base, m_pBufferStart, front) == 0) {
        InterlockedIncrement(&record->nRefCount);
        m_pProcess = record;
        m_bValid = true;
      }
    } else {
      DWORD commit = m_nPageSize;
      while (commit < sizeof(TraceProcessRecord)) commit += m_nPageSize;
      if (Commit(0, commit)) {
        std::memset(record, 0, sizeof *record);
        record->base.iFirstCategory = -1;
        DWORD n = GetModuleFileNameW(nullptr, record->base.szPath, 260);
        record->base.szPath[n < 260 ? n : 259] = 0;
        const WCHAR* tail = record->base.szPath;
        for (const WCHAR* p = tail; *p != 0; ++p)
          if (*p == u'\\' || *p == u'/') tail = p + 1;
        CopyName(record->base.szName, tail, kTraceNameChars);
        record->bEnabled = 1;
        record->dwProcessId = GetCurrentProcessId();
        record->cbMaxSize = size;
        record->nRefCount = 1;
        record->pBase = record;
        record->cbFrontCommitted = commit;
        record->cbProcessRecord = sizeof(TraceProcessRecord);
        m_pProcess = record;
        m_bValid = true;
      }
    }
  }
  if (token != nullptr) {
    [[maybe_unused]] BOOL bSuccess = SetThreadToken(nullptr, token);
    FG_ASSERT(bSuccess, kSource);
    CloseHandle(token);
  }
  if (!m_bValid) DropAttempt();
  m_ownerPid = GetCurrentProcessId();
  return m_bValid;
}

void CTraceAllocator::DropAttempt() {
  if (m_pBufferStart != nullptr) UnmapViewOfFile(m_pBufferStart);
  if (m_hMap != nullptr) CloseHandle(m_hMap);
  m_pBufferStart = nullptr;
  m_hMap = nullptr;
  m_pProcess = nullptr;
}

bool CTraceAllocator::OpenStore(const char* name) {
  CloseStore(false);
  m_hMap = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
  if (m_hMap != nullptr) m_pBufferStart = static_cast<BYTE*>(MapViewOfFile(m_hMap, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  MEMORY_BASIC_INFORMATION view{};
  if (m_pBufferStart != nullptr && VirtualQuery(m_pBufferStart, &view, sizeof view) == sizeof view &&
      view.RegionSize >= sizeof(TraceProcessRecord)) {
    m_cbView = static_cast<DWORD>(view.RegionSize);
    m_pProcess = reinterpret_cast<TraceProcessRecord*>(m_pBufferStart);
    InterlockedIncrement(&m_pProcess->nRefCount);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_nPageSize = info.dwPageSize;
    m_bValid = true;
    m_ownerPid = GetCurrentProcessId();
    return true;
  }
  DropAttempt();
  return false;
}

// Every store object unmaps the view it mapped: the shared count is kept for
// the settings tool, never trusted for this process's own memory. A forked
// child leaves the count alone: the attachment is its parent's.
void CTraceAllocator::CloseStore(bool force) {
  (void)force;  // each object's view is its own, so there is nothing else to force
  if (!m_bValid) return;
  if (AttachedHere()) InterlockedDecrement(&m_pProcess->nRefCount);
  UnmapViewOfFile(m_pBufferStart);
  if (m_hMap != nullptr) CloseHandle(m_hMap);
  m_pBufferStart = nullptr;
  m_hMap = nullptr;
  m_bValid = false;
  m_pProcess = nullptr;
  LONG reportsAlloc = m_nReports;
  FreeList(m_reports, m_nReports, reportsAlloc);
}

TraceModuleRecord* CTraceAllocator::GetModule(LONG iModule) const {
  if (!m_bValid || iModule < 0) return nullptr;
  LONG count = Load(m_pProcess->nModuleSlots);
  if (iModule >= count) {
    FG_ASSERT_TEXT(false, "iModule < modcnt", kSource);
    return nullptr;
  }
  size_t offset = sizeof(TraceProcessRecord) + static_cast<size_t>(iModule) * sizeof(TraceModuleRecord);
  if (offset + sizeof(TraceModuleRecord) > m_cbView) return nullptr;  // counts from the region are not trusted
  return reinterpret_cast<TraceModuleRecord*>(m_pBufferStart + offset);
}

TraceCategoryRecord* CTraceAllocator::GetCategory(LONG iCategory) const {
  if (!m_bValid || iCategory < 0) return nullptr;
  if (iCategory >= Load(m_pProcess->nCategorySlots)) {
    FG_ASSERT_TEXT(false, "(iCategory < m_pProcess->CategoryCount()) || (iCategory == -1)", kSource);
    return nullptr;
  }
  size_t back = (static_cast<size_t>(iCategory) + 1) * sizeof(TraceCategoryRecord);
  if (back > m_cbView - sizeof(TraceProcessRecord)) return nullptr;
  return reinterpret_cast<TraceCategoryRecord*>(m_pBufferStart + m_cbView - back);
}

LONG CTraceAllocator::MaxCategories() const {
  return m_bValid ? static_cast<LONG>((m_cbView - sizeof(TraceProcessRecord)) / sizeof(TraceCategoryRecord)) : 0;
}

RuntimeDebugReportFunc CTraceAllocator::ReportOf(LONG iModule) const {
  return iModule >= 0 && iModule < m_nReports ? m_reports[iModule] : nullptr;
}

bool CTraceAllocator::KeepReport(LONG iModule, RuntimeDebugReportFunc report) {
  if (iModule >= m_nReports) {
    LONG grown = m_nReports == 0 ? 16 : m_nReports;
    while (grown <= iModule) grown *= 2;
    size_t bytes = sizeof(RuntimeDebugReportFunc) * static_cast<size_t>(grown);
    void* fresh = m_reports == nullptr ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes)
                                       : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, m_reports, bytes);
    if (fresh == nullptr) return false;
    m_reports = static_cast<RuntimeDebugReportFunc*>(fresh);
    m_nReports = grown;
  }
  m_reports[iModule] = report;
  return true;
}

bool CTraceAllocator::AcquireGrowth() {
  for (int spin = 0; spin < kGrowthSpins; ++spin) {
    LONG expected = 0;
    if (__atomic_compare_exchange_n(reinterpret_cast<LONG*>(&m_pProcess->dwReserved), &expected, 1, false,
                                    __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
      return true;
    sched_yield();
  }
  return false;
}

void CTraceAllocator::ReleaseGrowth() { Store(*reinterpret_cast<LONG*>(&m_pProcess->dwReserved), 0); }

bool CTraceAllocator::GrowModules() {
  LONG seen = Load(m_pProcess->nModuleSlots);
  if (!AcquireGrowth()) return false;
  bool grown = Load(m_pProcess->nModuleSlots) != seen;  // another thread added a batch meanwhile
  if (!grown) {
    TraceProcessRecord* p = m_pProcess;
    size_t bytes = kTraceBatch * sizeof(TraceModuleRecord);
    size_t recordsEnd = sizeof(TraceProcessRecord) + (static_cast<size_t>(seen) + kTraceBatch) * sizeof(TraceModuleRecord);
    size_t categoriesStart = m_cbView - static_cast<size_t>(Load(p->nCategorySlots)) * sizeof(TraceCategoryRecord);
    size_t front = p->cbFrontCommitted;
    size_t backStart = m_cbView - p->cbBackCommitted;
    // The two areas must not meet, and the commit must succeed.
    if (seen >= 0 && p->cbBackCommitted <= m_cbView && front + bytes <= backStart && recordsEnd <= categoriesStart &&
        Commit(static_cast<DWORD>(front), static_cast<DWORD>(bytes))) {
      p->cbFrontCommitted = static_cast<DWORD>(front + bytes);
      for (LONG i = seen; i < seen + kTraceBatch; ++i) {
        auto* record = reinterpret_cast<TraceModuleRecord*>(m_pBufferStart + sizeof(TraceProcessRecord) +
                                                            static_cast<size_t>(i) * sizeof(TraceModuleRecord));
        std::memset(record, 0, sizeof *record);
        record->base.iFirstCategory = -1;
      }
      Store(p->nModuleSlots, seen + kTraceBatch);
      grown = true;
    }
  }
  ReleaseGrowth();
  return grown;
}

bool CTraceAllocator::GrowCategories() {
  LONG seen = Load(m_pProcess->nCategorySlots);
  if (!AcquireGrowth()) return false;
  bool grown = Load(m_pProcess->nCategorySlots) != seen;
  if (!grown) {
    TraceProcessRecord* p = m_pProcess;
    size_t bytes = kTraceBatch * sizeof(TraceCategoryRecord);
    size_t back = p->cbBackCommitted;
    size_t categoriesStart =
        (static_cast<size_t>(seen) + kTraceBatch) * sizeof(TraceCategoryRecord);  // measured from the end
    size_t modulesEnd = sizeof(TraceProcessRecord) + static_cast<size_t>(Load(p->nModuleSlots)) * sizeof(TraceModuleRecord);
    if (seen >= 0 && p->cbFrontCommitted <= m_cbView && back + bytes <= m_cbView - p->cbFrontCommitted &&
        categoriesStart <= m_cbView && modulesEnd <= m_cbView - categoriesStart &&
        Commit(static_cast<DWORD>(m_cbView - back - bytes), static_cast<DWORD>(bytes))) {
      p->cbBackCommitted = static_cast<DWORD>(back + bytes);
      for (LONG j = seen; j < seen + kTraceBatch; ++j) {
        auto* record = reinterpret_cast<TraceCategoryRecord*>(m_pBufferStart + m_cbView -
                                                              (static_cast<size_t>(j) + 1) * sizeof(TraceCategoryRecord));
        std::memset(record, 0, sizeof *record);
        record->iNextCategory = -1;
      }
      Store(p->nCategorySlots, seen + kTraceBatch);
      grown = true;
    }
  }
  ReleaseGrowth();
  return grown;
}

LONG CTraceAllocator::AddModule(HINSTANCE hModule, RuntimeDebugReportFunc report) {
  FG_ASSERT_TEXT(m_pProcess != nullptr, "pProcess", kSource);
  if (!m_bValid || !AttachedHere()) return -1;
  for (;;) {
    LONG slots = Load(m_pProcess->nModuleSlots);
    for (LONG i = 0; i < slots; ++i) {
      TraceModuleRecord* module = GetModule(i);
      FG_ASSERT_TEXT(module != nullptr, "pModule != 0", kSource);
      if (module == nullptr) break;
      if (!module->settings.TryClaim()) continue;
      WCHAR path[260] = {};
      DWORD n = GetModuleFileNameW(hModule, path, 260);
      path[259] = 0;
      if (n == 0) path[0] = 0;
      CopyName(module->base.szPath, path, 259);
      const WCHAR* tail = path;
      for (const WCHAR* p = path; *p != 0; ++p)
        if (*p == u'\\' || *p == u'/') tail = p + 1;
      CopyName(module->base.szName, tail, kTraceNameChars);
      module->base.hModule = hModule;
      Store(module->base.nCategories, 0);
      Store(module->base.iFirstCategory, -1);
      module->pfnReport = report;
      // A reused record starts as a new one would, not as its last module left it.
      module->settings.nTraceLevel = 0;
      module->settings.eTraceStatus = TraceStatusInherit;
      if (!KeepReport(i, report)) {
        module->settings.Unpin();  // no room to remember the routine: the claim is given back
        return -1;
      }
      module->settings.Validate(m_pProcess->NextCookie());
      return i;
    }
    if (!GrowModules()) return -1;
  }
}

LONG CTraceAllocator::AddCategory(LONG iModule, const WCHAR* name) {
  FG_ASSERT_TEXT(m_pProcess != nullptr, "pProcess", kSource);
  if (!AttachedHere()) return -1;
  TraceModuleRecord* module = GetModule(iModule);
  if (module == nullptr || name == nullptr) return -1;
  // Only a registered module gets categories; its pin keeps it so meanwhile.
  if (!module->settings.TryPin()) return -1;
  LONG result = -1;
  for (bool searching = true; searching;) {
    LONG slots = Load(m_pProcess->nCategorySlots);
    for (LONG j = 0; j < slots && result < 0; ++j) {
      TraceCategoryRecord* category = GetCategory(j);
      FG_ASSERT_TEXT(category != nullptr, "pCategory != 0", kSource);
      if (category == nullptr) break;
      if (!category->settings.TryClaim()) continue;
      CopyName(category->szName, name, kTraceNameChars);
      category->nModuleCookie = Load(module->settings.nCookie);
      category->settings.nTraceLevel = 0;
      category->settings.eTraceStatus = TraceStatusInherit;
      category->settings.Validate(m_pProcess->NextCookie());
      // Threads registering categories of one module at once each link
      // their record as the new head with compare-and-swap, so none is lost.
      LONG head = Load(module->base.iFirstCategory);
      do {
        category->iNextCategory = head;
      } while (!__atomic_compare_exchange_n(&module->base.iFirstCategory, &head, j, false, __ATOMIC_ACQ_REL,
                                            __ATOMIC_ACQUIRE));
      InterlockedIncrement(&module->base.nCategories);
      result = j;
    }
    searching = result < 0 && GrowCategories();
  }
  module->settings.Unpin();
  m_pProcess->bReserved = 0;
  return result;
}

bool CTraceAllocator::RemoveModule(LONG iModule) {
  if (!AttachedHere()) return false;  // a forked child: the registrations are its parent's
  TraceModuleRecord* module = GetModule(iModule);
  // A record that is not a registration has nothing to release.
  if (module == nullptr || Load(module->settings.nCookie) == 0 || Load(module->settings.nUseCount) <= 0) return false;
  LONG cookie = Load(module->settings.nCookie);
  bool whole = true;
  for (LONG steps = 0, at = Load(module->base.iFirstCategory); at != -1; ++steps) {
    TraceCategoryRecord* category = steps < MaxCategories() ? GetCategory(at) : nullptr;
    if (category == nullptr || category->nModuleCookie != cookie) {
      whole = false;  // a broken chain: what follows is not this module's
      break;
    }
    LONG next = category->iNextCategory;
    if (!__atomic_compare_exchange_n(&module->base.iFirstCategory, &at, next, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE))
      continue;  // a category joined the head meanwhile: `at` is now the new head
    InterlockedDecrement(&module->base.nCategories);
    at = next;
    category->settings.Unpin();
  }
  if (iModule < m_nReports) m_reports[iModule] = nullptr;
  module->settings.Unpin();
  return whole;
}

bool CTraceAllocator::AppendSnapshotModule(const TraceSnapshotModule& entry) {
  return Append(m_snapshotModules, m_nSnapshotModules, m_nSnapshotModulesAlloc, entry);
}

bool CTraceAllocator::AppendSnapshotCategory(LONG iCategory) {
  return Append(m_snapshotCategories, m_nSnapshotCategories, m_nSnapshotCategoriesAlloc, iCategory);
}

void CTraceAllocator::TakeSnapshot() {
  ReleaseSnapshot();
  if (!m_bValid) return;
  LONG slots = Load(m_pProcess->nModuleSlots);
  for (LONG i = 0; i < slots; ++i) {
    TraceModuleRecord* module = GetModule(i);
    if (module == nullptr) break;
    if (!module->settings.TryPin()) continue;
    TraceSnapshotModule entry{static_cast<DWORD_PTR>(i) + 1, Load(module->base.nCategories), m_nSnapshotCategories};
    LONG cookie = Load(module->settings.nCookie);
    bool whole = true;
    for (LONG steps = 0, at = Load(module->base.iFirstCategory); whole && at != -1; ++steps) {
      TraceCategoryRecord* category = steps < MaxCategories() ? GetCategory(at) : nullptr;
      if (category == nullptr || !category->settings.TryPin()) {
        whole = false;
        break;
      }
      if (category->nModuleCookie != cookie || !AppendSnapshotCategory(at)) {
        category->settings.Unpin();  // pinned, but another registration's (or no room)
        whole = false;
        break;
      }
      at = category->iNextCategory;
    }
    if (whole && AppendSnapshotModule(entry)) continue;
    while (m_nSnapshotCategories > entry.iFirstCategory) {
      TraceCategoryRecord* category = GetCategory(m_snapshotCategories[--m_nSnapshotCategories]);
      if (category != nullptr) category->settings.Unpin();
    }
    module->settings.Unpin();
  }
  m_bSnapshot = true;
}

void CTraceAllocator::ReleaseSnapshot() {
  if (!m_bSnapshot) return;
  for (LONG i = 0; i < m_nSnapshotModules; ++i)
    if (TraceModuleRecord* module = GetModule(static_cast<LONG>(m_snapshotModules[i].hModule) - 1))
      module->settings.Unpin();
  for (LONG i = 0; i < m_nSnapshotCategories; ++i)
    if (TraceCategoryRecord* category = GetCategory(m_snapshotCategories[i])) category->settings.Unpin();
  FreeList(m_snapshotModules, m_nSnapshotModules, m_nSnapshotModulesAlloc);
  FreeList(m_snapshotCategories, m_nSnapshotCategories, m_nSnapshotCategoriesAlloc);
  m_bSnapshot = false;
}

const TraceSnapshotModule* CTraceAllocator::SnapshotModule(LONG position) const {
  return position >= 0 && position < m_nSnapshotModules ? &m_snapshotModules[position] : nullptr;
}
