#include "registration/value_text.h"

#include "trace/trace.h"

BYTE HexDigitValue(WCHAR ch) {
  if (ch >= u'0' && ch <= u'9') return static_cast<BYTE>(ch - u'0');
  if (ch >= u'A' && ch <= u'F') return static_cast<BYTE>(ch - u'A' + 10);
  if (ch >= u'a' && ch <= u'f') return static_cast<BYTE>(ch - u'a' + 10);
  FGTRACE(traceRegistrar, 0, u"Bogus value %c passed as binary Hex value\n", ch);
  return 0;
}

HRESULT DecodeHexBytes(LPCOLESTR text, BYTE** ppData, DWORD* pcbData) {
  *ppData = nullptr;
  *pcbData = 0;
  int digits = lstrlenW(text);
  if (digits % 2 != 0) {
    FGTRACE(traceRegistrar, 0, "Binary Data does not fall on BYTE boundries\n");
    return E_FAIL;
  }
  DWORD bytes = static_cast<DWORD>(digits / 2);
  auto* data = static_cast<BYTE*>(CoTaskMemAlloc(bytes > 0 ? bytes : 1));
  if (data == nullptr) return E_FAIL;
  for (DWORD i = 0; i < bytes; ++i)
    data[i] = static_cast<BYTE>((HexDigitValue(text[2 * i]) << 4) | HexDigitValue(text[2 * i + 1]));
  *ppData = data;
  *pcbData = bytes;
  return S_OK;
}

LPOLESTR MultiStringBlock(LPCOLESTR text) {
  int length = lstrlenW(text);
  auto* block = static_cast<LPOLESTR>(CoTaskMemAlloc((static_cast<SIZE_T>(length) + 2) * sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  int out = 0;
  for (int i = 0; i < length; ++i) {
    if (text[i] == u'\\' && text[i + 1] == u'0') {
      block[out++] = 0;
      ++i;
    } else {
      block[out++] = text[i];
    }
  }
  block[out++] = 0;
  block[out] = 0;
  return block;
}
