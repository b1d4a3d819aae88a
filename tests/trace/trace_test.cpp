// Trace filter, line layout, the throw routine and the runtime error mapping.
#include <string>

#include "fgplatform/test_baseline.h"
#include "frame/frame_exception.h"
#include "trace/trace.h"
#include "trace/trace_settings.h"
#include "trace/trace_tool.h"

namespace {

class Trace : public fgtest::BaselineTest {
 protected:
  void TearDown() override {
    TraceModifyProcess(nullptr, 0, /*enabled=*/true, /*showCategory=*/false, /*showFileLine=*/false);
    TraceModifyModule(nullptr, TraceLibraryModule(), 0, TraceStatusInherit);
    TraceModifyCategory(nullptr, traceString.Handle(), 0, TraceStatusInherit);
    BaselineTest::TearDown();
  }
};

TEST_F(Trace, CategoriesAreRegisteredInTheirOrder) {
  EXPECT_EQ(traceGeneral.Handle(), 1u);
  EXPECT_EQ(traceCOM.Handle(), 2u);
  EXPECT_EQ(traceException.Handle(), 14u);
  EXPECT_EQ(traceString.Handle(), 18u);
  EXPECT_EQ(traceUser4.Handle(), 27u);
  EXPECT_EQ(std::u16string(TraceCategoryOf(traceRegistrar.Handle())->szName), u"traceRegistrar");
}

TEST_F(Trace, DefaultsWriteLevelZeroAsBareText) {
  FGTRACE(traceString, 2, "Warning: implicit LoadString(%u) failed\n", 5u);
  FGTRACE(traceException, 0, u"wide %s %d\n", u"text", 7);
  FGTRACE(traceCOM, 1, "dropped\n");
  EXPECT_EQ(TraceLines(), std::vector<std::string>{"wide text 7\n"});
}

TEST_F(Trace, PrefixesAndStatusesFollowTheSettings) {
  TraceModifyProcess(nullptr, 0, true, /*showCategory=*/true, /*showFileLine=*/true);
  TraceSite("regscript", 12)(traceRegistrar, 0, "line\n");
  TraceModifyProcess(nullptr, 0, /*enabled=*/false, false, false);
  TraceModifyCategory(nullptr, traceString.Handle(), 2, TraceStatusEnabled);
  FGTRACE(traceString, 2, "enabled category\n");
  FGTRACE(traceCOM, 0, "process disabled\n");
  TraceModifyProcess(nullptr, 0, /*enabled=*/true, /*showCategory=*/false, /*showFileLine=*/false);
  TraceModifyModule(nullptr, TraceLibraryModule(), 0, TraceStatusDisabled);
  FGTRACE(traceCOM, 0, "module disabled\n");
  FGTRACE(traceString, 1, "still enabled\n");
  EXPECT_EQ(TraceLines(), (std::vector<std::string>{"regscript(12) : traceRegistrar: line\n", "enabled category\n",
                                                "still enabled\n"}));
  TraceSite("x", 1)(TraceCategory(nullptr), 0, "no handle\n");
  EXPECT_EQ(TraceLines().size(), 3u) << "a category without a handle writes nothing";
}

TEST_F(Trace, LongLinesAreCutAt1023Characters) {
  std::string longText(2000, 'x');
  FGTRACE(traceGeneral, 0, "%s", longText.c_str());
  auto lines = TraceLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(1023, 'x'));
}

TEST_F(Trace, ALineChangesNothingForItsCaller) {
  _set_errno(7);
  std::string longText(2000, 'x');
  FGTRACE(traceGeneral, 0, "%s", longText.c_str());
  int after = 0;
  _get_errno(&after);
  EXPECT_EQ(after, 7) << "a cut line leaves the runtime error number as it was";
  EXPECT_NO_THROW(FGTRACE(traceGeneral, 0, "bad %"));
  EXPECT_NO_THROW(FGTRACE(traceGeneral, 0, u"bad %"));
  _get_errno(&after);
  EXPECT_EQ(after, 7);
  std::vector<std::string> lines = TraceLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], std::string(1023, 'x'));
  _set_errno(0);
}

TEST_F(Trace, CategoryNamesComeFromTheThreadsCodePage) {
  LONG slots = TraceOwnStore().Process()->nCategorySlots;
  EXPECT_EQ(TraceRegisterCategoryA(TraceLibraryModule(), nullptr), 0u);
  EXPECT_EQ(TraceOwnStore().Process()->nCategorySlots, slots) << "a null name touches nothing";
  LCID saved = GetThreadLocale();
  ASSERT_TRUE(SetThreadLocale(0x0804));  // code page 936
  DWORD_PTR handle = TraceRegisterCategoryA(TraceLibraryModule(), "trace\xd6\xd0");
  ASSERT_TRUE(SetThreadLocale(saved));
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(std::u16string(TraceCategoryOf(handle)->szName), u"trace\u4e2d");
  EXPECT_EQ(TraceRegisterCategoryA(0, "orphan"), 0u) << "no module, no category";
  // The category goes with the module at unload; here it is freed by hand.
  TraceCategoryOf(handle)->settings.Unpin();
  Reports();
}

TEST_F(Trace, UnknownHandlesWriteNothingAndAreReported) {
  va_list none{};
  TraceWriteA(99, "file", 1, traceCOM.Handle(), 0, "never\n", none);
  std::vector<fgtest::DebugReport> reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(reports[0].text.find("iModule < modcnt"), std::string::npos) << reports[0].text;
  EXPECT_NE(reports[1].text.find("pModule != 0"), std::string::npos) << reports[1].text;
  TraceWriteA(TraceLibraryModule(), "file", 1, 0, 0, "never\n", none);
  EXPECT_TRUE(TraceLines().empty()) << "category handle 0";
  TraceWriteA(TraceLibraryModule(), "file", 1, 5000, 0, "never\n", none);
  reports = Reports();
  ASSERT_EQ(reports.size(), 3u) << "a category handle above the count";
  EXPECT_NE(reports[2].text.find("(iCategory < m_pProcess->CategoryCount()) || (iCategory == -1)"), std::string::npos)
      << reports[2].text;
  EXPECT_TRUE(TraceLines().empty());
}

TEST_F(Trace, FrameThrowTracesThenThrows) {
  try {
    FrameThrow(E_OUTOFMEMORY);
    ADD_FAILURE() << "FrameThrow returned";
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, E_OUTOFMEMORY);
  }
  EXPECT_EQ(TraceLines(), std::vector<std::string>{"FrameThrow: hr = 0x8007000e\n"});
}

// The settings-tool operations that need a store handle refuse a null one,
// after their assertion, through the throw routine and its trace line; a
// snapshot position outside the list is asserted before its structured
// exception.
TEST_F(Trace, ToolOperationsWithoutAStoreOrPastTheSnapshotAreRefusedAndReported) {
  TraceProcessInfo process{};
  TraceModuleInfo module{};
  TraceCategoryInfo category{};
  auto refused = [](auto call) {
    try {
      call();
    } catch (const CFrameException& e) {
      return e.m_hrCode == E_FAIL;
    }
    return false;
  };
  EXPECT_TRUE(refused([] { TraceSnapshotProcess(nullptr); }));
  EXPECT_TRUE(refused([&] { TraceGetProcessInfo(nullptr, &process); }));
  EXPECT_TRUE(refused([&] { TraceGetModuleInfo(nullptr, 0, &module); }));
  EXPECT_TRUE(refused([&] { TraceGetCategoryInfo(nullptr, TraceLibraryModule(), 0, &category); }));
  std::vector<fgtest::DebugReport> reports = Reports();
  int assertions = 0;
  for (const fgtest::DebugReport& r : reports) assertions += r.text.find("__condVal") != std::string::npos;
  EXPECT_EQ(assertions, 4);
  EXPECT_EQ(TraceLines(), std::vector<std::string>(4, "FrameThrow: hr = 0x80004005\n"));
  EXPECT_EQ(process.dwId, 0u) << "nothing was read from this process's own store";

  TraceStoreHandle store = TraceOpenProcess(GetCurrentProcessId());
  ASSERT_NE(store, nullptr);
  TraceSnapshotProcess(store);
  TraceGetProcessInfo(store, &process);
  EXPECT_EQ(process.dwId, GetCurrentProcessId());
  bool raised = false;
  try {
    TraceGetModuleInfo(store, process.nModules, &module);
  } catch (const CStructuredException& e) {
    raised = e.Code() == 0xC000008Cu;
  }
  EXPECT_TRUE(raised);
  reports = Reports();
  EXPECT_NE(reports.back().text.find("nIndex >= 0 && nIndex < m_nSize"), std::string::npos) << reports.back().text;
  TraceCloseProcess(store);
}

TEST_F(Trace, CheckCrtErrorMapsEachNumber) {
  EXPECT_EQ(CheckCrtError(0), 0);
  EXPECT_EQ(CheckCrtError(80), 80);
  auto codeOf = [](errno_t e) {
    try {
      CheckCrtError(e);
    } catch (const CFrameException& ex) {
      return ex.m_hrCode;
    }
    return S_OK;
  };
  EXPECT_EQ(codeOf(12), E_OUTOFMEMORY);
  EXPECT_EQ(codeOf(22), E_INVALIDARG);
  EXPECT_EQ(codeOf(34), E_INVALIDARG);
  EXPECT_EQ(codeOf(5), E_FAIL);
}

}  // namespace
