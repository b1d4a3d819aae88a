// The registrar: the variables a registry script may name as %NAME%, and
// the runs of script resources in register or unregister mode. A registrar
// lives on the stack of one registration call; it counts no references.
#pragma once

#include "fgplatform/win32.h"
#include "registration/registrar_base.h"
#include "registration/registrar_variables.h"
#include "registration/regscript.h"

// One caller variable; a list of them ends with a null name.
struct RegistrarVariable {
  LPCOLESTR szKey;
  LPCOLESTR szData;
};

class CRegObject : public IRegistrarBase {
 public:
  CRegObject() = default;
  virtual ~CRegObject() { (void)ClearVariables(); }
  CRegObject(const CRegObject&) = delete;
  CRegObject& operator=(const CRegObject&) = delete;

  // Not a shared object: no interfaces handed out, no counting.
  STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 0; }
  STDMETHODIMP AddVariable(LPCOLESTR key, LPCOLESTR item) override;
  STDMETHODIMP ClearVariables() override;

  // Null, with a trace line, for a name the table does not hold.
  LPCOLESTR LookupVariable(LPCOLESTR name) const;
  [[nodiscard]] HRESULT ResourceRegister(LPCOLESTR modulePath, UINT id, LPCOLESTR type) {
    return RunResourceScript(modulePath, id, type, TRUE);
  }
  [[nodiscard]] HRESULT ResourceUnregister(LPCOLESTR modulePath, UINT id, LPCOLESTR type) {
    return RunResourceScript(modulePath, id, type, FALSE);
  }
  // Loads the script resource `id` of `type` from the module file and
  // runs it (8-bit text in the thread's code page).
  [[nodiscard]] HRESULT RunResourceScript(LPCOLESTR modulePath, UINT id, LPCOLESTR type, BOOL bRegister);
  // Runs a script text given as it stands; a failed run fills *pFault,
  // when given, with where it failed.
  [[nodiscard]] HRESULT RunScriptText(LPCOLESTR script, BOOL bRegister, ScriptFault* pFault = nullptr);

 private:
  CRegistrarVariables m_variables;
};

// Runs script resource `id` of the module with the caller's variables
// (ended by a null name), the module's own ("APPID"), "Module" and
// "Module_Raw" (the module's path with every "'" doubled, for quoted
// tokens; "Module" is quoted with double quotes for the main program).
[[nodiscard]] HRESULT UpdateFromScriptResource(HINSTANCE hModule, UINT id, BOOL bRegister,
                                               const RegistrarVariable* pMapEntries);

// Whether registrations go to the current user's classes instead of the
// machine's. Off; nothing in this library turns it on.
[[nodiscard]] HRESULT RegistrarPerUser(bool* pbEnabled);
// For tests of the per-user forms only.
void SetRegistrarPerUser(bool bEnabled);
// The module path with every "'" doubled, cut at 519 characters.
inline constexpr int kMaxEscapedPath = 519;
