// Kernel services: last error, critical sections, interlocked counters,
// heaps, process and thread ids, structured exceptions, debugger output.
//
// Choices where the documentation leaves a detail open:
// - A critical section keeps the published six-field record (24 bytes in a
//   32-bit build). Its lock lives in a block the initialisation allocates;
//   the block's address is kept in DebugInfo. Entering a section that was
//   never initialised, or was deleted, raises STATUS_INVALID_HANDLE.
// - InitializeCriticalSection reports a failed initialisation the way the
//   older systems did: it raises STATUS_NO_MEMORY. The AndSpinCount and Ex
//   forms answer FALSE with ERROR_NOT_ENOUGH_MEMORY as last error.
// - HeapAlloc and HeapReAlloc do not set the last error on failure (as
//   documented); HEAP_GENERATE_EXCEPTIONS makes them raise STATUS_NO_MEMORY.
//   A handle that is not a heap gives null (FALSE from HeapFree with
//   ERROR_INVALID_HANDLE; a block of another heap ERROR_INVALID_PARAMETER).
//   HeapDestroy frees every block still in the heap; the process heap
//   cannot be destroyed. HeapSize of a foreign block is (SIZE_T)-1.
//   HEAP_REALLOC_IN_PLACE_ONLY succeeds only for a block that does not grow.
// - RaiseException throws CStructuredException; uncaught it ends the process.
#pragma once

#include "fgplatform/basetypes.h"
#include "fgplatform/winerror.h"

// Last error.
FG_API DWORD WINAPI GetLastError();
FG_API void WINAPI SetLastError(DWORD dwErrCode);

// Process and thread.
FG_API DWORD WINAPI GetCurrentProcessId();
FG_API DWORD WINAPI GetCurrentThreadId();
FG_API BOOL WINAPI CloseHandle(HANDLE hObject);

// Critical sections.
struct RTL_CRITICAL_SECTION_DEBUG;
struct RTL_CRITICAL_SECTION {
  RTL_CRITICAL_SECTION_DEBUG* DebugInfo;
  LONG LockCount;
  LONG RecursionCount;
  HANDLE OwningThread;
  HANDLE LockSemaphore;
  ULONG_PTR SpinCount;
};
typedef RTL_CRITICAL_SECTION CRITICAL_SECTION;
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

FG_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
FG_API BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
FG_API BOOL WINAPI InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount, DWORD Flags);
FG_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
FG_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
FG_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
FG_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Interlocked operations on 32-bit values; each is a full barrier.
inline LONG InterlockedIncrement(LONG volatile* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchangeAdd(LONG volatile* p, LONG v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
inline ULONG InterlockedIncrement(ULONG volatile* p) { return __atomic_add_fetch(p, 1u, __ATOMIC_SEQ_CST); }
inline ULONG InterlockedDecrement(ULONG volatile* p) { return __atomic_sub_fetch(p, 1u, __ATOMIC_SEQ_CST); }
inline PVOID InterlockedExchangePointer(PVOID volatile* p, PVOID v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* p, PVOID exchange, PVOID comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

// Heaps.
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GROWABLE 0x00000002
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010
#define HEAP_CREATE_ENABLE_EXECUTE 0x00040000

FG_API HANDLE WINAPI GetProcessHeap();
FG_API HANDLE WINAPI HeapCreate(DWORD flOptions, SIZE_T dwInitialSize, SIZE_T dwMaximumSize);
FG_API BOOL WINAPI HeapDestroy(HANDLE hHeap);
FG_API LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes);
FG_API LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes);
FG_API BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem);
FG_API SIZE_T WINAPI HeapSize(HANDLE hHeap, DWORD dwFlags, LPCVOID lpMem);

// Structured exceptions.
#define EXCEPTION_MAXIMUM_PARAMETERS 15

class FG_EXPORT CStructuredException {
 public:
  CStructuredException(DWORD code, DWORD flags) : m_dwCode(code), m_dwFlags(flags) {}
  DWORD Code() const { return m_dwCode; }
  DWORD Flags() const { return m_dwFlags; }
  DWORD m_dwCode;
  DWORD m_dwFlags;
  DWORD m_nArguments = 0;
  ULONG_PTR m_arguments[EXCEPTION_MAXIMUM_PARAMETERS] = {};
};

// Throws CStructuredException carrying the code, the flags (bit 28 is
// reserved and cleared, as the system does) and at most 15 arguments.
FG_API void WINAPI RaiseException(DWORD dwExceptionCode, DWORD dwExceptionFlags, DWORD nNumberOfArguments,
                                  const ULONG_PTR* lpArguments);

// Debugger output: goes to the debug sink (FARROWGATE_DEBUG_OUTPUT names
// "stderr" or a file; otherwise discarded; tests capture it). The 16-bit
// form is written as UTF-8.
FG_API void WINAPI OutputDebugStringA(LPCSTR lpOutputString);
FG_API void WINAPI OutputDebugStringW(LPCWSTR lpOutputString);
