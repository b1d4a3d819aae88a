// The shared trace settings store: one named shared-memory region per
// process that holds the process's trace settings, one record per
// registered library module and one per registered category, so that every
// module of the process shares one set of records and a settings tool in
// another process can read and change them while the host runs.
//
// Region "FarrowgateTraceStore_FileMappingStatic3_<pid in hex>", reserved
// with 0x400000 bytes and committed as records are needed:
//   offset 0                         the process record
//   after it, upward                 module record i (nModuleSlots of them)
//   from the end, downward           category record j (nCategorySlots)
// Records are claimed, pinned and freed with interlocked use counts and
// cookies; a freed record is reused by the next claim. The last release
// clears only the cookie it saw before releasing, so that a failed pin of
// a free record cannot wipe the cookie of a claim made meanwhile.
//
// The region is written by other processes, so nothing read from it is
// trusted: every record lookup stays inside this process's view whatever
// the counts and indices say, chains end after as many steps as the region
// can hold records, names are copied with their length bounded, and the
// report routine is never taken from the region (each store object keeps
// the routines of the modules it registered, for any number of modules).
// Each store object maps a view of its own and unmaps it when it closes;
// nRefCount only tells a settings tool how many are attached. A forked
// child that inherited the view adds, removes and releases nothing. Growth stops where the two
// areas would meet and when a commit fails. dwReserved of the process
// record is held at 1 while a batch of records is being added (0 at rest),
// so that two threads never build the same batch.
#pragma once

#include "fgplatform/crt.h"
#include "fgplatform/win32.h"

struct TraceSettings {
  UINT nTraceLevel;
  DWORD eTraceStatus;
  LONG nUseCount;
  LONG nCookie;

  bool TryClaim();
  void Validate(LONG cookie);
  bool TryPin();
  void Unpin();
};

struct TraceModuleBase {
  LONG iFirstCategory;
  LONG nCategories;
  WCHAR szPath[260];
  WCHAR szName[256];  // at most 63 characters and a terminator
  HINSTANCE hModule;
};

struct TraceModuleRecord {
  TraceModuleBase base;
  TraceSettings settings;
  RuntimeDebugReportFunc pfnReport;
};

struct TraceProcessRecord {
  TraceModuleBase base;
  DWORD cbFrontCommitted;
  DWORD cbBackCommitted;
  DWORD cbProcessRecord;
  DWORD dwReserved;
  UINT nTraceLevel;
  BYTE bReserved;
  BYTE bEnabled;
  BYTE bShowCategory;
  BYTE bShowFileLine;
  DWORD dwProcessId;
  DWORD cbMaxSize;
  LONG nRefCount;
  TraceProcessRecord* pBase;
  LONG nModuleSlots;
  LONG nCategorySlots;
  LONG nLastCookie;

  LONG NextCookie();
  LONG CategoryCount() const { return nCategorySlots; }
};

struct TraceCategoryRecord {
  TraceSettings settings;
  LONG nModuleCookie;
  LONG iNextCategory;
  WCHAR szName[64];
};

inline constexpr const char* kTraceStoreName = "FarrowgateTraceStore_FileMappingStatic3";
inline constexpr const char* kTraceUpdateEventName = "FarrowgateTraceTool_ProcessAddedStatic3";
inline constexpr DWORD kTraceStoreSize = 0x400000;
inline constexpr int kTraceBatch = 10;                 // records added at a time
inline constexpr int kTraceNameChars = 63;             // module and category names, without the terminator

// A snapshot entry: a module, its category count, and where its categories
// start in the snapshot's category list.
struct TraceSnapshotModule {
  DWORD_PTR hModule;
  LONG nCategories;
  LONG iFirstCategory;
};

class CTraceAllocator {
 public:
  CTraceAllocator() = default;
  ~CTraceAllocator();
  CTraceAllocator(const CTraceAllocator&) = delete;
  CTraceAllocator& operator=(const CTraceAllocator&) = delete;

  // Creates or joins the region of this process; false when it cannot.
  bool CreateStore(const char* name, DWORD size);
  // Attaches to an existing region (a settings tool); false when there is
  // none or it is not a store.
  bool OpenStore(const char* name);
  void CloseStore(bool force);
  bool IsValid() const { return m_bValid; }

  // The index of the new module record; -1 when the store is full or not open.
  LONG AddModule(HINSTANCE hModule, RuntimeDebugReportFunc report = nullptr);
  // The index of the new category record; -1 for a missing module or a full store.
  LONG AddCategory(LONG iModule, const WCHAR* name);
  bool RemoveModule(LONG iModule);
  TraceModuleRecord* GetModule(LONG iModule) const;
  TraceCategoryRecord* GetCategory(LONG iCategory) const;
  TraceProcessRecord* Process() const { return m_pProcess; }
  // The report routine this store object registered for a module; null
  // for a module it did not register.
  RuntimeDebugReportFunc ReportOf(LONG iModule) const;
  // The most category records the view can hold: chains end after this many.
  LONG MaxCategories() const;

  void TakeSnapshot();
  void ReleaseSnapshot();
  bool HasSnapshot() const { return m_bSnapshot; }
  LONG SnapshotModuleCount() const { return m_nSnapshotModules; }
  // Null for a position outside the snapshot.
  const TraceSnapshotModule* SnapshotModule(LONG position) const;

 private:
  bool GrowModules();
  bool GrowCategories();
  bool AcquireGrowth();
  bool KeepReport(LONG iModule, RuntimeDebugReportFunc report);
  bool AttachedHere() const { return m_ownerPid == GetCurrentProcessId(); }
  void ReleaseGrowth();
  bool Commit(DWORD offset, DWORD bytes);
  // Unmaps and closes what a failed create or open took.
  void DropAttempt();
  bool AppendSnapshotModule(const TraceSnapshotModule& entry);
  bool AppendSnapshotCategory(LONG iCategory);

  TraceSnapshotModule* m_snapshotModules = nullptr;
  LONG m_nSnapshotModules = 0;
  LONG m_nSnapshotModulesAlloc = 0;
  LONG* m_snapshotCategories = nullptr;
  LONG m_nSnapshotCategories = 0;
  LONG m_nSnapshotCategoriesAlloc = 0;
  bool m_bSnapshot = false;
  TraceProcessRecord* m_pProcess = nullptr;
  DWORD m_nPageSize = 0;
  HANDLE m_hMap = nullptr;
  bool m_bValid = false;
  BYTE* m_pBufferStart = nullptr;
  DWORD m_cbView = 0;  // the bytes this object may read: its view's size
  // The report routines of the modules this object registered, by record
  // index; grown as records are taken.
  RuntimeDebugReportFunc* m_reports = nullptr;
  LONG m_nReports = 0;
  DWORD m_ownerPid = 0;  // the process that attached: a forked child changes nothing
};
