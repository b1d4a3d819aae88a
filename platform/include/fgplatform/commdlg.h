// The common open-file dialog.
//
// GetOpenFileNameW honours the request as documented: lStructSize must be
// the earlier (76 bytes in a 32-bit build) or the full size of the record
// (CDERR_STRUCTSIZE); a null title gives the platform's own caption; the
// filter list holds display texts and ";"-separated patterns, ended by an
// empty string; OFN_ALLOWMULTISELECT with OFN_EXPLORER answers several
// files as the directory followed by each name, each terminated, then an
// empty string; one file is always its full path. nFileOffset and
// nFileExtension are set (nFileExtension 0 without an extension). A
// selection that does not fit nMaxFile fails with FNERR_BUFFERTOOSMALL and
// the needed size in characters in the first two bytes of the buffer.
// Without OFN_HIDEREADONLY the read-only box's state comes back as
// OFN_READONLY.
//
// Backends, asked in this order at each call: answers queued by the test
// controls; the answers file named by FARROWGATE_DIALOG_ANSWERS (format in
// dialog_answers.h and the README; a malformed file is reported on the
// debug output and standard error and fails with CDERR_INITIALIZATION);
// the GTK 3 file chooser when a display is there (file_chooser.h); else
// none, and the dialog cannot be created (CDERR_DIALOGFAILURE). An answers
// file wins over a display because naming one is an explicit choice. Every
// request is appended to FARROWGATE_DIALOG_LOG when that is set. The
// extended error is per thread.
//
// Choices where the documentation leaves room: a null title shows "Open";
// nFilterIndex 0 (the custom filter, not kept here) or past the list
// preselects the first entry, and on success nFilterIndex is the entry in
// use when the dialog closed; an initial name that is a folder opens the
// dialog in it, a relative one is taken from lpstrInitialDir or the
// current directory; OFN_FILEMUSTEXIST implies OFN_PATHMUSTEXIST; on
// success a non-null lpstrFileTitle gets the chosen file's name and
// extension without its path (of several files, the first), cut to
// nMaxFileTitle - 1 characters when longer and always terminated;
// OFN_ALLOWMULTISELECT without OFN_EXPLORER answers only the first chosen
// file's full path (the old-style list, the directory and the names
// separated by spaces, is not built: a name may hold spaces). The
// platform has no windows of its own, so GetForegroundWindow answers null
// and no dialog has an owner to be transient for.
#pragma once

#include "fgplatform/basetypes.h"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, UINT_PTR, LONG_PTR);

struct OPENFILENAMEW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPWSTR lpstrFile;
  DWORD nMaxFile;
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
  LONG_PTR lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
};
typedef OPENFILENAMEW* LPOPENFILENAMEW;

// The size of the earlier record, which ends with lpTemplateName.
#define OPENFILENAME_SIZE_VERSION_400W (offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR))

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000

#define CDERR_DIALOGFAILURE 0xFFFF
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define CDERR_NOTEMPLATE 0x0003
#define CDERR_NOHINSTANCE 0x0004
#define CDERR_LOADSTRFAILURE 0x0005
#define CDERR_FINDRESFAILURE 0x0006
#define CDERR_LOADRESFAILURE 0x0007
#define CDERR_LOCKRESFAILURE 0x0008
#define CDERR_MEMALLOCFAILURE 0x0009
#define CDERR_MEMLOCKFAILURE 0x000A
#define CDERR_NOHOOK 0x000B
#define CDERR_REGISTERMSGFAIL 0x000C
#define FNERR_SUBCLASSFAILURE 0x3001
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003

FG_API BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW lpofn);
FG_API DWORD WINAPI CommDlgExtendedError();
// The window in front; null when the platform has none of its own.
FG_API HWND WINAPI GetForegroundWindow();
