// CComError, the exception the shared string holder raises, with the
// process-wide handler that raises it, and the structured-exception helper.
#pragma once

#include "fgplatform/win32.h"

class CComError {
 public:
  // Adopts `info` without taking a reference.
  CComError(HRESULT hr, IErrorInfo* info) : m_hrCode(hr), m_pErrorInfo(info) {}
  CComError(const CComError& other) : m_hrCode(other.m_hrCode), m_pErrorInfo(other.m_pErrorInfo) {
    if (m_pErrorInfo != nullptr) m_pErrorInfo->AddRef();
  }
  CComError& operator=(const CComError&) = delete;
  virtual ~CComError() {
    if (m_pErrorInfo != nullptr) m_pErrorInfo->Release();
  }

  HRESULT m_hrCode;
  IErrorInfo* m_pErrorInfo;
};

typedef void (*ComErrorHandlerFunc)(HRESULT hr, IErrorInfo* info);

// Throws CComError adopting `info`.
[[noreturn]] void RaiseComError(HRESULT hr, IErrorInfo* info);
// The process-wide handler; starts as RaiseComError.
extern ComErrorHandlerFunc ComErrorHandler;
void SetComErrorHandler(ComErrorHandlerFunc handler);
// Hands the code and a null error object to ComErrorHandler, which is to
// throw; when it returns, CComError is thrown as RaiseComError does.
[[noreturn]] void IssueComError(HRESULT hr);

// Calls RaiseException with the code, the flags and no arguments.
void RaiseStructuredException(DWORD code, DWORD flags);
