// The registry calls: handles, access rights, paths and the buffer rules of
// each call, over the SQLite store.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "fgplatform/registry_batch.h"
#include "fgplatform/winreg.h"
#include "live_counts.h"
#include "registry_text.h"
#include "registry_store.h"

namespace {

using fgp::reg::KeyId;
using fgp::reg::Store;

struct OpenKey {
  KeyId id;
  REGSAM access;
  uint64_t generation;
  // Levels below its root; a key never moves and its id is never reused,
  // so this holds for as long as the handle does.
  size_t depth = 0;
};

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

std::recursive_mutex g_lock;
std::unordered_map<ULONG_PTR, OpenKey> g_handles;
// The thread whose batch is open, if any; it holds g_lock from the batch's
// begin to its end, so no other thread's call runs meanwhile.
std::optional<std::thread::id> g_batchOwner;
ULONG_PTR g_nextHandle = 0x2000;

REGSAM Expand(REGSAM sam) {
  REGSAM out = sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (sam & (GENERIC_READ | GENERIC_EXECUTE)) out |= KEY_READ;
  if (sam & GENERIC_WRITE) out |= KEY_WRITE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) out |= KEY_ALL_ACCESS;
  return out;
}

bool IsPredefined(HKEY h) {
  auto v = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(h));
  return v >= 0x80000000u && v <= 0x80000006u &&
         static_cast<LONG_PTR>(static_cast<LONG>(v)) == reinterpret_cast<LONG_PTR>(h);
}

// The store is closed when the process exits, so that its log is folded
// back into the file and no side files stay behind.
// A batch another thread still holds at exit keeps the lock: the store is
// then left to the system to close, and its uncommitted batch is lost as
// at a kill.
void CloseStoreAtExit() {
  std::unique_lock<std::recursive_mutex> guard(g_lock, std::try_to_lock);
  if (!guard.owns_lock()) return;
  if (Store* store = Store::Existing()) store->Close();
}

void CloseStoreAtExitOnce() {
  static const bool registered = std::atexit(CloseStoreAtExit) == 0;
  (void)registered;
}

// Everything a call needs: the store (transaction begun) and the key the
// handle names, checked for existence and for the rights asked.
class Call {
 public:
  // `checkKey` false: the call's own statement tells whether the key is
  // still there, and no separate look is made.
  Call(HKEY h, REGSAM needed, bool write, bool checkKey = true) : m_guard(g_lock) {
    m_status = Store::Current(m_store);
    if (m_status != ERROR_SUCCESS) return;
    CloseStoreAtExitOnce();
    if (IsPredefined(h)) {
      m_key = {static_cast<KeyId>((reinterpret_cast<ULONG_PTR>(h) & 0xF) + 1), KEY_ALL_ACCESS, m_store->Generation(),
               0};
    } else {
      auto it = g_handles.find(reinterpret_cast<ULONG_PTR>(h));
      if (it == g_handles.end() || it->second.generation != m_store->Generation()) {
        m_status = ERROR_INVALID_HANDLE;
        return;
      }
      m_key = it->second;
    }
    if ((m_key.access & needed) != needed) {
      m_status = ERROR_ACCESS_DENIED;
      return;
    }
    m_status = m_store->Begin(write);
    if (m_status != ERROR_SUCCESS) return;
    m_open = true;
    if (checkKey && !m_store->KeyExists(m_key.id)) m_status = ERROR_KEY_DELETED;
  }
  ~Call() {
    if (m_open) (void)m_store->End(/*commit=*/false);  // a rollback answers success
  }
  LSTATUS Status() const { return m_status; }
  Store& S() { return *m_store; }
  KeyId Key() const { return m_key.id; }
  size_t KeyDepth() const { return m_key.depth; }
  // Walks a subkey path from the handle's key to the key it names; fills
  // the number of levels the path held.
  LSTATUS Resolve(LPCWSTR subKey, KeyId& target, size_t& levelCount);
  // Commits when `status` is success; answers the final status.
  LSTATUS Finish(LSTATUS status) {
    m_open = false;
    LSTATUS end = m_store->End(status == ERROR_SUCCESS);
    return status != ERROR_SUCCESS ? status : end;
  }

 private:
  std::lock_guard<std::recursive_mutex> m_guard;
  Store* m_store = nullptr;
  OpenKey m_key{};
  LSTATUS m_status = ERROR_SUCCESS;
  bool m_open = false;
};

HKEY NewHandle(KeyId id, REGSAM access, uint64_t generation, size_t depth) {
  ULONG_PTR value = g_nextHandle;
  g_nextHandle += 4;
  g_handles[value] = {id, access, generation, depth};
  return reinterpret_cast<HKEY>(value);
}

std::u16string NameOf(LPCWSTR name) { return name != nullptr ? std::u16string(name) : std::u16string(); }

// Splits a subkey path into its levels.
[[nodiscard]] LSTATUS SplitPath(LPCWSTR path, std::vector<std::u16string>& levels) {
  levels.clear();
  if (path == nullptr || *path == 0) return ERROR_SUCCESS;
  if (*path == u'\\') return ERROR_BAD_PATHNAME;
  std::u16string level;
  for (const char16_t* p = path;; ++p) {
    if (*p != u'\\' && *p != 0) {
      level.push_back(*p);
      continue;
    }
    if (level.empty() && *p == u'\\') return ERROR_BAD_PATHNAME;
    if (level.size() > kMaxKeyName) return ERROR_INVALID_PARAMETER;
    if (!level.empty()) levels.push_back(level);
    level.clear();
    if (*p == 0) break;
  }
  return ERROR_SUCCESS;
}

[[nodiscard]] LSTATUS Walk(Store& store, KeyId from, const std::vector<std::u16string>& levels, KeyId& out) {
  out = from;
  for (const std::u16string& level : levels) {
    LSTATUS status = store.FindChild(out, level, out);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

LSTATUS Call::Resolve(LPCWSTR subKey, KeyId& target, size_t& levelCount) {
  std::vector<std::u16string> levels;
  LSTATUS status = SplitPath(subKey, levels);
  levelCount = levels.size();
  if (status != ERROR_SUCCESS) return status;
  return Walk(*m_store, m_key.id, levels, target);
}

// Copies `text` with a terminator into a buffer of *size characters;
// ERROR_MORE_DATA when it does not fit.
[[nodiscard]] LSTATUS CopyName(const std::u16string& text, LPWSTR buffer, LPDWORD size) {
  if (text.size() >= *size) return ERROR_MORE_DATA;
  std::memcpy(buffer, text.data(), text.size() * 2);
  buffer[text.size()] = 0;
  *size = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

// The data rules shared by RegQueryValueExW and RegEnumValueW.
[[nodiscard]] LSTATUS CopyData(const fgp::reg::ValueRow& row, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (type != nullptr) *type = row.type;
  if (size == nullptr) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(row.data.size());
  if (data == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, row.data.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

void SetFileTime(PFILETIME ft, int64_t written) {
  if (ft == nullptr) return;
  ft->dwLowDateTime = static_cast<DWORD>(written & 0xFFFFFFFF);
  ft->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(written) >> 32);
}

}  // namespace

LSTATUS fgp::RegistryChangeStamp(uint64_t& out) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  Store* store = nullptr;
  LSTATUS status = Store::Current(store);
  return status == ERROR_SUCCESS ? store->ChangeStamp(out) : status;
}

long fgp::OpenRegistryHandles() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  return static_cast<long>(g_handles.size());
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Call call(hKey, 0, /*write=*/false);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  KeyId id = 0;
  size_t levels = 0;
  LSTATUS status = call.Resolve(lpSubKey, id, levels);
  if (status != ERROR_SUCCESS) return call.Finish(status);
  status = call.Finish(ERROR_SUCCESS);
  if (status != ERROR_SUCCESS) return status;
  // A predefined key opened with no subkey answers itself.
  *phkResult = IsPredefined(hKey) && levels == 0
                   ? hKey
                   : NewHandle(id, Expand(samDesired), call.S().Generation(), call.KeyDepth() + levels);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD, REGSAM samDesired,
                               const SECURITY_ATTRIBUTES*, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (phkResult == nullptr || Reserved != 0) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::vector<std::u16string> levels;
  LSTATUS status = SplitPath(lpSubKey, levels);
  if (status != ERROR_SUCCESS) return status;
  Call call(hKey, KEY_CREATE_SUB_KEY, /*write=*/true);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  KeyId id = call.Key();
  size_t depth = call.KeyDepth() + levels.size();
  if (depth > fgp::reg::kMaxDepth) return call.Finish(ERROR_INVALID_PARAMETER);
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  for (size_t i = 0; i < levels.size(); ++i) {
    status = call.S().FindChild(id, levels[i], id);
    if (status == ERROR_FILE_NOT_FOUND) {
      bool last = i + 1 == levels.size();
      status = call.S().CreateChild(id, levels[i], last ? lpClass : nullptr, id);
      disposition = REG_CREATED_NEW_KEY;
    }
    if (status != ERROR_SUCCESS) return call.Finish(status);
  }
  status = call.Finish(ERROR_SUCCESS);
  if (status != ERROR_SUCCESS) return status;
  *phkResult = NewHandle(id, Expand(samDesired), call.S().Generation(), depth);
  if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
  if (Reserved != 0) return ERROR_INVALID_PARAMETER;
  if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
  std::u16string name = NameOf(lpValueName);
  if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_SET_VALUE, /*write=*/true, /*checkKey=*/false);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  return call.Finish(call.S().SetValue(call.Key(), name, dwType, lpData, cbData));
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, /*write=*/false, /*checkKey=*/false);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  fgp::reg::ValueRow row;
  LSTATUS status = call.S().GetValue(call.Key(), NameOf(lpValueName), row);
  call.Finish(ERROR_SUCCESS);
  if (status != ERROR_SUCCESS) return status;
  return CopyData(row, lpType, lpData, lpcbData);
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  Call call(hKey, KEY_SET_VALUE, /*write=*/true);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  return call.Finish(call.S().DeleteValue(call.Key(), NameOf(lpValueName)));
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  Call call(hKey, 0, /*write=*/true);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  KeyId id = 0;
  size_t levels = 0;
  LSTATUS status = call.Resolve(lpSubKey, id, levels);
  if (status != ERROR_SUCCESS) return call.Finish(status);
  if (id <= fgp::reg::kRootCount) return call.Finish(ERROR_ACCESS_DENIED);
  DWORD children = 0;
  status = call.S().ChildCount(id, children);
  if (status == ERROR_SUCCESS && children != 0) status = ERROR_ACCESS_DENIED;
  if (status == ERROR_SUCCESS) status = call.S().DeleteKey(id);
  return call.Finish(status);
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  Call call(hKey, 0, /*write=*/true);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  KeyId id = 0;
  size_t levels = 0;
  LSTATUS status = call.Resolve(lpSubKey, id, levels);
  if (status != ERROR_SUCCESS) return call.Finish(status);
  bool self = levels > 0;
  if (self && id <= fgp::reg::kRootCount) return call.Finish(ERROR_ACCESS_DENIED);
  return call.Finish(call.S().DeleteTree(id, self));
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr))
    return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_ENUMERATE_SUB_KEYS, /*write=*/false);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  std::u16string name, className;
  int64_t written = 0;
  LSTATUS status = call.S().ChildAt(call.Key(), dwIndex, name, className, written);
  call.Finish(ERROR_SUCCESS);
  if (status != ERROR_SUCCESS) return status;
  status = CopyName(name, lpName, lpcchName);
  if (status != ERROR_SUCCESS) return status;
  if (lpClass != nullptr) {
    status = CopyName(className, lpClass, lpcchClass);
    if (status != ERROR_SUCCESS) return status;
  }
  SetFileTime(lpftLastWriteTime, written);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, /*write=*/false, /*checkKey=*/false);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  fgp::reg::ValueRow row;
  LSTATUS status = call.S().ValueAt(call.Key(), dwIndex, row);
  call.Finish(ERROR_SUCCESS);
  if (status != ERROR_SUCCESS) return status;
  status = CopyName(row.name, lpValueName, lpcchValueName);
  if (status != ERROR_SUCCESS) return status;
  return CopyData(row, lpType, lpData, lpcbData);
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, /*write=*/false);
  if (call.Status() != ERROR_SUCCESS) return call.Status();
  fgp::reg::KeyInfo info;
  LSTATUS status = call.S().Info(call.Key(), info);
  call.Finish(ERROR_SUCCESS);
  if (status != ERROR_SUCCESS) return status;
  if (lpClass != nullptr) {
    status = CopyName(info.className, lpClass, lpcchClass);
    if (status != ERROR_SUCCESS) {
      // Too small: the length the class needs, without its terminator.
      *lpcchClass = static_cast<DWORD>(info.className.size());
      return status;
    }
  } else if (lpcchClass != nullptr) {
    *lpcchClass = static_cast<DWORD>(info.className.size());
  }
  if (lpcSubKeys) *lpcSubKeys = info.subkeys;
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = info.maxSubkeyName;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = info.maxClass;
  if (lpcValues) *lpcValues = info.values;
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = info.maxValueName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = info.maxValueData;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  SetFileTime(lpftLastWriteTime, info.written);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  return g_handles.erase(reinterpret_cast<ULONG_PTR>(hKey)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI FgRegistryBeginBatch(BOOL write) {
  g_lock.lock();  // held until the batch ends
  if (g_batchOwner) {
    g_lock.unlock();
    return ERROR_INVALID_FUNCTION;  // this thread's batch is open: batches do not nest
  }
  Store* store = nullptr;
  LSTATUS status = Store::Current(store);
  if (status == ERROR_SUCCESS) {
    CloseStoreAtExitOnce();
    status = store->BeginBatch(write != FALSE);
  }
  if (status != ERROR_SUCCESS) {
    g_lock.unlock();
    return status;
  }
  g_batchOwner = std::this_thread::get_id();
  return ERROR_SUCCESS;
}

LSTATUS WINAPI FgRegistryEndBatch(BOOL commit) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (g_batchOwner != std::this_thread::get_id()) return ERROR_INVALID_FUNCTION;
  g_batchOwner.reset();
  g_lock.unlock();  // the hold the batch's begin took; the guard keeps one
  Store* store = Store::Existing();
  // A store closed or switched meanwhile has rolled the batch back already.
  if (store == nullptr || !store->InBatch()) return commit ? ERROR_REGISTRY_IO_FAILED : ERROR_SUCCESS;
  return store->EndBatch(commit != FALSE);
}
