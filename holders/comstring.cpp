#include "holders/comstring.h"

#include "frame/debug_assert.h"
#include "frame/frame_exception.h"

BSTR NarrowToSystemString(const char* text, int length) {
  if (text == nullptr || length == 0) return nullptr;
  int nConvertedLen = MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, nullptr, 0);
  if (nConvertedLen <= 0) return nullptr;
  BSTR result = SysAllocStringLen(nullptr, length == -1 ? nConvertedLen - 1 : nConvertedLen);
  if (result == nullptr) return nullptr;
  int nResult = MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, result, nConvertedLen);
  FG_ASSERT(nResult == nConvertedLen, "convert");
  if (nResult != nConvertedLen) {
    SysFreeString(result);
    return nullptr;
  }
  return result;
}

CComString::CComString(const char* text) {
  if (text == nullptr) return;
  m_str = NarrowToSystemString(text, -1);
  if (m_str == nullptr) FrameThrow(E_OUTOFMEMORY);
}

CComString::~CComString() { SysFreeString(m_str); }

void CComString::Assign(const OLECHAR* text) {
  if (text == m_str) return;
  // Copied before the held string is freed: the text may lie inside it.
  BSTR copy = text != nullptr ? SysAllocString(text) : nullptr;
  SysFreeString(m_str);
  m_str = copy;
  if (m_str == nullptr && text != nullptr) FrameThrow(E_OUTOFMEMORY);
}

void CComString::AssignNarrow(const char* text) {
  SysFreeString(m_str);
  m_str = NarrowToSystemString(text, -1);
  if (m_str == nullptr && text != nullptr) FrameThrow(E_OUTOFMEMORY);
}

BSTR CComString::Copy() const {
  if (m_str == nullptr) return nullptr;
  return SysAllocStringByteLen(reinterpret_cast<LPCSTR>(m_str), SysStringByteLen(m_str));
}

bool CComString::operator==(int zero) const {
  FG_ASSERT(zero == 0, "comstring");
  return IsNull();
}

bool CComString::Equals(const CComString& other) const {
  return VarBstrCmp(m_str, other.m_str, LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
}

bool CComString::EqualsNarrow(const char* text) const {
  CComString other(text);
  return Equals(other);
}

void CComString::Attach(BSTR s) {
  if (s == m_str) return;
  SysFreeString(m_str);
  m_str = s;
}

BSTR CComString::Detach() {
  BSTR s = m_str;
  m_str = nullptr;
  return s;
}
