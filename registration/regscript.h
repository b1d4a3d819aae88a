// The registry script language: nested blocks of keys and values that one
// text both registers and unregisters.
//
//   HKCR
//   {
//       NoRemove AppID                     kept at unregistration
//       {
//           '%APPID%' = s 'Farrowgate'     a key and its default value
//           'Farrowgate.DLL'
//           {
//               val AppID = s '%APPID%'    a named value
//           }
//       }
//   }
//
// A run first expands %NAME% variables from the registrar (and "%%" to
// "%"), then walks the root blocks. Registration creates what the script
// names; a root block that fails is unregistered again, as far as the
// token at which it failed (every block still open is closed there, so
// the keys made before the failure go even when the rest of the text
// cannot be read). Unregistration
// removes values one by one and a key once nothing is left beneath it,
// except keys marked NoRemove; keys already missing are skipped.
// Lexical and grammar faults answer DISP_E_EXCEPTION.
#pragma once

#include "fgplatform/win32.h"

class CRegObject;

// The characters of one token buffer; tokens hold at most two fewer.
inline constexpr int kScriptTokenChars = 4096;
inline constexpr int kMaxScriptToken = kScriptTokenChars - 2;
// Key names kept per nesting level during unregistration.
inline constexpr int kMaxScriptKeyName = 259;
// Blocks nest no deeper than the registry nests keys.
inline constexpr int kMaxScriptNesting = 512;

// Where a run of a script failed: the line (counted from 1 in the text as
// its variables expanded it) and the token there, cut short; an empty
// token is the end of the text. A variable fault is found before the
// expansion and its line is that of the text as written.
inline constexpr int kScriptFaultTokenChars = 64;
enum class ScriptFaultKind { Token, UnknownVariable, UnclosedVariable, LongVariable };
struct ScriptFault {
  int line = 0;
  ScriptFaultKind kind = ScriptFaultKind::Token;
  WCHAR token[kScriptFaultTokenChars] = {};
};

class CScriptParser {
 public:
  explicit CScriptParser(CRegObject* pRegObj) : m_pRegObj(pRegObj) {}
  CScriptParser(const CScriptParser&) = delete;
  CScriptParser& operator=(const CScriptParser&) = delete;

  [[nodiscard]] HRESULT RunScript(LPCOLESTR lpszScript, BOOL bRegister);
  // The first pass; *ppszExpanded is a task-allocator buffer on success.
  [[nodiscard]] HRESULT ExpandScript(LPCOLESTR lpszOrig, LPOLESTR* ppszExpanded);

  // Set by a run that failed.
  const ScriptFault& Fault() const { return m_fault; }

  static HKEY HKeyFromString(LPCOLESTR szToken);
  static bool IsDeletableName(LPCOLESTR szName);
  static bool HasChildKeys(HKEY hKey);

 private:
  [[nodiscard]] HRESULT RunRootBlocks(BOOL bRegister);
  [[nodiscard]] HRESULT NextToken(LPOLESTR szToken);
  void SkipSpace();
  [[nodiscard]] HRESULT ProcessBlock(LPOLESTR szToken, HKEY hkParent, BOOL bRegister, BOOL bRecover);
  [[nodiscard]] HRESULT RegisterEntry(LPOLESTR szToken, HKEY hkParent);
  // A key entry from its name on: its value, then its block.
  [[nodiscard]] HRESULT RegisterKey(LPOLESTR szToken, HKEY hkParent);
  [[nodiscard]] HRESULT UnregisterEntry(LPOLESTR szToken, HKEY hkParent, BOOL bRecover);
  // blockAllowed is false for a Delete entry, which has no block.
  [[nodiscard]] HRESULT UnregisterKey(LPOLESTR szToken, HKEY hkParent, BOOL bRecover, bool bDelete,
                                      bool blockAllowed);
  [[nodiscard]] HRESULT SkipDeepBlock(LPOLESTR szToken);
  [[nodiscard]] HRESULT WriteScriptValue(HKEY hKey, LPCOLESTR szValueName, LPOLESTR szToken);
  [[nodiscard]] HRESULT SkipValueSpec(LPOLESTR szToken);
  void NoteFault(LPCOLESTR text, LPCOLESTR at, ScriptFaultKind kind);

  CRegObject* m_pRegObj;
  LPCOLESTR m_pchCur = nullptr;
  LPCOLESTR m_pchTokenStart = nullptr;  // where the last token began
  LPCOLESTR m_pchCutoff = nullptr;      // set while a failed registration is undone
  LPCOLESTR m_pchFault = nullptr;       // the token a registration failed at, kept through its undoing
  ScriptFault m_fault;
  int m_nDepth = 0;
  bool m_bTooDeep = false;  // an unregistration met a block nested too deep
  WCHAR m_szToken[kScriptTokenChars] = {};
  WCHAR m_szValueName[kScriptTokenChars] = {};
  WCHAR m_szValue[kScriptTokenChars] = {};
  WCHAR m_szSkipped[kScriptTokenChars] = {};
};
