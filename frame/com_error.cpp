#include "frame/com_error.h"

void RaiseComError(HRESULT hr, IErrorInfo* info) { throw CComError(hr, info); }

ComErrorHandlerFunc ComErrorHandler = RaiseComError;

void SetComErrorHandler(ComErrorHandlerFunc handler) { ComErrorHandler = handler; }

void IssueComError(HRESULT hr) {
  ComErrorHandler(hr, nullptr);
  // Callers go on only through an exception: a handler that returns is
  // followed by the standard one.
  RaiseComError(hr, nullptr);
}

void RaiseStructuredException(DWORD code, DWORD flags) { RaiseException(code, flags, 0, nullptr); }
