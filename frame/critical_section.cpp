#include "frame/critical_section.h"

HRESULT InitializeSection(CRITICAL_SECTION* cs) {
  if (InitializeCriticalSectionAndSpinCount(cs, 0)) return S_OK;
  DWORD error = GetLastError();
  return error == ERROR_NOT_ENOUGH_MEMORY ? E_OUTOFMEMORY : HRESULT_FROM_WIN32(error);
}

HRESULT EnterSection(CRITICAL_SECTION* cs) {
  try {
    EnterCriticalSection(cs);
    return S_OK;
  } catch (const CStructuredException&) {
    return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
  }
}

void LeaveSection(CRITICAL_SECTION* cs) { LeaveCriticalSection(cs); }

void DeleteSection(CRITICAL_SECTION* cs) { DeleteCriticalSection(cs); }
