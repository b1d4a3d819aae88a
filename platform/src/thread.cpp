// Last error, process and thread ids.
#include <sys/syscall.h>
#include <unistd.h>

#include "fgplatform/kernel.h"

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD WINAPI GetLastError() { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD WINAPI GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }
