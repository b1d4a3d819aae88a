// The registry, kept in an SQLite database.
//
// The store is $FARROWGATE_REGISTRY, else $XDG_DATA_HOME/farrowgate/
// registry.db, else ~/.local/share/farrowgate/registry.db (the home from
// $HOME, else from the password database; never a shared folder such as
// /tmp); it is created with its schema on first use, readable and
// writable by the user alone (0600, and so are its side files). Whoever
// may write the store's folder could plant the store, or its side files,
// and with them the modules the registry names: a store whose folder is
// not the user's own, or may be written by others, or whose file is not a
// regular file of the user's, is refused with ERROR_ACCESS_DENIED (said
// once on the debug output, with the reason), and so is every call when
// no home names a store. Several processes may use it at once (WAL
// journal, a busy timeout of 10 s); every call is one transaction, so a
// process killed during a write leaves either the whole change or none
// (and many calls of one thread may share one: fgplatform/registry_batch.h).
// Commits survive a crash of the process; after a power failure the last
// commits may be missing but the store is never damaged.
// FARROWGATE_REGISTRY=":memory:" selects a store in the process's memory,
// empty at first and gone when the process ends (for throwaway runs such
// as fuzzing, and as a baseline for measuring the durable store).
//
// Choices where the documentation leaves a detail open:
// - HKEY_CLASSES_ROOT is a root of its own (not a merged view).
// - Key and value names compare case-insensitively (the folding of
//   lstrcmpiW) and keep their case. Subkeys enumerate in the order of their
//   folded names; values in the order they were first written.
// - Handles are per process. The access mask asked for is kept with the
//   handle and enforced (KEY_QUERY_VALUE for queries, KEY_SET_VALUE for
//   writes and value deletion, KEY_CREATE_SUB_KEY on the parent of
//   RegCreateKeyExW, KEY_ENUMERATE_SUB_KEYS for RegEnumKeyExW); a missing
//   right answers ERROR_ACCESS_DENIED. Predefined keys have every right.
// - A handle whose key was deleted answers ERROR_KEY_DELETED; a handle of
//   a store that was switched (FARROWGATE_REGISTRY changed) answers
//   ERROR_INVALID_HANDLE.
// - A store that cannot be opened answers ERROR_REGISTRY_IO_FAILED; a file
//   that is not a registry store, or a damaged one, ERROR_REGISTRY_CORRUPT.
//   Either is said once on the debug output, with the path and the reason.
//   A damaged store is never replaced by a new one. A process checks the
//   whole store when it opens it, unless "<store>-checked" records that
//   this very file (device, inode, size, change times) was found sound and
//   its log holds nothing: a file changed within the last two seconds is
//   never recorded, so any later write shows in its times.
// - Paths: a subkey path may hold several levels separated by "\"; a
//   leading "\" or an empty level is ERROR_BAD_PATHNAME; a level longer
//   than 255 characters is ERROR_INVALID_PARAMETER. REG_OPTION_VOLATILE
//   keys are kept like others.
// - RegDeleteKeyW(key, "") deletes the key the handle names.
#pragma once

#include "fgplatform/basetypes.h"
#include "fgplatform/winerror.h"

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;


typedef DWORD REGSAM;
typedef LONG LSTATUS;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000004))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))
#define HKEY_DYN_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000006))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L


#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

FG_API LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                    PHKEY phkResult);
FG_API LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                      DWORD dwOptions, REGSAM samDesired,
                                      const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                                      LPDWORD lpdwDisposition);
FG_API LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                     const BYTE* lpData, DWORD cbData);
FG_API LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                       LPBYTE lpData, LPDWORD lpcbData);
FG_API LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
FG_API LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes the subkey (null: the key itself, whose values only go) with
// everything beneath it, in one transaction.
FG_API LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
FG_API LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                    LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                    PFILETIME lpftLastWriteTime);
FG_API LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                    LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
FG_API LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                       LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                       LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                       LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
FG_API LSTATUS WINAPI RegCloseKey(HKEY hKey);
