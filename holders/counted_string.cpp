#include "holders/counted_string.h"

#include <climits>

#include "frame/debug_assert.h"
#include "frame/frame_exception.h"
#include "frame/module.h"
#include "trace/trace.h"

namespace {

constexpr const char* kSource = "countedstring";

int TextLength(const WCHAR* text) { return text != nullptr ? lstrlenW(text) : 0; }

// Where `text` lies from the start of `buffer`, in characters; a huge
// number when it lies before it or elsewhere.
UINT_PTR OffsetIn(const WCHAR* buffer, const WCHAR* text) {
  return (reinterpret_cast<UINT_PTR>(text) - reinterpret_cast<UINT_PTR>(buffer)) / sizeof(WCHAR);
}

}  // namespace

CCountedString::CCountedString(IStringManager* pStringMgr) {
  if (pStringMgr == nullptr) {
    FG_ASSERT_TEXT(false, "__condVal", kSource);
    FrameThrow(E_FAIL);
  }
  Attach(pStringMgr->GetEmptyData());
}

CCountedString::CCountedString(const WCHAR* textOrId) : CCountedString() {
  if (!TryImplicitLoad(textOrId)) Assign(textOrId, TextLength(textOrId));
}

CCountedString::~CCountedString() { Release(GetData()); }

CCountedString& CCountedString::operator=(const WCHAR* text) {
  Assign(text, TextLength(text));
  return *this;
}

CCountedString& CCountedString::operator+=(const WCHAR* text) {
  Append(text, TextLength(text));
  return *this;
}

void CCountedString::Release(CountedStringData* pData) {
  FG_ASSERT(pData->nRefs != 0, kSource);
  if (InterlockedDecrement(&pData->nRefs) <= 0) pData->pStringMgr->Free(pData);
}

WCHAR* CCountedString::WriteBuffer(int length) {
  CountedStringData* data = GetData();
  if (data->nRefs > 1 || data->nAllocLength < length) MakeWritable(length);
  return m_pszText;
}

void CCountedString::MakeWritable(int length) {
  CountedStringData* data = GetData();
  if (data->nStrLength > length) length = data->nStrLength;
  if (data->nRefs > 1) {
    Unshare(length);
    return;
  }
  if (data->nAllocLength >= length) return;
  GrowTo(GrownLength(data->nAllocLength, length));
}

int CCountedString::GrownLength(int allocLength, int needed) {
  // Doubling up to 1024 characters, then 1024 more at a time, never past
  // the largest length; and never less than what is needed.
  int grown = allocLength <= 1024 ? allocLength * 2 : allocLength <= INT_MAX - 1024 ? allocLength + 1024 : INT_MAX;
  return grown < needed ? needed : grown;
}

void CCountedString::Unshare(int length) {
  CountedStringData* old = GetData();
  CountedStringData* fresh = old->pStringMgr->Clone()->Allocate(length, sizeof(WCHAR));
  if (fresh == nullptr) FrameThrow(E_OUTOFMEMORY);
  int keep = (old->nStrLength < length ? old->nStrLength : length) + 1;
  wmemcpy_s(fresh->Text(), static_cast<rsize_t>(fresh->nAllocLength) + 1, old->Text(), static_cast<rsize_t>(keep));
  fresh->nStrLength = old->nStrLength;
  Release(old);
  Attach(fresh);
}

void CCountedString::GrowTo(int nLength) {
  CountedStringData* pOldData = GetData();
  FG_ASSERT(pOldData->nAllocLength < nLength, kSource);
  if (!(pOldData->nAllocLength < nLength && nLength > 0)) FrameThrow(E_OUTOFMEMORY);
  CountedStringData* fresh = pOldData->pStringMgr->Reallocate(pOldData, nLength, sizeof(WCHAR));
  if (fresh == nullptr) FrameThrow(E_OUTOFMEMORY);
  Attach(fresh);
}

void CCountedString::CommitLength(int nLength) {
  int nNewLength = nLength;
  FG_ASSERT(nNewLength >= 0, kSource);
  FG_ASSERT(nLength >= 0, kSource);
  FG_ASSERT(nLength <= GetData()->nAllocLength, kSource);
  if (nLength < 0 || nLength > GetData()->nAllocLength) FrameThrow(E_INVALIDARG);
  GetData()->nStrLength = nLength;
  m_pszText[nLength] = 0;
}

void CCountedString::Clear() {
  CountedStringData* data = GetData();
  if (data->nStrLength == 0) return;
  IStringManager* manager = data->pStringMgr;
  Release(data);
  Attach(manager->GetEmptyData());
}

void CCountedString::Assign(const WCHAR* text, int length) {
  if (length == 0) {
    Clear();
    return;
  }
  if (text == nullptr) FrameThrow(E_INVALIDARG);
  int oldLength = GetData()->nStrLength;
  UINT_PTR offset = OffsetIn(m_pszText, text);
  WCHAR* buffer = WriteBuffer(length);
  rsize_t room = static_cast<rsize_t>(GetData()->nAllocLength);
  if (offset <= static_cast<UINT_PTR>(oldLength))
    wmemmove_s(buffer, room, buffer + offset, static_cast<rsize_t>(length));
  else
    wmemcpy_s(buffer, room, text, static_cast<rsize_t>(length));
  CommitLength(length);
}

namespace {

// Copies the characters an append adds, which may come from the string's
// own buffer (overlapping). WriteBuffer has made room for them. A short
// text, the usual append, is copied here through a small stack buffer, so
// that an append of a few characters calls nothing; a longer one is a
// bounds-checked move.
void CopyAppended(WCHAR* to, rsize_t room, const WCHAR* from, int count) {
  constexpr int kShort = 16;
  if (count <= 0) return;
  if (count > kShort || static_cast<rsize_t>(count) > room) {
    wmemmove_s(to, room, from, static_cast<rsize_t>(count));
    return;
  }
  WCHAR copy[kShort];
  for (int i = 0; i < count; ++i) copy[i] = from[i];
  for (int i = 0; i < count; ++i) to[i] = copy[i];
}

}  // namespace

void CCountedString::Append(const WCHAR* text, int length) {
  UINT_PTR offset = OffsetIn(m_pszText, text);
  int oldLength = GetData()->nStrLength;
  if (length < 0) {
    FG_ASSERT_TEXT(false, "__condVal", kSource);
    FrameThrow(E_INVALIDARG);
  }
  int count = 0;
  while (text != nullptr && count < length && text[count] != 0) ++count;
  if (2147483647 - count < oldLength) {
    FG_ASSERT_TEXT(false, "__condVal", kSource);
    FrameThrow(E_INVALIDARG);
  }
  WCHAR* buffer = WriteBuffer(oldLength + count);
  const WCHAR* from = offset <= static_cast<UINT_PTR>(oldLength) ? buffer + offset : text;
  rsize_t room = static_cast<rsize_t>(GetData()->nAllocLength - oldLength);
  CopyAppended(buffer + oldLength, room, from, count);
  CommitLength(oldLength + count);
}

bool CCountedString::TryImplicitLoad(const void* value) {
  auto id = reinterpret_cast<UINT_PTR>(value);
  if (id == 0 || id >= 0x10000) return false;
  if (!LoadResourceString(LOWORD(id))) FGTRACE(traceString, 2, "Warning: implicit LoadString(%u) failed\n", static_cast<UINT>(LOWORD(id)));
  return true;
}

bool CCountedString::LoadResourceString(UINT id) {
  HINSTANCE module = FindStringModule(id, 0);
  if (module == nullptr) return false;
  HRSRC block = FindResourceW(module, MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING);
  const WCHAR* entry = block != nullptr ? FindStringEntry(module, block, id) : nullptr;
  if (entry == nullptr) return false;
  int count = entry[0];
  WCHAR* buffer = WriteBuffer(count);
  CheckCrtError(wmemcpy_s(buffer, static_cast<rsize_t>(GetData()->nAllocLength), entry + 1, static_cast<rsize_t>(count)));
  CommitLength(count);
  return true;
}

HINSTANCE CCountedString::FindStringModule(UINT id, WORD language) {
  for (int i = 0;; ++i) {
    HINSTANCE module = FrameBaseModule().ResourceModuleAt(i);
    if (module == nullptr) return nullptr;
    HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), language);
    if (block != nullptr && FindStringEntry(module, block, id) != nullptr) return module;
  }
}

const WCHAR* CCountedString::FindStringEntry(HINSTANCE module, HRSRC block, UINT id) {
  HGLOBAL loaded = LoadResource(module, block);
  if (loaded == nullptr) return nullptr;
  const auto* p = static_cast<const WCHAR*>(LockResource(loaded));
  if (p == nullptr) return nullptr;
  const WCHAR* end = p + SizeofResource(module, block) / sizeof(WCHAR);
  for (UINT i = 0; i < (id & 15) && p < end; ++i) p += *p + 1;
  if (p >= end || *p == 0) return nullptr;
  return p;
}
