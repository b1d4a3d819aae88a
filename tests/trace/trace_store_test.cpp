// The shared trace settings store: the records as this process's library
// made them at load, stores of the tests' own, growth to the meeting point,
// hostile contents, and threads registering while snapshots are taken.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "trace/trace_settings.h"
#include "trace/trace_store.h"

namespace {

std::string StoreName() {
  static int counter = 0;
  return "FgTestTraceStore_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

class TraceStore : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    ASSERT_TRUE(m_store.CreateStore(m_name.c_str(), kTraceStoreSize));
  }
  void TearDown() override {
    m_store.ReleaseSnapshot();
    m_store.CloseStore(false);
    Reports();  // lookups past the counts are asserted in debug builds
    BaselineTest::TearDown();
  }
  HINSTANCE Self() const { return GetModuleHandleW(nullptr); }
  std::string m_name = StoreName();
  CTraceAllocator m_store;
};

TEST(TraceOwnStore, TheLibraryRegisteredItsModuleAndCategoriesFirst) {
  CTraceAllocator& store = TraceOwnStore();
  ASSERT_TRUE(store.IsValid());
  const TraceProcessRecord* p = store.Process();
  EXPECT_EQ(TraceLibraryModule(), 1u);
  EXPECT_EQ(store.GetModule(0)->settings.nCookie, 1);
  EXPECT_EQ(traceGeneral.Handle(), 1u);
  EXPECT_EQ(traceUser4.Handle(), 27u);
  EXPECT_EQ(TraceCategoryOf(traceGeneral.Handle())->settings.nCookie, 2);
  EXPECT_EQ(TraceCategoryOf(traceUser4.Handle())->settings.nCookie, 28);
  EXPECT_EQ(p->nModuleSlots, 10);
  EXPECT_EQ(p->nCategorySlots, 30);
  EXPECT_EQ(store.GetModule(0)->base.nCategories, 27);
  EXPECT_EQ(store.GetModule(0)->base.iFirstCategory, 26) << "the chain starts at the latest";
  EXPECT_EQ(p->dwProcessId, GetCurrentProcessId());
  EXPECT_EQ(p->cbProcessRecord, sizeof(TraceProcessRecord));
  EXPECT_EQ(p->cbMaxSize, kTraceStoreSize);
  EXPECT_EQ(p->pBase, p);
  EXPECT_EQ(std::u16string(p->base.szName), u"trace_tests");
}

TEST_F(TraceStore, RegistrationGrowsInBatchesAndReusesTheLowestFreeRecords) {
  std::vector<LONG> modules;
  for (int i = 0; i < 11; ++i) modules.push_back(m_store.AddModule(Self()));
  EXPECT_EQ(modules.front(), 0);
  EXPECT_EQ(modules.back(), 10);
  EXPECT_EQ(m_store.Process()->nModuleSlots, 20) << "the eleventh module commits a second batch";
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(m_store.Process()->cbFrontCommitted, info.dwPageSize + 2 * kTraceBatch * sizeof(TraceModuleRecord));
  EXPECT_EQ(m_store.GetModule(10)->settings.nCookie, 11);

  LONG a = m_store.AddCategory(3, u"first");
  LONG b = m_store.AddCategory(3, u"second");
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  std::u16string longName(100, u'n');
  LONG c = m_store.AddCategory(4, longName.c_str());
  EXPECT_EQ(std::u16string(m_store.GetCategory(c)->szName), std::u16string(63, u'n')) << "cut to 63";
  EXPECT_EQ(m_store.AddCategory(-1, u"x"), -1);
  EXPECT_EQ(m_store.AddCategory(99, u"x"), -1);

  ASSERT_TRUE(m_store.RemoveModule(3));
  EXPECT_EQ(m_store.GetModule(3)->settings.nCookie, 0) << "free";
  EXPECT_EQ(m_store.GetCategory(0)->settings.nCookie, 0);
  EXPECT_EQ(m_store.GetCategory(1)->settings.nCookie, 0);
  EXPECT_FALSE(m_store.RemoveModule(3)) << "removing twice releases nothing";
  EXPECT_EQ(m_store.GetModule(3)->settings.nUseCount, 0);
  EXPECT_EQ(m_store.AddModule(Self()), 3) << "the lowest free module record";
  EXPECT_EQ(m_store.AddCategory(3, u"again"), 0) << "the lowest free category record";
}

// Two modules of one process share the region, each through a view of its
// own: whatever the shared count says, the first to close leaves the other's
// view mapped.
TEST_F(TraceStore, ASecondModuleOfTheProcessSharesTheRegionThroughAViewOfItsOwn) {
  CTraceAllocator second;
  ASSERT_TRUE(second.CreateStore(m_name.c_str(), kTraceStoreSize));
  EXPECT_NE(second.Process(), m_store.Process()) << "a view of its own";
  EXPECT_EQ(m_store.Process()->nRefCount, 2) << "of the one region";
  LONG mine = m_store.AddModule(Self());
  LONG theirs = second.AddModule(Self());
  EXPECT_EQ(mine, 0);
  EXPECT_EQ(theirs, 1);
  EXPECT_EQ(second.AddCategory(theirs, u"shared"), 0) << "one category area";
  EXPECT_EQ(std::u16string(m_store.GetCategory(0)->szName), u"shared") << "seen through both views";
  EXPECT_EQ(m_store.ReportOf(theirs), nullptr) << "routines are kept by the object that registered them";
  m_store.Process()->nRefCount = 0;  // a settings tool or a stray write lowers the count
  ASSERT_TRUE(m_store.RemoveModule(mine));
  m_store.CloseStore(false);
  EXPECT_EQ(second.GetCategory(0)->settings.nCookie, 3) << "the second module's view stays mapped";
  EXPECT_TRUE(second.RemoveModule(theirs));
  EXPECT_EQ(second.Process()->nRefCount, -1) << "each close lowers the shared count once";
  second.CloseStore(false);
  ASSERT_TRUE(m_store.CreateStore(m_name.c_str(), kTraceStoreSize));
}

TEST_F(TraceStore, ASnapshotLeavesOutAModuleWhoseCategoryWasClaimedAgain) {
  LONG a = m_store.AddModule(Self());
  LONG b = m_store.AddModule(Self());
  LONG first = m_store.AddCategory(a, u"kept");
  LONG reused = m_store.AddCategory(a, u"freed");
  // The category is freed behind its module's back and claimed by another.
  m_store.GetCategory(reused)->settings.Unpin();
  EXPECT_EQ(m_store.AddCategory(b, u"claimed"), reused);
  m_store.TakeSnapshot();
  ASSERT_EQ(m_store.SnapshotModuleCount(), 1);
  EXPECT_EQ(m_store.SnapshotModule(0)->hModule, static_cast<DWORD_PTR>(b) + 1);
  EXPECT_EQ(m_store.GetCategory(first)->settings.nUseCount, 1) << "the pins of the left-out module were undone";
  EXPECT_EQ(m_store.GetModule(a)->settings.nUseCount, 1);
  EXPECT_EQ(m_store.GetModule(b)->settings.nUseCount, 2) << "pinned by the snapshot";
  m_store.ReleaseSnapshot();
  EXPECT_EQ(m_store.GetModule(b)->settings.nUseCount, 1);
  EXPECT_EQ(m_store.SnapshotModule(0), nullptr);
}

TEST_F(TraceStore, GrowthStopsWhereTheAreasMeetOrACommitFails) {
  CTraceAllocator small;
  std::string name = StoreName();
  constexpr DWORD kSmall = 64 * 1024;
  ASSERT_TRUE(small.CreateStore(name.c_str(), kSmall));
  fgtest::FailCall(fgtest::Service::Mapping, 1, /*persistent=*/false);
  EXPECT_EQ(small.AddModule(Self()), -1) << "a commit that fails";
  fgtest::ClearFaults();
  EXPECT_EQ(small.Process()->nModuleSlots, 0) << "nothing counted";
  LONG category = -1;
  LONG module = small.AddModule(Self());
  ASSERT_EQ(module, 0);
  int modules = 1, categories = 0;
  while (small.AddModule(Self()) >= 0) ++modules;
  while ((category = small.AddCategory(module, u"c")) >= 0) ++categories;
  const TraceProcessRecord* p = small.Process();
  size_t modulesEnd = sizeof(TraceProcessRecord) + p->nModuleSlots * sizeof(TraceModuleRecord);
  size_t categoriesStart = kSmall - p->nCategorySlots * sizeof(TraceCategoryRecord);
  EXPECT_LE(modulesEnd, categoriesStart) << "the areas never overlap";
  EXPECT_LE(p->cbFrontCommitted + p->cbBackCommitted, kSmall);
  EXPECT_EQ(modules, p->nModuleSlots);
  EXPECT_EQ(categories, p->nCategorySlots);
  EXPECT_GT(modules, 0);
  EXPECT_EQ(small.GetModule(modules - 1)->settings.nCookie, modules) << "the last module was not overwritten";
  small.CloseStore(false);
}

TEST_F(TraceStore, HostileCountsAndChainsNeitherCrashNorHang) {
  LONG module = m_store.AddModule(Self());
  LONG first = m_store.AddCategory(module, u"one");
  LONG second = m_store.AddCategory(module, u"two");
  TraceProcessRecord* p = m_store.Process();
  p->nModuleSlots = 0x7FFFFFFF;
  p->nCategorySlots = 0x7FFFFFFF;
  EXPECT_EQ(m_store.GetModule(0x7FFFFFF0), nullptr) << "outside the view";
  EXPECT_EQ(m_store.GetCategory(0x7FFFFFF0), nullptr);
  m_store.GetCategory(first)->iNextCategory = second;  // a chain that loops
  m_store.TakeSnapshot();
  EXPECT_EQ(m_store.SnapshotModuleCount(), 0) << "a looping chain is not a module's";
  m_store.ReleaseSnapshot();
  m_store.GetCategory(second)->iNextCategory = 0x40000000;
  m_store.GetModule(module)->base.iFirstCategory = -12345;
  EXPECT_FALSE(m_store.RemoveModule(module)) << "an index of no record ends the chain, reported";
  EXPECT_EQ(m_store.GetModule(module)->settings.nCookie, 0) << "the module is released all the same";
  m_store.GetCategory(first)->szName[63] = u'x';  // no terminator left
  for (WCHAR& c : m_store.GetCategory(first)->szName) c = u'x';
  m_store.TakeSnapshot();
  m_store.ReleaseSnapshot();
  p->nModuleSlots = -5;
  EXPECT_EQ(m_store.GetModule(0), nullptr);
  EXPECT_EQ(m_store.AddModule(Self()), -1) << "no growth from a count that makes no sense";
  p->nModuleSlots = 10;
  p->nCategorySlots = 10;
}

TEST_F(TraceStore, ThreadsRegisteringWhileSnapshotsAreTakenLoseAndDoubleNothing) {
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::vector<std::atomic<int>> owners(4096);
  auto worker = [&](int id) {
    for (int round = 0; round < 400; ++round) {
      LONG module = m_store.AddModule(Self());
      if (module < 0 || owners[module].exchange(id + 1) != 0) ++failures;
      std::vector<LONG> categories;
      for (int c = 0; c < 3; ++c) {
        LONG category = m_store.AddCategory(module, u"worker");
        if (category < 0 || owners[2048 + category].exchange(id + 1) != 0) ++failures;
        categories.push_back(category);
      }
      if (m_store.GetModule(module)->base.nCategories != 3) ++failures;
      for (LONG category : categories) owners[2048 + category] = 0;
      owners[module] = 0;
      if (!m_store.RemoveModule(module)) ++failures;
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back(worker, i);
  CTraceAllocator reader;
  ASSERT_TRUE(reader.CreateStore(m_name.c_str(), kTraceStoreSize));
  std::thread snapshots([&] {
    while (!done) {
      reader.TakeSnapshot();
      for (LONG i = 0; i < reader.SnapshotModuleCount(); ++i)
        if (reader.SnapshotModule(i)->nCategories > 3) ++failures;
      reader.ReleaseSnapshot();
    }
  });
  for (std::thread& t : threads) t.join();
  done = true;
  snapshots.join();
  EXPECT_EQ(failures.load(), 0);
  const TraceProcessRecord* p = m_store.Process();
  for (LONG i = 0; i < p->nModuleSlots; ++i) {
    EXPECT_EQ(m_store.GetModule(i)->settings.nUseCount, 0) << "module " << i;
    EXPECT_EQ(m_store.GetModule(i)->settings.nCookie, 0) << "module " << i;
  }
  for (LONG j = 0; j < p->nCategorySlots; ++j) EXPECT_EQ(m_store.GetCategory(j)->settings.nCookie, 0) << j;
  EXPECT_EQ(p->dwReserved, 0u) << "no batch left half built";
  reader.CloseStore(false);
}

TEST_F(TraceStore, ThreadsRegisteringCategoriesOfOneModuleLoseNone) {
  LONG module = m_store.AddModule(Self());
  for (int round = 0; round < 20; ++round) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
      threads.emplace_back([&] {
        for (int c = 0; c < 20; ++c) EXPECT_GE(m_store.AddCategory(module, u"c"), 0);
      });
    for (std::thread& t : threads) t.join();
    std::set<LONG> chained;
    for (LONG at = m_store.GetModule(module)->base.iFirstCategory; at != -1 && chained.size() <= 160;
         at = m_store.GetCategory(at)->iNextCategory)
      chained.insert(at);
    ASSERT_EQ(chained.size(), 160u) << "round " << round << ": every category is in the module's chain";
    EXPECT_EQ(m_store.GetModule(module)->base.nCategories, 160);
    ASSERT_TRUE(m_store.RemoveModule(module));
    for (LONG j = 0; j < m_store.Process()->nCategorySlots; ++j)
      ASSERT_EQ(m_store.GetCategory(j)->settings.nCookie, 0) << "round " << round << ": record " << j << " freed";
    module = m_store.AddModule(Self());
  }
}

int Report(int, const char*, int, const char*, const char*, ...) { return 0; }

TEST_F(TraceStore, AReusedRecordStartsAsNewAndEveryModuleKeepsItsReportRoutine) {
  LONG module = m_store.AddModule(Self());
  LONG category = m_store.AddCategory(module, u"c");
  m_store.GetModule(module)->settings.nTraceLevel = 2;
  m_store.GetModule(module)->settings.eTraceStatus = TraceStatusDisabled;  // as a user silences it
  m_store.GetCategory(category)->settings.nTraceLevel = 1;
  m_store.GetCategory(category)->settings.eTraceStatus = TraceStatusEnabled;
  ASSERT_TRUE(m_store.RemoveModule(module));
  ASSERT_EQ(m_store.AddModule(Self()), module) << "the same record, taken again";
  ASSERT_EQ(m_store.AddCategory(module, u"d"), category);
  EXPECT_EQ(m_store.GetModule(module)->settings.eTraceStatus, static_cast<DWORD>(TraceStatusInherit));
  EXPECT_EQ(m_store.GetModule(module)->settings.nTraceLevel, 0u);
  EXPECT_EQ(m_store.GetCategory(category)->settings.eTraceStatus, static_cast<DWORD>(TraceStatusInherit));
  EXPECT_EQ(m_store.GetCategory(category)->settings.nTraceLevel, 0u);

  std::vector<LONG> modules;
  for (int i = 0; i < 200; ++i) modules.push_back(m_store.AddModule(Self(), Report));
  for (LONG m : modules) {
    ASSERT_GE(m, 0);
    EXPECT_EQ(m_store.ReportOf(m), &Report) << "module record " << m;
  }
  EXPECT_EQ(m_store.ReportOf(module), nullptr) << "registered without one";
  ASSERT_TRUE(m_store.RemoveModule(modules.back()));
  EXPECT_EQ(m_store.ReportOf(modules.back()), nullptr) << "forgotten with its module";
}

}  // namespace
