// Loading and unloading modules, module handles and file names.
#include "modules.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "codepage.h"
#include "elf_section.h"
#include "fgplatform/kernel.h"
#include "fgplatform/libloader.h"
#include "fgplatform/resource_format.h"
#include "fgplatform/wtext.h"
#include "live_counts.h"

namespace {

struct LoadedObject {
  uintptr_t base = 0;  // start of the first loadable segment: the HMODULE
  uintptr_t bias = 0;  // the dynamic linker's load bias
  uintptr_t end = 0;   // end of the last loadable segment
  std::string path;
};

struct Module {
  std::string path;
  void* dl = nullptr;  // dlopen handle while loaded by LoadLibrary
  int refs = 0;
  bool dataFile = false;
  bool resourcesKnown = false;
  fgp::ModuleResources resources;
  std::vector<unsigned char> copy;  // a data file's section
};

std::recursive_mutex g_lock;

// By handle value. Never destroyed: modules may be looked up until the very
// end of the process.
std::map<uintptr_t, std::unique_ptr<Module>>& Modules() {
  static auto* modules = new std::map<uintptr_t, std::unique_ptr<Module>>;
  return *modules;
}

std::string MainProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::vector<LoadedObject> LoadedObjects() {
  std::vector<LoadedObject> out;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        LoadedObject o;
        o.bias = info->dlpi_addr;
        uintptr_t low = UINTPTR_MAX, high = 0;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const auto& ph = info->dlpi_phdr[i];
          if (ph.p_type != PT_LOAD) continue;
          low = std::min<uintptr_t>(low, info->dlpi_addr + ph.p_vaddr);
          high = std::max<uintptr_t>(high, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
        }
        if (low == UINTPTR_MAX) return 0;
        o.base = low & ~static_cast<uintptr_t>(getpagesize() - 1);
        o.end = high;
        o.path = info->dlpi_name != nullptr ? info->dlpi_name : "";
        auto* list = static_cast<std::vector<LoadedObject>*>(data);
        if (o.path.empty() && list->empty()) o.path = MainProgramPath();
        if (!o.path.empty()) list->push_back(o);
        return 0;
      },
      &out);
  return out;
}

[[nodiscard]] bool FindObject(uintptr_t base, LoadedObject& out) {
  for (const LoadedObject& o : LoadedObjects())
    if (o.base == base) {
      out = o;
      return true;
    }
  return false;
}

bool IsDataFileHandle(HMODULE h) { return (reinterpret_cast<uintptr_t>(h) & 1) != 0; }

HMODULE MainProgram() {
  std::vector<LoadedObject> objects = LoadedObjects();
  return objects.empty() ? nullptr : reinterpret_cast<HMODULE>(objects.front().base);
}

std::string Utf8(LPCWSTR s) { return fgp::WideToUtf8(std::u16string_view(s)); }

std::string FileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The resource section of a loaded object, read through its mapping.
fgp::ModuleResources MappedResources(const LoadedObject& o) {
  fgp::ElfSection section;
  if (fgp::FindElfSection(o.path, fgres::kSectionName, section) != fgp::ElfLookup::Found || !section.allocated)
    return {};
  uintptr_t at = o.bias + section.address;
  if (at < o.base || at + section.size > o.end) return {};
  return {reinterpret_cast<const BYTE*>(at), static_cast<size_t>(section.size)};
}

// The record of a loaded object, made on first sight (also for objects the
// system loaded, which LoadLibrary never counted).
Module* RecordOf(const LoadedObject& o) {
  std::unique_ptr<Module>& m = Modules()[o.base];
  if (m == nullptr) {
    m = std::make_unique<Module>();
    m->path = o.path;
  }
  return m.get();
}

HMODULE LoadDataFile(const std::string& path) {
  if (access(path.c_str(), R_OK) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (!fgp::IsElfFile(path)) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto owned = std::make_unique<Module>();
  Module* m = owned.get();
  m->path = path;
  m->dataFile = true;
  m->refs = 1;
  m->resourcesKnown = true;
  fgp::ElfSection section;
  fgp::ElfLookup lookup = fgp::FindElfSection(path, fgres::kSectionName, section);
  if (lookup == fgp::ElfLookup::Found && !fgp::ReadElfSection(path, section, m->copy)) lookup = fgp::ElfLookup::Damaged;
  if (lookup == fgp::ElfLookup::Damaged) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  if (lookup == fgp::ElfLookup::Found) m->resources = {m->copy.data(), m->copy.size()};
  auto handle = reinterpret_cast<uintptr_t>(m) | 1;
  Modules()[handle] = std::move(owned);
  return reinterpret_cast<HMODULE>(handle);
}

LoadedObject ObjectOfDlHandle(void* dl) {
  link_map* map = nullptr;
  dlinfo(dl, RTLD_DI_LINKMAP, &map);
  for (const LoadedObject& o : LoadedObjects())
    if (map != nullptr && o.bias == map->l_addr && (o.path == map->l_name || map->l_name[0] == '\0')) return o;
  return {};
}

// The documented code for a module the dynamic linker refused: a missing
// file or a missing dependency is ERROR_MOD_NOT_FOUND, a missing import
// ERROR_PROC_NOT_FOUND, anything else (not ELF, another machine) a bad
// image.
DWORD LoadFailure(const std::string& path, const char* why) {
  std::string reason = why != nullptr ? why : "";
  bool named = path.find('/') != std::string::npos;
  if (named && access(path.c_str(), F_OK) != 0) return ERROR_MOD_NOT_FOUND;
  if (named && !fgp::IsElfFile(path)) return ERROR_BAD_EXE_FORMAT;
  if (reason.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  if (reason.find("cannot open shared object file") != std::string::npos) return ERROR_MOD_NOT_FOUND;
  return named ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND;
}

DllMainFunc EntryOf(void* dl) { return reinterpret_cast<DllMainFunc>(dlsym(dl, "DllMain")); }

}  // namespace

namespace fgp {

long ModulesHeld() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  long held = 0;
  for (const auto& [base, module] : Modules())
    if (module->refs > 0) ++held;
  return held;
}

bool ResourcesOf(HMODULE module, ModuleResources& out) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (module == nullptr) module = MainProgram();
  auto it = Modules().find(reinterpret_cast<uintptr_t>(module));
  if (it != Modules().end() && it->second->resourcesKnown) {
    out = it->second->resources;
    return true;
  }
  if (IsDataFileHandle(module)) return false;
  LoadedObject o;
  if (!FindObject(reinterpret_cast<uintptr_t>(module), o)) return false;
  Module* m = RecordOf(o);
  m->resources = MappedResources(o);
  m->resourcesKnown = true;
  out = m->resources;
  return true;
}

}  // namespace fgp

namespace {

HMODULE LoadLibraryChecked(LPCWSTR lpLibFileName, DWORD dwFlags) {
  if (lpLibFileName == nullptr || *lpLibFileName == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path = Utf8(lpLibFileName);
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (dwFlags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    return LoadDataFile(path);
  // A named ELF file cut short is refused before the system loader maps
  // it: touching its missing pages would end the process.
  if (path.find('/') != std::string::npos && fgp::IsElfFile(path) && !fgp::ElfSegmentsInside(path)) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (dl == nullptr) {
    SetLastError(LoadFailure(path, dlerror()));
    return nullptr;
  }
  LoadedObject o = ObjectOfDlHandle(dl);
  Module* m = RecordOf(o);
  HMODULE handle = reinterpret_cast<HMODULE>(o.base);
  if (m->refs > 0) {
    ++m->refs;
    dlclose(dl);  // the module keeps the reference it took first
    return handle;
  }
  m->dl = dl;
  m->refs = 1;
  DllMainFunc entry = EntryOf(dl);
  if (entry != nullptr && !entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_ATTACH, nullptr)) {
    entry(reinterpret_cast<HINSTANCE>(handle), DLL_PROCESS_DETACH, nullptr);
    Modules().erase(o.base);
    dlclose(dl);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  return handle;
}

}  // namespace

HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE, DWORD dwFlags) {
  try {
    return LoadLibraryChecked(lpLibFileName, dwFlags);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) { return LoadLibraryExW(lpLibFileName, nullptr, 0); }

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  auto it = Modules().find(reinterpret_cast<uintptr_t>(hLibModule));
  if (it == Modules().end()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  Module* m = it->second.get();
  if (m->refs == 0) return TRUE;  // loaded by the system loader: not ours to unload
  if (--m->refs > 0) return TRUE;
  std::unique_ptr<Module> gone = std::move(it->second);
  Modules().erase(it);
  if (!gone->dataFile) {
    if (DllMainFunc entry = EntryOf(gone->dl)) entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
    dlclose(gone->dl);
  }
  return TRUE;
}

namespace {

// The system libraries whose services this platform library provides; a
// program that asks for one of them by name gets the platform library.
constexpr const char16_t* kStandIns[] = {u"KERNEL32.DLL", u"ADVAPI32.DLL", u"OLE32.DLL",   u"OLEAUT32.DLL",
                                         u"SHELL32.DLL",  u"COMDLG32.DLL", u"USER32.DLL"};

HMODULE PlatformLibrary() {
  HMODULE self = nullptr;
  (void)GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&PlatformLibrary)), &self);
  return self;
}

bool IsStandInName(LPCWSTR name) {
  for (const char16_t* standIn : kStandIns)
    if (lstrcmpiW(name, standIn) == 0) return true;
  return false;
}

}  // namespace

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  if (lpModuleName == nullptr) return MainProgram();
  if (IsStandInName(lpModuleName)) return PlatformLibrary();
  std::string name = Utf8(lpModuleName);
  for (const LoadedObject& o : LoadedObjects())
    if (o.path == name || FileName(o.path) == name) return reinterpret_cast<HMODULE>(o.base);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  if (phModule == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) {
    *phModule = GetModuleHandleW(lpModuleName);
    return *phModule != nullptr;
  }
  auto address = reinterpret_cast<uintptr_t>(lpModuleName);
  for (const LoadedObject& o : LoadedObjects())
    if (address >= o.base && address < o.end) {
      *phModule = reinterpret_cast<HMODULE>(o.base);
      return TRUE;
    }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return FALSE;
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::string path;
  if (hModule == nullptr) {
    path = MainProgramPath();
  } else if (!IsDataFileHandle(hModule)) {
    LoadedObject o;
    if (FindObject(reinterpret_cast<uintptr_t>(hModule), o)) path = o.path;
  }
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (char* real = realpath(path.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }
  std::u16string wide = fgp::Utf8ToWide(path);
  if (nSize == 0 || lpFilename == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (wide.size() < nSize) {
    std::memcpy(lpFilename, wide.data(), wide.size() * 2);
    lpFilename[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
  }
  std::memcpy(lpFilename, wide.data(), (nSize - 1) * 2);
  lpFilename[nSize - 1] = 0;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return nSize;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (IsDataFileHandle(hModule)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (lpProcName == nullptr || IS_INTRESOURCE(lpProcName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);  // exports have names only
    return nullptr;
  }
  {
    // A module loaded by LoadLibrary answers from the handle it was opened
    // with: nothing is listed, read or opened again.
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto it = Modules().find(reinterpret_cast<uintptr_t>(hModule));
    if (it != Modules().end() && it->second->dl != nullptr) {
      void* symbol = dlsym(it->second->dl, lpProcName);
      if (symbol == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
      return reinterpret_cast<FARPROC>(symbol);
    }
  }
  LoadedObject o;
  if (!FindObject(reinterpret_cast<uintptr_t>(hModule != nullptr ? hModule : MainProgram()), o)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* dl = dlopen(hModule == nullptr ? nullptr : o.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  void* symbol = dl != nullptr ? dlsym(dl, lpProcName) : nullptr;
  if (dl != nullptr) dlclose(dl);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}
