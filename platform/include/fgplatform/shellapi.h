// File information from the shell: only what SHGFI_EXETYPE asks.
//
// SHGetFileInfoW(path, 0, info, size, SHGFI_EXETYPE) answers 0 for a file
// that is not an executable program (a shared library, a text, a missing
// file) and, for a program, the documented form MAKELONG(signature,
// version): this platform's programs are ELF executables (type ET_EXEC, or
// a position-independent ET_DYN with a program interpreter), which answer
// 0x00004550, the value of a console program ("PE", version 0); a library
// that is not a program answers 0 as on the original system. The record
// is not written. Any other flag (icons, names, types) is not provided and
// answers 0.
#pragma once

#include "fgplatform/basetypes.h"

#define SHGFI_EXETYPE 0x000002000

typedef struct _SHFILEINFOW {
  HANDLE hIcon;
  int iIcon;
  DWORD dwAttributes;
  WCHAR szDisplayName[260];
  WCHAR szTypeName[80];
} SHFILEINFOW;

FG_API DWORD_PTR WINAPI SHGetFileInfoW(LPCWSTR pszPath, DWORD dwFileAttributes, SHFILEINFOW* psfi, UINT cbFileInfo,
                                       UINT uFlags);
