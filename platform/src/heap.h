// The heap machinery behind HeapAlloc and the platform's own allocators
// (task memory, system strings, arrays): each allocator is a heap with its
// own fault service and live counter.
#pragma once

#include <atomic>
#include <cstddef>

#include "fgplatform/fault_services.h"

namespace fgp {

struct Heap;

// Null when the service's fault fires or memory is exhausted. Zeroed with
// `zero`.
void* HeapBlockAlloc(Heap* heap, size_t bytes, bool zero);
// Null on failure; the old block is then untouched.
void* HeapBlockRealloc(Heap* heap, void* block, size_t bytes, bool zero);
void HeapBlockFree(Heap* heap, void* block);
size_t HeapBlockSize(const void* block);
// Shrinks the recorded size of a block without moving it.
void ResizeInPlace(Heap* heap, void* block, size_t bytes);

// Internal heaps of the platform (never destroyed).
Heap* TaskMemoryHeap();
Heap* SystemStringHeap();
Heap* ArrayHeap();

}  // namespace fgp
