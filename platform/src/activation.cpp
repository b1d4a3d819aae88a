// Activation of in-process servers: per-thread initialisation, class
// objects from the modules the registry names, and the unloading of
// modules that no longer hold objects.
#include "activation.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "codepage.h"
#include "registry_text.h"
#include "fgplatform/win32.h"

namespace {

struct ThreadState {
  int initialized = 0;
  DWORD model = COINIT_APARTMENTTHREADED;
};
thread_local ThreadState t_state;

// The in-process servers loaded for activation, by path; kept until
// CoFreeUnusedLibraries unloads them. The lock is held while a server's
// DllGetClassObject runs, so that no other thread unloads it meanwhile; it
// is recursive, for a server that activates another class in that call.
std::recursive_mutex g_lock;
std::map<std::u16string, HMODULE>& Servers() {
  static auto* servers = new std::map<std::u16string, HMODULE>;  // used until the very end
  return *servers;
}

// %NAME% replaced from the environment; an unknown name is kept as it is.
std::u16string Expand(const std::u16string& text) {
  std::u16string out;
  for (size_t at = 0; at < text.size();) {
    size_t start = text.find(u'%', at);
    size_t end = start == std::u16string::npos ? start : text.find(u'%', start + 1);
    if (end == std::u16string::npos) {
      out += text.substr(at);
      break;
    }
    out += text.substr(at, start - at);
    std::string name = fgp::WideToUtf8(text.substr(start + 1, end - start - 1));
    const char* value = std::getenv(name.c_str());
    out += value != nullptr ? fgp::Utf8ToWide(value) : text.substr(start, end - start + 1);
    at = end + 1;
  }
  return out;
}

// The module path registered for a class; false when there is none.
bool ServerPath(REFCLSID clsid, std::u16string& path) {
  DWORD type = 0;
  if (!fgp::ReadClassesText(u"CLSID\\" + fgp::GuidText(clsid) + u"\\InprocServer32", path, nullptr, &type))
    return false;
  if (type == REG_EXPAND_SZ) path = Expand(path);
  return !path.empty();
}

// The loaded server of a path, loading it the first time; under g_lock.
HRESULT Server(const std::u16string& path, HMODULE& out) {
  auto it = Servers().find(path);
  if (it != Servers().end()) {
    out = it->second;
    return S_OK;
  }
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    DWORD error = GetLastError();
    return error == ERROR_MOD_NOT_FOUND ? CO_E_DLLNOTFOUND : HRESULT_FROM_WIN32(error);
  }
  Servers()[path] = module;
  out = module;
  return S_OK;
}

}  // namespace

namespace fgp {

bool ThreadInitialized() { return t_state.initialized > 0; }

}  // namespace fgp

HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID, DWORD dwCoInit) {
  DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_state.initialized > 0) {
    if (t_state.model != model) return RPC_E_CHANGED_MODE;
    ++t_state.initialized;
    return S_FALSE;
  }
  t_state.model = model;
  t_state.initialized = 1;
  return S_OK;
}

HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void STDAPICALLTYPE CoUninitialize() {
  if (t_state.initialized > 0) --t_state.initialized;
}

HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  if (!fgp::ThreadInitialized()) return CO_E_NOTINITIALIZED;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::u16string path;
  if (!ServerPath(rclsid, path)) return REGDB_E_CLASSNOTREG;
  typedef HRESULT(STDAPICALLTYPE * GetClassObjectFunc)(REFCLSID, REFIID, LPVOID*);
  std::lock_guard<std::recursive_mutex> guard(g_lock);  // concurrent first requests load the module once
  HMODULE module = nullptr;
  HRESULT hr = Server(path, module);
  if (FAILED(hr)) return hr;
  auto entry = reinterpret_cast<GetClassObjectFunc>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (entry == nullptr) {
    // No server after all: it is not kept.
    FreeLibrary(module);
    Servers().erase(path);
    return CO_E_ERRORINDLL;
  }
  return entry(rclsid, riid, ppv);
}

void STDAPICALLTYPE CoFreeUnusedLibraries() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  typedef HRESULT(STDAPICALLTYPE * CanUnloadNowFunc)();
  for (auto it = Servers().begin(); it != Servers().end();) {
    auto canUnload = reinterpret_cast<CanUnloadNowFunc>(reinterpret_cast<void*>(GetProcAddress(it->second, "DllCanUnloadNow")));
    if (canUnload == nullptr || canUnload() != S_OK) {
      ++it;
      continue;
    }
    FreeLibrary(it->second);
    it = Servers().erase(it);
  }
}
