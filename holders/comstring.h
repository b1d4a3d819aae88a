// CComString owns exactly one system string; reading it out for a caller
// always makes a copy. Allocation failures raise CFrameException
// E_OUTOFMEMORY.
#pragma once

#include "fgplatform/win32.h"

// A new system string converted from 8-bit text in the thread's ANSI code
// page; length -1 means up to and including the terminator. Null for null
// text, length 0, or a failed allocation or conversion.
BSTR NarrowToSystemString(const char* text, int length);

class CComString {
 public:
  CComString() = default;
  // Null text holds null; otherwise the converted text.
  explicit CComString(const char* text);
  ~CComString();
  CComString(const CComString&) = delete;
  CComString& operator=(const CComString&) = delete;

  // The very pointer held: nothing happens. Otherwise the holder takes null
  // or a copy up to the first null character (made before the held string
  // is freed, so the text may lie inside it); a failed allocation raises
  // and leaves the holder null.
  void Assign(const OLECHAR* text);
  void AssignNarrow(const char* text);
  // A copy with the held byte length (embedded nulls and odd lengths kept);
  // null when null is held or the allocation fails.
  [[nodiscard]] BSTR Copy() const;
  UINT Length() const { return SysStringLen(m_str); }
  bool IsNull() const { return m_str == nullptr; }
  // Only the literal 0 may be compared with.
  bool operator==(int zero) const;
  bool Equals(const CComString& other) const;
  bool EqualsNarrow(const char* text) const;
  bool NotEqualsNarrow(const char* text) const { return !EqualsNarrow(text); }
  void Attach(BSTR s);
  [[nodiscard]] BSTR Detach();
  BSTR* GetAddress() { return &m_str; }
  operator BSTR() const { return m_str; }

 private:
  BSTR m_str = nullptr;
};
