#include "registration/regkey.h"

#include "frame/debug_assert.h"
#include "trace/trace.h"

namespace {
constexpr const char* kSource = "regkey";
}

CRegKey::~CRegKey() { Close(); }

LONG CRegKey::Close() {
  if (m_hKey == nullptr) return ERROR_SUCCESS;
  LONG lRes = RegCloseKey(m_hKey);
  m_hKey = nullptr;
  return lRes;
}

LONG CRegKey::Open(HKEY hKeyParent, LPCWSTR lpszKeyName, REGSAM samDesired) {
  FG_ASSERT(hKeyParent != 0, kSource);
  HKEY hKey = nullptr;
  LONG lRes = RegOpenKeyExW(hKeyParent, lpszKeyName, 0, samDesired, &hKey);
  if (lRes != ERROR_SUCCESS) return lRes;
  lRes = Close();
  FG_ASSERT(lRes == 0L, kSource);
  m_hKey = hKey;
  return lRes;
}

LONG CRegKey::Create(HKEY hKeyParent, LPCWSTR lpszKeyName, LPWSTR lpszClass, DWORD dwOptions, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES lpSecAttr, LPDWORD lpdwDisposition) {
  FG_ASSERT(hKeyParent != 0, kSource);
  DWORD dw = 0;
  HKEY hKey = nullptr;
  LONG lRes = RegCreateKeyExW(hKeyParent, lpszKeyName, 0, lpszClass, dwOptions, samDesired, lpSecAttr, &hKey, &dw);
  if (lpdwDisposition != nullptr) *lpdwDisposition = dw;
  if (lRes != ERROR_SUCCESS) return lRes;
  lRes = Close();
  m_hKey = hKey;
  return lRes;
}

LONG CRegKey::WriteString(LPCWSTR pszValueName, LPCWSTR pszValue, DWORD dwType) {
  FG_ASSERT(m_hKey != 0, kSource);
  if (pszValue == nullptr) return ERROR_INVALID_DATA;
  FG_ASSERT(dwType == REG_SZ || dwType == REG_EXPAND_SZ, kSource);
  DWORD bytes = static_cast<DWORD>((lstrlenW(pszValue) + 1) * sizeof(WCHAR));
  return RegSetValueExW(m_hKey, pszValueName, 0, dwType, reinterpret_cast<const BYTE*>(pszValue), bytes);
}

LONG CRegKey::WriteMultiString(LPCWSTR pszValueName, LPCWSTR pszValue) {
  FG_ASSERT(m_hKey != 0, kSource);
  if (pszValue == nullptr) return ERROR_INVALID_DATA;
  ULONG chars = 0;
  for (LPCWSTR p = pszValue;;) {
    ULONG length = static_cast<ULONG>(lstrlenW(p)) + 1;
    chars += length;
    if (length == 1) break;  // the final empty string
    p += length;
  }
  return RegSetValueExW(m_hKey, pszValueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(pszValue),
                        chars * sizeof(WCHAR));
}

LONG CRegKey::WriteDword(LPCWSTR pszValueName, DWORD dwValue) {
  FG_ASSERT(m_hKey != 0, kSource);
  return RegSetValueExW(m_hKey, pszValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                        sizeof(DWORD));
}

LONG CRegKey::WriteBinary(LPCWSTR pszValueName, const void* pValue, ULONG nBytes) {
  FG_ASSERT(m_hKey != 0, kSource);
  return RegSetValueExW(m_hKey, pszValueName, 0, REG_BINARY, static_cast<const BYTE*>(pValue), nBytes);
}

LONG CRegKey::RemoveValue(LPCWSTR lpszValue) {
  FG_ASSERT(m_hKey != 0, kSource);
  return RegDeleteValueW(m_hKey, lpszValue);
}

LONG CRegKey::RemoveSubkey(LPCWSTR lpszSubKey) {
  FG_ASSERT(m_hKey != 0, kSource);
  return RegDeleteKeyW(m_hKey, lpszSubKey);
}

LONG CRegKey::RecurseDeleteKey(LPCWSTR lpszKey) {
  // A null name would open the held key itself and delete every subkey, an
  // empty one the held key: neither names a subkey to delete.
  if (lpszKey == nullptr || *lpszKey == 0) return ERROR_INVALID_PARAMETER;
  CRegKey key;
  LONG lRes = key.Open(m_hKey, lpszKey, KEY_READ | KEY_WRITE);
  if (lRes != ERROR_SUCCESS) {
    if (lRes != ERROR_FILE_NOT_FOUND && lRes != ERROR_PATH_NOT_FOUND)
      FGTRACE(traceCOM, 0, u"CRegKey::RecurseDeleteKey : Failed to Open Key %s(Error = %d)\n", lpszKey,
              static_cast<int>(lRes));
    return lRes;
  }
  WCHAR szBuffer[256];
  for (;;) {
    DWORD dwSize = 256;
    if (RegEnumKeyExW(key.m_hKey, 0, szBuffer, &dwSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    lRes = key.RecurseDeleteKey(szBuffer);
    if (lRes != ERROR_SUCCESS) return lRes;
  }
  key.Close();
  return RemoveSubkey(lpszKey);
}

void CRegKey::Attach(HKEY hKey) {
  FG_ASSERT(m_hKey == 0, kSource);
  m_hKey = hKey;
}

HKEY CRegKey::Detach() {
  HKEY hKey = m_hKey;
  m_hKey = nullptr;
  return hKey;
}
