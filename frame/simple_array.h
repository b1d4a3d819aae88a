// A growable array of plain values (pointer, size, capacity) used by the
// module records. Adding an element that lies inside the storage growth
// would move raises E_FAIL; an index outside 0 to size - 1 raises the
// non-continuable array-bounds exception.
#pragma once

#include <cstdlib>

#include "frame/com_error.h"
#include "frame/debug_assert.h"
#include "frame/frame_exception.h"

template <class T>
class CSimpleArray {
 public:
  CSimpleArray() = default;
  ~CSimpleArray() { RemoveAll(); }
  CSimpleArray(const CSimpleArray&) = delete;
  CSimpleArray& operator=(const CSimpleArray&) = delete;

  int GetSize() const { return m_nSize; }
  // False when the storage cannot grow.
  bool Add(const T& t) {
    if (m_nSize == m_nAllocSize) {
      if (&t >= m_aT && &t < m_aT + m_nAllocSize) {
        FG_ASSERT_TEXT(false, "&t < m_aT || &t >= (m_aT + m_nAllocSize)", "simplearray");
        FrameThrow(E_FAIL);
      }
      int grown = m_nAllocSize == 0 ? 1 : m_nSize * 2;
      T* fresh = static_cast<T*>(std::realloc(m_aT, sizeof(T) * static_cast<size_t>(grown)));
      if (fresh == nullptr) return false;
      m_aT = fresh;
      m_nAllocSize = grown;
    }
    m_aT[m_nSize++] = t;
    return true;
  }
  void RemoveAll() {
    std::free(m_aT);
    m_aT = nullptr;
    m_nSize = m_nAllocSize = 0;
  }
  T& operator[](int nIndex) {
    FG_ASSERT(nIndex >= 0 && nIndex < m_nSize, "simplearray");
    if (nIndex < 0 || nIndex >= m_nSize) RaiseStructuredException(EXCEPTION_ARRAY_BOUNDS_EXCEEDED, EXCEPTION_NONCONTINUABLE);
    return m_aT[nIndex];
  }

  T* m_aT = nullptr;
  int m_nSize = 0;
  int m_nAllocSize = 0;
};
