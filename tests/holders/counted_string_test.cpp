// The counted string: growth, sharing, self-assignment, limits, failures
// and resource strings.
#include <climits>
#include <string>

#include "fgplatform/test_baseline.h"
#include "frame/frame_exception.h"
#include "holders/counted_string.h"
#include "trace/trace_settings.h"

namespace {

class CountedString : public fgtest::BaselineTest {
 protected:
  void TearDown() override {
    TraceModifyCategory(nullptr, traceString.Handle(), 0, TraceStatusInherit);
    BaselineTest::TearDown();
  }
  static LONG EmptyRefs() {
    CCountedString probe;
    return probe.GetData()->nRefs - 1;
  }
};

TEST_F(CountedString, GrowthFollowsThePolicy) {
  LONG emptyBefore = EmptyRefs();
  {
    CCountedString s;
    s += u"abc";
    EXPECT_EQ(s.Length(), 3);
    EXPECT_EQ(s.GetData()->nAllocLength, 7);
    s += u"defg";
    EXPECT_EQ(s.GetData()->nAllocLength, 7);
    s += u"h";
    EXPECT_EQ(s.GetData()->nAllocLength, 15);
    std::vector<int> capacities;
    while (s.GetData()->nAllocLength < 3071) {
      int before = s.GetData()->nAllocLength;
      std::u16string fill(static_cast<size_t>(before - s.Length() + 1), u'x');
      s += fill.c_str();
      capacities.push_back(s.GetData()->nAllocLength);
    }
    EXPECT_EQ(capacities, (std::vector<int>{31, 63, 127, 255, 511, 1023, 2047, 3071}));
    EXPECT_EQ(s.Text()[s.Length()], 0);
  }
  EXPECT_EQ(EmptyRefs(), emptyBefore) << "the empty data's count is back";
}

TEST_F(CountedString, AssignsItsOwnTextAndPartsOfIt) {
  CCountedString s;
  s = u"hello world";
  s.Assign(s.Text(), s.Length());
  EXPECT_EQ(std::u16string(s.Text()), u"hello world");
  s.Assign(s.Text() + 6, 5);
  EXPECT_EQ(std::u16string(s.Text()), u"world");
  s.Append(s.Text(), 3);
  EXPECT_EQ(std::u16string(s.Text()), u"worldwor");
  s.Append(u"ab", 10);
  EXPECT_EQ(std::u16string(s.Text()), u"worldworab") << "stops at the terminator";
  s += nullptr;
  EXPECT_EQ(s.Length(), 10);
  s = nullptr;
  EXPECT_EQ(s.Length(), 0);
  s = u"";
  EXPECT_EQ(std::u16string(s.Text()), u"");
}

TEST_F(CountedString, LimitsAndFailuresKeepTheText) {
  CCountedString s;
  s = u"keep";
  EXPECT_THROW(s.Assign(nullptr, 3), CFrameException);
  try {
    s.Append(u"x", -1);
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, E_INVALIDARG);
  }
  s.GetData()->nStrLength = 2147483647 - 0;  // pretend to be at the limit
  try {
    s.Append(u"x", 1);
    ADD_FAILURE();
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, E_INVALIDARG);
  }
  s.GetData()->nStrLength = 4;
  std::u16string big(100, u'y');
  fgtest::FailCall(fgtest::Service::Heap, 1);
  try {
    s += big.c_str();
    ADD_FAILURE();
  } catch (const CFrameException& e) {
    EXPECT_EQ(e.m_hrCode, E_OUTOFMEMORY);
  }
  EXPECT_EQ(std::u16string(s.Text()), u"keep") << "out of memory keeps the old text";
  EXPECT_THROW(s.CommitLength(1000), CFrameException);
  EXPECT_THROW(CCountedString(static_cast<IStringManager*>(nullptr)), CFrameException);
  Reports();
}

TEST_F(CountedString, ResourceIdsLoadFromTheLibrarysStringTable) {
  CCountedString name(reinterpret_cast<const WCHAR*>(100));
  EXPECT_EQ(std::u16string(name.Text()), u"Farrowgate");
  CCountedString missing(reinterpret_cast<const WCHAR*>(5));
  EXPECT_EQ(missing.Length(), 0);
  EXPECT_TRUE(TraceLines().empty()) << "level 2 of traceString is not admitted by default";
  TraceModifyCategory(nullptr, traceString.Handle(), 2, TraceStatusEnabled);
  CCountedString again(reinterpret_cast<const WCHAR*>(5));
  EXPECT_EQ(TraceLines(), std::vector<std::string>{"Warning: implicit LoadString(5) failed\n"});
}

TEST_F(CountedString, GrowthNeverOverflows) {
  EXPECT_EQ(CCountedString::GrownLength(100, 101), 200) << "doubling while small";
  EXPECT_EQ(CCountedString::GrownLength(2000, 2001), 3024) << "then 1024 more";
  EXPECT_EQ(CCountedString::GrownLength(100, 500), 500) << "never less than needed";
  EXPECT_EQ(CCountedString::GrownLength(INT_MAX - 10, INT_MAX - 5), INT_MAX);
  EXPECT_EQ(CCountedString::GrownLength(INT_MAX - 1024, INT_MAX - 1023), INT_MAX);
}
}  // namespace
