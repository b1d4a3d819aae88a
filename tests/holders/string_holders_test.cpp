// System string holders: the owning CComString and the shared CSharedString.
#include <string>

#include "fgplatform/test_baseline.h"
#include "frame/com_error.h"
#include "frame/frame_exception.h"
#include "holders/comstring.h"
#include "holders/shared_string.h"

namespace {

using StringHolders = fgtest::BaselineTest;

TEST_F(StringHolders, AssignKeepsItsOwnPointerAndCutsAtANull) {
  CComString s;
  s.Assign(u"title");
  BSTR held = s;
  s.Assign(held);
  EXPECT_EQ(static_cast<BSTR>(s), held) << "self-assignment keeps the pointer unfreed";
  EXPECT_EQ(std::u16string(static_cast<BSTR>(s)), u"title");
  BSTR withNull = SysAllocStringLen(u"ab\0cd", 5);
  s.Assign(withNull);
  EXPECT_EQ(s.Length(), 2u) << "Assign stops at the first null character";
  s.Attach(withNull);
  BSTR copy = s.Copy();
  EXPECT_EQ(SysStringLen(copy), 5u) << "Copy keeps the length prefix";
  EXPECT_NE(copy, withNull);
  SysFreeString(copy);
  s.Assign(nullptr);
  EXPECT_TRUE(s.IsNull());
  EXPECT_TRUE(s == 0);
  EXPECT_EQ(s.Copy(), nullptr);
}

TEST_F(StringHolders, EmptyNarrowTextIsAnAllocatedEmptyString) {
  CComString s;
  s.AssignNarrow("");
  EXPECT_FALSE(s.IsNull());
  EXPECT_EQ(s.Length(), 0u);
  EXPECT_TRUE(s.EqualsNarrow(""));
  CComString none;
  EXPECT_TRUE(none.EqualsNarrow("")) << "null and empty compare equal";
  EXPECT_FALSE(none.NotEqualsNarrow(""));
  CComString text("x");
  EXPECT_FALSE(text.EqualsNarrow(""));
  EXPECT_TRUE(text.NotEqualsNarrow(""));
  EXPECT_TRUE(text.EqualsNarrow("x"));
  CComString nothing(static_cast<const char*>(nullptr));
  EXPECT_TRUE(nothing.IsNull());
}

TEST_F(StringHolders, NarrowTextUsesTheThreadCodePage) {
  LCID saved = GetThreadLocale();
  SetThreadLocale(0x0804);
  CComString s("\xCE\xC4");
  EXPECT_EQ(std::u16string(static_cast<BSTR>(s)), u"\u6587");
  SetThreadLocale(saved);
  BSTR part = NarrowToSystemString("abcdef", 3);
  EXPECT_EQ(SysStringLen(part), 3u);
  SysFreeString(part);
  EXPECT_EQ(NarrowToSystemString("abc", 0), nullptr);
  EXPECT_EQ(NarrowToSystemString(nullptr, -1), nullptr);
}

TEST_F(StringHolders, AllocationFailuresRaiseAndLeaveTheHolderNull) {
  CComString s;
  s.Assign(u"old");
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  try {
    s.Assign(u"new");
    ADD_FAILURE() << "no exception";
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, E_OUTOFMEMORY);
  }
  EXPECT_TRUE(s.IsNull()) << "the old string was freed before the allocation";
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_THROW(s.AssignNarrow(""), CFrameException);
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_THROW(CComString("x"), CFrameException);
  s.Assign(u"y");
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_EQ(s.Copy(), nullptr) << "Copy reports failure only by null";
  Reports();
}

TEST_F(StringHolders, SharedRecordsAreCopiedOnlyByReference) {
  CSharedString a(u"abc");
  CSharedString b(a);
  EXPECT_EQ(a.Text(), b.Text()) << "a copy shares the record";
  long before = fgtest::Live().systemStrings;
  b.Append(CSharedString(u"def"));
  EXPECT_EQ(std::u16string(a.Text()), u"abc") << "the other handle's text is unchanged";
  EXPECT_EQ(std::u16string(b.Text()), u"abcdef");
  EXPECT_EQ(fgtest::Live().systemStrings, before + 1);
  CSharedString empty;
  CSharedString same(a);
  same.Append(empty);
  EXPECT_NE(same.Text(), a.Text()) << "appending always makes a new record";
  EXPECT_EQ(std::u16string(same.Text()), u"abc");
  CSharedString none(nullptr);
  EXPECT_EQ(none.Text(), nullptr);
  EXPECT_EQ(none.Length(), 0u);
  CSharedString e1, e2;
  CSharedString joined = e1.Concat(e2);
  ASSERT_NE(joined.Text(), nullptr) << "two empty handles concatenate to an allocated empty string";
  EXPECT_EQ(joined.Length(), 0u);
  EXPECT_EQ(e1.Text(), nullptr) << "Concat leaves this handle";
  BSTR& slot = e1.SystemString();
  EXPECT_EQ(slot, nullptr);
}

TEST_F(StringHolders, SharedStringFailuresRaiseComErrorAndKeepTheHandle) {
  CSharedString a(u"keep");
  for (fgtest::Service s : {fgtest::Service::Heap, fgtest::Service::SystemString}) {
    CSharedString x(u"x");  // made before the fault is armed, so that Append meets it
    fgtest::FailCall(s, 1);
    try {
      a.Append(x);
      ADD_FAILURE() << "no exception";
    } catch (const CComError& e) {
      EXPECT_EQ(e.m_hrCode, E_OUTOFMEMORY);
      EXPECT_EQ(e.m_pErrorInfo, nullptr);
    }
    EXPECT_EQ(fgtest::FaultsFired(s), 1) << "the fault fired inside Append";
    EXPECT_EQ(std::u16string(a.Text()), u"keep");
  }
  fgtest::FailCall(fgtest::Service::SystemString, 1);
  EXPECT_THROW(CSharedString(u"x"), CComError);
  fgtest::FailCall(fgtest::Service::Heap, 1);
  EXPECT_THROW(CSharedString(u"x"), CComError);
}

TEST_F(StringHolders, AssignFromInsideTheHeldStringCopiesFirst) {
  CComString s;
  s.Assign(u"prefix-tail");
  s.Assign(static_cast<BSTR>(s) + 7);
  EXPECT_EQ(std::u16string(static_cast<BSTR>(s)), u"tail");
}

TEST_F(StringHolders, AComErrorHandlerThatReturnsStillEndsTheCaller) {
  static HRESULT s_seen;
  s_seen = S_OK;
  SetComErrorHandler([](HRESULT hr, IErrorInfo*) { s_seen = hr; });
  try {
    IssueComError(E_ACCESSDENIED);
    ADD_FAILURE() << "IssueComError returned";
  } catch (const CComError& e) {
    EXPECT_EQ(e.m_hrCode, E_ACCESSDENIED);
  }
  SetComErrorHandler(RaiseComError);
  EXPECT_EQ(s_seen, E_ACCESSDENIED) << "the handler ran first";
}
}  // namespace
