// The counted string's storage: the header in front of every buffer, the
// string manager that hands buffers out, and the heap wrapper it draws
// from. One manager over the process heap serves every string made without
// a manager of its own.
#pragma once

#include "fgplatform/win32.h"

struct IStringManager;

struct CountedStringData {
  IStringManager* pStringMgr;
  int nStrLength;    // characters in use, without the terminator
  int nAllocLength;  // characters that fit, without the terminator
  LONG nRefs;        // strings sharing the buffer
  WCHAR* Text() { return reinterpret_cast<WCHAR*>(this + 1); }
};

struct IStringManager {
  virtual CountedStringData* Allocate(int nChars, int nCharSize) = 0;
  virtual void Free(CountedStringData* pData) = 0;
  virtual CountedStringData* Reallocate(CountedStringData* pData, int nChars, int nCharSize) = 0;
  // Takes a reference on the manager's empty data.
  virtual CountedStringData* GetEmptyData() = 0;
  virtual IStringManager* Clone() = 0;
  virtual ~IStringManager() = default;
};

struct IMemoryManager {
  virtual void* Allocate(size_t nBytes) = 0;
  virtual void Free(void* p) = 0;
  virtual void* Reallocate(void* p, size_t nBytes) = 0;
  virtual size_t GetSize(void* p) = 0;
  virtual ~IMemoryManager() = default;
};

// A memory manager over a platform heap; destroys the heap at the end only
// when it owns it.
class CHeapMemory : public IMemoryManager {
 public:
  CHeapMemory(HANDLE hHeap, bool ownsHeap);
  ~CHeapMemory() override;
  void* Allocate(size_t nBytes) override;
  void Free(void* p) override;
  void* Reallocate(void* p, size_t nBytes) override;
  size_t GetSize(void* p) override;

  HANDLE m_heap;
  bool m_ownsHeap;
};

class CHeapStringManager : public IStringManager {
 public:
  explicit CHeapStringManager(IMemoryManager* pMemory);
  // Null when the size overflows or memory runs out.
  CountedStringData* Allocate(int nChars, int nCharSize) override;
  void Free(CountedStringData* pData) override;
  CountedStringData* Reallocate(CountedStringData* pData, int nChars, int nCharSize) override;
  CountedStringData* GetEmptyData() override;
  IStringManager* Clone() override { return this; }

  IMemoryManager* m_pMemory;
  struct {
    CountedStringData header;
    WCHAR chars[2];
  } m_emptyData;
};

// The process-wide manager (over the process heap).
IStringManager* ProcessStringManager();
