#include "registration/regscript.h"

#include <string>

#include "frame/debug_assert.h"
#include "registration/regkey.h"
#include "registration/regobject.h"
#include "registration/value_text.h"
#include "trace/trace.h"

namespace {

constexpr const char* kSource = "regscript";

struct RootName {
  const char16_t* name;
  HKEY key;
};

const RootName kRoots[] = {
    {u"HKCR", HKEY_CLASSES_ROOT},       {u"HKCU", HKEY_CURRENT_USER},
    {u"HKLM", HKEY_LOCAL_MACHINE},      {u"HKU", HKEY_USERS},
    {u"HKPD", HKEY_PERFORMANCE_DATA},   {u"HKDD", HKEY_DYN_DATA},
    {u"HKCC", HKEY_CURRENT_CONFIG},     {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},         {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKEY_USERS", HKEY_USERS},                       {u"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {u"HKEY_DYN_DATA", HKEY_DYN_DATA},                 {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

constexpr const char16_t* kForceRemove = u"ForceRemove";
constexpr const char16_t* kNoRemove = u"NoRemove";
constexpr const char16_t* kDelete = u"Delete";
constexpr const char16_t* kVal = u"Val";

struct ValueType {
  const char16_t* letter;
  DWORD type;
};
const ValueType kValueTypes[] = {{u"S", REG_SZ}, {u"M", REG_MULTI_SZ}, {u"D", REG_DWORD}, {u"B", REG_BINARY}};

const char16_t* const kProtectedNames[] = {u"AppID",    u"CLSID",    u"Component Categories",
                                           u"FileType", u"Interface", u"Hardware",
                                           u"Mime",     u"SAM",      u"SECURITY",
                                           u"SYSTEM",   u"Software", u"TypeLib"};
constexpr int kProtectedNameCount = sizeof kProtectedNames / sizeof kProtectedNames[0];

// What the per-user pass writes for "HKCR" and before the "}" closing it.
constexpr const char16_t* kUserClassesOpen = u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
constexpr const char16_t* kUserClassesClose = u"\r\n\t}\r\n}\r\n";

bool IsSpace(WCHAR ch) { return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n'; }
bool Is(LPCOLESTR token, const char16_t* word) { return lstrcmpiW(token, word) == 0; }
bool HasBackslash(LPCOLESTR token) {
  for (; *token != 0; ++token)
    if (*token == u'\\') return true;
  return false;
}
HRESULT FromCode(LONG code) { return HRESULT_FROM_WIN32(static_cast<DWORD>(code)); }

DWORD ValueTypeFromLetter(LPCOLESTR letter) {
  for (const ValueType& t : kValueTypes)
    if (Is(letter, t.letter)) return t.type;
  return REG_NONE;
}

// The growing output of the first pass, in the task allocator.
class ExpansionBuffer {
 public:
  ~ExpansionBuffer() { CoTaskMemFree(m_text); }
  [[nodiscard]] bool Reserve(size_t chars) {
    m_capacity = chars;
    m_text = static_cast<LPOLESTR>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
    return m_text != nullptr;
  }
  [[nodiscard]] bool Append(const OLECHAR* text, size_t count) {
    while (m_length + count + 1 > m_capacity) {
      if (m_capacity > SIZE_MAX / 2 / sizeof(OLECHAR)) return false;
      void* grown = CoTaskMemRealloc(m_text, m_capacity * 2 * sizeof(OLECHAR));
      if (grown == nullptr) return false;
      m_text = static_cast<LPOLESTR>(grown);
      m_capacity *= 2;
    }
    for (size_t i = 0; i < count; ++i) m_text[m_length++] = text[i];
    m_text[m_length] = 0;
    return true;
  }
  [[nodiscard]] bool Append(const char16_t* text) { return Append(text, std::char_traits<char16_t>::length(text)); }
  LPOLESTR Detach() {
    LPOLESTR text = m_text;
    m_text = nullptr;
    return text;
  }

 private:
  LPOLESTR m_text = nullptr;
  size_t m_length = 0;
  size_t m_capacity = 0;
};

// Counts nesting levels for the lifetime of one block.
class NestingLevel {
 public:
  explicit NestingLevel(int& depth) : m_depth(depth) { ++m_depth; }
  ~NestingLevel() { --m_depth; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;

 private:
  int& m_depth;
};

// A predefined or borrowed key used as a CRegKey for one call, not closed.
class BorrowedKey {
 public:
  explicit BorrowedKey(HKEY hKey) { m_key.Attach(hKey); }
  ~BorrowedKey() { m_key.Detach(); }
  BorrowedKey(const BorrowedKey&) = delete;
  BorrowedKey& operator=(const BorrowedKey&) = delete;
  CRegKey* operator->() { return &m_key; }

 private:
  CRegKey m_key;
};

}  // namespace

HKEY CScriptParser::HKeyFromString(LPCOLESTR szToken) {
  for (const RootName& root : kRoots)
    if (Is(szToken, root.name)) return root.key;
  return nullptr;
}

bool CScriptParser::IsDeletableName(LPCOLESTR szName) {
  for (const char16_t* name : kProtectedNames)
    if (Is(szName, name)) return false;
  return true;
}

bool CScriptParser::HasChildKeys(HKEY hKey) {
  DWORD subkeys = 0;
  LONG lRes = RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
  if (lRes != ERROR_SUCCESS) {
    FGTRACE(traceRegistrar, 0, "Should not be here!!\n");
    FG_ASSERT(false, kSource);
    return false;
  }
  return subkeys > 0;
}

void CScriptParser::SkipSpace() {
  while (IsSpace(*m_pchCur)) ++m_pchCur;
}

HRESULT CScriptParser::NextToken(LPOLESTR szToken) {
  SkipSpace();
  m_pchTokenStart = m_pchCur;
  if (m_pchCutoff != nullptr && m_pchCur >= m_pchCutoff) {
    // The clean-up of a failed registration ends where the registration
    // failed: from there on every block is closed.
    szToken[0] = u'}';
    szToken[1] = 0;
    return S_OK;
  }
  if (*m_pchCur == 0) return DISP_E_EXCEPTION;
  int length = 0;
  auto put = [&](WCHAR ch) {
    if (length >= kMaxScriptToken) return false;
    szToken[length++] = ch;
    return true;
  };
  if (*m_pchCur == u'\'') {
    for (++m_pchCur;; ++m_pchCur) {
      if (*m_pchCur == 0) {
        FGTRACE(traceRegistrar, 0, "NextToken : Unexpected End of File\n");
        return DISP_E_EXCEPTION;
      }
      if (*m_pchCur == u'\'') {
        if (m_pchCur[1] != u'\'') {
          ++m_pchCur;
          break;
        }
        ++m_pchCur;  // a doubled quote stands for one
      }
      if (!put(*m_pchCur)) return DISP_E_EXCEPTION;
    }
  } else {
    for (; *m_pchCur != 0 && !IsSpace(*m_pchCur); ++m_pchCur)
      if (!put(*m_pchCur)) return DISP_E_EXCEPTION;
  }
  szToken[length] = 0;
  return S_OK;
}

HRESULT CScriptParser::ExpandScript(LPCOLESTR lpszOrig, LPOLESTR* ppszExpanded) {
  *ppszExpanded = nullptr;
  size_t length = static_cast<size_t>(lstrlenW(lpszOrig));
  size_t capacity = length * 2 < 100 ? 1000 : length * 2;
  ExpansionBuffer out;
  if (!out.Reserve(capacity) || !out.Append(u"")) return E_OUTOFMEMORY;

  bool perUser = false;
  (void)RegistrarPerUser(&perUser);
  bool quoted = false;
  bool userBlock = false;
  int depth = 0;
  for (LPCOLESTR p = lpszOrig; *p != 0;) {
    if (perUser) {
      if (*p == u'\'') {
        if (quoted && p[1] == u'\'') {
          if (!out.Append(p, 2)) return E_OUTOFMEMORY;
          p += 2;
          continue;
        }
        quoted = !quoted;
      } else if (!quoted) {
        if (depth == 0 && p[0] == u'H' && p[1] == u'K' && p[2] == u'C' && p[3] == u'R') {
          if (!out.Append(kUserClassesOpen)) return E_OUTOFMEMORY;
          p += 4;
          userBlock = true;
          continue;
        }
        if (*p == u'{') ++depth;
        if (*p == u'}' && --depth == 0 && userBlock) {
          if (!out.Append(kUserClassesClose)) return E_OUTOFMEMORY;
          userBlock = false;
        }
      }
    }
    if (*p != u'%') {
      if (!out.Append(p, 1)) return E_OUTOFMEMORY;
      ++p;
      continue;
    }
    if (p[1] == u'%') {
      if (!out.Append(u"%")) return E_OUTOFMEMORY;
      p += 2;
      continue;
    }
    WCHAR variable[kMaxVariableName + 1];
    LPCOLESTR close = nullptr;
    VariableName found = ReadVariableName(p + 1, variable, close);
    if (found == VariableName::Unclosed) {
      FGTRACE(traceRegistrar, 0, "Error no closing %% found\n");
      NoteFault(lpszOrig, p, ScriptFaultKind::UnclosedVariable);
      return DISP_E_EXCEPTION;
    }
    if (found == VariableName::TooLong) {
      NoteFault(lpszOrig, p, ScriptFaultKind::LongVariable);
      return E_FAIL;
    }
    LPCOLESTR value = m_pRegObj->LookupVariable(variable);
    if (value == nullptr) {
      NoteFault(lpszOrig, p, ScriptFaultKind::UnknownVariable);
      return DISP_E_EXCEPTION;
    }
    if (!out.Append(value)) return E_OUTOFMEMORY;
    p = close + 1;
  }
  *ppszExpanded = out.Detach();
  return S_OK;
}

void CScriptParser::NoteFault(LPCOLESTR text, LPCOLESTR at, ScriptFaultKind kind) {
  m_fault = ScriptFault{};
  m_fault.kind = kind;
  bool variable = kind != ScriptFaultKind::Token;
  m_fault.line = 1;
  for (LPCOLESTR p = text; p < at; ++p)
    if (*p == u'\n') ++m_fault.line;
  // A variable runs to its closing %; any other token to the next space.
  int length = 0;
  for (LPCOLESTR p = at; *p != 0 && length < kScriptFaultTokenChars - 1; ++p) {
    if (IsSpace(*p) && (!variable || *p == u'\r' || *p == u'\n')) break;
    m_fault.token[length++] = *p;
    if (variable && length > 1 && *p == u'%') break;
  }
  m_fault.token[length] = 0;
}

HRESULT CScriptParser::RunScript(LPCOLESTR lpszScript, BOOL bRegister) {
  LPOLESTR expanded = nullptr;
  HRESULT hr = ExpandScript(lpszScript, &expanded);
  if (FAILED(hr)) return hr;
  FGTRACE(traceRegistrar, 0, u"%s\n", expanded);
  m_pchCur = expanded;
  m_nDepth = 0;
  m_bTooDeep = false;
  m_pchFault = nullptr;
  hr = RunRootBlocks(bRegister);
  if (FAILED(hr)) NoteFault(expanded, m_pchFault != nullptr ? m_pchFault : m_pchTokenStart, ScriptFaultKind::Token);
  CoTaskMemFree(expanded);
  m_pchCur = nullptr;
  return hr;
}

HRESULT CScriptParser::RunRootBlocks(BOOL bRegister) {
  // White space alone (a script that is only a line end) is an empty script.
  SkipSpace();
  while (*m_pchCur != 0) {
    HRESULT hr = NextToken(m_szToken);
    if (FAILED(hr)) return hr;
    HKEY hkRoot = HKeyFromString(m_szToken);
    if (hkRoot == nullptr) {
      FGTRACE(traceRegistrar, 0, u"HKeyFromString failed on %s\n", m_szToken);
      return DISP_E_EXCEPTION;
    }
    hr = NextToken(m_szToken);
    if (FAILED(hr)) return hr;
    if (m_szToken[0] != u'{') {
      FGTRACE(traceRegistrar, 0, u"Syntax error, expecting a {, found a %s\n", m_szToken);
      return DISP_E_EXCEPTION;
    }
    if (bRegister) {
      LPCOLESTR blockStart = m_pchCur;
      hr = ProcessBlock(m_szToken, hkRoot, TRUE, FALSE);
      if (FAILED(hr)) {
        FGTRACE(traceRegistrar, 0, "Failed to register, cleaning up!\n");
        m_pchCutoff = m_pchTokenStart;
        m_pchFault = m_pchTokenStart;
        m_pchCur = blockStart;
        (void)ProcessBlock(m_szToken, hkRoot, FALSE, FALSE);  // the registration's own failure is the answer
        m_pchCutoff = nullptr;
        return hr;
      }
    } else {
      hr = ProcessBlock(m_szToken, hkRoot, FALSE, FALSE);
      if (FAILED(hr)) return hr;
    }
    SkipSpace();
  }
  return m_bTooDeep ? DISP_E_EXCEPTION : S_OK;
}

HRESULT CScriptParser::ProcessBlock(LPOLESTR szToken, HKEY hkParent, BOOL bRegister, BOOL bRecover) {
  NestingLevel level(m_nDepth);
  HRESULT hr = S_OK;
  if (m_nDepth > kMaxScriptNesting) {
    // The block of a key at the deepest level may be empty: it holds no key.
    hr = NextToken(szToken);
    if (FAILED(hr)) return hr;
    if (m_nDepth == kMaxScriptNesting + 1 && szToken[0] == u'}' && szToken[1] == 0) return S_OK;
    FGTRACE(traceRegistrar, 0, "ProcessBlock : blocks nested deeper than %d levels\n", kMaxScriptNesting);
    if (bRegister) return DISP_E_EXCEPTION;
    // Nothing this deep can exist in the registry: the block is passed
    // over and the run reports the script as faulty at its end.
    m_bTooDeep = true;
    return SkipDeepBlock(szToken);
  }
  FGTRACE(traceRegistrar, 2, "Num Els = %d\n", kProtectedNameCount);
  hr = NextToken(szToken);
  if (FAILED(hr)) return hr;
  while (szToken[0] != u'}') {
    hr = bRegister ? RegisterEntry(szToken, hkParent) : UnregisterEntry(szToken, hkParent, bRecover);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Reads to the "}" that closes the current block without recursion, from
// the block's first token, already in szToken: "{" opens a level, a token
// beginning with "}" closes one, and a value ("=", type letter, text) is read
// as a whole, as the blocks themselves read it.
HRESULT CScriptParser::SkipDeepBlock(LPOLESTR szToken) {
  HRESULT hr = S_OK;
  for (int open = 1; SUCCEEDED(hr);) {
    if (szToken[0] == u'=' && szToken[1] == 0) {
      hr = SkipValueSpec(szToken);
      continue;
    }
    if (szToken[0] == u'{' && szToken[1] == 0) ++open;
    if (szToken[0] == u'}' && --open == 0) return S_OK;
    hr = NextToken(szToken);
  }
  return hr;
}

HRESULT CScriptParser::RegisterEntry(LPOLESTR szToken, HKEY hkParent) {
  HRESULT hr = S_OK;
  if (Is(szToken, kForceRemove) || Is(szToken, kDelete)) {
    bool isDelete = Is(szToken, kDelete);
    hr = NextToken(szToken);
    if (FAILED(hr)) return hr;
    if (HasBackslash(szToken)) return DISP_E_EXCEPTION;
    if (IsDeletableName(szToken)) (void)BorrowedKey(hkParent)->RecurseDeleteKey(szToken);  // a missing key is fine
    if (isDelete) {
      hr = NextToken(szToken);
      if (SUCCEEDED(hr)) hr = SkipValueSpec(szToken);
      if (FAILED(hr)) return hr;
      // A deleted key has no block: what it held would be written anew.
      return szToken[0] == u'{' && szToken[1] == 0 ? DISP_E_EXCEPTION : S_OK;
    }
    // The next token is a key's name, even one spelt as a keyword.
    return RegisterKey(szToken, hkParent);
  }
  if (Is(szToken, kNoRemove)) {
    hr = NextToken(szToken);  // nothing is removed at registration anyway
    if (FAILED(hr)) return hr;
  }
  if (Is(szToken, kVal)) {
    hr = NextToken(m_szValueName);
    if (SUCCEEDED(hr)) hr = NextToken(szToken);
    if (FAILED(hr)) return hr;
    if (szToken[0] != u'=' || szToken[1] != 0) return DISP_E_EXCEPTION;
    hr = WriteScriptValue(hkParent, m_szValueName, szToken);
    if (FAILED(hr)) return hr;
    // A value has no block of its own.
    return szToken[0] == u'{' && szToken[1] == 0 ? DISP_E_EXCEPTION : S_OK;
  }
  return RegisterKey(szToken, hkParent);
}

HRESULT CScriptParser::RegisterKey(LPOLESTR szToken, HKEY hkParent) {
  // A key name names one subkey: no path, and not the parent itself.
  if (HasBackslash(szToken) || szToken[0] == 0) return DISP_E_EXCEPTION;
  CRegKey key;
  HRESULT hr = S_OK;
  if (key.Open(hkParent, szToken, KEY_READ | KEY_WRITE) != ERROR_SUCCESS &&
      key.Open(hkParent, szToken, KEY_READ) != ERROR_SUCCESS) {
    FGTRACE(traceRegistrar, 2, u"Creating key %s\n", szToken);
    LONG lRes = key.Create(hkParent, szToken, nullptr, 0, KEY_READ | KEY_WRITE);
    if (lRes != ERROR_SUCCESS) return FromCode(lRes);
  }
  hr = NextToken(szToken);
  if (FAILED(hr)) return hr;
  if (szToken[0] == u'=' && szToken[1] == 0) {
    hr = WriteScriptValue(key.m_hKey, nullptr, szToken);
    if (FAILED(hr)) return hr;
  }
  if (szToken[0] == u'{' && szToken[1] == 0) {
    hr = ProcessBlock(szToken, key.m_hKey, TRUE, FALSE);
    if (FAILED(hr)) return hr;
    hr = NextToken(szToken);
  }
  return hr;
}

HRESULT CScriptParser::UnregisterEntry(LPOLESTR szToken, HKEY hkParent, BOOL bRecover) {
  HRESULT hr = S_OK;
  bool bDelete = true;
  if (Is(szToken, kForceRemove) || Is(szToken, kDelete)) {
    bool isDelete = Is(szToken, kDelete);
    hr = NextToken(szToken);
    if (FAILED(hr)) return hr;
    // The name is a key entry, even one spelt as a keyword.
    return UnregisterKey(szToken, hkParent, bRecover, bDelete, /*blockAllowed=*/!isDelete);
  }
  if (Is(szToken, kNoRemove)) {
    bDelete = false;
    hr = NextToken(szToken);
    if (FAILED(hr)) return hr;
  }
  if (!Is(szToken, kVal)) return UnregisterKey(szToken, hkParent, bRecover, bDelete, /*blockAllowed=*/true);

  hr = NextToken(m_szValueName);
  if (SUCCEEDED(hr)) hr = NextToken(szToken);
  if (FAILED(hr)) return hr;
  if (szToken[0] != u'=' || szToken[1] != 0) return DISP_E_EXCEPTION;
  if (!bRecover && bDelete) {
    FGTRACE(traceRegistrar, 1, u"Deleting %s\n", m_szValueName);
    CRegKey key;
    LONG lRes = key.Open(hkParent, nullptr, KEY_WRITE);
    if (lRes != ERROR_SUCCESS) return FromCode(lRes);
    lRes = key.RemoveValue(m_szValueName);
    if (lRes != ERROR_SUCCESS && lRes != ERROR_FILE_NOT_FOUND) return FromCode(lRes);
  }
  return SkipValueSpec(szToken);
}

HRESULT CScriptParser::UnregisterKey(LPOLESTR szToken, HKEY hkParent, BOOL bRecover, bool bDelete,
                                     bool blockAllowed) {
  if (HasBackslash(szToken) || szToken[0] == 0) return DISP_E_EXCEPTION;
  CRegKey key;
  LONG lOpen = bRecover ? ERROR_FILE_NOT_FOUND : key.Open(hkParent, szToken, KEY_READ);
  BOOL bEntryRecover = bRecover || lOpen != ERROR_SUCCESS;
  if (lOpen == ERROR_SUCCESS)
    FGTRACE(traceRegistrar, 1, u"Opened Key %s\n", szToken);
  else
    FGTRACE(traceRegistrar, 0, u"Ignoring Open key on %s : In Recovery mode\n", szToken);

  WCHAR szKey[kMaxScriptKeyName + 1];
  int n = 0;
  for (; n < kMaxScriptKeyName && szToken[n] != 0; ++n) szKey[n] = szToken[n];
  szKey[n] = 0;

  HRESULT hr = NextToken(szToken);
  if (SUCCEEDED(hr)) hr = SkipValueSpec(szToken);
  if (FAILED(hr)) return hr;
  if (szToken[0] == u'{' && szToken[1] == 0) {
    if (!blockAllowed) return DISP_E_EXCEPTION;  // as at registration: a deleted key has no block
    hr = ProcessBlock(szToken, key.m_hKey, FALSE, bEntryRecover);
    if (FAILED(hr) && !bEntryRecover) return hr;
    hr = NextToken(szToken);
    if (FAILED(hr)) return hr;
  }
  if (bEntryRecover && !bRecover) FGTRACE(traceRegistrar, 0, "Ending Recovery Mode\n");
  if (lOpen == ERROR_FILE_NOT_FOUND) return S_OK;
  if (lOpen != ERROR_SUCCESS) return FromCode(lOpen);

  bool hasChildren = HasChildKeys(key.m_hKey);
  LONG lRes = key.Close();
  if (lRes != ERROR_SUCCESS) return FromCode(lRes);
  if (bDelete && !hasChildren) {
    FGTRACE(traceRegistrar, 0, u"Deleting Key %s\n", szKey);
    lRes = BorrowedKey(hkParent)->RemoveSubkey(szKey);
    if (lRes != ERROR_SUCCESS) return FromCode(lRes);
  }
  return S_OK;
}

HRESULT CScriptParser::SkipValueSpec(LPOLESTR szToken) {
  if (szToken[0] != u'=' || szToken[1] != 0) return S_OK;
  HRESULT hr = NextToken(szToken);  // the type letter
  if (FAILED(hr)) return hr;
  SkipSpace();
  hr = NextToken(m_szSkipped);
  if (FAILED(hr)) return hr;
  return NextToken(szToken);
}

HRESULT CScriptParser::WriteScriptValue(HKEY hKey, LPCOLESTR szValueName, LPOLESTR szToken) {
  HRESULT hr = NextToken(szToken);
  if (FAILED(hr)) return hr;
  DWORD type = ValueTypeFromLetter(szToken);
  if (type == REG_NONE) {
    FGTRACE(traceRegistrar, 0, u"%s Type not supported\n", szToken);
    return DISP_E_EXCEPTION;
  }
  SkipSpace();
  hr = NextToken(m_szValue);
  if (FAILED(hr)) return hr;
  LPCOLESTR shownName = szValueName != nullptr ? szValueName : u"default";

  BorrowedKey key(hKey);
  LONG lRes = ERROR_SUCCESS;
  switch (type) {
    case REG_SZ:
      lRes = key->WriteString(szValueName, m_szValue);
      FGTRACE(traceRegistrar, 2, u"Setting Value %s at %s\n", m_szValue, shownName);
      break;
    case REG_DWORD: {
      ULONG number = 0;
      (void)VarUI4FromStr(m_szValue, 0, 0, &number);  // text that is no number writes 0
      lRes = key->WriteDword(szValueName, number);
      FGTRACE(traceRegistrar, 2, u"Setting Value %d at %s\n", static_cast<int>(number), shownName);
      break;
    }
    case REG_BINARY: {
      BYTE* data = nullptr;
      DWORD bytes = 0;
      hr = DecodeHexBytes(m_szValue, &data, &bytes);
      if (FAILED(hr)) return hr;
      lRes = key->WriteBinary(szValueName, data, bytes);
      CoTaskMemFree(data);
      break;
    }
    case REG_MULTI_SZ: {
      FGTRACE(traceRegistrar, 2, u"Setting Value %s at %s\n", m_szValue, shownName);
      LPOLESTR block = MultiStringBlock(m_szValue);
      lRes = block != nullptr ? key->WriteMultiString(szValueName, block) : ERROR_OUTOFMEMORY;
      CoTaskMemFree(block);
      break;
    }
  }
  if (lRes != ERROR_SUCCESS) return FromCode(lRes);
  return NextToken(szToken);
}
