// The module: the library's one-per-process state. The module-handle
// record (CFrameBaseModule), the window-support part, and the module object
// with its lock count and the functions run at unload. Records carry their
// size in cbStruct first; 0 means not initialised or already terminated.
#pragma once

#include "fgplatform/win32.h"
#include "frame/simple_array.h"
#include "registration/registrar_base.h"

// The version of the frame the module records carry (pVersionGuid).
inline constexpr GUID GUID_FrameVersion = {0x9D67D622, 0x0E8C, 0x4077, {0xA2, 0x58, 0x95, 0x1B, 0x5C, 0xDA, 0x31, 0xB9}};

// Set by any module part whose critical section cannot be initialised;
// DllMain then refuses the load.
extern bool s_bInitFailed;

// The library's own module handle.
HINSTANCE FrameThisModule();

struct _FRAME_BASE_MODULE {
  UINT cbStruct;
  HINSTANCE m_hModule;
  HINSTANCE m_hResourceModule;
  DWORD dwFrameVersion;
  const GUID* pVersionGuid;
  CRITICAL_SECTION m_csResources;
  CSimpleArray<HINSTANCE> m_resourceInstances;
};

class CFrameBaseModule : public _FRAME_BASE_MODULE {
 public:
  CFrameBaseModule();
  ~CFrameBaseModule();
  // The extra resource modules first, then the library's own; null past
  // the end (and when the list cannot be locked).
  HINSTANCE ResourceModuleAt(int i);
};

struct _FRAME_CREATE_WND_DATA {
  void* m_pThis;
  DWORD m_dwThreadID;
  _FRAME_CREATE_WND_DATA* m_pNext;
};

struct _FRAME_WIN_MODULE {
  UINT cbStruct;
  CRITICAL_SECTION m_csWindowCreate;
  _FRAME_CREATE_WND_DATA* m_pCreateWndList;
  CSimpleArray<ATOM> m_rgWindowClassAtoms;
};

[[nodiscard]] HRESULT FrameWinModuleInit(_FRAME_WIN_MODULE* pWinModule);
[[nodiscard]] HRESULT FrameWinModuleTerm(_FRAME_WIN_MODULE* pWinModule);
// Null data or object raise the non-continuable access violation.
void FrameWinModuleAddCreateWndData(_FRAME_WIN_MODULE* pWinModule, _FRAME_CREATE_WND_DATA* pData, void* pObject);

// Window support: this library creates no windows; the part is initialised
// and terminated only.
class CFrameWinModule : public _FRAME_WIN_MODULE {
 public:
  CFrameWinModule();
  ~CFrameWinModule();
};

typedef void(__stdcall* FrameTermFunc)(DWORD_PTR dw);

struct TermFuncNode {
  FrameTermFunc pFunc;
  DWORD_PTR dw;
  TermFuncNode* pNext;
};

struct _FRAME_MODULE {
  UINT cbStruct;
  LONG m_nLocks;
  TermFuncNode* m_pTermFuncList;
  CRITICAL_SECTION m_csStaticData;
};

[[nodiscard]] HRESULT FrameModuleAddTermFunc(_FRAME_MODULE* pModule, FrameTermFunc pFunc, DWORD_PTR dw);
// Runs the functions, last added first, and empties the list. A null
// module raises the non-continuable access violation.
void RunTermFuncs(_FRAME_MODULE* pModule);

class CFrameModule : public _FRAME_MODULE {
 public:
  CFrameModule();
  virtual ~CFrameModule();
  virtual LONG LockModule() { return InterlockedIncrement(&m_nLocks); }
  virtual LONG UnlockModule() { return InterlockedDecrement(&m_nLocks); }
  virtual LONG LockCount() { return m_nLocks; }
  [[nodiscard]] virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** ppGIT);
  [[nodiscard]] virtual HRESULT AddModuleVariables(IRegistrarBase* pRegistrar) = 0;

  [[nodiscard]] HRESULT AddTermFunc(FrameTermFunc pFunc, DWORD_PTR dw) { return FrameModuleAddTermFunc(this, pFunc, dw); }

  IGlobalInterfaceTable* m_pGIT = nullptr;
  static GUID m_libid;
};

// The module object; null until it is constructed.
extern CFrameModule* _pFrameModule;

template <class T>
class CFrameModuleT : public CFrameModule {
 public:
  CFrameModuleT() { m_libid = T::GetLibraryId(); }
};

CFrameBaseModule& FrameBaseModule();
_FRAME_WIN_MODULE& FrameWinModule();
