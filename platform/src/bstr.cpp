// System strings: [32-bit byte length][data][two zero bytes], the pointer
// handed out is the data.
#include <cstring>

#include "fgplatform/oleauto.h"
#include "fgplatform/wtext.h"
#include "heap.h"

namespace {

constexpr UINT kMaxBytes = 0x7FFFFFF0;

BYTE* BlockOf(BSTR s) { return reinterpret_cast<BYTE*>(s) - sizeof(DWORD); }

// A string of `bytes` bytes, contents copied from `src` when given, else
// zeroed; null when too long or out of memory.
BSTR Allocate(const void* src, UINT bytes) {
  if (bytes > kMaxBytes) return nullptr;
  auto* block = static_cast<BYTE*>(fgp::HeapBlockAlloc(fgp::SystemStringHeap(), sizeof(DWORD) + bytes + 2, /*zero=*/false));
  if (block == nullptr) return nullptr;
  DWORD length = bytes;
  std::memcpy(block, &length, sizeof(length));
  if (src != nullptr)
    std::memcpy(block + sizeof(DWORD), src, bytes);
  else
    std::memset(block + sizeof(DWORD), 0, bytes);
  block[sizeof(DWORD) + bytes] = 0;
  block[sizeof(DWORD) + bytes + 1] = 0;
  return reinterpret_cast<BSTR>(block + sizeof(DWORD));
}

INT Replace(BSTR* pbstr, const OLECHAR* psz, UINT chars) {
  if (pbstr == nullptr || chars > kMaxBytes / 2) return FALSE;
  BSTR fresh = Allocate(psz, chars * 2);
  if (fresh == nullptr) return FALSE;
  SysFreeString(*pbstr);  // after the copy: psz may point into the old string
  *pbstr = fresh;
  return TRUE;
}

}  // namespace

BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  size_t chars = wcslen16(psz);
  if (chars > kMaxBytes / 2) return nullptr;
  return Allocate(psz, static_cast<UINT>(chars * 2));
}

BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > kMaxBytes / 2) return nullptr;
  return Allocate(strIn, ui * 2);
}

BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len) { return Allocate(psz, len); }

INT STDAPICALLTYPE SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (pbstr == nullptr) return FALSE;
  if (psz == nullptr) {
    SysFreeString(*pbstr);
    *pbstr = nullptr;
    return TRUE;
  }
  size_t chars = wcslen16(psz);
  if (chars > kMaxBytes / 2) return FALSE;
  return Replace(pbstr, psz, static_cast<UINT>(chars));
}

INT STDAPICALLTYPE SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
  return Replace(pbstr, psz, len);
}

void STDAPICALLTYPE SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) fgp::HeapBlockFree(fgp::SystemStringHeap(), BlockOf(bstrString));
}

UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr) {
  if (bstr == nullptr) return 0;
  DWORD length;
  std::memcpy(&length, BlockOf(bstr), sizeof(length));
  return length;
}

UINT STDAPICALLTYPE SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / 2; }
