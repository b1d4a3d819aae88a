// Named shared memory (file mappings backed by the paging file), views of
// it, and the page size.
//
// A mapping is a POSIX shared-memory object, readable and writable by its
// owner only, named "/fg.<user id>.<name>" (a "/" or "\" in the name
// becomes "_"; a name of more than 200 characters answers
// ERROR_FILENAME_EXCED_RANGE). Only mappings backed by the paging file
// (hFile INVALID_HANDLE_VALUE) are offered; any other file answers
// ERROR_NOT_SUPPORTED, a size of 0 ERROR_INVALID_PARAMETER.
//
// Choices where the documentation leaves a detail open, or where this
// platform differs:
// - CreateFileMappingA of a name that exists answers a handle to the
//   existing mapping with ERROR_ALREADY_EXISTS (its own size stays). A name
//   left behind by a process that ended without closing it (killed) is
//   taken as free: the new mapping replaces it.
// - The name is removed when the process that created the mapping closes
//   its last handle and view of it, or exits; a process that still has it
//   open keeps its memory, but the name can no longer be opened.
// - SEC_RESERVE: every page of a view is backed on first touch (reading a
//   page that was never committed gives zeros, not an access violation).
//   VirtualAlloc with MEM_COMMIT on a range inside a view checks the range
//   and answers its first page; it does not allocate elsewhere (any other
//   use answers ERROR_INVALID_PARAMETER).
// - VirtualQuery describes the views this platform mapped (Type MEM_MAPPED,
//   AllocationBase the view's start); any other address answers 0 with
//   ERROR_INVALID_ADDRESS.
// - The "file mappings" fault service fails CreateFileMappingA and
//   VirtualAlloc commits (ERROR_NOT_ENOUGH_MEMORY unless a code is set).
#pragma once

#include "fgplatform/basetypes.h"


#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define SEC_COMMIT 0x08000000
#define SEC_RESERVE 0x04000000

#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F

#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_FREE 0x00010000
#define MEM_MAPPED 0x00040000

typedef struct _MEMORY_BASIC_INFORMATION {
  PVOID BaseAddress;
  PVOID AllocationBase;
  DWORD AllocationProtect;
  SIZE_T RegionSize;
  DWORD State;
  DWORD Protect;
  DWORD Type;
} MEMORY_BASIC_INFORMATION, *PMEMORY_BASIC_INFORMATION;

typedef struct _SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

FG_API HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes, DWORD flProtect,
                                        DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName);
FG_API HANDLE WINAPI OpenFileMappingA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
FG_API LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                                   DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
FG_API BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress);
FG_API LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect);
FG_API SIZE_T WINAPI VirtualQuery(LPCVOID lpAddress, PMEMORY_BASIC_INFORMATION lpBuffer, SIZE_T dwLength);
FG_API void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);
