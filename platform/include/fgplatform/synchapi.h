// Events, waits, and the thread-token calls.
//
// A named event is a POSIX named semaphore of its owner only,
// "/fg.<user id>.ev.<name>" (names as for file mappings); an unnamed one
// lives in the process. Choices where this platform differs:
// - An auto-reset event releases one wait per SetEvent; setting an event
//   that is already set changes nothing. A manual-reset event stays set
//   after a wait until ResetEvent.
// - CreateEventA of a name that exists answers a handle to it with
//   ERROR_ALREADY_EXISTS; OpenEventA of a missing name ERROR_FILE_NOT_FOUND.
// - The name is removed when the creating process closes its last handle
//   of it, or exits; a name left by a process that was killed is reused.
// - WaitForSingleObject waits on events only; any other handle answers
//   WAIT_FAILED with ERROR_INVALID_HANDLE.
// - No thread ever impersonates: OpenThreadToken answers ERROR_NO_TOKEN,
//   RevertToSelf succeeds, SetThreadToken succeeds for a null token (and
//   answers ERROR_INVALID_HANDLE for any other).
#pragma once

#include "fgplatform/memoryapi.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS 0x001F0003

#define TOKEN_DUPLICATE 0x0002
#define TOKEN_IMPERSONATE 0x0004

FG_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                                  LPCSTR lpName);
FG_API HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
FG_API BOOL WINAPI SetEvent(HANDLE hEvent);
FG_API BOOL WINAPI ResetEvent(HANDLE hEvent);
FG_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

FG_API HANDLE WINAPI GetCurrentThread();
FG_API BOOL WINAPI OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL OpenAsSelf, HANDLE* TokenHandle);
FG_API BOOL WINAPI SetThreadToken(HANDLE* Thread, HANDLE Token);
FG_API BOOL WINAPI RevertToSelf();
