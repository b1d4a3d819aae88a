#include "frame/type_info_holder.h"

#include "frame/critical_section.h"
#include "frame/debug_assert.h"
#include "frame/module.h"
#include "trace/trace.h"

namespace {

constexpr const char* kSource = "comtypeinfo";
constexpr DWORD kPathChars = 260;
// A cache of this many entries or more would pass the allocator's limit.
constexpr UINT kMaxNameCacheEntries = 357913942;

// The module file's path; false when it is not available or fills the buffer.
bool ModulePath(WCHAR (&path)[kPathChars]) {
  DWORD length = GetModuleFileNameW(FrameBaseModule().m_hModule, path, kPathChars);
  return length != 0 && length != kPathChars;
}

// Debug builds compare the registered library with the module's own and
// warn when the versions differ.
void WarnOnVersionMismatch(const CComTypeInfoHolder& holder) {
#ifndef NDEBUG
  WCHAR path[kPathChars];
  if (!ModulePath(path)) return;
  ITypeLib* own = nullptr;
  if (FAILED(LoadTypeLib(path, &own))) return;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(own->GetLibAttr(&attr))) {
    if (attr->guid == *holder.m_plibid &&
        (attr->wMajorVerNum != holder.wMajorVersion || attr->wMinorVerNum != holder.wMinorVersion)) {
      FGTRACE(traceCOM, 0,
              u"Warning : CComTypeInfoHolder::GetTI : Loaded typelib does not match the typelib in the module : %s\n",
              path);
      FGTRACE(traceCOM, 0, "\tSee the notes on CComTypeInfoHolder for more information\n");
    }
    own->ReleaseTLibAttr(attr);
  }
  own->Release();
#else
  (void)holder;
#endif
}

}  // namespace

HRESULT LoadInterfaceTypeInfo(REFGUID guid, ITypeInfo** ppTypeInfo) {
  if (ppTypeInfo == nullptr) return E_POINTER;
  *ppTypeInfo = nullptr;
  WCHAR path[kPathChars];
  if (!ModulePath(path)) return E_FAIL;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLib(path, &lib);
  if (FAILED(hr)) return hr;
  hr = lib->GetTypeInfoOfGuid(guid, ppTypeInfo);
  lib->Release();
  return hr;
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) {
  if (itinfo != 0) return DISP_E_BADINDEX;
  return GetTI(lcid, pptinfo);
}

HRESULT CComTypeInfoHolder::GetTI(LCID lcid, ITypeInfo** ppInfo) {
  FG_ASSERT(ppInfo != 0, kSource);
  if (ppInfo == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  if (m_pTypeInfo == nullptr) hr = GetTI(lcid);
  *ppInfo = m_pTypeInfo;
  if (m_pTypeInfo == nullptr) return hr;
  m_pTypeInfo->AddRef();
  return S_OK;
}

HRESULT CComTypeInfoHolder::GetTI(LCID lcid) {
  FG_ASSERT(m_plibid != 0 && m_pguid != 0, kSource);
  if (m_pTypeInfo != nullptr && m_pNameCache != nullptr) return S_OK;
  HRESULT lock = EnterSection(&_pFrameModule->m_csStaticData);
  if (FAILED(lock)) {
    FGTRACE(traceCOM, 0, "ERROR : Unable to lock critical section in CComTypeInfoHolder::GetTI\n");
    FG_ASSERT_TEXT(false, "0", kSource);
    return lock;
  }
  HRESULT hr = E_FAIL;
  if (m_pTypeInfo == nullptr) {
    ITypeLib* lib = nullptr;
    WCHAR path[kPathChars];
    if (*m_plibid == CFrameModule::m_libid && wMajorVersion == 0xFFFF && wMinorVersion == 0xFFFF) {
      if (ModulePath(path)) hr = LoadTypeLib(path, &lib);
    } else {
      FG_ASSERT(*m_plibid != GUID_NULL, kSource);
      hr = LoadRegTypeLib(*m_plibid, wMajorVersion, wMinorVersion, lcid, &lib);
#ifndef NDEBUG
      if (FAILED(hr)) {
        FGTRACE(traceCOM, 0, "ERROR : Unable to load Typelibrary. (HRESULT = 0x%x)\n", static_cast<unsigned>(hr));
        FGTRACE(traceCOM, 0, "\tVerify TypelibID and major version specified with\n");
        FGTRACE(traceCOM, 0, "\tIProvideClassInfoImpl or CComTypeInfoHolder\n");
      } else {
        WarnOnVersionMismatch(*this);
      }
#endif
    }
    if (SUCCEEDED(hr)) {
      ITypeInfo* info = nullptr;
      hr = lib->GetTypeInfoOfGuid(*m_pguid, &info);
      if (SUCCEEDED(hr)) {
        ITypeInfo* kept = info;
        ITypeInfo2* info2 = nullptr;
        if (SUCCEEDED(info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2)))) {
          info->Release();
          kept = info2;
        }
        m_pTypeInfo = kept;
        // Its own answer changes nothing: without the term function the
        // information is still released with the process.
        (void)FrameModuleAddTermFunc(_pFrameModule, ReleaseTypeInfo, reinterpret_cast<DWORD_PTR>(this));
      }
      lib->Release();
    }
  } else {
    hr = S_OK;  // another thread loaded it meanwhile
  }
  if (m_pTypeInfo != nullptr && m_pNameCache == nullptr) hr = LoadNames(m_pTypeInfo);
  LeaveSection(&_pFrameModule->m_csStaticData);
  return hr;
}

HRESULT CComTypeInfoHolder::LoadNames(ITypeInfo* pInfo) {
  TYPEATTR* attr = nullptr;
  if (FAILED(pInfo->GetTypeAttr(&attr))) return S_OK;
  m_nNameCount = attr->cFuncs;
  m_pNameCache = nullptr;
  if (m_nNameCount > 0) {
    if (static_cast<UINT>(m_nNameCount) >= kMaxNameCacheEntries) {
      pInfo->ReleaseTypeAttr(attr);
      return E_OUTOFMEMORY;
    }
    auto* cache = static_cast<NameCacheEntry*>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(NameCacheEntry) * static_cast<size_t>(m_nNameCount)));
    if (cache == nullptr) {
      pInfo->ReleaseTypeAttr(attr);
      return E_OUTOFMEMORY;
    }
    for (int i = 0; i < m_nNameCount; ++i) {
      cache[i] = NameCacheEntry{nullptr, 0, -1};
      FUNCDESC* func = nullptr;
      if (FAILED(pInfo->GetFuncDesc(static_cast<UINT>(i), &func))) continue;
      BSTR name = nullptr;
      if (SUCCEEDED(pInfo->GetDocumentation(func->memid, &name, nullptr, nullptr, nullptr)))
        cache[i] = NameCacheEntry{name, static_cast<int>(SysStringLen(name)), func->memid};
      pInfo->ReleaseFuncDesc(func);
    }
    m_pNameCache = cache;
  }
  pInfo->ReleaseTypeAttr(attr);
  return S_OK;
}

void __stdcall CComTypeInfoHolder::ReleaseTypeInfo(DWORD_PTR dw) {
  auto* holder = reinterpret_cast<CComTypeInfoHolder*>(dw);
  FG_ASSERT(holder != 0, kSource);
  if (holder == nullptr) return;
  if (holder->m_pTypeInfo != nullptr) holder->m_pTypeInfo->Release();
  holder->m_pTypeInfo = nullptr;
  if (holder->m_pNameCache != nullptr) {
    for (int i = 0; i < holder->m_nNameCount; ++i) SysFreeString(holder->m_pNameCache[i].m_bstrName);
    HeapFree(GetProcessHeap(), 0, holder->m_pNameCache);
  }
  holder->m_pNameCache = nullptr;
}
