// The class factory and the object map through the exports of the built
// component module, loaded as a host loads it: one cached factory, the
// lock count through objects, factory references and LockServer,
// aggregation, and failures that leave no factory behind.
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_outer.h"
#include "fgplatform/win32.h"
#include "component_module.h"
#include "trace/trace_store.h"

namespace {

using fgtest::GetClassObjectFunc;
using fgtest::kDialogHelperClass;
const IID kInterface = {0x67AA1779, 0xF0F0, 0x4C56, {0xB3, 0xCE, 0xD8, 0x7C, 0xC4, 0x3B, 0xCB, 0x2E}};

typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFunc)();

class ComponentExports : public fgtest::ComponentModuleTest {
 protected:
  void SetUp() override {
    ComponentModuleTest::SetUp();
    if (m_module == nullptr) return;
    m_canUnloadNow = fgtest::ExportOf<CanUnloadNowFunc>(m_module, "DllCanUnloadNow");
    ASSERT_NE(m_canUnloadNow, nullptr);
  }
  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(m_getClassObject(kDialogHelperClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }
  CanUnloadNowFunc m_canUnloadNow = nullptr;
};

TEST_F(ComponentExports, OneCachedFactoryServesEveryRequestAndHoldsTheLibraryOnlyForHosts) {
  EXPECT_EQ(m_canUnloadNow(), S_OK);
  IClassFactory* first = Factory();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(m_canUnloadNow(), S_FALSE) << "a host's reference to the factory holds the library";
  IClassFactory* second = Factory();
  EXPECT_EQ(second, first) << "the same factory for the second request";
  second->Release();
  first->Release();
  EXPECT_EQ(m_canUnloadNow(), S_OK) << "the cached reference holds nothing";

  IDispatch* dispatch = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(m_getClassObject(kDialogHelperClass, IID_IDispatch, reinterpret_cast<void**>(&dispatch)), E_NOINTERFACE);
  EXPECT_EQ(dispatch, nullptr);
  IClassFactory* third = Factory();
  EXPECT_EQ(third, first) << "the factory stayed cached";
  third->Release();

  EXPECT_EQ(m_getClassObject(kDialogHelperClass, IID_IClassFactory, nullptr), E_POINTER);
  std::vector<fgtest::DebugReport> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, "ppv != nullptr") << "asserted in debug builds";
  const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  IUnknown* none = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(m_getClassObject(other, IID_IUnknown, reinterpret_cast<void**>(&none)), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ComponentExports, EightThreadsAskingAtOnceGetOneFactory) {
  std::vector<IClassFactory*> got(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i)
    threads.emplace_back([&, i] {
      (void)m_getClassObject(kDialogHelperClass, IID_IClassFactory, reinterpret_cast<void**>(&got[i]));
    });
  for (std::thread& t : threads) t.join();
  std::set<IClassFactory*> distinct(got.begin(), got.end());
  EXPECT_EQ(distinct.size(), 1u);
  EXPECT_NE(got[0], nullptr);
  for (IClassFactory* f : got)
    if (f != nullptr) f->Release();
  EXPECT_EQ(m_canUnloadNow(), S_OK);
}

TEST_F(ComponentExports, ObjectsAndServerLocksCountInTheLockCount) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  IDispatch* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, kInterface, reinterpret_cast<void**>(&object)), S_OK);
  factory->Release();
  EXPECT_EQ(m_canUnloadNow(), S_FALSE) << "a live object holds the library";
  UINT count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u) << "the module's own type library";
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(m_canUnloadNow(), S_OK);

  factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(m_canUnloadNow(), S_FALSE) << "one server lock left";
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(m_canUnloadNow(), S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, kInterface, nullptr), E_POINTER) << "the cache's reference keeps it alive";
}

TEST_F(ComponentExports, AnAggregateAsksForIUnknownOrNothingIsMade) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  fgtest::CountingOuter outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  EXPECT_EQ(m_canUnloadNow(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
  IUnknown* refused = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, kInterface, reinterpret_cast<void**>(&refused)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(TraceLines(),
            std::vector<std::string>{"CComClassFactory: asked for non IUnknown interface while creating an aggregated object"});
  factory->Release();
  EXPECT_EQ(m_canUnloadNow(), S_OK);
}

TEST_F(ComponentExports, AFactoryThatCannotBeMadeIsMadeByALaterRequest) {
  for (fgtest::Service s : {fgtest::Service::Heap, fgtest::Service::CriticalSection}) {
    fgtest::FailCall(s, 1);
    IClassFactory* factory = reinterpret_cast<IClassFactory*>(1);
    HRESULT hr = m_getClassObject(kDialogHelperClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    EXPECT_EQ(fgtest::FaultsFired(s), 1) << fgtest::ServiceName(s);
    fgtest::ClearFaults();
    EXPECT_TRUE(FAILED(hr)) << fgtest::ServiceName(s);
    EXPECT_EQ(factory, nullptr);
  }
  IClassFactory* factory = Factory();
  EXPECT_NE(factory, nullptr) << "no failed factory was cached";
  if (factory != nullptr) factory->Release();
  Reports();
}

TEST(ComponentModuleFile, ExportsTheEntryPointsAndNothingElse) {
  std::string command = std::string("nm -D --defined-only '") + FARROWGATE_MODULE_PATH + "'";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::string text(line);
    size_t space = text.rfind(' ');
    // Every kind of symbol counts: functions, data, weak type information.
    if (space != std::string::npos) exported.insert(text.substr(space + 1, text.size() - space - 2));
  }
  pclose(p);
  EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllMain", "DllRegisterServer",
                                             "DllUnregisterServer"}));
}

TEST(ComponentTraceStore, TheModuleMakesTheStoreAndLoadsWithoutOne) {
  char store[64];
  std::snprintf(store, sizeof store, "%s_%x", kTraceStoreName, static_cast<unsigned>(GetCurrentProcessId()));

  HMODULE module = fgtest::LoadComponentModule();
  ASSERT_NE(module, nullptr);
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, store);
  ASSERT_NE(mapping, nullptr) << "the module made this process's store";
  auto* process = static_cast<TraceProcessRecord*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->cbProcessRecord, sizeof(TraceProcessRecord));
  EXPECT_EQ(process->nModuleSlots, 10);
  EXPECT_EQ(process->nCategorySlots, 30) << "the module and its 27 categories";
  UnmapViewOfFile(process);
  CloseHandle(mapping);
  FreeLibrary(module);
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_WRITE, FALSE, store), nullptr) << "gone with the module";

  // A store that cannot be made leaves tracing silent; the load succeeds.
  fgtest::FailCall(fgtest::Service::Mapping, 1, /*persistent=*/true);
  module = fgtest::LoadComponentModule();
  fgtest::ClearFaults();
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_WRITE, FALSE, store), nullptr);
  auto getClassObject = fgtest::ExportOf<GetClassObjectFunc>(module, "DllGetClassObject");
  ASSERT_NE(getClassObject, nullptr);
  void* factory = nullptr;
  EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
  FreeLibrary(module);
}

TEST(ComponentLoadOrder, PartsAreMadeInOrderAndUndoneInReverse) {
  fgtest::Reset();
  fgtest::CaptureDebugOutput(/*on=*/true);
  std::string path = FARROWGATE_MODULE_PATH;
  std::u16string wide(path.begin(), path.end());
  fgtest::LiveCounts before = fgtest::Live();

  // The module parts make their critical sections in their load order: the
  // Nth one failing names the Nth part, refuses the load, and leaves
  // nothing loaded and nothing made.
  const char* const parts[] = {"CFrameBaseModule", "CFrameComModule", "FrameWinModuleInit", "CFrameModule"};
  for (int n = 1; n <= 4; ++n) {
    fgtest::FailCall(fgtest::Service::CriticalSection, n);
    EXPECT_EQ(LoadLibraryW(wide.c_str()), nullptr) << "part " << n;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    fgtest::ClearFaults();
    std::string first;
    for (const fgtest::DebugReport& r : fgtest::TakeDebugReports())
      if (first.empty() && r.text.rfind("ERROR : Unable to initialize critical section in ", 0) == 0) first = r.text;
    EXPECT_EQ(first, std::string("ERROR : Unable to initialize critical section in ") + parts[n - 1] + "\n");
    fgtest::LiveCounts after = fgtest::Live();
    EXPECT_EQ(after.modules, before.modules) << "nothing stays loaded";
    EXPECT_EQ(after.criticalSections, before.criticalSections) << "what was made is undone";
    EXPECT_EQ(after.heapBlocks, before.heapBlocks);
  }

  // A good load and unload: the window part is terminated at detach, then
  // the static objects go in the reverse order of their making.
  fgtest::RecordSections(/*on=*/true);
  HMODULE h = LoadLibraryW(wide.c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(FreeLibrary(h));
  std::vector<const void*> made, deleted;
  for (const fgtest::SectionEvent& e : fgtest::TakeSectionEvents()) (e.made ? made : deleted).push_back(e.section);
  ASSERT_EQ(made.size(), 4u) << "one section for each module part";
  EXPECT_EQ(deleted, (std::vector<const void*>{made[2], made[3], made[1], made[0]}));
  fgtest::Reset();
}

}  // namespace
