// OpenDialog over the platform's dialog test controls: the request it
// makes, the results it stores, and the failures it reports.
#include <string>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "test_dialog_helper.h"

namespace {

using fgtest::DialogAnswer;

class OpenDialog : public DialogObjectTest {
 protected:
  static void Answer(std::vector<std::u16string> paths) {
    DialogAnswer a;
    a.kind = DialogAnswer::Files;
    a.paths = std::move(paths);
    fgtest::QueueDialogAnswer(a);
  }
  static void AnswerError(DWORD code) {
    DialogAnswer a;
    a.kind = DialogAnswer::Error;
    a.error = code;
    fgtest::QueueDialogAnswer(a);
  }
};

TEST_F(OpenDialog, TheRequestIsFilledExactly) {
  Put(&IDialogHelper::put_Filter, u"Text|*.txt|All|*.*");
  Put(&IDialogHelper::put_Title, u"Pick");
  Answer({u"/tmp/a.txt"});
  VARIANT_BOOL result = 0;
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  fgtest::DialogRequest r = fgtest::LastDialogRequest();
  EXPECT_EQ(r.lStructSize, OPENFILENAME_SIZE_VERSION_400W);
  EXPECT_EQ(r.filter, (std::vector<std::u16string>{u"Text", u"*.txt", u"All", u"*.*"}))
      << "a filter without a trailing bar still ends the list";
  EXPECT_EQ(r.nFilterIndex, 1u);
  EXPECT_EQ(r.nMaxFile, 1024u);
  EXPECT_FALSE(r.hasInitialDir);
  EXPECT_EQ(r.title, u"Pick");
  EXPECT_EQ(r.Flags, 0x00081000u);
  EXPECT_EQ(r.initialFile, u"") << "a new object offers an empty name";

  ASSERT_EQ(m_object->put_MultiSelect(1), S_OK);
  Put(&IDialogHelper::put_Filter, nullptr);
  Put(&IDialogHelper::put_Title, nullptr);
  Answer({u"/tmp/a.txt"});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  r = fgtest::LastDialogRequest();
  EXPECT_EQ(r.Flags, 0x00081A04u) << "MultiSelect 1 selects multi-select mode";
  EXPECT_FALSE(r.hasFilter);
  EXPECT_FALSE(r.hasTitle);
  EXPECT_EQ(r.initialFile, u"/tmp/a.txt") << "the last result is offered first";

  Put(&IDialogHelper::put_Filter, u"");
  Put(&IDialogHelper::put_Title, u"");
  Answer({u"/tmp/a.txt"});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  r = fgtest::LastDialogRequest();
  EXPECT_TRUE(r.hasFilter);
  EXPECT_TRUE(r.filter.empty()) << "an empty list";
  EXPECT_TRUE(r.hasTitle);
  EXPECT_EQ(r.title, u"");
}

TEST_F(OpenDialog, LongNamesAreOfferedAsTheirFirst1023Characters) {
  for (size_t length : {1023u, 2000u}) {
    std::u16string name(length, u'n');
    Put(&IDialogHelper::put_FileName, name.c_str());
    fgtest::QueueDialogAnswer(DialogAnswer{});
    VARIANT_BOOL result = -1;
    ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
    EXPECT_EQ(fgtest::LastDialogRequest().initialFile, std::u16string(1023, u'n'));
  }
}

TEST_F(OpenDialog, ResultsFollowTheTable) {
  VARIANT_BOOL result = 0;
  Answer({u"/home/u/one.txt"});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  EXPECT_EQ(result, VARIANT_TRUE);
  EXPECT_EQ(FileName(), u"/home/u/one.txt");
  EXPECT_EQ(FileNames(), std::vector<std::u16string>{u"/home/u/one.txt"});

  m_object->put_MultiSelect(VARIANT_TRUE);
  Answer({u"/home/u/a.txt", u"/home/u/b.txt"});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  EXPECT_EQ(FileName(), u"/home/u|a.txt|b.txt");
  EXPECT_EQ(FileNames(), (std::vector<std::u16string>{u"/home/u/a.txt", u"/home/u/b.txt"}));

  Answer({u"/home/u/only.txt"});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  EXPECT_EQ(FileName(), u"/home/u/only.txt") << "one file in multi-select mode is its full path";
  EXPECT_EQ(FileNames(), std::vector<std::u16string>{u"/home/u/only.txt"});

  Answer({u"/a.txt", u"/b.txt"});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  EXPECT_EQ(FileNames(), (std::vector<std::u16string>{u"/a.txt", u"/b.txt"})) << "the root directory";
}

TEST_F(OpenDialog, CancelLeavesFileNameAndSetsNoErrorObject) {
  Put(&IDialogHelper::put_FileName, u"/kept");
  Answer({u"/x"});
  VARIANT_BOOL result = 0;
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  fgtest::QueueDialogAnswer(DialogAnswer{});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  EXPECT_EQ(result, VARIANT_FALSE);
  EXPECT_EQ(FileName(), u"/x");
  EXPECT_TRUE(FileNames().empty()) << "FileNames reads as an empty value";
  EXPECT_EQ(TakeDescription(), u"<none>");
}

TEST_F(OpenDialog, FailuresCarryTheirMessageAndCode) {
  fgtest::TemporaryRegistry registry;
  struct Case {
    DWORD code;
    std::u16string description;
  };
  const Case cases[] = {
      {0x3002, u"\u6587\u4EF6\u540D\u65E0\u6548ErrorCode:12290"},
      {0x000A, u"ErrorCode:10"},
      {0x0001, u"ErrorCode:1"},
      {0x1001, u"ErrorCode:4097"},
      {0x0002, u"\u516C\u5171\u5BF9\u8BDD\u6846\u51FD\u6570\u5728\u521D\u59CB\u5316\u8FC7\u7A0B\u4E2D\u5931\u8D25,"
               u"\u6CA1\u6709\u8DB3\u591F\u5185\u5B58ErrorCode:2"},
  };
  for (const Case& c : cases) {
    AnswerError(c.code);
    VARIANT_BOOL result = -1;
    EXPECT_EQ(m_object->OpenDialog(&result), DISP_E_EXCEPTION);
    EXPECT_EQ(result, VARIANT_FALSE);
    GUID iid = IID_IDispatch;
    EXPECT_EQ(TakeDescription(&iid), c.description);
    EXPECT_EQ(iid, GUID_NULL);
  }
  VARIANT_BOOL result = -1;
  EXPECT_EQ(m_object->OpenDialog(&result), DISP_E_EXCEPTION) << "no backend: the dialog cannot be created";
  std::u16string d = TakeDescription();
  EXPECT_EQ(d.substr(d.size() - 15), u"ErrorCode:65535");
  EXPECT_EQ(d.substr(0, 7), u"\u5BF9\u8BDD\u6846\u4E0D\u80FD\u521B\u5EFA");

  m_object->put_MultiSelect(VARIANT_TRUE);
  std::vector<std::u16string> many;
  for (int i = 0; i < 200; ++i) many.push_back(u"/tmp/some-long-file-name-" + std::u16string(1, u'a' + i % 26) + u".txt");
  Answer(many);
  EXPECT_EQ(m_object->OpenDialog(&result), DISP_E_EXCEPTION) << "the selection does not fit 1024 characters";
  d = TakeDescription();
  EXPECT_EQ(d.substr(d.size() - 15), u"ErrorCode:12291");
}

TEST_F(OpenDialog, OutOfMemoryLeavesBothResultsAsTheyWereOrBothComplete) {
  m_object->put_MultiSelect(VARIANT_TRUE);
  Answer({u"/old/x", u"/old/y"});
  VARIANT_BOOL result = 0;
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  const std::vector<std::u16string> oldNames{u"/old/x", u"/old/y"};
  for (fgtest::Service s : {fgtest::Service::SystemString, fgtest::Service::Heap, fgtest::Service::SafeArray}) {
    VARIANT_BOOL chosen = 0;
    auto scenario = [&] {
      Answer({u"/d/a", u"/d/b"});
      chosen = VARIANT_TRUE;
      HRESULT hr = m_object->OpenDialog(&chosen);
      fgtest::ClearDialogs();
      return static_cast<long>(hr);
    };
    auto check = [&](const fgtest::FaultRun& run) {
      if (run.succeeded) {
        EXPECT_EQ(chosen, VARIANT_TRUE);
        EXPECT_EQ(FileName(), u"/d|a|b");
        EXPECT_EQ(FileNames(), (std::vector<std::u16string>{u"/d/a", u"/d/b"}));
      } else {
        EXPECT_EQ(chosen, VARIANT_FALSE) << "a failed call chose nothing";
        EXPECT_EQ(FileName(), u"/old|x|y");
        EXPECT_EQ(FileNames(), oldNames);
      }
      // Back to the old results for the next run.
      Answer({u"/old/x", u"/old/y"});
      VARIANT_BOOL again = 0;
      ASSERT_EQ(m_object->OpenDialog(&again), S_OK);
    };
    fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(s, S_OK, E_OUTOFMEMORY, scenario, check);
    EXPECT_GT(counts.once, 0) << fgtest::ServiceName(s) << " is called by OpenDialog";
  }
  Reports();
}

TEST_F(OpenDialog, AChoiceThatFillsTheWholeBufferIsRefusedNotReadPastItsEnd) {
  m_object->put_MultiSelect(VARIANT_TRUE);
  Put(&IDialogHelper::put_FileName, u"/kept");
  std::u16string longest = u"/" + std::u16string(1022, u'n');  // 1023 characters: no room for the list's end
  Answer({longest});
  VARIANT_BOOL result = -1;
  EXPECT_EQ(m_object->OpenDialog(&result), DISP_E_EXCEPTION);
  EXPECT_EQ(result, VARIANT_FALSE);
  std::u16string d = TakeDescription();
  EXPECT_EQ(d.substr(d.size() - 15), u"ErrorCode:12291");
  EXPECT_EQ(FileName(), u"/kept");

  std::u16string fits = longest.substr(0, 1022);
  Answer({fits});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK);
  EXPECT_EQ(FileName(), fits);
  EXPECT_EQ(FileNames(), std::vector<std::u16string>{fits});

  m_object->put_MultiSelect(VARIANT_FALSE);
  Answer({longest});
  ASSERT_EQ(m_object->OpenDialog(&result), S_OK) << "single-select needs no list end";
  EXPECT_EQ(FileName(), longest);
}

}  // namespace
