// File mappings backed by shared memory, their views, and the page size
// (memoryapi.h).
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "faults.h"
#include "handles.h"
#include "shared_names.h"
#include "shared_objects.h"
#include "fgplatform/kernel.h"
#include "fgplatform/memoryapi.h"

namespace {

using fgp::FaultService;

constexpr uint64_t kMaxSectionBytes = 1ull << 32;
constexpr uint64_t kAllocationGranularity = 65536;

uint64_t PageBytes() { return fgp::SharedPageBytes(); }

// One shared object open in this process, shared by its handles and views.
struct Section {
  int fd = -1;
  std::string posixName;
  uint64_t size = 0;
  bool writable = true;
  bool createdHere = false;
  ~Section() {
    if (fd >= 0) close(fd);
    if (createdHere) fgp::ForgetSharedName(posixName);
  }
};

class MappingHandle : public fgp::KernelObject {
 public:
  explicit MappingHandle(std::shared_ptr<Section> section) : m_section(std::move(section)) {}
  const std::shared_ptr<Section>& Get() const { return m_section; }

 private:
  std::shared_ptr<Section> m_section;
};

struct View {
  uintptr_t base;
  size_t length;
  bool writable;
  std::shared_ptr<Section> section;
};

struct State {
  std::mutex lock;
  std::map<std::string, std::weak_ptr<Section>> sections;  // by POSIX name
  std::map<uintptr_t, View> views;                         // by start
};

State& Shared() {
  static auto* state = new State;  // used until the very end
  return *state;
}

std::shared_ptr<Section> SectionOf(int fd, const std::string& posixName, uint64_t size, bool writable) {
  auto section = std::make_shared<Section>();
  section->fd = fd;
  section->posixName = posixName;
  section->size = size;
  section->writable = writable;
  return section;
}

// Opens the existing object of a name: this user's, whole, and its creator
// alive.
std::shared_ptr<Section> OpenExisting(const std::string& posixName, bool writable) {
  fgp::SharedHeader h{};
  fgp::SharedVerdict verdict = fgp::SharedVerdict::Missing;
  int fd = fgp::OpenSharedObject(posixName, writable, fgp::SharedKind::Mapping, h, verdict);
  return fd >= 0 ? SectionOf(fd, posixName, h.size, writable) : nullptr;
}

// Makes the object of a name, or joins this user's live one. ERROR_SUCCESS
// or ERROR_ALREADY_EXISTS with a section; otherwise the error.
DWORD CreateOrJoin(const std::string& posixName, uint64_t size, std::shared_ptr<Section>& out) {
  int fd = fgp::MakeSharedObject(fgp::SharedKind::Mapping, size);
  if (fd < 0) return ERROR_NOT_ENOUGH_MEMORY;
  int existing = -1;
  fgp::SharedHeader h{};
  DWORD status = fgp::PublishOrJoin(fd, posixName, fgp::SharedKind::Mapping, existing, h);
  if (status == ERROR_SUCCESS) {
    out = SectionOf(fd, posixName, size, true);
    out->createdHere = true;
    return status;
  }
  close(fd);
  if (status == ERROR_ALREADY_EXISTS) out = SectionOf(existing, posixName, h.size, true);
  return status;
}

std::shared_ptr<Section> OpenedHere(const std::string& posixName) {
  auto it = Shared().sections.find(posixName);
  return it == Shared().sections.end() ? nullptr : it->second.lock();
}

HANDLE HandleFor(std::shared_ptr<Section> section) {
  Shared().sections[section->posixName] = section;
  return fgp::AddHandle(new MappingHandle(std::move(section)));
}

const View* ViewHolding(uintptr_t address) {
  auto it = Shared().views.upper_bound(address);
  if (it == Shared().views.begin()) return nullptr;
  --it;
  return address < it->first + it->second.length ? &it->second : nullptr;
}

}  // namespace

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES, DWORD flProtect, DWORD dwMaximumSizeHigh,
                                 DWORD dwMaximumSizeLow, LPCSTR lpName) {
  if (hFile != INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_NOT_SUPPORTED);  // only the paging file backs mappings here
    return nullptr;
  }
  uint64_t size = (static_cast<uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
  if (size == 0 || size > kMaxSectionBytes || (flProtect & 0xFF) != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (fgp::ShouldFail(FaultService::Mapping)) {
    SetLastError(static_cast<DWORD>(fgp::FailureCode(FaultService::Mapping, ERROR_NOT_ENOUGH_MEMORY)));
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(Shared().lock);
  if (lpName == nullptr) {
    // An unnamed mapping: an object no other process can name.
    int fd = fgp::MakeSharedObject(fgp::SharedKind::Mapping, size);
    if (fd < 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return fgp::AddHandle(new MappingHandle(SectionOf(fd, "", size, true)));
  }
  std::string posixName;
  if (!fgp::PosixSharedName(lpName, "", posixName)) return nullptr;
  if (std::shared_ptr<Section> here = OpenedHere(posixName)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return fgp::AddHandle(new MappingHandle(here));
  }
  fgp::SweepStaleObjects();
  std::shared_ptr<Section> section;
  DWORD status = CreateOrJoin(posixName, size, section);
  if (section == nullptr) {
    SetLastError(status);
    return nullptr;
  }
  SetLastError(status);
  return HandleFor(std::move(section));
}

HANDLE WINAPI OpenFileMappingA(DWORD dwDesiredAccess, BOOL, LPCSTR lpName) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  std::string posixName;
  if (!fgp::PosixSharedName(lpName, "", posixName)) return nullptr;
  if (std::shared_ptr<Section> here = OpenedHere(posixName)) return fgp::AddHandle(new MappingHandle(here));
  bool writable = (dwDesiredAccess & (FILE_MAP_WRITE | FILE_MAP_ALL_ACCESS)) != 0 && dwDesiredAccess != FILE_MAP_READ;
  std::shared_ptr<Section> section = OpenExisting(posixName, writable);
  if (section == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);  // also for an object that is not this user's, or left by an ended process
    return nullptr;
  }
  return HandleFor(std::move(section));
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
  auto* handle = dynamic_cast<MappingHandle*>(fgp::FindHandle(hFileMappingObject));
  if (handle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const std::shared_ptr<Section>& section = handle->Get();
  uint64_t offset = (static_cast<uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
  bool write = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
  if (write && !section->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (offset % kAllocationGranularity != 0 || offset >= section->size ||
      dwNumberOfBytesToMap > section->size - offset) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t length = dwNumberOfBytesToMap != 0 ? dwNumberOfBytesToMap : static_cast<size_t>(section->size - offset);
  void* base = mmap(nullptr, length, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, section->fd,
                    static_cast<off_t>(PageBytes() + offset));
  if (base == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(Shared().lock);
  Shared().views[reinterpret_cast<uintptr_t>(base)] = View{reinterpret_cast<uintptr_t>(base), length, write, section};
  return base;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  std::shared_ptr<Section> keep;  // released after the lock
  std::lock_guard<std::mutex> guard(Shared().lock);
  auto it = Shared().views.find(reinterpret_cast<uintptr_t>(lpBaseAddress));
  if (it == Shared().views.end()) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  munmap(reinterpret_cast<void*>(it->first), it->second.length);
  keep = std::move(it->second.section);
  Shared().views.erase(it);
  return TRUE;
}

LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  auto address = reinterpret_cast<uintptr_t>(lpAddress);
  const View* view = address != 0 ? ViewHolding(address) : nullptr;
  if (flAllocationType != MEM_COMMIT || view == nullptr || dwSize > view->base + view->length - address) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (fgp::ShouldFail(FaultService::Mapping)) {
    SetLastError(static_cast<DWORD>(fgp::FailureCode(FaultService::Mapping, ERROR_NOT_ENOUGH_MEMORY)));
    return nullptr;
  }
  return reinterpret_cast<LPVOID>(address - address % PageBytes());
}

SIZE_T WINAPI VirtualQuery(LPCVOID lpAddress, PMEMORY_BASIC_INFORMATION lpBuffer, SIZE_T dwLength) {
  if (lpBuffer == nullptr || dwLength < sizeof(MEMORY_BASIC_INFORMATION)) {
    SetLastError(ERROR_BAD_LENGTH);
    return 0;
  }
  std::lock_guard<std::mutex> guard(Shared().lock);
  auto address = reinterpret_cast<uintptr_t>(lpAddress);
  const View* view = ViewHolding(address);
  if (view == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return 0;
  }
  uintptr_t page = address - address % PageBytes();
  DWORD protect = view->writable ? PAGE_READWRITE : PAGE_READONLY;
  *lpBuffer = MEMORY_BASIC_INFORMATION{reinterpret_cast<PVOID>(page), reinterpret_cast<PVOID>(view->base), protect,
                                       view->base + view->length - page, MEM_COMMIT, protect, MEM_MAPPED};
  return sizeof(MEMORY_BASIC_INFORMATION);
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  if (lpSystemInfo == nullptr) return;
  *lpSystemInfo = SYSTEM_INFO{};
  lpSystemInfo->wProcessorArchitecture = sizeof(void*) == 8 ? 9 : 0;  // AMD64 or x86
  lpSystemInfo->dwPageSize = static_cast<DWORD>(PageBytes());
  lpSystemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
  lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(sizeof(void*) == 8 ? 0x7FFFFFFEFFFFull : 0x7FFEFFFF);
  long processors = sysconf(_SC_NPROCESSORS_ONLN);
  lpSystemInfo->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
  lpSystemInfo->dwActiveProcessorMask = lpSystemInfo->dwNumberOfProcessors >= sizeof(DWORD_PTR) * 8
                                            ? ~static_cast<DWORD_PTR>(0)
                                            : (static_cast<DWORD_PTR>(1) << lpSystemInfo->dwNumberOfProcessors) - 1;
  lpSystemInfo->dwProcessorType = sizeof(void*) == 8 ? 8664 : 586;
  lpSystemInfo->dwAllocationGranularity = static_cast<DWORD>(kAllocationGranularity);
}
