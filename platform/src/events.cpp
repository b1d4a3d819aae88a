// Events on semaphores, waits, and the thread-token calls (synchapi.h).
#include <semaphore.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "handles.h"
#include "shared_names.h"
#include "shared_objects.h"
#include "fgplatform/kernel.h"
#include "fgplatform/synchapi.h"

namespace {

// One semaphore open in this process, shared by its handles. Its count is
// 0 (not set) or 1 (set). A named one lives in the payload page of a shared
// object (shared_objects.h), so that it is checked like a file mapping.
struct Semaphore {
  sem_t* named = nullptr;
  sem_t local{};
  std::string posixName;
  bool createdHere = false;
  sem_t* Get() { return named != nullptr ? named : &local; }
  ~Semaphore() {
    if (named != nullptr) {
      munmap(named, sizeof(sem_t));
      if (createdHere) fgp::ForgetSharedName(posixName);
    } else {
      sem_destroy(&local);
    }
  }
};

class EventHandle : public fgp::KernelObject {
 public:
  EventHandle(std::shared_ptr<Semaphore> s, bool manualReset) : m_semaphore(std::move(s)), m_manualReset(manualReset) {}
  sem_t* Get() { return m_semaphore->Get(); }
  bool ManualReset() const { return m_manualReset; }

 private:
  std::shared_ptr<Semaphore> m_semaphore;
  bool m_manualReset;
};

std::mutex g_lock;  // guards the table and makes "set" a single step per process
std::map<std::string, std::weak_ptr<Semaphore>>& Opened() {
  static auto* opened = new std::map<std::string, std::weak_ptr<Semaphore>>;  // used until the very end
  return *opened;
}

EventHandle* FindEvent(HANDLE h) { return dynamic_cast<EventHandle*>(fgp::FindHandle(h)); }

void Set(sem_t* s) {
  int value = 0;
  if (sem_getvalue(s, &value) == 0 && value == 0) sem_post(s);
}

// The semaphore in the payload page of a shared object; null when it
// cannot be mapped. The descriptor is closed either way.
sem_t* MapSemaphore(int fd) {
  void* at = mmap(nullptr, sizeof(sem_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                  static_cast<off_t>(fgp::SharedPageBytes()));
  close(fd);
  return at == MAP_FAILED ? nullptr : static_cast<sem_t*>(at);
}

// The semaphore of a live event open as `fd`; null when its payload cannot
// hold one. The descriptor is closed either way.
sem_t* EventSemaphore(int fd, const fgp::SharedHeader& h) {
  if (h.size >= sizeof(sem_t)) return MapSemaphore(fd);
  close(fd);
  return nullptr;
}

// This user's live event of a name.
sem_t* OpenNamed(const std::string& posixName) {
  fgp::SharedHeader h{};
  fgp::SharedVerdict verdict = fgp::SharedVerdict::Missing;
  int fd = fgp::OpenSharedObject(posixName, true, fgp::SharedKind::Event, h, verdict);
  return fd >= 0 ? EventSemaphore(fd, h) : nullptr;
}

// Makes the event of a name with its semaphore set up before the name
// appears, or joins this user's live one: ERROR_SUCCESS or
// ERROR_ALREADY_EXISTS with the semaphore, otherwise the error.
DWORD CreateOrJoin(const std::string& posixName, bool initialState, Semaphore& out) {
  int fd = fgp::MakeSharedObject(fgp::SharedKind::Event, sizeof(sem_t));
  sem_t* made = fd >= 0 ? MapSemaphore(dup(fd)) : nullptr;
  if (made == nullptr || sem_init(made, 1, initialState ? 1 : 0) != 0) {
    if (made != nullptr) munmap(made, sizeof(sem_t));
    if (fd >= 0) close(fd);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  int existing = -1;
  fgp::SharedHeader h{};
  DWORD status = fgp::PublishOrJoin(fd, posixName, fgp::SharedKind::Event, existing, h);
  close(fd);
  if (status == ERROR_SUCCESS) {
    out.named = made;
    out.createdHere = true;
    return status;
  }
  munmap(made, sizeof(sem_t));
  if (status != ERROR_ALREADY_EXISTS) return status;
  out.named = EventSemaphore(existing, h);
  return out.named != nullptr ? status : ERROR_ACCESS_DENIED;  // a payload too small to be an event
}

}  // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  std::lock_guard<std::mutex> guard(g_lock);
  auto semaphore = std::make_shared<Semaphore>();
  if (lpName == nullptr) {
    if (sem_init(&semaphore->local, 0, bInitialState ? 1 : 0) != 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return fgp::AddHandle(new EventHandle(semaphore, bManualReset != FALSE));
  }
  std::string posixName;
  if (!fgp::PosixSharedName(lpName, "ev.", posixName)) return nullptr;
  if (auto here = Opened()[posixName].lock()) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return fgp::AddHandle(new EventHandle(here, bManualReset != FALSE));
  }
  fgp::SweepStaleObjects();
  semaphore->posixName = posixName;
  DWORD status = CreateOrJoin(posixName, bInitialState != FALSE, *semaphore);
  if (semaphore->named == nullptr) {
    SetLastError(status);
    return nullptr;
  }
  Opened()[posixName] = semaphore;
  SetLastError(status);
  return fgp::AddHandle(new EventHandle(semaphore, bManualReset != FALSE));
}

HANDLE WINAPI OpenEventA(DWORD, BOOL, LPCSTR lpName) {
  std::lock_guard<std::mutex> guard(g_lock);
  std::string posixName;
  if (!fgp::PosixSharedName(lpName, "ev.", posixName)) return nullptr;
  // The reset kind of an opened event is not known here: it is taken as
  // auto-reset, which is what every event of this system is.
  if (auto here = Opened()[posixName].lock()) return fgp::AddHandle(new EventHandle(here, false));
  sem_t* named = OpenNamed(posixName);
  if (named == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);  // also for an event that is not this user's, or left by an ended process
    return nullptr;
  }
  auto semaphore = std::make_shared<Semaphore>();
  semaphore->named = named;
  semaphore->posixName = posixName;
  Opened()[posixName] = semaphore;
  return fgp::AddHandle(new EventHandle(semaphore, false));
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  EventHandle* event = FindEvent(hEvent);
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(g_lock);
  Set(event->Get());
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  EventHandle* event = FindEvent(hEvent);
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  while (sem_trywait(event->Get()) == 0) {
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  EventHandle* event = FindEvent(hHandle);
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  sem_t* s = event->Get();
  int rc;
  if (dwMilliseconds == INFINITE) {
    while ((rc = sem_wait(s)) != 0 && errno == EINTR) {
    }
  } else {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += dwMilliseconds / 1000;
    until.tv_nsec += static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
      until.tv_sec += 1;
      until.tv_nsec -= 1000000000L;
    }
    while ((rc = sem_timedwait(s, &until)) != 0 && errno == EINTR) {
    }
  }
  if (rc != 0) {
    if (errno == ETIMEDOUT) return WAIT_TIMEOUT;
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (event->ManualReset()) {
    std::lock_guard<std::mutex> guard(g_lock);
    Set(s);  // stays set until ResetEvent
  }
  return WAIT_OBJECT_0;
}

HANDLE WINAPI GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

BOOL WINAPI OpenThreadToken(HANDLE, DWORD, BOOL, HANDLE* TokenHandle) {
  if (TokenHandle != nullptr) *TokenHandle = nullptr;
  SetLastError(ERROR_NO_TOKEN);  // no thread impersonates anyone here
  return FALSE;
}

BOOL WINAPI SetThreadToken(HANDLE*, HANDLE Token) {
  if (Token == nullptr) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL WINAPI RevertToSelf() { return TRUE; }
