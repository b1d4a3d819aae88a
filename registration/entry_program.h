// The class registration engine: a compiled entry program of 32-bit
// operation words, with tables of strings, numbers and binary data, run in
// register or unregister mode.
//
// A word holds the opcode in bits 28-31, field A in bits 14-27 and field B
// in bits 0-13. The program is a sequence of OpRoot blocks ended by the
// word 0; each block runs up to its OpEndBlock. Registration opens or
// creates keys and writes values; unregistration removes each key opened
// by OpKey once its block has run, with everything beneath it, unless the
// key was marked to stay (OpNoRemoveKey). Missing keys are skipped. The
// first failure ends the run; what was written before it stays.
#pragma once

#include "fgplatform/win32.h"
#include "registration/registrar_base.h"
#include "registration/registrar_variables.h"

class CRegKey;
class CCountedString;

enum EntryOpcode : DWORD {
  OpEnd = 0,
  OpNoRemoveKey = 1,
  OpForceRemoveKey = 2,
  OpKey = 3,
  OpBeginBlock = 5,
  OpEndBlock = 6,
  OpRoot = 7,
  OpStringValue = 8,
  OpMultiStringValue = 9,
  OpDwordValue = 10,
  OpBinaryValue = 11,
};

constexpr DWORD EntryWord(DWORD opcode, DWORD a = 0, DWORD b = 0) {
  return (opcode << 28) | ((a & 0x3FFF) << 14) | (b & 0x3FFF);
}
constexpr DWORD EntryOpcodeOf(DWORD word) { return word >> 28; }
constexpr DWORD EntryFieldA(DWORD word) { return (word >> 14) & 0x3FFF; }
constexpr DWORD EntryFieldB(DWORD word) { return word & 0x3FFF; }

// bExpand 1: the text holds %NAME% variables (and "%%" for "%").
struct EntryString {
  LPCOLESTR szText;
  BYTE bExpand;
};

// bFromString 1: dwValue is the index of a string whose expansion is the
// number's text.
struct EntryNumber {
  DWORD dwValue;
  BYTE bFromString;
};

// bFromString 1: pData holds the index of a string whose expansion is the
// bytes in hexadecimal; otherwise pData and cbData are the bytes.
struct EntryBinary {
  const void* pData;
  DWORD cbData;
  BYTE bFromString;
};

// A program and its tables, with the number of entries of each table: an
// index past a table's end answers E_INVALIDARG.
struct EntryProgram {
  const DWORD* pOps;
  const EntryString* rgStrings;
  UINT nStrings;
  const EntryNumber* rgNumbers;
  UINT nNumbers;
  const EntryBinary* rgBinaries;
  UINT nBinaries;
};

// The interface identifier under which the engine hands itself out.
inline constexpr IID IID_IRegistrarBase = {0x5B4D35E2, 0x8C3A, 0x4F6B, {0x9E, 0x21, 0x7D, 0x0C, 0x4A, 0x58, 0xE1, 0x93}};

class CRegistryVirtualMachine : public IRegistrarBase {
 public:
  CRegistryVirtualMachine() = default;
  virtual ~CRegistryVirtualMachine() { (void)ClearVariables(); }
  CRegistryVirtualMachine(const CRegistryVirtualMachine&) = delete;
  CRegistryVirtualMachine& operator=(const CRegistryVirtualMachine&) = delete;

  // Lives on the stack of one call: hands out itself without counting.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP AddVariable(LPCOLESTR key, LPCOLESTR item) override;
  STDMETHODIMP ClearVariables() override;

  [[nodiscard]] HRESULT RunEntryProgram(const EntryProgram& program, BOOL bRegister);
  // Entry `index` of the string table, expanded when its flag says so:
  // S_OK with the text (in `storage` when expanded), S_FALSE for a null
  // entry, E_FAIL for a missing variable or closing "%".
  [[nodiscard]] HRESULT ExpandEntryString(UINT index, CCountedString& storage, LPCOLESTR& text);

 private:
  [[nodiscard]] HRESULT RunEntryBlock(HKEY hkParent, const DWORD*& pos);
  [[nodiscard]] HRESULT KeyName(UINT index, CCountedString& storage, LPCOLESTR& name);
  [[nodiscard]] HRESULT OpenOrCreateEntryKey(HKEY hkParent, UINT index, CRegKey& key);
  [[nodiscard]] HRESULT OpenEntryKey(HKEY hkParent, UINT index, CRegKey& key);
  [[nodiscard]] HRESULT DeleteEntryKey(HKEY hkParent, UINT index);
  [[nodiscard]] HRESULT WriteEntryValue(DWORD word, HKEY hkParent, HKEY hkCurrent);
  [[nodiscard]] HRESULT EntryNumberValue(UINT index, DWORD& number, CCountedString& shown);
  [[nodiscard]] HRESULT EntryBinaryValue(UINT index, const BYTE*& data, DWORD& bytes, BYTE*& owned,
                                         CCountedString& shown);

  CRegistrarVariables m_variables;
  const EntryProgram* m_program = nullptr;
  BOOL m_bRegister = FALSE;
};

// "Module", "Module_Raw", "MODULEGUID", "MODULETYPE" and the module's own
// variables, in that order; the first failure is the answer.
[[nodiscard]] HRESULT AddStandardVariables(CRegistryVirtualMachine* pEngine);
