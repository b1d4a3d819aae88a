// CCountedString: a 16-bit string whose characters sit behind a counted
// header, shared between copies and copied only when written. Failures
// raise CFrameException (E_OUTOFMEMORY, E_INVALIDARG; E_FAIL without a
// manager); the text is then unchanged.
#pragma once

#include "holders/string_manager.h"

class CCountedString {
 public:
  CCountedString() : CCountedString(ProcessStringManager()) {}
  explicit CCountedString(IStringManager* pStringMgr);
  // A value below 0x10000 is a string resource id, loaded from the
  // module's resource modules (empty, with a trace line, when missing);
  // anything else is a null-terminated text.
  explicit CCountedString(const WCHAR* textOrId);
  ~CCountedString();
  CCountedString(const CCountedString&) = delete;
  CCountedString& operator=(const CCountedString&) = delete;

  CCountedString& operator=(const WCHAR* text);
  CCountedString& operator+=(const WCHAR* text);
  const WCHAR* Text() const { return m_pszText; }
  int Length() const { return GetData()->nStrLength; }
  CountedStringData* GetData() const { return reinterpret_cast<CountedStringData*>(m_pszText) - 1; }

  void Assign(const WCHAR* text, int length);
  void Append(const WCHAR* text, int length);
  // A buffer of at least `length` characters that only this string holds.
  WCHAR* WriteBuffer(int length);
  void CommitLength(int length);
  void Clear();

  bool TryImplicitLoad(const void* value);
  bool LoadResourceString(UINT id);
  static HINSTANCE FindStringModule(UINT id, WORD language);
  static const WCHAR* FindStringEntry(HINSTANCE module, HRSRC block, UINT id);
  // The length a buffer of `allocLength` characters grows to when at least
  // `needed` are wanted.
  static int GrownLength(int allocLength, int needed);

 private:
  void Attach(CountedStringData* pData) { m_pszText = pData->Text(); }
  static void Release(CountedStringData* pData);
  void MakeWritable(int length);
  void Unshare(int length);
  void GrowTo(int length);

  WCHAR* m_pszText;
};
