// Task memory on a heap of its own.
#include "fgplatform/objbase.h"
#include "heap.h"

LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb) { return fgp::HeapBlockAlloc(fgp::TaskMemoryHeap(), cb, /*zero=*/false); }

LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  if (pv == nullptr) return CoTaskMemAlloc(cb);
  if (cb == 0) {
    CoTaskMemFree(pv);
    return nullptr;
  }
  return fgp::HeapBlockRealloc(fgp::TaskMemoryHeap(), pv, cb, /*zero=*/false);
}

void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) {
  if (pv != nullptr) fgp::HeapBlockFree(fgp::TaskMemoryHeap(), pv);
}
