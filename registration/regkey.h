// CRegKey owns at most one open registry handle and closes it when it is
// destroyed. Every operation answers the platform's registry code (0 is
// success) unchanged; nothing throws.
#pragma once

#include "fgplatform/win32.h"

class CRegKey {
 public:
  CRegKey() = default;
  ~CRegKey();
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;

  LONG Close();
  // On failure the handle held so far is kept.
  LONG Open(HKEY hKeyParent, LPCWSTR lpszKeyName, REGSAM samDesired = KEY_READ | KEY_WRITE);
  LONG Create(HKEY hKeyParent, LPCWSTR lpszKeyName, LPWSTR lpszClass = nullptr,
              DWORD dwOptions = REG_OPTION_NON_VOLATILE, REGSAM samDesired = KEY_READ | KEY_WRITE,
              LPSECURITY_ATTRIBUTES lpSecAttr = nullptr, LPDWORD lpdwDisposition = nullptr);

  // Null text answers 13 (ERROR_INVALID_DATA) without writing.
  LONG WriteString(LPCWSTR pszValueName, LPCWSTR pszValue, DWORD dwType = REG_SZ);
  // A run of terminated strings ended by an empty one.
  LONG WriteMultiString(LPCWSTR pszValueName, LPCWSTR pszValue);
  LONG WriteDword(LPCWSTR pszValueName, DWORD dwValue);
  LONG WriteBinary(LPCWSTR pszValueName, const void* pValue, ULONG nBytes);
  LONG RemoveValue(LPCWSTR lpszValue);
  LONG RemoveSubkey(LPCWSTR lpszSubKey);
  // Deletes the subkey and everything beneath it, deepest first. A missing
  // key answers 2 or 3 silently.
  LONG RecurseDeleteKey(LPCWSTR lpszKey);

  void Attach(HKEY hKey);
  HKEY Detach();

  HKEY m_hKey = nullptr;
};
