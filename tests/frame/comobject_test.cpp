// Object identity over small classes of the tests' own: the table walk and
// its row kinds, the creators' steps and their failures, the module's lock.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_outer.h"
#include "frame/comobject.h"
#include "frame/guarded_call.h"
#include "frame/com_error.h"

namespace {

// Two interfaces of the tests' own.
const IID IID_IFirst = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x01}};
const IID IID_ISecond = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x02}};
const IID IID_IByFunction = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x03}};
const IID IID_IRefused = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x04}};

struct IFirst : IUnknown {};
struct ISecond : IUnknown {};

// What the hooks of the next object made should do.
struct Script {
  HRESULT prepare = S_OK, complete = S_OK, after = S_OK;
  bool raise = false;  // CompleteConstruct raises E_OUTOFMEMORY
  int released = 0;    // CompleteRelease calls seen
  LONG countInHooks = -100;
};
Script g_script;

template <class ThreadModel>
class Sample : public IFirst, public ISecond, public CComObjectRootEx<ThreadModel> {
 public:
  HRESULT PrepareConstruct() {
    HRESULT hr = CComObjectRootEx<ThreadModel>::PrepareConstruct();
    return FAILED(hr) ? hr : g_script.prepare;
  }
  HRESULT CompleteConstruct() {
    g_script.countInHooks = this->m_dwRef;
    if (g_script.raise) IssueComError(E_OUTOFMEMORY);
    return g_script.complete;
  }
  HRESULT AfterConstruct() { return g_script.after; }
  void CompleteRelease() { ++g_script.released; }

  // A function row: S_FALSE asks the walk to go on, a failure ends it.
  static HRESULT WINAPI Answer(void* pThis, REFIID, LPVOID* ppv, DWORD_PTR dw) {
    if (dw == 0) return S_FALSE;
    if (dw == 1) return E_ACCESSDENIED;
    auto* self = static_cast<Sample*>(pThis);
    ISecond* second = self;
    second->AddRef();
    *ppv = second;
    return S_OK;
  }
  static const InterfaceEntry pEntries[];
};

template <class ThreadModel>
const InterfaceEntry Sample<ThreadModel>::pEntries[] = {
    {&IID_IFirst, InterfaceOffset<IFirst, Sample>(), _FRAME_SIMPLEMAPENTRY},
    {&IID_ISecond, InterfaceOffset<ISecond, Sample>(), _FRAME_SIMPLEMAPENTRY},
    {&IID_IRefused, 1, &Sample::Answer},
    {nullptr, 0, &Sample::Answer},  // blind: S_FALSE, on to the next row
    {&IID_IByFunction, 2, &Sample::Answer},
    {nullptr, 0, nullptr},
};

using Plain = Sample<CComSingleThreadModel>;
using Guarded = Sample<CComMultiThreadModel>;

class ObjectIdentity : public fgtest::BaselineTest {
 protected:
  void SetUp() override {
    BaselineTest::SetUp();
    g_script = Script{};
    ASSERT_NE(_pFrameModule, nullptr);
    m_locks = _pFrameModule->LockCount();
  }
  void TearDown() override {
    EXPECT_EQ(_pFrameModule->LockCount(), m_locks) << "every wrapper gave its lock back";
    BaselineTest::TearDown();
  }
  LONG m_locks = 0;
};

TEST_F(ObjectIdentity, TheTableAnswersByRowKind) {
  IFirst* first = nullptr;
  ASSERT_EQ((CComCreators<Plain>::CreatePlain(nullptr, IID_IFirst, reinterpret_cast<void**>(&first))), S_OK);
  EXPECT_EQ(g_script.countInHooks, 1) << "the count is held during the hooks";
  EXPECT_EQ(_pFrameModule->LockCount(), m_locks + 1);
  void* p = nullptr;
  ASSERT_EQ(first->QueryInterface(IID_IUnknown, &p), S_OK);
  EXPECT_EQ(p, first) << "IUnknown is the first row";
  static_cast<IUnknown*>(p)->Release();
  ASSERT_EQ(first->QueryInterface(IID_ISecond, &p), S_OK);
  EXPECT_NE(p, static_cast<void*>(first));
  void* again = nullptr;
  ASSERT_EQ(static_cast<ISecond*>(p)->QueryInterface(IID_IUnknown, &again), S_OK);
  EXPECT_EQ(again, first) << "IUnknown through a secondary pointer is the primary one";
  static_cast<IUnknown*>(again)->Release();
  static_cast<IUnknown*>(p)->Release();

  EXPECT_EQ(first->QueryInterface(IID_IRefused, &p), E_ACCESSDENIED) << "a named row's failure ends the walk";
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(first->QueryInterface(IID_IByFunction, &p), S_OK) << "past the blind row's S_FALSE";
  static_cast<IUnknown*>(p)->Release();
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(first->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);

  EXPECT_EQ(first->AddRef(), 2u);
  EXPECT_EQ(first->Release(), 1u);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_EQ(g_script.released, 1);
}

TEST_F(ObjectIdentity, TheWalkRefusesBadArguments) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(QueryFromTable(nullptr, Plain::pEntries, IID_IFirst, &p), E_INVALIDARG);
  EXPECT_EQ(QueryFromTable(&p, nullptr, IID_IFirst, &p), E_INVALIDARG);
  EXPECT_EQ(Reports().size(), 2u) << "each asserted first";
  EXPECT_EQ(QueryFromTable(&p, Plain::pEntries, IID_IFirst, nullptr), E_POINTER);
  EXPECT_EQ((CComCreators<Plain>::CreatePlain(nullptr, IID_IFirst, nullptr)), E_POINTER);
  std::vector<fgtest::DebugReport> reports = Reports();
  ASSERT_EQ(reports.size(), 3u) << "the walk does not assert on a null out pointer; the creator does";
  EXPECT_EQ(reports[0].file, "framebase");
  EXPECT_EQ(reports[2].file, "comobject");
}

TEST_F(ObjectIdentity, FailuresLeaveNoObjectAndNoLock) {
  void* p = reinterpret_cast<void*>(1);
  fgtest::FailCall(fgtest::Service::Heap, 1);
  EXPECT_EQ((CComCreators<Plain>::CreatePlain(nullptr, IID_IFirst, &p)), E_OUTOFMEMORY);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(fgtest::FaultsFired(fgtest::Service::Heap), 1);

  g_script.prepare = E_FAIL;
  EXPECT_EQ((CComCreators<Plain>::CreatePlain(nullptr, IID_IFirst, &p)), E_FAIL);
  EXPECT_EQ(g_script.released, 1) << "destroyed by the creator";
  g_script = Script{};
  g_script.after = S_FALSE;
  EXPECT_EQ((CComCreators<Plain>::CreatePlain(nullptr, IID_IFirst, &p)), S_FALSE) << "only S_OK goes on";
  EXPECT_EQ(g_script.released, 1);
  EXPECT_EQ(p, nullptr);
  g_script = Script{};
  EXPECT_EQ((CComCreators<Plain>::CreatePlain(nullptr, IID_IDispatch, &p)), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(g_script.released, 1) << "an interface it does not have destroys it too";
  g_script = Script{};

  // A hook that raises: the wrapper is destroyed and the exception reaches
  // the operation that asked, which turns it into its code.
  g_script.raise = true;
  HRESULT hr = GuardedCall([&] { return CComCreators<Plain>::CreatePlain(nullptr, IID_IFirst, &p); });
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(g_script.released, 1);

  // A multi-threaded object makes its critical section in PrepareConstruct.
  g_script = Script{};
  fgtest::FailCall(fgtest::Service::CriticalSection, 1);
  EXPECT_EQ((CComCreators<Guarded>::CreatePlain(nullptr, IID_IFirst, &p)), E_OUTOFMEMORY);
  EXPECT_EQ(p, nullptr);
  long sections = fgtest::Live().criticalSections;
  ASSERT_EQ((CComCreators<Guarded>::CreatePlain(nullptr, IID_IFirst, &p)), S_OK);
  EXPECT_EQ(fgtest::Live().criticalSections, sections + 1);
  static_cast<IUnknown*>(p)->Release();
  EXPECT_EQ(fgtest::Live().criticalSections, sections) << "deleted with the object";
}

TEST_F(ObjectIdentity, AnAggregateAnswersForItselfAndItsInnerPart) {
  fgtest::CountingOuter outer;
  IUnknown* aggregate = nullptr;
  ASSERT_EQ((CComCreators<Plain>::CreatePlainOrAggregated(&outer, IID_IUnknown,
                                                          reinterpret_cast<void**>(&aggregate))),
            S_OK);
  EXPECT_EQ(_pFrameModule->LockCount(), m_locks + 1) << "one lock for the aggregate";
  void* p = nullptr;
  ASSERT_EQ(aggregate->QueryInterface(IID_IUnknown, &p), S_OK);
  EXPECT_EQ(p, aggregate) << "the aggregate itself";
  aggregate->Release();
  ASSERT_EQ(aggregate->QueryInterface(IID_IFirst, &p), S_OK);
  EXPECT_NE(p, static_cast<void*>(aggregate)) << "the inner part's pointer";
  EXPECT_EQ(outer.count, 2) << "its AddRef went to the outer object";
  static_cast<IUnknown*>(p)->AddRef();
  EXPECT_EQ(outer.count, 3);
  void* viaInner = nullptr;
  static_cast<IUnknown*>(p)->QueryInterface(IID_IFirst, &viaInner);
  EXPECT_EQ(viaInner, nullptr) << "the inner part asks the outer object, which refuses";
  static_cast<IUnknown*>(p)->Release();
  static_cast<IUnknown*>(p)->Release();
  EXPECT_EQ(outer.count, 1);
  EXPECT_EQ(aggregate->Release(), 0u);
  EXPECT_EQ(g_script.released, 1) << "the inner part's CompleteRelease ran";
}

}  // namespace
