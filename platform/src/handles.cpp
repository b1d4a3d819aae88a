#include "handles.h"

#include <mutex>
#include <unordered_map>

#include "fgplatform/kernel.h"

namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<ULONG_PTR, fgp::KernelObject*> objects;
  ULONG_PTR next = 0x100;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // lives until the process ends
  return *table;
}

}  // namespace

namespace fgp {

HANDLE AddHandle(KernelObject* object) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  ULONG_PTR value = t.next;
  t.next += 4;
  t.objects[value] = object;
  return reinterpret_cast<HANDLE>(value);
}

KernelObject* FindHandle(HANDLE h) {
  HandleTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<ULONG_PTR>(h));
  return it == t.objects.end() ? nullptr : it->second;
}

}  // namespace fgp

BOOL WINAPI CloseHandle(HANDLE hObject) {
  fgp::KernelObject* object = nullptr;
  {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<ULONG_PTR>(hObject));
    if (it != t.objects.end()) {
      object = it->second;
      t.objects.erase(it);
    }
  }
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete object;
  return TRUE;
}
