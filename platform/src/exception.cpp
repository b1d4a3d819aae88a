// Structured exceptions as a C++ exception type.
#include "fgplatform/kernel.h"

void WINAPI RaiseException(DWORD dwExceptionCode, DWORD dwExceptionFlags, DWORD nNumberOfArguments,
                           const ULONG_PTR* lpArguments) {
  CStructuredException e(dwExceptionCode & ~0x10000000u, dwExceptionFlags & EXCEPTION_NONCONTINUABLE);
  if (lpArguments != nullptr) {
    e.m_nArguments = nNumberOfArguments < EXCEPTION_MAXIMUM_PARAMETERS ? nNumberOfArguments
                                                                       : EXCEPTION_MAXIMUM_PARAMETERS;
    for (DWORD i = 0; i < e.m_nArguments; ++i) e.m_arguments[i] = lpArguments[i];
  }
  throw e;
}
