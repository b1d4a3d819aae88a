#include "frame/object_map.h"

#include "frame/debug_assert.h"
#include "frame/module.h"
#include "trace/trace.h"

namespace {
constexpr const char* kSource = "objectmap";
}

CFrameComModule::CFrameComModule(ObjectMapEntry** first, ObjectMapEntry** last) {
  cbStruct = 0;
  m_hInstTypeLib = FrameThisModule();
  m_ppMapFirst = first;
  m_ppMapLast = last;
  if (FAILED(InitializeSection(&m_csMap))) {
    FGTRACE(traceCOM, 0, "ERROR : Unable to initialize critical section in CFrameComModule\n");
    FG_ASSERT_TEXT(false, "0", kSource);
    s_bInitFailed = true;
    return;
  }
  m_bInitialized = true;
  cbStruct = sizeof(_FRAME_COM_MODULE);
}

CFrameComModule::~CFrameComModule() {
  if (cbStruct == 0) return;
  for (ObjectMapEntry** slot = m_ppMapFirst; slot < m_ppMapLast; ++slot) {
    if (*slot == nullptr || (*slot)->pFactory == nullptr) continue;
    (*slot)->pFactory->Release();
    (*slot)->pFactory = nullptr;
  }
  DeleteSection(&m_csMap);
  m_bInitialized = false;
  cbStruct = 0;
}

void CFrameComModule::TellRows(bool starting) {
  for (ObjectMapEntry** slot = m_ppMapFirst; slot < m_ppMapLast; ++slot)
    if (*slot != nullptr && (*slot)->pfnModuleEvent != nullptr) (*slot)->pfnModuleEvent(starting);
}

HRESULT FrameComModuleGetClassObject(_FRAME_COM_MODULE* pComModule, REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  FG_ASSERT(pComModule != 0, kSource);
  if (pComModule == nullptr) return E_INVALIDARG;
  if (pComModule->cbStruct == 0) return E_UNEXPECTED;
  HRESULT hr = S_OK;
  for (ObjectMapEntry** slot = pComModule->m_ppMapFirst; slot < pComModule->m_ppMapLast; ++slot) {
    ObjectMapEntry* row = *slot;
    if (row == nullptr || row->pfnFactoryCreator == nullptr || *row->pClassId != rclsid) continue;
    // The cached factory is read before the lock with an acquire load and
    // published with a release store, so that a thread that sees it also
    // sees the factory it points to whole.
    if (__atomic_load_n(&row->pFactory, __ATOMIC_ACQUIRE) == nullptr) {
      HRESULT lock = EnterSection(&pComModule->m_csMap);
      if (FAILED(lock)) {
        FGTRACE(traceCOM, 0, "ERROR : Unable to lock critical section in FrameComModuleGetClassObject\n");
        FG_ASSERT_TEXT(false, "0", kSource);
        hr = lock;
        break;
      }
      if (row->pFactory == nullptr) {
        IUnknown* made = nullptr;
        hr = row->pfnFactoryCreator(reinterpret_cast<void*>(row->pfnInstanceCreator), IID_IUnknown,
                                    reinterpret_cast<void**>(&made));
        __atomic_store_n(&row->pFactory, made, __ATOMIC_RELEASE);
      }
      LeaveSection(&pComModule->m_csMap);
    }
    if (IUnknown* factory = __atomic_load_n(&row->pFactory, __ATOMIC_ACQUIRE)) hr = factory->QueryInterface(riid, ppv);
    break;
  }
  if (*ppv == nullptr && hr == S_OK) hr = CLASS_E_CLASSNOTAVAILABLE;
  return hr;
}
