// The library's exported entry points.
#include "frame/debug_assert.h"
#include "frame/module.h"
#include "frame/object_map.h"
#include "registration/server_registration.h"

extern "C" FG_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    FG_ASSERT(!s_bInitFailed, "module");
    return s_bInitFailed ? FALSE : TRUE;
  }
  // Termination of a part that was never initialised answers S_OK; a
  // detaching module has no one to tell of anything else.
  if (reason == DLL_PROCESS_DETACH) (void)FrameWinModuleTerm(&FrameWinModule());
  return TRUE;
}

extern "C" FG_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return _pFrameModule->LockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" FG_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  FG_ASSERT(ppv != nullptr, "module");
  return FrameComModuleGetClassObject(&FrameComModule(), rclsid, riid, ppv);
}

extern "C" FG_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() { return RegisterModule(); }

extern "C" FG_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() { return UnregisterModule(); }
