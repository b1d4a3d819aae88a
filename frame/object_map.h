// The object map: the library's table of creatable classes, and the module
// part that owns it. FrameComModuleGetClassObject finds a class's row,
// creates its factory once (tested before and again under the map's lock)
// and answers the host's request from the cached factory.
#pragma once

#include "fgplatform/win32.h"
#include "frame/comobject.h"
#include "frame/critical_section.h"
#include "frame/module.h"

struct ObjectMapEntry {
  const CLSID* pClassId;
  HRESULT(WINAPI* pfnRegister)(BOOL bRegister);
  CreatorFunc pfnFactoryCreator;
  CreatorFunc pfnInstanceCreator;
  IUnknown* pFactory;
  DWORD dwCookie;
  LPCWSTR(WINAPI* pfnDescription)();
  const void*(WINAPI* pfnCategoryMap)();
  void(WINAPI* pfnModuleEvent)(bool bStarting);
};

struct _FRAME_COM_MODULE {
  UINT cbStruct;
  HINSTANCE m_hInstTypeLib;
  ObjectMapEntry** m_ppMapFirst;
  ObjectMapEntry** m_ppMapLast;
  CRITICAL_SECTION m_csMap;
};

// The owner of the object map; its construction and termination follow the
// module's load and unload. cbStruct is the record's size once the map's
// critical section is made, 0 before, on failure and after termination.
class CFrameComModule : public _FRAME_COM_MODULE {
 public:
  CFrameComModule(ObjectMapEntry** first, ObjectMapEntry** last);
  ~CFrameComModule();
  // Tells every row of the module's start (true) or end (false).
  void TellRows(bool starting);

  bool m_bInitialized = false;  // m_csMap was made
};

// E_POINTER for a null out pointer, E_INVALIDARG without a module part,
// E_UNEXPECTED for one not initialised or terminated,
// CLASS_E_CLASSNOTAVAILABLE for a class no row lists, else the factory's
// creation or QueryInterface answer.
[[nodiscard]] HRESULT FrameComModuleGetClassObject(_FRAME_COM_MODULE* pComModule, REFCLSID rclsid, REFIID riid,
                                                   LPVOID* ppv);

// The module's object-map owner, defined with the static objects.
CFrameComModule& FrameComModule();

// The module object of a library: tells the object map's rows of the
// module's start and, before the module's own clean-up, of its end.
template <class T>
class CFrameDllModuleT : public CFrameModuleT<T> {
 public:
  CFrameDllModuleT() { FrameComModule().TellRows(/*starting=*/true); }
  ~CFrameDllModuleT() override { FrameComModule().TellRows(/*starting=*/false); }
};
