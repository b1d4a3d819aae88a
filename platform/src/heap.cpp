// Heaps: every block carries a header that names its heap and links it into
// the heap's list, so HeapDestroy can free what is left and tests can count
// live blocks.
#include "heap.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "faults.h"
#include "fgplatform/kernel.h"
#include "live_counts.h"

namespace fgp {

struct BlockHeader {
  Heap* heap;
  BlockHeader* prev;
  BlockHeader* next;
  size_t size;
  uint64_t magic;
  uint64_t pad;
};
static_assert(sizeof(BlockHeader) % 16 == 0, "blocks stay 16-byte aligned");

struct Heap {
  static constexpr uint32_t kMagic = 0x50414548;  // "HEAP"
  uint32_t magic = kMagic;
  DWORD options = 0;
  size_t maxSize = 0;  // 0: growable
  size_t used = 0;
  fgp::FaultService service = fgp::FaultService::Heap;
  std::atomic<long>* liveCounter = nullptr;
  std::mutex lock;
  BlockHeader list{nullptr, nullptr, nullptr, 0, 0, 0};
};

namespace {

constexpr uint64_t kBlockMagic = 0x4B434F4C42474655ull;
constexpr size_t kLargestBlock = size_t(1) << 40;

Heap* MakeHeap(fgp::FaultService service, std::atomic<long>* counter) {
  auto* heap = new Heap;
  heap->service = service;
  heap->liveCounter = counter;
  heap->list.next = heap->list.prev = &heap->list;
  return heap;
}

BlockHeader* HeaderOf(const void* block) {
  return const_cast<BlockHeader*>(reinterpret_cast<const BlockHeader*>(block) - 1);
}

bool IsHeap(HANDLE h) { return h != nullptr && static_cast<Heap*>(h)->magic == Heap::kMagic; }

bool Owns(Heap* heap, const void* block) {
  if (block == nullptr) return false;
  const BlockHeader* header = HeaderOf(block);
  return header->magic == kBlockMagic && header->heap == heap;
}

void Link(Heap* heap, BlockHeader* header) {
  header->next = heap->list.next;
  header->prev = &heap->list;
  heap->list.next->prev = header;
  heap->list.next = header;
}

void Unlink(BlockHeader* header) {
  header->prev->next = header->next;
  header->next->prev = header->prev;
}

bool WithinLimit(Heap* heap, size_t oldBytes, size_t newBytes) {
  return heap->maxSize == 0 || heap->used - oldBytes + newBytes <= heap->maxSize;
}

}  // namespace

void* HeapBlockAlloc(Heap* heap, size_t bytes, bool zero) {
  if (bytes > kLargestBlock || ShouldFail(heap->service)) return nullptr;
  std::lock_guard<std::mutex> guard(heap->lock);
  if (!WithinLimit(heap, 0, bytes)) return nullptr;
  auto* header = static_cast<BlockHeader*>(zero ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                                : std::malloc(sizeof(BlockHeader) + bytes));
  if (header == nullptr) return nullptr;
  header->heap = heap;
  header->size = bytes;
  header->magic = kBlockMagic;
  Link(heap, header);
  heap->used += bytes;
  ++*heap->liveCounter;
  return header + 1;
}

void* HeapBlockRealloc(Heap* heap, void* block, size_t bytes, bool zero) {
  if (bytes > kLargestBlock || ShouldFail(heap->service)) return nullptr;
  std::lock_guard<std::mutex> guard(heap->lock);
  BlockHeader* header = HeaderOf(block);
  size_t oldBytes = header->size;
  if (!WithinLimit(heap, oldBytes, bytes)) return nullptr;
  Unlink(header);
  auto* moved = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
  if (moved == nullptr) {
    Link(heap, header);
    return nullptr;
  }
  Link(heap, moved);
  moved->size = bytes;
  heap->used = heap->used - oldBytes + bytes;
  if (zero && bytes > oldBytes) std::memset(reinterpret_cast<char*>(moved + 1) + oldBytes, 0, bytes - oldBytes);
  return moved + 1;
}

void HeapBlockFree(Heap* heap, void* block) {
  std::lock_guard<std::mutex> guard(heap->lock);
  BlockHeader* header = HeaderOf(block);
  Unlink(header);
  heap->used -= header->size;
  header->magic = 0;
  std::free(header);
  --*heap->liveCounter;
}

size_t HeapBlockSize(const void* block) { return HeaderOf(block)->size; }

void ResizeInPlace(Heap* heap, void* block, size_t bytes) {
  std::lock_guard<std::mutex> guard(heap->lock);
  BlockHeader* header = HeaderOf(block);
  heap->used = heap->used - header->size + bytes;
  header->size = bytes;
}

Heap* TaskMemoryHeap() {
  static Heap* heap = MakeHeap(fgp::FaultService::TaskMemory, &Live().taskBlocks);
  return heap;
}

Heap* SystemStringHeap() {
  static Heap* heap = MakeHeap(fgp::FaultService::SystemString, &Live().systemStrings);
  return heap;
}

Heap* ArrayHeap() {
  // Array descriptors and data share one heap; the live counter counts
  // descriptors, which the array code maintains itself.
  static std::atomic<long> blocks{0};
  static Heap* heap = MakeHeap(fgp::FaultService::SafeArray, &blocks);
  return heap;
}

}  // namespace fgp

using fgp::Heap;

HANDLE WINAPI GetProcessHeap() {
  static Heap* heap = fgp::MakeHeap(fgp::FaultService::Heap, &fgp::Live().heapBlocks);
  return heap;
}

HANDLE WINAPI HeapCreate(DWORD flOptions, SIZE_T, SIZE_T dwMaximumSize) {
  Heap* heap = fgp::MakeHeap(fgp::FaultService::Heap, &fgp::Live().heapBlocks);
  heap->options = flOptions;
  heap->maxSize = dwMaximumSize;
  ++fgp::Live().privateHeaps;
  return heap;
}

BOOL WINAPI HeapDestroy(HANDLE hHeap) {
  if (!fgp::IsHeap(hHeap) || hHeap == GetProcessHeap()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto* heap = static_cast<Heap*>(hHeap);
  while (heap->list.next != &heap->list) fgp::HeapBlockFree(heap, heap->list.next + 1);
  heap->magic = 0;
  delete heap;
  --fgp::Live().privateHeaps;
  return TRUE;
}

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  if (!fgp::IsHeap(hHeap)) return nullptr;
  auto* heap = static_cast<Heap*>(hHeap);
  void* block = fgp::HeapBlockAlloc(heap, dwBytes, (dwFlags & HEAP_ZERO_MEMORY) != 0);
  if (block == nullptr && ((dwFlags | heap->options) & HEAP_GENERATE_EXCEPTIONS))
    RaiseException(STATUS_NO_MEMORY, 0, 0, nullptr);
  return block;
}

LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
  if (!fgp::IsHeap(hHeap)) return nullptr;
  auto* heap = static_cast<Heap*>(hHeap);
  if (!fgp::Owns(heap, lpMem)) return nullptr;
  void* block = nullptr;
  if ((dwFlags & HEAP_REALLOC_IN_PLACE_ONLY) == 0) {
    block = fgp::HeapBlockRealloc(heap, lpMem, dwBytes, (dwFlags & HEAP_ZERO_MEMORY) != 0);
  } else if (dwBytes <= fgp::HeapBlockSize(lpMem) && !fgp::ShouldFail(heap->service)) {
    // Shrinking in place always works; this heap never grows a block in place.
    fgp::ResizeInPlace(heap, lpMem, dwBytes);
    block = lpMem;
  }
  if (block == nullptr && ((dwFlags | heap->options) & HEAP_GENERATE_EXCEPTIONS))
    RaiseException(STATUS_NO_MEMORY, 0, 0, nullptr);
  return block;
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
  if (lpMem == nullptr) return TRUE;
  if (!fgp::IsHeap(hHeap)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!fgp::Owns(static_cast<Heap*>(hHeap), lpMem)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  fgp::HeapBlockFree(static_cast<Heap*>(hHeap), lpMem);
  return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE hHeap, DWORD, LPCVOID lpMem) {
  if (!fgp::IsHeap(hHeap) || !fgp::Owns(static_cast<Heap*>(hHeap), lpMem)) return static_cast<SIZE_T>(-1);
  return fgp::HeapBlockSize(lpMem);
}
