// Kernel services: critical sections, interlocked counters, heaps,
// structured exceptions, debugger output, the runtime's debug report.
#include <thread>
#include <vector>

#include "fgplatform/test_baseline.h"
#include "fgplatform/win32.h"

namespace {

using Kernel = fgtest::BaselineTest;

TEST_F(Kernel, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 0));
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // the same thread may take it again
  EXPECT_EQ(cs.RecursionCount, 2);
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = TryEnterCriticalSection(&cs) != FALSE; }).join();
  EXPECT_FALSE(otherGotIt);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  EXPECT_EQ(cs.RecursionCount, 0);
  std::thread([&] {
    otherGotIt = TryEnterCriticalSection(&cs) != FALSE;
    if (otherGotIt) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_TRUE(otherGotIt);
  DeleteCriticalSection(&cs);
}

TEST_F(Kernel, CriticalSectionGuardsACounterAcrossThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  long plain = 0;
  LONG interlocked = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&cs);
        ++plain;
        LeaveCriticalSection(&cs);
        InterlockedIncrement(&interlocked);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(plain, 80000);
  EXPECT_EQ(interlocked, 80000);
  DeleteCriticalSection(&cs);
}

TEST_F(Kernel, FailedInitialisationIsReportedByEachForm) {
  CRITICAL_SECTION cs;
  fgtest::FailCall(fgtest::Service::CriticalSection, 1);
  SetLastError(0);
  EXPECT_FALSE(InitializeCriticalSectionAndSpinCount(&cs, 4000));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  fgtest::FailCall(fgtest::Service::CriticalSection, 1);
  EXPECT_FALSE(InitializeCriticalSectionEx(&cs, 0, 0));
  fgtest::FailCall(fgtest::Service::CriticalSection, 1);
  try {
    InitializeCriticalSection(&cs);
    ADD_FAILURE() << "expected STATUS_NO_MEMORY";
  } catch (const CStructuredException& e) {
    EXPECT_EQ(e.Code(), STATUS_NO_MEMORY);
  }
  EXPECT_THROW(EnterCriticalSection(&cs), CStructuredException) << "never initialised";
}

TEST_F(Kernel, InterlockedOperationsAnswerTheDocumentedValues) {
  LONG v = 5;
  EXPECT_EQ(InterlockedIncrement(&v), 6);
  EXPECT_EQ(InterlockedDecrement(&v), 5);
  EXPECT_EQ(InterlockedExchange(&v, 9), 5);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 8), 9) << "no exchange: comparand differs";
  EXPECT_EQ(v, 9);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(InterlockedExchangeAdd(&v, 10), 1);
  EXPECT_EQ(v, 11);
}

TEST_F(Kernel, HeapsZeroGrowFreeAndRefuseForeignBlocks) {
  HANDLE heap = HeapCreate(0, 0, 0);
  ASSERT_NE(heap, nullptr);
  auto* p = static_cast<BYTE*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 32));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_EQ(HeapSize(heap, 0, p), 32u);
  p[0] = 7;
  p = static_cast<BYTE*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 64));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 7);
  EXPECT_EQ(p[63], 0) << "grown part zeroed";
  EXPECT_EQ(HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, p, 128), nullptr);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, p), static_cast<SIZE_T>(-1));
  EXPECT_FALSE(HeapFree(GetProcessHeap(), 0, p)) << "a block of another heap";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  HeapAlloc(heap, 0, 10);  // left for HeapDestroy to free
  EXPECT_TRUE(HeapDestroy(heap));
  EXPECT_FALSE(HeapDestroy(GetProcessHeap()));
}

TEST_F(Kernel, HeapFailuresAnswerNullOrRaiseWhenAsked) {
  HANDLE heap = HeapCreate(0, 0, 100);
  EXPECT_EQ(HeapAlloc(heap, 0, 101), nullptr) << "past the maximum size";
  void* p = HeapAlloc(heap, 0, 50);
  ASSERT_NE(p, nullptr);
  fgtest::FailCall(fgtest::Service::Heap, 1);
  EXPECT_EQ(HeapReAlloc(heap, 0, p, 60), nullptr);
  EXPECT_EQ(HeapSize(heap, 0, p), 50u) << "a failed reallocation keeps the block";
  fgtest::FailCall(fgtest::Service::Heap, 1);
  try {
    HeapAlloc(heap, HEAP_GENERATE_EXCEPTIONS, 8);
    ADD_FAILURE() << "expected STATUS_NO_MEMORY";
  } catch (const CStructuredException& e) {
    EXPECT_EQ(e.Code(), STATUS_NO_MEMORY);
  }
  HeapFree(heap, 0, p);
  HeapDestroy(heap);
}

TEST_F(Kernel, TaskMemoryFollowsTheReallocationRules) {
  void* p = CoTaskMemAlloc(0);
  EXPECT_NE(p, nullptr);
  p = CoTaskMemRealloc(p, 16);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(CoTaskMemRealloc(p, 0), nullptr) << "size 0 frees";
  p = CoTaskMemRealloc(nullptr, 8);
  EXPECT_NE(p, nullptr);
  fgtest::FailCall(fgtest::Service::TaskMemory, 1);
  EXPECT_EQ(CoTaskMemRealloc(p, 100), nullptr);
  CoTaskMemFree(p);  // the old block survived the failure
  CoTaskMemFree(nullptr);
}

TEST_F(Kernel, RaiseExceptionCarriesCodeFlagsAndArguments) {
  ULONG_PTR args[2] = {1, 2};
  try {
    RaiseException(0xC000008C | 0x10000000, EXCEPTION_NONCONTINUABLE, 2, args);
  } catch (const CStructuredException& e) {
    EXPECT_EQ(e.Code(), 0xC000008Cu) << "bit 28 is reserved and cleared";
    EXPECT_EQ(e.Flags(), static_cast<DWORD>(EXCEPTION_NONCONTINUABLE));
    EXPECT_EQ(e.m_nArguments, 2u);
    EXPECT_EQ(e.m_arguments[1], 2u);
    return;
  }
  ADD_FAILURE() << "nothing was raised";
}

TEST_F(Kernel, DebugOutputAndReportsReachTheSink) {
  OutputDebugStringA("narrow\n");
  OutputDebugStringW(u"wide \u6587\n");
  EXPECT_EQ(Output(), "narrow\nwide \xE6\x96\x87\n");
  RuntimeDebugReport(_CRT_ASSERT, "framebase", 12, nullptr, "%s", "m_psa != 0");
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].type, _CRT_ASSERT);
  EXPECT_EQ(reports[0].file, "framebase");
  EXPECT_EQ(reports[0].line, 12);
  EXPECT_EQ(reports[0].text, "m_psa != 0");
}

TEST_F(Kernel, LastErrorAndIdsArePerThread) {
  SetLastError(42);
  DWORD other = 0;
  DWORD otherId = 0;
  std::thread([&] {
    other = GetLastError();
    otherId = GetCurrentThreadId();
  }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 42u);
  EXPECT_NE(otherId, GetCurrentThreadId());
  EXPECT_NE(GetCurrentProcessId(), 0u);
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x12345)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
