// Trace filter, line layout, the throw routine and the runtime error mapping.
#include <string>

#include "fgplatform/test_baseline.h"
#include "frame/frame_exception.h"
#include "trace/trace.h"
#include "trace/trace_settings.h"

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
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].text.find("pModule != 0"), std::string::npos) << reports[0].text;
  TraceWriteA(TraceLibraryModule(), "file", 1, 0, 0, "never\n", none);
  EXPECT_TRUE(TraceLines().empty()) << "category handle 0";
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
