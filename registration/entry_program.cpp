#include "registration/entry_program.h"

#include "frame/com_error.h"
#include "frame/debug_assert.h"
#include "frame/frame_exception.h"
#include "frame/module.h"
#include "holders/counted_string.h"
#include "registration/regkey.h"
#include "registration/value_text.h"
#include "trace/trace.h"

namespace {

constexpr const char* kSource = "regvm";

HRESULT FromCode(LONG code) { return HRESULT_FROM_WIN32(static_cast<DWORD>(code)); }

HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

HKEY PredefinedRoot(DWORD a) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000 + a))); }

bool IsMissing(LONG code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

// Appends the expansion of `text` to `out`: "%%" is "%", "%NAME%" the
// variable's value. E_FAIL for a missing "%", a name of 32 characters or
// more, or a name the table does not hold.
HRESULT ExpandInto(const CRegistrarVariables& variables, LPCOLESTR text, CCountedString& out) {
  out = u"";
  for (LPCOLESTR p = text; *p != 0;) {
    if (*p != u'%') {
      LPCOLESTR run = p;
      while (*p != 0 && *p != u'%') ++p;
      out.Append(run, static_cast<int>(p - run));
      continue;
    }
    if (p[1] == u'%') {
      out += u"%";
      p += 2;
      continue;
    }
    WCHAR variable[kMaxVariableName + 1];
    LPCOLESTR close = nullptr;
    VariableName found = ReadVariableName(p + 1, variable, close);
    if (found == VariableName::Unclosed) {
      FGTRACE(traceRegistrar, 0, "Error : closing '%%' found\n");
      return E_FAIL;
    }
    if (found == VariableName::TooLong) return E_FAIL;
    LPCOLESTR value = variables.Find(variable);
    if (value == nullptr) return E_FAIL;
    out += value;
    p = close + 1;
  }
  return S_OK;
}

}  // namespace

STDMETHODIMP CRegistryVirtualMachine::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IRegistrarBase) return E_NOINTERFACE;
  *ppv = static_cast<IRegistrarBase*>(this);
  return S_OK;
}

STDMETHODIMP CRegistryVirtualMachine::AddVariable(LPCOLESTR key, LPCOLESTR item) {
  FG_ASSERT_TEXT(key != nullptr && item != nullptr, "lpszKey != 0 && lpszItem != 0", kSource);
  return m_variables.Add(key, item);
}

STDMETHODIMP CRegistryVirtualMachine::ClearVariables() {
  m_variables.Clear();
  return S_OK;
}

HRESULT CRegistryVirtualMachine::ExpandEntryString(UINT index, CCountedString& storage, LPCOLESTR& text) {
  text = nullptr;
  if (index >= m_program->nStrings) return E_INVALIDARG;
  const EntryString& entry = m_program->rgStrings[index];
  if (entry.szText == nullptr) return S_FALSE;
  if (entry.bExpand != 1) {
    text = entry.szText;
    return S_OK;
  }
  try {
    HRESULT hr = ExpandInto(m_variables, entry.szText, storage);
    if (FAILED(hr)) return hr;
  } catch (const CFrameException& e) {
    return e.m_hrCode;
  }
  text = storage.Text();
  return S_OK;
}

// A key name must be a text: a null entry names no key.
HRESULT CRegistryVirtualMachine::KeyName(UINT index, CCountedString& storage, LPCOLESTR& name) {
  HRESULT hr = ExpandEntryString(index, storage, name);
  return hr == S_FALSE ? E_INVALIDARG : hr;
}

HRESULT CRegistryVirtualMachine::OpenOrCreateEntryKey(HKEY hkParent, UINT index, CRegKey& key) {
  CCountedString storage;
  LPCOLESTR name = nullptr;
  HRESULT hr = KeyName(index, storage, name);
  if (FAILED(hr)) return hr;
  if (key.Open(hkParent, name, KEY_READ | KEY_WRITE) == ERROR_SUCCESS) return S_OK;
  LONG lRes = key.Create(hkParent, name, nullptr, 0, KEY_READ | KEY_WRITE);
  return lRes == ERROR_SUCCESS ? S_OK : FromCode(lRes);
}

// Unregistration: the key, or none when it (or its parent) is missing.
HRESULT CRegistryVirtualMachine::OpenEntryKey(HKEY hkParent, UINT index, CRegKey& key) {
  (void)key.Close();
  CCountedString storage;
  LPCOLESTR name = nullptr;
  HRESULT hr = KeyName(index, storage, name);
  if (FAILED(hr) || hkParent == nullptr) return hr;
  LONG lRes = key.Open(hkParent, name, KEY_READ | KEY_WRITE);
  return lRes == ERROR_SUCCESS || lRes == ERROR_FILE_NOT_FOUND ? S_OK : FromCode(lRes);
}

HRESULT CRegistryVirtualMachine::DeleteEntryKey(HKEY hkParent, UINT index) {
  CCountedString storage;
  LPCOLESTR name = nullptr;
  HRESULT hr = KeyName(index, storage, name);
  if (FAILED(hr) || hkParent == nullptr) return hr;
  CRegKey parent;
  parent.Attach(hkParent);
  LONG lRes = parent.RecurseDeleteKey(name);
  parent.Detach();
  if (lRes == ERROR_SUCCESS || IsMissing(lRes)) return S_OK;
  FGTRACE(traceRegistrar, 0, u"Failed to delete key %s or one of its subkeys\n", name);
  return FromCode(lRes);
}

HRESULT CRegistryVirtualMachine::EntryNumberValue(UINT index, DWORD& number, CCountedString& shown) {
  if (m_program->rgNumbers == nullptr || index >= m_program->nNumbers) return E_INVALIDARG;
  const EntryNumber& entry = m_program->rgNumbers[index];
  shown = u"";
  if (entry.bFromString != 1) {
    number = entry.dwValue;
    return S_OK;
  }
  LPCOLESTR text = nullptr;
  HRESULT hr = ExpandEntryString(entry.dwValue, shown, text);
  if (hr != S_OK) return FAILED(hr) ? hr : E_INVALIDARG;
  if (text != shown.Text()) shown = text;
  ULONG value = 0;
  hr = VarUI4FromStr(shown.Text(), 0, 0, &value);
  number = value;
  return hr;
}

HRESULT CRegistryVirtualMachine::EntryBinaryValue(UINT index, const BYTE*& data, DWORD& bytes, BYTE*& owned,
                                                  CCountedString& shown) {
  if (m_program->rgBinaries == nullptr || index >= m_program->nBinaries) return E_INVALIDARG;
  const EntryBinary& entry = m_program->rgBinaries[index];
  shown = u"";
  if (entry.bFromString != 1) {
    data = static_cast<const BYTE*>(entry.pData);
    bytes = entry.cbData;
    return S_OK;
  }
  LPCOLESTR text = nullptr;
  HRESULT hr = ExpandEntryString(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(entry.pData)), shown, text);
  if (hr != S_OK) return FAILED(hr) ? hr : E_INVALIDARG;
  if (text != shown.Text()) shown = text;
  hr = DecodeHexBytes(shown.Text(), &owned, &bytes);
  data = owned;
  return hr;
}

// Writes one value: A names it (0: the default value of the current key,
// else a named value of the parent), B is its entry in the table of the
// opcode's type.
HRESULT CRegistryVirtualMachine::WriteEntryValue(DWORD word, HKEY hkParent, HKEY hkCurrent) {
  DWORD opcode = EntryOpcodeOf(word);
  UINT a = EntryFieldA(word);
  UINT b = EntryFieldB(word);
  CCountedString nameStorage;
  LPCOLESTR name = nullptr;
  if (a != 0) {
    HRESULT hr = ExpandEntryString(a, nameStorage, name);
    if (FAILED(hr)) return hr;
  }
  HKEY target = a == 0 && hkCurrent != nullptr ? hkCurrent : hkParent;
  LPCOLESTR shownName = name != nullptr ? name : u"default";
  CRegKey key;
  key.Attach(target);
  struct Detacher {
    CRegKey& key;
    ~Detacher() { key.Detach(); }
  } detach{key};

  CCountedString storage;
  LONG lRes = ERROR_SUCCESS;
  if (opcode == OpStringValue || opcode == OpMultiStringValue) {
    LPCOLESTR text = nullptr;
    HRESULT hr = ExpandEntryString(b, storage, text);
    if (hr != S_OK) return FAILED(hr) ? hr : E_INVALIDARG;
    if (opcode == OpStringValue) {
      lRes = key.WriteString(name, text);
      if (lRes == ERROR_SUCCESS) FGTRACE(traceRegistrar, 2, u"Setting Value %s at %s\n", text, shownName);
    } else {
      FGTRACE(traceRegistrar, 2, u"Setting Value %s at %s\n", text, shownName);
      LPOLESTR block = MultiStringBlock(text);
      lRes = block != nullptr ? key.WriteMultiString(name, block) : ERROR_OUTOFMEMORY;
      CoTaskMemFree(block);
    }
  } else if (opcode == OpDwordValue) {
    DWORD number = 0;
    HRESULT hr = EntryNumberValue(b, number, storage);
    if (FAILED(hr)) return hr;
    lRes = key.WriteDword(name, number);
    if (lRes == ERROR_SUCCESS) FGTRACE(traceRegistrar, 2, u"Setting Value %s at %s\n", storage.Text(), shownName);
  } else {
    const BYTE* data = nullptr;
    BYTE* owned = nullptr;
    DWORD bytes = 0;
    HRESULT hr = EntryBinaryValue(b, data, bytes, owned, storage);
    if (SUCCEEDED(hr)) lRes = key.WriteBinary(name, data, bytes);
    CoTaskMemFree(owned);
    if (FAILED(hr)) return hr;
    if (lRes == ERROR_SUCCESS) FGTRACE(traceRegistrar, 2, u"Setting Value %s at %s\n", storage.Text(), shownName);
  }
  return lRes == ERROR_SUCCESS ? S_OK : FromCode(lRes);
}

HRESULT CRegistryVirtualMachine::RunEntryBlock(HKEY hkParent, const DWORD*& pos) {
  CRegKey current;
  bool stays = false;
  DWORD lastKeyWord = 0;
  for (;;) {
    DWORD word = *pos++;
    DWORD opcode = EntryOpcodeOf(word);
    HRESULT hr = S_OK;
    switch (opcode) {
      case OpEnd:
        --pos;  // the program's end is seen by every block up to the top
        return S_OK;
      case OpEndBlock:
        return S_OK;
      case OpNoRemoveKey:
        stays = true;
        if (m_bRegister) hr = OpenOrCreateEntryKey(hkParent, EntryFieldA(word), current);
        break;
      case OpForceRemoveKey:
      case OpKey:
        lastKeyWord = word;
        if (!m_bRegister) {
          hr = OpenEntryKey(hkParent, EntryFieldA(word), current);
          break;
        }
        if (opcode == OpForceRemoveKey) hr = DeleteEntryKey(hkParent, EntryFieldA(word));
        if (SUCCEEDED(hr)) hr = OpenOrCreateEntryKey(hkParent, EntryFieldA(word), current);
        break;
      case OpBeginBlock:
        hr = RunEntryBlock(current.m_hKey, pos);
        if (FAILED(hr) || m_bRegister) break;
        if (stays) {
          stays = false;
          break;
        }
        (void)current.Close();  // not held open while it goes
        if (lastKeyWord != 0) hr = DeleteEntryKey(hkParent, EntryFieldA(lastKeyWord));
        break;
      case OpRoot:
        return RunEntryBlock(PredefinedRoot(EntryFieldA(word)), pos);
      case OpStringValue:
      case OpMultiStringValue:
      case OpDwordValue:
      case OpBinaryValue:
        if (m_bRegister) hr = WriteEntryValue(word, hkParent, current.m_hKey);
        break;
      default:
        FG_ASSERT_TEXT(false, "unknown entry opcode", kSource);
        hr = E_FAIL;
        break;
    }
    if (FAILED(hr)) return hr;
  }
}

HRESULT CRegistryVirtualMachine::RunEntryProgram(const EntryProgram& program, BOOL bRegister) {
  FG_ASSERT_TEXT(program.pOps != nullptr && program.rgStrings != nullptr, "pOps != 0 && rgStrings != 0", kSource);
  if (program.pOps == nullptr || program.rgStrings == nullptr) return E_INVALIDARG;
  m_program = &program;
  m_bRegister = bRegister;
  HRESULT hr = S_OK;
  // The holders raise their failures (a text that cannot be copied for want
  // of memory); every exception becomes the run's failure alike.
  try {
    for (const DWORD* pos = program.pOps; SUCCEEDED(hr) && *pos != 0;) {
      DWORD word = *pos++;
      if (EntryOpcodeOf(word) != OpRoot) {
        FG_ASSERT_TEXT(false, "the program's top level holds only root blocks", kSource);
        hr = E_FAIL;
        break;
      }
      hr = RunEntryBlock(PredefinedRoot(EntryFieldA(word)), pos);
    }
  } catch (const CFrameException& e) {
    hr = e.m_hrCode;
  } catch (const CComError& e) {
    hr = e.m_hrCode;
  } catch (...) {
    hr = E_FAIL;
  }
  m_program = nullptr;
  return hr;
}

HRESULT AddStandardVariables(CRegistryVirtualMachine* pEngine) {
  if (_pFrameModule == nullptr) return E_UNEXPECTED;  // no module object: nothing to register for
  constexpr DWORD kPathChars = 260;
  WCHAR path[kPathChars];
  HINSTANCE module = FrameThisModule();
  DWORD length = GetModuleFileNameW(module, path, kPathChars);
  if (length == 0) return LastErrorResult();
  if (length == kPathChars) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

  HRESULT hr = S_OK;
  if (module != nullptr && module != GetModuleHandleW(nullptr)) {
    hr = pEngine->AddVariable(u"Module", path);
  } else {
    WCHAR quoted[kPathChars + 2];
    quoted[0] = u'"';
    for (DWORD i = 0; i < length; ++i) quoted[i + 1] = path[i];
    quoted[length + 1] = u'"';
    quoted[length + 2] = 0;
    hr = pEngine->AddVariable(u"Module", quoted);
  }
  if (FAILED(hr)) return hr;
  hr = pEngine->AddVariable(u"Module_Raw", path);
  if (FAILED(hr)) return hr;

  LPOLESTR libid = nullptr;
  hr = StringFromCLSID(CFrameModule::m_libid, &libid);
  if (FAILED(hr)) return hr;
  hr = pEngine->AddVariable(u"MODULEGUID", libid);
  CoTaskMemFree(libid);
  if (FAILED(hr)) return hr;

  SHFILEINFOW info{};
  bool isProgram = SHGetFileInfoW(path, 0, &info, sizeof info, SHGFI_EXETYPE) != 0;
  hr = pEngine->AddVariable(u"MODULETYPE", isProgram ? u"LocalServer32" : u"InprocServer32");
  if (FAILED(hr)) return hr;
  return _pFrameModule->AddModuleVariables(pEngine);
}
