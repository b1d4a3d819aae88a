// The variables a registrar offers to what it runs: named texts, looked up
// without regard to case, the earliest of equal names first. Both texts of
// every entry are owned copies.
#pragma once

#include "fgplatform/win32.h"

class CRegistrarVariables {
 public:
  CRegistrarVariables() = default;
  ~CRegistrarVariables() { Clear(); }
  CRegistrarVariables(const CRegistrarVariables&) = delete;
  CRegistrarVariables& operator=(const CRegistrarVariables&) = delete;

  // E_INVALIDARG for a null text, E_OUTOFMEMORY when a copy or the table
  // cannot grow (nothing is added then), else S_OK.
  [[nodiscard]] HRESULT Add(LPCOLESTR name, LPCOLESTR value);
  void Clear();
  // The value of the first entry named `name`; null when there is none.
  LPCOLESTR Find(LPCOLESTR name) const;
  int Count() const { return m_nCount; }

 private:
  LPOLESTR* m_names = nullptr;
  LPOLESTR* m_values = nullptr;
  int m_nCount = 0;
};

// Variable names that may stand in a text: at most this many characters.
inline constexpr int kMaxVariableName = 31;

// A "%NAME%" in a text: `start` is just past the opening "%". Found copies
// the name into `name` and points `close` at the closing "%"; Unclosed
// when no "%" follows, TooLong for a name of 32 characters or more.
enum class VariableName { Found, Unclosed, TooLong };
VariableName ReadVariableName(LPCOLESTR start, WCHAR (&name)[kMaxVariableName + 1], LPCOLESTR& close);
