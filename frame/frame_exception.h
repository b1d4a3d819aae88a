// CFrameException, the exception the holders and helpers raise when they
// cannot return a code, and the routines that raise it.
#pragma once

#include "fgplatform/win32.h"

// Exactly one field; copied by value.
class CFrameException {
 public:
  explicit CFrameException(HRESULT hr) : m_hrCode(hr) {}
  HRESULT m_hrCode;
};

// Writes "FrameThrow: hr = 0x%x\n" (traceException, level 0) and throws.
[[noreturn]] void FrameThrow(HRESULT hr);

// Maps a runtime error number to an exception: 0 and 80 (truncation) come
// back unchanged; 12 throws E_OUTOFMEMORY, 22 and 34 E_INVALIDARG, any other
// E_FAIL.
errno_t CheckCrtError(errno_t error);
