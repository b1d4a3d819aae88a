// Modules and their resources.
//
// An HMODULE is the load address of a loaded ELF object (the start of its
// first loadable segment). LoadLibraryW is dlopen (RTLD_NOW | RTLD_LOCAL)
// followed by a call of the module's exported DllMain with
// DLL_PROCESS_ATTACH; a FALSE answer makes it call DllMain with
// DLL_PROCESS_DETACH, unload the module and fail with ERROR_DLL_INIT_FAILED.
// Loading a module that is already loaded counts one more reference and
// calls nothing. FreeLibrary of the last reference calls DllMain with
// DLL_PROCESS_DETACH and unloads the module, so its static destructors run
// (modules are built with -fno-gnu-unique). Thread attach and detach are
// not reported. A module the dynamic linker refuses answers
// ERROR_MOD_NOT_FOUND when it or one of its dependencies is missing,
// ERROR_PROC_NOT_FOUND when an import is missing, and ERROR_BAD_EXE_FORMAT
// otherwise. A file named by its path that is ELF but cut short (its
// program headers or a segment's bytes past its end, which the system
// loader would map and fault on) is refused with ERROR_BAD_EXE_FORMAT
// before the system loader sees it. No exception leaves a loader call
// (ERROR_NOT_ENOUGH_MEMORY).
//
// LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE reads the file's resource
// section without loading or running any of it; the handle is the address
// of the platform's copy with the low bit set. GetProcAddress and
// GetModuleFileNameW do not serve such handles (ERROR_MOD_NOT_FOUND). Every
// size and offset of the file's headers is checked against the file: a
// damaged file answers ERROR_BAD_EXE_FORMAT.
//
// Resources live in the allocated, read-only section ".fgrsrc" of the
// module file (layout: resource_format.h). String type and name ids compare
// without regard to case; a string "#" and decimal digits (at most 65535)
// names the integer id. Names and texts are read byte-wise, at any offset. FindResourceW and FindResourceExW with language 0
// take the neutral language, then the thread locale's language, the user
// default, 0x0409 and finally the first language present; any other
// language must match exactly (ERROR_RESOURCE_LANG_NOT_FOUND). A module
// without resources, or with a damaged section, answers
// ERROR_RESOURCE_DATA_NOT_FOUND. A null module is the main program.
// LoadStringW with a negative buffer size copies nothing and answers 0
// (ERROR_INVALID_PARAMETER).
//
// GetModuleHandleW matches a loaded object by its full path or its file
// name. The names of the system libraries this platform stands in for
// ("KERNEL32.DLL", "ADVAPI32.DLL", "OLE32.DLL", "OLEAUT32.DLL",
// "SHELL32.DLL", "COMDLG32.DLL", "USER32.DLL", in any case) answer the
// platform library itself, so that GetProcAddress finds their calls. GetModuleFileNameW answers the full path; a buffer that is too small
// receives the path cut to nSize - 1 characters and a terminator, the
// result is nSize and the last error ERROR_INSUFFICIENT_BUFFER.
#pragma once

#include "fgplatform/basetypes.h"
#include "fgplatform/resource_format.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_STRING MAKEINTRESOURCEW(fgres::kTypeString)
#define RT_RCDATA MAKEINTRESOURCEW(fgres::kTypeRcData)
#define RT_VERSION MAKEINTRESOURCEW(fgres::kTypeVersion)
#define RT_MANIFEST MAKEINTRESOURCEW(fgres::kTypeManifest)

typedef BOOL(WINAPI* DllMainFunc)(HINSTANCE, DWORD, LPVOID);
typedef INT_PTR(WINAPI* FARPROC)();

FG_API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
FG_API HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
FG_API BOOL WINAPI FreeLibrary(HMODULE hLibModule);
FG_API HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
FG_API BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
FG_API DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
FG_API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

FG_API HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
FG_API HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
FG_API HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
FG_API LPVOID WINAPI LockResource(HGLOBAL hResData);
FG_API DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
// String tables: block (uID / 16) + 1 of type 6 holds 16 counted entries.
// cchBufferMax 0 stores a read-only pointer to the (unterminated) text in
// *lpBuffer and answers its length; otherwise the text is copied, cut to
// cchBufferMax - 1 characters, and terminated. A missing or empty entry
// answers 0 (with an empty buffer when there is room).
FG_API int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
