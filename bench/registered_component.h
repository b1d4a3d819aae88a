// The component for the benchmarks that call it in-process: registered in
// the store FARROWGATE_REGISTRY names (set by the benchmark before first
// use) and one object created, once for the whole run.
#pragma once

#include <string>

#include "fgplatform/win32.h"

struct RegisteredComponent {
  typedef HRESULT(STDAPICALLTYPE* EntryFunc)();
  HMODULE module = nullptr;
  IDispatch* object = nullptr;  // null when registration or creation failed
  RegisteredComponent() {
    (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string path = FARROWGATE_MODULE_PATH;
    module = LoadLibraryW(std::u16string(path.begin(), path.end()).c_str());
    auto registerServer = module != nullptr ? reinterpret_cast<EntryFunc>(reinterpret_cast<void*>(
                                                  GetProcAddress(module, "DllRegisterServer")))
                                            : nullptr;
    CLSID clsid{};
    if (registerServer != nullptr && registerServer() == S_OK &&
        SUCCEEDED(CLSIDFromProgID(u"Farrowgate.DialogHelper", &clsid)))
      (void)CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
  }
};
