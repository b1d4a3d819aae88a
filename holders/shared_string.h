// CSharedString: a value-like handle to a shared, reference-counted
// record. Copying shares the record; changing a handle never changes a
// record another handle sees. Allocation failures raise CComError
// E_OUTOFMEMORY (through IssueComError).
#pragma once

#include "fgplatform/win32.h"

struct SharedStringRecord {
  BSTR text;
  char* narrow;  // an 8-bit copy made only on request; freed if present
  ULONG refs;    // interlocked
};

class CSharedString {
 public:
  CSharedString() = default;
  // A new record holding a copy of `text` up to its first null character.
  explicit CSharedString(const OLECHAR* text);
  CSharedString(const CSharedString& other);
  CSharedString& operator=(const CSharedString&) = delete;
  ~CSharedString();

  UINT Length() const;
  const OLECHAR* Text() const;
  // Makes a record with null text for an empty handle first.
  BSTR& SystemString();
  // Builds this text followed by the other's in a new record; on failure
  // raises and this handle is unchanged.
  void Append(const CSharedString& other);
  [[nodiscard]] CSharedString Concat(const CSharedString& other) const;

 private:
  void Release();
  SharedStringRecord* m_record = nullptr;
};
