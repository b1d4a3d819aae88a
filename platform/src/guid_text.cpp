// GUID text forms and ProgIDs from the registry.
#include <cstdio>
#include <cstring>
#include <string>

#include "fgplatform/objbase.h"
#include "fgplatform/winreg.h"
#include "fgplatform/wtext.h"
#include "registry_text.h"

namespace {

constexpr int kGuidChars = 39;  // with braces and terminator

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at *p.
bool ReadHex(const char16_t*& p, int digits, uint64_t& out) {
  out = 0;
  for (int i = 0; i < digits; ++i, ++p) {
    int v = HexValue(*p);
    if (v < 0) return false;
    out = out * 16 + static_cast<uint64_t>(v);
  }
  return true;
}

bool ParseGuid(LPCOLESTR s, GUID& g) {
  if (s[0] != u'{' || wcslen16(s) != kGuidChars - 1) return false;
  const char16_t* p = s + 1;
  uint64_t v = 0;
  if (!ReadHex(p, 8, v) || *p++ != u'-') return false;
  g.Data1 = static_cast<DWORD>(v);
  if (!ReadHex(p, 4, v) || *p++ != u'-') return false;
  g.Data2 = static_cast<WORD>(v);
  if (!ReadHex(p, 4, v) || *p++ != u'-') return false;
  g.Data3 = static_cast<WORD>(v);
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && *p++ != u'-') return false;
    if (!ReadHex(p, 2, v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  return *p == u'}';
}

HRESULT ToTaskMemory(const std::u16string& text, LPOLESTR* out) {
  *out = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
  if (*out == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*out, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
  return S_OK;
}

}  // namespace

int STDAPICALLTYPE StringFromGUID2(REFGUID g, LPOLESTR lpsz, int cchMax) {
  if (lpsz == nullptr || cchMax < kGuidChars) return 0;
  char text[kGuidChars + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  for (int i = 0; i < kGuidChars; ++i) lpsz[i] = static_cast<char16_t>(text[i]);
  return kGuidChars;
}

HRESULT STDAPICALLTYPE StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
  if (lplpsz == nullptr) return E_INVALIDARG;
  return ToTaskMemory(fgp::GuidText(rclsid), lplpsz);
}

HRESULT STDAPICALLTYPE StringFromIID(REFIID riid, LPOLESTR* lplpsz) { return StringFromCLSID(riid, lplpsz); }

HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (pclsid == nullptr) return E_INVALIDARG;
  if (lpsz == nullptr || *lpsz == 0) {
    *pclsid = CLSID_NULL;
    return S_OK;
  }
  if (lpsz[0] == u'{') return ParseGuid(lpsz, *pclsid) ? S_OK : CO_E_CLASSSTRING;
  return CLSIDFromProgID(lpsz, pclsid);
}

HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (lpiid == nullptr) return E_INVALIDARG;
  if (lpsz == nullptr || *lpsz == 0) {
    *lpiid = IID_NULL;
    return S_OK;
  }
  return ParseGuid(lpsz, *lpiid) ? S_OK : E_INVALIDARG;
}

HRESULT STDAPICALLTYPE ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (lplpszProgID == nullptr) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::u16string progId;
  if (!fgp::ReadClassesText(u"CLSID\\" + fgp::GuidText(clsid) + u"\\ProgID", progId)) return REGDB_E_CLASSNOTREG;
  return ToTaskMemory(progId, lplpszProgID);
}

HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  if (*lpszProgID == 0) return CO_E_CLASSSTRING;
  std::u16string progId = lpszProgID, text;
  // A version-independent ProgID without a class of its own names its
  // current version in CurVer (followed once).
  if (!fgp::ReadClassesText(progId + u"\\CLSID", text)) {
    std::u16string current;
    if (!fgp::ReadClassesText(progId + u"\\CurVer", current) || !fgp::ReadClassesText(current + u"\\CLSID", text))
      return CO_E_CLASSSTRING;
  }
  return ParseGuid(text.c_str(), *lpclsid) ? S_OK : CO_E_CLASSSTRING;
}
