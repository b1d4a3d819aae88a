#include "registration/registrar_variables.h"

#include <cstring>

namespace {

LPOLESTR CopyText(LPCOLESTR text) {
  size_t bytes = (static_cast<size_t>(lstrlenW(text)) + 1) * sizeof(OLECHAR);
  auto* copy = static_cast<LPOLESTR>(HeapAlloc(GetProcessHeap(), 0, bytes));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

void FreeText(LPOLESTR text) {
  if (text != nullptr) HeapFree(GetProcessHeap(), 0, text);
}

// Grows an array of texts by one slot; false (the array unchanged) when
// memory runs out.
bool GrowByOne(LPOLESTR*& array, int count) {
  size_t bytes = sizeof(LPOLESTR) * (static_cast<size_t>(count) + 1);
  void* grown = array == nullptr ? HeapAlloc(GetProcessHeap(), 0, bytes) : HeapReAlloc(GetProcessHeap(), 0, array, bytes);
  if (grown == nullptr) return false;
  array = static_cast<LPOLESTR*>(grown);
  return true;
}

}  // namespace

HRESULT CRegistrarVariables::Add(LPCOLESTR name, LPCOLESTR value) {
  if (name == nullptr || value == nullptr) return E_INVALIDARG;
  LPOLESTR nameCopy = CopyText(name);
  LPOLESTR valueCopy = CopyText(value);
  // Both arrays grow before either gets the entry, so a failure leaves the
  // table as it was (a grown slot past the count is harmless).
  if (nameCopy == nullptr || valueCopy == nullptr || !GrowByOne(m_names, m_nCount) ||
      !GrowByOne(m_values, m_nCount)) {
    FreeText(nameCopy);
    FreeText(valueCopy);
    return E_OUTOFMEMORY;
  }
  m_names[m_nCount] = nameCopy;
  m_values[m_nCount] = valueCopy;
  ++m_nCount;
  return S_OK;
}

void CRegistrarVariables::Clear() {
  for (int i = 0; i < m_nCount; ++i) {
    FreeText(m_names[i]);
    FreeText(m_values[i]);
  }
  if (m_names != nullptr) HeapFree(GetProcessHeap(), 0, m_names);
  if (m_values != nullptr) HeapFree(GetProcessHeap(), 0, m_values);
  m_names = m_values = nullptr;
  m_nCount = 0;
}

LPCOLESTR CRegistrarVariables::Find(LPCOLESTR name) const {
  for (int i = 0; i < m_nCount; ++i)
    if (lstrcmpiW(m_names[i], name) == 0) return m_values[i];
  return nullptr;
}

VariableName ReadVariableName(LPCOLESTR start, WCHAR (&name)[kMaxVariableName + 1], LPCOLESTR& close) {
  close = start;
  while (*close != 0 && *close != u'%') ++close;
  if (*close == 0) return VariableName::Unclosed;
  if (close - start > kMaxVariableName) return VariableName::TooLong;
  int n = static_cast<int>(close - start);
  for (int i = 0; i < n; ++i) name[i] = start[i];
  name[n] = 0;
  return VariableName::Found;
}
