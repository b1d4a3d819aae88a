#include "frame/interface_table.h"

#include <cstring>

#include "frame/debug_assert.h"

namespace {

constexpr const char* kSource = "framebase";

bool IsUnknown(REFIID iid) {
  // Compared as four 32-bit words, as the published id is laid out.
  static_assert(sizeof(IID) == 4 * sizeof(DWORD));
  DWORD words[4];
  std::memcpy(words, &iid, sizeof words);
  return words[0] == 0 && words[1] == 0 && words[2] == 0xC0 && words[3] == 0x46000000;
}

HRESULT HandOut(void* pThis, DWORD_PTR offset, void** ppv) {
  auto* unknown = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(pThis) + offset);
  unknown->AddRef();
  *ppv = unknown;
  return S_OK;
}

}  // namespace

HRESULT QueryFromTable(void* pThis, const InterfaceEntry* pEntries, REFIID iid, void** ppv) {
  FG_ASSERT(pThis != nullptr, kSource);
  FG_ASSERT(pEntries != nullptr, kSource);
  if (pThis == nullptr || pEntries == nullptr) return E_INVALIDARG;
  FG_ASSERT(pEntries->pFunc == _FRAME_SIMPLEMAPENTRY, kSource);  // the first row answers IUnknown
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (IsUnknown(iid)) return HandOut(pThis, pEntries->dw, ppv);
  for (const InterfaceEntry* row = pEntries; row->pFunc != nullptr; ++row) {
    bool blind = row->piid == nullptr;
    if (!blind && !IsEqualGUID(*row->piid, iid)) continue;
    if (row->pFunc == _FRAME_SIMPLEMAPENTRY) {
      FG_ASSERT(!blind, kSource);
      return HandOut(pThis, row->dw, ppv);
    }
    HRESULT hr = row->pFunc(pThis, iid, ppv, row->dw);
    if (hr == S_OK) return S_OK;
    if (!blind && FAILED(hr)) return hr;
  }
  return E_NOINTERFACE;
}
