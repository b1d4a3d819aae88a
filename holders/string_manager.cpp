#include "holders/string_manager.h"

#include "frame/debug_assert.h"

namespace {

constexpr const char* kSource = "stringmgr";

// Rounds (chars + 1) up to a multiple of 8 and sizes the block; false when
// a step overflows 32 bits.
bool BlockSize(int nChars, int nCharSize, int& rounded, size_t& bytes) {
  uint32_t r = 0, b = 0;
  if (nChars < 0 || __builtin_add_overflow(static_cast<uint32_t>(nChars), 8u, &r)) return false;
  r &= ~7u;
  if (__builtin_mul_overflow(r, static_cast<uint32_t>(nCharSize), &b)) return false;
  if (__builtin_add_overflow(b, static_cast<uint32_t>(sizeof(CountedStringData)), &b)) return false;
  if (r > 0x7FFFFFFFu) return false;
  rounded = static_cast<int>(r);
  bytes = b;
  return true;
}

}  // namespace

CHeapMemory::CHeapMemory(HANDLE hHeap, bool ownsHeap) : m_heap(hHeap), m_ownsHeap(ownsHeap) {
  FG_ASSERT(hHeap != 0, kSource);
}

CHeapMemory::~CHeapMemory() {
  if (!m_ownsHeap || m_heap == nullptr) return;
  BOOL bSuccess = HeapDestroy(m_heap);
  FG_ASSERT(bSuccess, kSource);
}

void* CHeapMemory::Allocate(size_t nBytes) { return HeapAlloc(m_heap, 0, nBytes); }

void CHeapMemory::Free(void* p) {
  if (p == nullptr) return;
  BOOL bSuccess = HeapFree(m_heap, 0, p);
  FG_ASSERT(bSuccess, kSource);
}

void* CHeapMemory::Reallocate(void* p, size_t nBytes) {
  if (p == nullptr) return Allocate(nBytes);
  if (nBytes == 0) {
    Free(p);
    return nullptr;
  }
  return HeapReAlloc(m_heap, 0, p, nBytes);
}

size_t CHeapMemory::GetSize(void* p) { return HeapSize(m_heap, 0, p); }

CHeapStringManager::CHeapStringManager(IMemoryManager* pMemory) : m_pMemory(pMemory) {
  m_emptyData.header = {nullptr, 0, 0, 2};
  m_emptyData.chars[0] = m_emptyData.chars[1] = 0;
  IStringManager* pStringMgr = m_emptyData.header.pStringMgr;
  FG_ASSERT(pStringMgr == 0, kSource);
  m_emptyData.header.pStringMgr = this;
}

CountedStringData* CHeapStringManager::Allocate(int nChars, int nCharSize) {
  int rounded = 0;
  size_t bytes = 0;
  if (!BlockSize(nChars, nCharSize, rounded, bytes)) return nullptr;
  auto* data = static_cast<CountedStringData*>(m_pMemory->Allocate(bytes));
  if (data == nullptr) return nullptr;
  data->pStringMgr = this;
  data->nRefs = 1;
  data->nAllocLength = rounded - 1;
  data->nStrLength = 0;
  return data;
}

void CHeapStringManager::Free(CountedStringData* pData) {
  FG_ASSERT(pData->pStringMgr == this, kSource);
  m_pMemory->Free(pData);
}

CountedStringData* CHeapStringManager::Reallocate(CountedStringData* pData, int nChars, int nCharSize) {
  FG_ASSERT(pData->pStringMgr == this, kSource);
  int rounded = 0;
  size_t bytes = 0;
  if (!BlockSize(nChars, nCharSize, rounded, bytes)) return nullptr;
  auto* data = static_cast<CountedStringData*>(m_pMemory->Reallocate(pData, bytes));
  if (data == nullptr) return nullptr;
  data->nAllocLength = rounded - 1;
  return data;
}

CountedStringData* CHeapStringManager::GetEmptyData() {
  LONG nRefs = m_emptyData.header.nRefs;
  FG_ASSERT(nRefs > 0, kSource);
  InterlockedIncrement(&m_emptyData.header.nRefs);
  return &m_emptyData.header;
}
