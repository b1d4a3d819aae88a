// The module parts: term functions, the lock count, failed critical
// sections, resource modules and the global interface table.
#include <thread>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "frame/comobject_root.h"
#include "frame/critical_section.h"
#include "frame/farrowgate_module.h"

namespace {

class Module : public fgtest::BaselineTest {
 protected:
  void TearDown() override {
    s_bInitFailed = false;
    BaselineTest::TearDown();
  }
};

std::vector<int> g_ran;
void __stdcall Note(DWORD_PTR dw) { g_ran.push_back(static_cast<int>(dw)); }

TEST_F(Module, TermFunctionsRunLastAddedFirstAndEmptyTheList) {
  _FRAME_MODULE record = {};
  ASSERT_EQ(InitializeSection(&record.m_csStaticData), S_OK);
  g_ran.clear();
  ASSERT_EQ(FrameModuleAddTermFunc(&record, Note, 1), S_OK);
  ASSERT_EQ(FrameModuleAddTermFunc(&record, Note, 2), S_OK);
  RunTermFuncs(&record);
  EXPECT_EQ(g_ran, (std::vector<int>{2, 1}));
  EXPECT_EQ(record.m_pTermFuncList, nullptr);
  EXPECT_EQ(FrameModuleAddTermFunc(nullptr, Note, 3), E_INVALIDARG);
  DeleteSection(&record.m_csStaticData);
  EXPECT_NE(FrameModuleAddTermFunc(&record, Note, 4), S_OK) << "a deleted section cannot be locked";
  EXPECT_EQ(TraceLines(), std::vector<std::string>{"ERROR : Unable to lock critical section in FrameModuleAddTermFunc\n"});
  try {
    RunTermFuncs(nullptr);
    ADD_FAILURE() << "nothing raised";
  } catch (const CStructuredException& e) {
    EXPECT_EQ(e.Code(), EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(e.Flags(), static_cast<DWORD>(EXCEPTION_NONCONTINUABLE));
  }
}

TEST_F(Module, ATermFunctionThatCannotBeRecordedIsAnOutOfMemoryAndChangesNothing) {
  _FRAME_MODULE record = {};
  ASSERT_EQ(InitializeSection(&record.m_csStaticData), S_OK);
  g_ran.clear();
  ASSERT_EQ(FrameModuleAddTermFunc(&record, Note, 1), S_OK);
  fgtest::FailCall(fgtest::Service::Heap, 1);
  EXPECT_EQ(FrameModuleAddTermFunc(&record, Note, 2), E_OUTOFMEMORY);
  RunTermFuncs(&record);
  EXPECT_EQ(g_ran, std::vector<int>{1}) << "only the recorded function runs";
  DeleteSection(&record.m_csStaticData);
}

TEST_F(Module, TheLockCountLosesNoCountAcrossThreads) {
  ASSERT_NE(_pFrameModule, nullptr);
  LONG before = _pFrameModule->LockCount();
  _pFrameModule->LockModule();
  _pFrameModule->LockModule();
  _pFrameModule->UnlockModule();
  EXPECT_EQ(_pFrameModule->LockCount(), before + 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 10000; ++i) {
        _pFrameModule->LockModule();
        _pFrameModule->LockModule();
        _pFrameModule->UnlockModule();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(_pFrameModule->LockCount(), before + 1 + 40000);
  for (int i = 0; i < 40001; ++i) _pFrameModule->UnlockModule();
  EXPECT_EQ(_pFrameModule->LockCount(), before);
  EXPECT_EQ(_pFrameModule->cbStruct, sizeof(_FRAME_MODULE));
  EXPECT_EQ(CFrameModule::m_libid, CFarrowgateModule::GetLibraryId());
}

TEST_F(Module, AnObjectsSectionIsMadeOnceAndASecondMakingIsAsserted) {
  {
    CFrameObjectSection section;
    ASSERT_EQ(section.Init(), S_OK);
    EXPECT_EQ(section.Init(), S_OK) << "it keeps the section it has";
    ASSERT_EQ(section.Lock(), S_OK);
    section.Unlock();
  }
  std::vector<fgtest::DebugReport> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].text.find("!m_bInitialized"), std::string::npos) << reports[0].text;
}

TEST_F(Module, AFailedCriticalSectionMarksTheLoadAsFailed) {
  fgtest::FailCall(fgtest::Service::CriticalSection, 1);
  {
    CFrameBaseModule base;
    EXPECT_TRUE(s_bInitFailed);
    EXPECT_EQ(base.ResourceModuleAt(0), nullptr) << "a list that cannot be locked answers null";
  }
  EXPECT_EQ(TraceLines(), (std::vector<std::string>{"ERROR : Unable to initialize critical section in CFrameBaseModule\n",
                                                "ERROR : Unable to lock critical section in CFrameBaseModule\n"}));
  s_bInitFailed = false;
  fgtest::FailCall(fgtest::Service::CriticalSection, 1);
  {
    CFrameWinModule window;
    EXPECT_TRUE(s_bInitFailed);
    EXPECT_EQ(window.cbStruct, 0u);
  }
  EXPECT_EQ(TraceLines().back(), "ERROR : Unable to initialize critical section in FrameWinModuleInit\n");
  _FRAME_WIN_MODULE wrong = {};
  wrong.cbStruct = 43;
  EXPECT_EQ(FrameWinModuleInit(&wrong), E_INVALIDARG);
  EXPECT_EQ(FrameWinModuleTerm(&wrong), E_INVALIDARG);
  EXPECT_EQ(FrameWinModuleInit(nullptr), E_INVALIDARG);
  Reports();
}

TEST_F(Module, ResourceModulesEndWithTheLibrarysOwn) {
  CFrameBaseModule& base = FrameBaseModule();
  EXPECT_EQ(base.cbStruct, sizeof(_FRAME_BASE_MODULE));
  EXPECT_EQ(base.dwFrameVersion, 0x0900u);
  EXPECT_EQ(base.ResourceModuleAt(0), FrameThisModule());
  EXPECT_EQ(base.ResourceModuleAt(1), nullptr);
  EXPECT_EQ(base.ResourceModuleAt(-1), nullptr);
  EXPECT_EQ(FrameWinModule().cbStruct, sizeof(_FRAME_WIN_MODULE));
}

TEST_F(Module, TheGlobalInterfaceTableIsMadeOnceAndCounted) {
  IGlobalInterfaceTable* first = nullptr;
  IGlobalInterfaceTable* second = nullptr;
  EXPECT_EQ(_pFrameModule->GetGlobalInterfaceTable(&first), CO_E_NOTINITIALIZED) << "the host initialises the thread";
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  ASSERT_EQ(_pFrameModule->GetGlobalInterfaceTable(&first), S_OK);
  ASSERT_EQ(_pFrameModule->GetGlobalInterfaceTable(&second), S_OK);
  EXPECT_EQ(first, second);
  DWORD cookie = 0;
  ASSERT_EQ(first->RegisterInterfaceInGlobal(first, IID_IUnknown, &cookie), S_OK);
  IUnknown* back = nullptr;
  EXPECT_EQ(first->GetInterfaceFromGlobal(cookie, IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(first->RevokeInterfaceFromGlobal(cookie), S_OK);
  EXPECT_EQ(first->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG);
  first->Release();
  second->Release();
  IUnknown* other = nullptr;
  EXPECT_EQ(CoCreateInstance(IID_IDispatch, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&other)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(_pFrameModule->GetGlobalInterfaceTable(nullptr), E_POINTER);
  CoUninitialize();
  Reports();
}

TEST_F(Module, WindowCreationDataMustBeGiven) {
  _FRAME_CREATE_WND_DATA data = {};
  EXPECT_THROW(FrameWinModuleAddCreateWndData(&FrameWinModule(), nullptr, this), CStructuredException);
  EXPECT_THROW(FrameWinModuleAddCreateWndData(&FrameWinModule(), &data, nullptr), CStructuredException);
}

}  // namespace
