#include "holders/shared_string.h"

#include <cstring>
#include <new>

#include "frame/com_error.h"

namespace {

// Records come from the process heap (so the test controls can fail them).
SharedStringRecord* NewRecord() {
  void* block = HeapAlloc(GetProcessHeap(), 0, sizeof(SharedStringRecord));
  if (block == nullptr) IssueComError(E_OUTOFMEMORY);
  return new (block) SharedStringRecord{nullptr, nullptr, 1};
}

void FreeRecord(SharedStringRecord* r) {
  SysFreeString(r->text);
  delete[] r->narrow;
  HeapFree(GetProcessHeap(), 0, r);
}

}  // namespace

CSharedString::CSharedString(const OLECHAR* text) {
  SharedStringRecord* record = NewRecord();
  if (text != nullptr) {
    record->text = SysAllocString(text);
    if (record->text == nullptr) {
      FreeRecord(record);
      IssueComError(E_OUTOFMEMORY);
    }
  }
  m_record = record;
}

CSharedString::CSharedString(const CSharedString& other) : m_record(other.m_record) {
  if (m_record != nullptr) InterlockedIncrement(&m_record->refs);
}

CSharedString::~CSharedString() { Release(); }

void CSharedString::Release() {
  if (m_record == nullptr) return;
  if (InterlockedDecrement(&m_record->refs) == 0) FreeRecord(m_record);
  m_record = nullptr;
}

UINT CSharedString::Length() const { return m_record != nullptr ? SysStringLen(m_record->text) : 0; }

const OLECHAR* CSharedString::Text() const { return m_record != nullptr ? m_record->text : nullptr; }

BSTR& CSharedString::SystemString() {
  if (m_record == nullptr) m_record = NewRecord();
  return m_record->text;
}

void CSharedString::Append(const CSharedString& other) {
  BSTR a = m_record != nullptr ? m_record->text : nullptr;
  BSTR b = other.m_record != nullptr ? other.m_record->text : nullptr;
  UINT l1 = SysStringLen(a), l2 = SysStringLen(b);
  UINT total = 0, bytes = 0;
  if (__builtin_add_overflow(l1, l2, &total) || __builtin_mul_overflow(total, 2u, &bytes)) IssueComError(E_OUTOFMEMORY);
  SharedStringRecord* record = NewRecord();
  record->text = SysAllocStringByteLen(nullptr, bytes);
  if (record->text == nullptr && total != 0) {
    FreeRecord(record);
    IssueComError(E_OUTOFMEMORY);
  }
  if (record->text != nullptr) {
    if (a != nullptr) std::memcpy(record->text, a, (static_cast<size_t>(l1) + 1) * 2);
    if (b != nullptr) std::memcpy(record->text + l1, b, (static_cast<size_t>(l2) + 1) * 2);
  }
  Release();
  m_record = record;
}

CSharedString CSharedString::Concat(const CSharedString& other) const {
  CSharedString result(*this);
  result.Append(other);
  return result;
}
