// Critical sections: recursive locks in the published record.
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "faults.h"
#include "fgplatform/kernel.h"
#include "live_counts.h"

struct RTL_CRITICAL_SECTION_DEBUG {
  static constexpr DWORD kMagic = 0x43534543;  // "CESC"
  DWORD magic = kMagic;
  pthread_mutex_t mutex;
};

namespace {

std::atomic<bool> g_recording{false};
std::mutex g_eventsLock;
std::vector<fgp::SectionEvent> g_events;

}  // namespace

namespace fgp {

void RecordSections(bool on) {
  std::lock_guard<std::mutex> guard(g_eventsLock);
  g_events.clear();
  g_recording = on;
}

std::vector<SectionEvent> TakeSectionEvents() {
  std::lock_guard<std::mutex> guard(g_eventsLock);
  std::vector<SectionEvent> out;
  out.swap(g_events);
  return out;
}

void NoteSection(bool made, const void* section) {
  if (!g_recording.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> guard(g_eventsLock);
  g_events.push_back({made, section});
}

}  // namespace fgp

namespace {

[[nodiscard]] bool Initialize(LPCRITICAL_SECTION cs, DWORD spinCount) {
  cs->DebugInfo = nullptr;
  cs->LockCount = -1;
  cs->RecursionCount = 0;
  cs->OwningThread = nullptr;
  cs->LockSemaphore = nullptr;
  cs->SpinCount = spinCount & 0x00FFFFFF;
  if (fgp::ShouldFail(fgp::FaultService::CriticalSection)) return false;
  auto* lock = new (std::nothrow) RTL_CRITICAL_SECTION_DEBUG;
  if (lock == nullptr) return false;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&lock->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  cs->DebugInfo = lock;
  ++fgp::Live().criticalSections;
  fgp::NoteSection(/*made=*/true, cs);
  return true;
}

RTL_CRITICAL_SECTION_DEBUG* LockOf(LPCRITICAL_SECTION cs) {
  if (cs == nullptr || cs->DebugInfo == nullptr || cs->DebugInfo->magic != RTL_CRITICAL_SECTION_DEBUG::kMagic)
    RaiseException(STATUS_INVALID_HANDLE, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return cs->DebugInfo;
}

void NoteEntered(LPCRITICAL_SECTION cs) {
  if (++cs->RecursionCount == 1) {
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
    cs->LockCount = 0;
  }
}

}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!Initialize(lpCriticalSection, 0)) RaiseException(STATUS_NO_MEMORY, 0, 0, nullptr);
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount) {
  if (Initialize(lpCriticalSection, dwSpinCount)) return TRUE;
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL WINAPI InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount, DWORD Flags) {
  if ((Flags & 0x00FFFFFF) != 0 && (Flags & ~0xFF000000u) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return InitializeCriticalSectionAndSpinCount(lpCriticalSection, dwSpinCount);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  pthread_mutex_lock(&LockOf(lpCriticalSection)->mutex);
  NoteEntered(lpCriticalSection);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (pthread_mutex_trylock(&LockOf(lpCriticalSection)->mutex) != 0) return FALSE;
  NoteEntered(lpCriticalSection);
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  RTL_CRITICAL_SECTION_DEBUG* lock = LockOf(lpCriticalSection);
  if (lpCriticalSection->RecursionCount <= 0) return;  // not entered: nothing to leave
  if (--lpCriticalSection->RecursionCount == 0) {
    lpCriticalSection->OwningThread = nullptr;
    lpCriticalSection->LockCount = -1;
  }
  pthread_mutex_unlock(&lock->mutex);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (lpCriticalSection == nullptr || lpCriticalSection->DebugInfo == nullptr) return;
  RTL_CRITICAL_SECTION_DEBUG* lock = LockOf(lpCriticalSection);
  pthread_mutex_destroy(&lock->mutex);
  lock->magic = 0;
  delete lock;
  lpCriticalSection->DebugInfo = nullptr;
  lpCriticalSection->RecursionCount = 0;
  lpCriticalSection->OwningThread = nullptr;
  --fgp::Live().criticalSections;
  fgp::NoteSection(/*made=*/false, lpCriticalSection);
}
