// The module parts: construction, termination, the term-function list and
// the resource-module list.
#include "frame/module.h"


#include "frame/com_error.h"
#include "frame/critical_section.h"
#include "frame/debug_assert.h"
#include "trace/trace.h"

namespace {
constexpr const char* kSource = "module";
constexpr DWORD kFrameVersion = 0x0900;
}  // namespace

bool s_bInitFailed = false;
CFrameModule* _pFrameModule = nullptr;
GUID CFrameModule::m_libid = GUID_NULL;

HINSTANCE FrameThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&s_bInitFailed), &module);
  return module;
}

CFrameBaseModule::CFrameBaseModule() {
  cbStruct = sizeof(_FRAME_BASE_MODULE);
  m_hModule = m_hResourceModule = FrameThisModule();
  dwFrameVersion = kFrameVersion;
  pVersionGuid = &GUID_FrameVersion;
  if (FAILED(InitializeSection(&m_csResources))) {
    FGTRACE(traceGeneral, 0, "ERROR : Unable to initialize critical section in CFrameBaseModule\n");
    FG_ASSERT_TEXT(false, "0", kSource);
    s_bInitFailed = true;
  }
}

CFrameBaseModule::~CFrameBaseModule() {
  DeleteSection(&m_csResources);
  m_resourceInstances.RemoveAll();
}

HINSTANCE CFrameBaseModule::ResourceModuleAt(int i) {
  if (FAILED(EnterSection(&m_csResources))) {
    FGTRACE(traceGeneral, 0, "ERROR : Unable to lock critical section in CFrameBaseModule\n");
    FG_ASSERT_TEXT(false, "0", kSource);
    return nullptr;
  }
  HINSTANCE result = nullptr;
  int size = m_resourceInstances.GetSize();
  if (i == size)
    result = m_hResourceModule;
  else if (i >= 0 && i < size)
    result = m_resourceInstances[i];
  LeaveSection(&m_csResources);
  return result;
}

HRESULT FrameWinModuleInit(_FRAME_WIN_MODULE* pWinModule) {
  if (pWinModule == nullptr || pWinModule->cbStruct != sizeof(_FRAME_WIN_MODULE)) return E_INVALIDARG;
  pWinModule->m_pCreateWndList = nullptr;
  HRESULT hr = InitializeSection(&pWinModule->m_csWindowCreate);
  if (FAILED(hr)) {
    FGTRACE(traceWindowing, 0, "ERROR : Unable to initialize critical section in FrameWinModuleInit\n");
    FG_ASSERT_TEXT(false, "0", kSource);
  }
  return hr;
}

HRESULT FrameWinModuleTerm(_FRAME_WIN_MODULE* pWinModule) {
  if (pWinModule == nullptr) return E_INVALIDARG;
  if (pWinModule->cbStruct == 0) return S_OK;
  if (pWinModule->cbStruct != sizeof(_FRAME_WIN_MODULE)) return E_INVALIDARG;
  // No window class is ever registered by this library, so the atom list
  // holds nothing to unregister.
  pWinModule->m_rgWindowClassAtoms.RemoveAll();
  pWinModule->m_pCreateWndList = nullptr;
  DeleteSection(&pWinModule->m_csWindowCreate);
  pWinModule->cbStruct = 0;
  return S_OK;
}

void FrameWinModuleAddCreateWndData(_FRAME_WIN_MODULE* pWinModule, _FRAME_CREATE_WND_DATA* pData, void* pObject) {
  if (pData == nullptr || pObject == nullptr)
    RaiseStructuredException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE);
  pData->m_pThis = pObject;
  pData->m_dwThreadID = GetCurrentThreadId();
  if (FAILED(EnterSection(&pWinModule->m_csWindowCreate))) return;
  pData->m_pNext = pWinModule->m_pCreateWndList;
  pWinModule->m_pCreateWndList = pData;
  LeaveSection(&pWinModule->m_csWindowCreate);
}

CFrameWinModule::CFrameWinModule() {
  cbStruct = sizeof(_FRAME_WIN_MODULE);
  if (FAILED(FrameWinModuleInit(this))) {
    FG_ASSERT_TEXT(false, "0", kSource);
    s_bInitFailed = true;
    cbStruct = 0;
  }
}

// A destructor cannot report; the part is terminated whatever the answer.
CFrameWinModule::~CFrameWinModule() { (void)FrameWinModuleTerm(this); }

HRESULT FrameModuleAddTermFunc(_FRAME_MODULE* pModule, FrameTermFunc pFunc, DWORD_PTR dw) {
  if (pModule == nullptr) return E_INVALIDARG;
  // From the process heap, like every other allocation of the library.
  auto* node = static_cast<TermFuncNode*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TermFuncNode)));
  if (node == nullptr) return E_OUTOFMEMORY;
  *node = TermFuncNode{pFunc, dw, nullptr};
  HRESULT hr = EnterSection(&pModule->m_csStaticData);
  if (FAILED(hr)) {
    HeapFree(GetProcessHeap(), 0, node);
    FGTRACE(traceGeneral, 0, "ERROR : Unable to lock critical section in FrameModuleAddTermFunc\n");
    FG_ASSERT_TEXT(false, "0", kSource);
    return hr;
  }
  node->pNext = pModule->m_pTermFuncList;
  pModule->m_pTermFuncList = node;
  LeaveSection(&pModule->m_csStaticData);
  return S_OK;
}

void RunTermFuncs(_FRAME_MODULE* pModule) {
  if (pModule == nullptr) RaiseStructuredException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE);
  for (TermFuncNode* node = pModule->m_pTermFuncList; node != nullptr;) {
    node->pFunc(node->dw);
    TermFuncNode* next = node->pNext;
    HeapFree(GetProcessHeap(), 0, node);
    node = next;
  }
  pModule->m_pTermFuncList = nullptr;
}

CFrameModule::CFrameModule() {
  FG_ASSERT(_pFrameModule == 0, kSource);
  cbStruct = 0;
  m_nLocks = 0;
  m_pTermFuncList = nullptr;
  _pFrameModule = this;
  m_pGIT = nullptr;
  if (FAILED(InitializeSection(&m_csStaticData))) {
    FGTRACE(traceGeneral, 0, "ERROR : Unable to initialize critical section in CFrameModule\n");
    FG_ASSERT_TEXT(false, "0", kSource);
    s_bInitFailed = true;
    return;
  }
  cbStruct = sizeof(_FRAME_MODULE);
}

CFrameModule::~CFrameModule() {
  if (cbStruct == 0) return;
  if (m_pTermFuncList != nullptr) RunTermFuncs(this);
  if (m_pGIT != nullptr) m_pGIT->Release();
  m_pGIT = nullptr;
  DeleteSection(&m_csStaticData);
  cbStruct = 0;
}

HRESULT CFrameModule::GetGlobalInterfaceTable(IGlobalInterfaceTable** ppGIT) {
  FG_ASSERT(ppGIT != 0, kSource);
  if (ppGIT == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  if (m_pGIT == nullptr)
    hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                          reinterpret_cast<void**>(&m_pGIT));
  if (m_pGIT == nullptr) return hr;
  m_pGIT->AddRef();
  *ppGIT = m_pGIT;
  return hr;
}
