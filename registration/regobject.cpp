#include "registration/regobject.h"

#include "frame/debug_assert.h"
#include "frame/module.h"
#include "registration/regscript.h"
#include "trace/trace.h"

namespace {

constexpr const char* kSource = "regobject";

bool g_bPerUser = false;

// Frees what RunResourceScript took, on every way out.
struct LoadedScript {
  HMODULE module = nullptr;
  LPOLESTR text = nullptr;
  ~LoadedScript() {
    if (module != nullptr) FreeLibrary(module);
    CoTaskMemFree(text);
  }
};

HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT RegistrarPerUser(bool* pbEnabled) {
  if (pbEnabled == nullptr) return E_POINTER;
  *pbEnabled = g_bPerUser;
  return S_OK;
}

void SetRegistrarPerUser(bool bEnabled) { g_bPerUser = bEnabled; }

HRESULT CRegObject::AddVariable(LPCOLESTR key, LPCOLESTR item) { return m_variables.Add(key, item); }

HRESULT CRegObject::ClearVariables() {
  m_variables.Clear();
  return S_OK;
}

LPCOLESTR CRegObject::LookupVariable(LPCOLESTR name) const {
  LPCOLESTR value = m_variables.Find(name);
  if (value == nullptr) FGTRACE(traceRegistrar, 0, "Map Entry not found\n");
  return value;
}

HRESULT CRegObject::RunScriptText(LPCOLESTR script, BOOL bRegister, ScriptFault* pFault) {
  CScriptParser parser(this);
  HRESULT hr = parser.RunScript(script, bRegister);
  if (FAILED(hr) && pFault != nullptr) *pFault = parser.Fault();
  return hr;
}

HRESULT CRegObject::RunResourceScript(LPCOLESTR modulePath, UINT id, LPCOLESTR type, BOOL bRegister) {
  LoadedScript loaded;
  loaded.module = LoadLibraryExW(modulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (loaded.module == nullptr) {
    FGTRACE(traceRegistrar, 0, u"Failed to LoadLibrary on %s\n", modulePath);
    return LastErrorResult();
  }
  HRSRC found = FindResourceW(loaded.module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) {
    FGTRACE(traceRegistrar, 0, u"Failed to FindResource on ID:%d TYPE:%s\n", static_cast<int>(id), type);
    return LastErrorResult();
  }
  HGLOBAL resource = LoadResource(loaded.module, found);
  if (resource == nullptr) {
    FGTRACE(traceRegistrar, 0, "Failed to LoadResource\n");
    return LastErrorResult();
  }
  DWORD bytes = SizeofResource(loaded.module, found);
  if (bytes == 0xFFFFFFFF) return E_OUTOFMEMORY;
  loaded.text = static_cast<LPOLESTR>(CoTaskMemAlloc((static_cast<SIZE_T>(bytes) + 1) * sizeof(OLECHAR)));
  if (loaded.text == nullptr) return E_OUTOFMEMORY;
  int chars = MultiByteToWideChar(CP_THREAD_ACP, 0, static_cast<LPCSTR>(LockResource(resource)),
                                  static_cast<int>(bytes), loaded.text, static_cast<int>(bytes));
  if (chars == 0) return LastErrorResult();
  loaded.text[chars] = 0;
  return RunScriptText(loaded.text, bRegister);
}

HRESULT UpdateFromScriptResource(HINSTANCE hModule, UINT id, BOOL bRegister, const RegistrarVariable* pMapEntries) {
  CRegObject registrar;
  for (const RegistrarVariable* entry = pMapEntries; entry != nullptr && entry->szKey != nullptr; ++entry) {
    FG_ASSERT_TEXT(entry->szData != nullptr, "0 != pMapEntries->szData", kSource);
    (void)registrar.AddVariable(entry->szKey, entry->szData);  // a missing one fails the script where it is named
  }
  if (_pFrameModule == nullptr) return E_UNEXPECTED;  // no module object: nothing to register for
  HRESULT hr = _pFrameModule->AddModuleVariables(&registrar);
  if (FAILED(hr)) return hr;

  constexpr DWORD kPathChars = 260;
  WCHAR path[kPathChars];
  DWORD length = GetModuleFileNameW(hModule, path, kPathChars);
  if (length == 0) return LastErrorResult();
  if (length == kPathChars) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

  // Quotes doubled, for %MODULE% inside quoted tokens.
  WCHAR escaped[kMaxEscapedPath + 1];
  int n = 0;
  for (const WCHAR* p = path; *p != 0 && n < kMaxEscapedPath; ++p) {
    if (*p == u'\'') {
      if (n + 2 > kMaxEscapedPath) break;
      escaped[n++] = u'\'';
    }
    escaped[n++] = *p;
  }
  escaped[n] = 0;

  bool isProgram = hModule == nullptr || hModule == GetModuleHandleW(nullptr);
  WCHAR quoted[kMaxEscapedPath + 3];
  LPCOLESTR moduleValue = escaped;
  if (isProgram) {
    quoted[0] = u'"';
    for (int i = 0; i < n; ++i) quoted[i + 1] = escaped[i];
    quoted[n + 1] = u'"';
    quoted[n + 2] = 0;
    moduleValue = quoted;
  }
  hr = registrar.AddVariable(u"Module", moduleValue);
  if (FAILED(hr)) return hr;
  hr = registrar.AddVariable(u"Module_Raw", escaped);
  if (FAILED(hr)) return hr;
  return registrar.RunResourceScript(path, id, u"REGISTRY", bRegister);
}
