// The class registration engine: programs of its own against a temporary
// registry, and the dialog helper's program run from this test program.
#include <algorithm>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "frame/class_entries.h"
#include "frame/object_map.h"
#include "registration/entry_program.h"
#include "registration/server_registration.h"

namespace {

constexpr DWORD W(DWORD opcode, DWORD a = 0, DWORD b = 0) { return EntryWord(opcode, a, b); }

class EntryPrograms : public fgtest::BaselineTest {
 protected:
  void TearDown() override {
    (void)m_engine.ClearVariables();
    BaselineTest::TearDown();
  }
  HRESULT Run(const DWORD* ops, BOOL bRegister) {
    EntryProgram program = {ops, m_strings, sizeof m_strings / sizeof m_strings[0], m_numbers, 2, m_binaries, 2};
    return m_engine.RunEntryProgram(program, bRegister);
  }
  static std::string Bytes(const char16_t* path, const char16_t* name) {
    return fgtest::RegistryBytes(HKEY_CLASSES_ROOT, path, name);
  }
  static std::string Wide(const char* text) {
    std::string out;
    for (const char* p = text;; ++p) {
      out += *p;
      out += '\0';
      if (*p == 0) return out;
    }
  }
  bool Exists(const char16_t* path) { return fgtest::ClassesKeyExists(path); }

  fgtest::TemporaryRegistry m_registry;
  CRegistryVirtualMachine m_engine;
  const BYTE m_raw[3] = {1, 2, 3};
  EntryString m_strings[10] = {
      {u"", 0},         {u"Fg.Key", 0},           {u"%Value% 100%%", 1}, {u"Sub", 0},  {u"%missing%", 1},
      {u"n", 0},        {u"%HexText%", 1},        {u"%Number%", 1},      {nullptr, 0}, {u"one\\0two", 0},
  };
  EntryNumber m_numbers[2] = {{7, 0}, {7, 1}};
  EntryBinary m_binaries[2] = {{m_raw, 3, 0}, {reinterpret_cast<const void*>(6), 0, 1}};
};

TEST_F(EntryPrograms, ValuesOfEveryTableAndVariablesWithoutCase) {
  ASSERT_EQ(m_engine.AddVariable(u"VALUE", u"expanded"), S_OK);
  ASSERT_EQ(m_engine.AddVariable(u"hextext", u"0a1B"), S_OK);
  ASSERT_EQ(m_engine.AddVariable(u"NUMBER", u"&H10"), S_OK);
  const DWORD ops[] = {W(7), W(3, 1), W(8, 0, 2), W(5), W(10, 5, 0), W(11, 3, 0), W(3, 3), W(5), W(6), W(6), W(6), 0};
  ASSERT_EQ(Run(ops, TRUE), S_OK);
  EXPECT_EQ(Bytes(u"Fg.Key", nullptr), Wide("expanded 100%")) << "variables match in any case; %% is one %";
  EXPECT_EQ(Bytes(u"Fg.Key", u"n"), std::string("\7\0\0\0", 4)) << "a named value goes to the block's key";
  EXPECT_EQ(Bytes(u"Fg.Key", u"Sub"), std::string("\1\2\3", 3));
  EXPECT_TRUE(Exists(u"Fg.Key\\Sub"));

  const DWORD fromStrings[] = {W(7), W(3, 1), W(5), W(10, 5, 1), W(11, 3, 1), W(9, 6, 9), W(6), W(6), 0};
  ASSERT_EQ(Run(fromStrings, TRUE), S_OK);
  EXPECT_EQ(Bytes(u"Fg.Key", u"n"), std::string("\x10\0\0\0", 4));
  EXPECT_EQ(Bytes(u"Fg.Key", u"Sub"), std::string("\x0a\x1b", 2));
  EXPECT_EQ(Bytes(u"Fg.Key", u"0a1B"), std::string("o\0n\0e\0\0\0t\0w\0o\0\0\0\0\0", 18)) << "names expand too";

  ASSERT_EQ(Run(ops, FALSE), S_OK);
  EXPECT_FALSE(Exists(u"Fg.Key")) << "unregistration removes the key with all beneath it";
  EXPECT_EQ(Run(ops, FALSE), S_OK) << "missing keys are skipped";
}

TEST_F(EntryPrograms, AFailedExpansionWritesNothingForTheValue) {
  const DWORD ops[] = {W(7), W(3, 1), W(8, 0, 4), W(5), W(6), W(6), 0};
  EXPECT_EQ(Run(ops, TRUE), E_FAIL);
  EXPECT_EQ(Bytes(u"Fg.Key", nullptr), "<no value>");
  EXPECT_TRUE(Exists(u"Fg.Key")) << "what was written before the failure stays";
  const EntryString unclosed = {u"50%", 1};
  m_strings[4] = unclosed;
  EXPECT_EQ(Run(ops, TRUE), E_FAIL);
  std::vector<std::string> lines = TraceLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Error : closing '%' found\n"), lines.end());
  std::u16string name32 = u"%" + std::u16string(32, u'N') + u"%";
  ASSERT_EQ(m_engine.AddVariable(name32.substr(1, 32).c_str(), u"long"), S_OK);
  m_strings[4] = {name32.c_str(), 1};
  EXPECT_EQ(Run(ops, TRUE), E_FAIL) << "names of 32 characters are too long";
  ASSERT_EQ(Run(ops, FALSE), S_OK);
}

// A number written as plain text is copied into a holder, which raises when
// it cannot allocate: the run answers the code, whichever allocation fails.
TEST_F(EntryPrograms, AHolderThatCannotCopyFailsTheRunWithItsCode) {
  m_strings[8] = {u"42", 0};
  m_numbers[1] = {8, 1};
  const DWORD ops[] = {W(7), W(3, 1), W(5), W(10, 5, 1), W(6), W(6), 0};
  ASSERT_EQ(Run(ops, TRUE), S_OK);
  EXPECT_EQ(Bytes(u"Fg.Key", u"n"), std::string("\x2a\0\0\0", 4));
  fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(
      fgtest::Service::Heap, S_OK, {E_OUTOFMEMORY, HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY)},
      [&] { return static_cast<long>(Run(ops, TRUE)); });
  EXPECT_GT(counts.once, 0);
  ASSERT_EQ(Run(ops, FALSE), S_OK);
  Reports();
}

TEST_F(EntryPrograms, MalformedProgramsAreRefused) {
  const DWORD notRoot[] = {W(3, 1), 0};
  EXPECT_EQ(Run(notRoot, TRUE), E_FAIL);
  const DWORD badOpcode[] = {W(7), W(4), W(6), 0};
  EXPECT_EQ(Run(badOpcode, TRUE), E_FAIL);
  const DWORD pastTable[] = {W(7), W(3, 200), W(6), 0};
  EXPECT_EQ(Run(pastTable, TRUE), E_INVALIDARG);
  const DWORD nullName[] = {W(7), W(3, 8), W(6), 0};
  EXPECT_EQ(Run(nullName, TRUE), E_INVALIDARG) << "a key needs a name";
  EntryProgram none = {nullptr, m_strings, 10, nullptr, 0, nullptr, 0};
  EXPECT_EQ(m_engine.RunEntryProgram(none, TRUE), E_INVALIDARG);
  EXPECT_EQ(Reports().size(), 3u) << "three debug assertions";
  EXPECT_EQ(fgtest::RegistryDump(HKEY_CLASSES_ROOT), "[]\n");

  void* self = nullptr;
  EXPECT_EQ(m_engine.QueryInterface(IID_IRegistrarBase, &self), S_OK);
  EXPECT_EQ(self, static_cast<IRegistrarBase*>(&m_engine));
  EXPECT_EQ(m_engine.QueryInterface(IID_IDispatch, &self), E_NOINTERFACE);
  EXPECT_EQ(self, nullptr);
  EXPECT_EQ(m_engine.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(m_engine.AddRef(), 1u);
  EXPECT_EQ(m_engine.Release(), 1u);
}

TEST_F(EntryPrograms, TheClassProgramOnlyPartlyThereIsRemovedWithoutError) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Farrowgate.DialogHelper.1\\CLSID", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            0);
  RegCloseKey(key);
  EXPECT_EQ(RegisterClassEntries(FALSE), S_OK);
  EXPECT_EQ(fgtest::RegistryDump(HKEY_CLASSES_ROOT), "[]\n");
  EXPECT_EQ(RegisterClassEntries(FALSE), S_OK) << "nothing registered";
}

TEST_F(EntryPrograms, RegisteredFromAProgramTheServerIsALocalOne) {
  // This test program is the module here: a program registers its class
  // as a local server, with its path quoted.
  ASSERT_EQ(RegisterObjectMap(&FrameComModule(), FALSE), S_OK);
  char16_t path[512];
  DWORD n = GetModuleFileNameW(nullptr, path, 512);
  std::string quoted = "\"" + std::string(path, path + n) + "\"";
  EXPECT_EQ(Bytes(u"CLSID\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}\\LocalServer32", nullptr), Wide(quoted.c_str()));
  EXPECT_FALSE(Exists(u"CLSID\\{4C3A0C4C-1D37-4C85-81C5-CD3FFDB59C65}\\InprocServer32"));
  ASSERT_EQ(UnregisterObjectMap(&FrameComModule(), FALSE), S_OK);
  EXPECT_EQ(fgtest::RegistryDump(HKEY_CLASSES_ROOT), "[]\n[\\CLSID]\n");
  EXPECT_EQ(RegisterObjectMap(nullptr, FALSE), E_INVALIDARG);
  EXPECT_EQ(Reports().size(), 1u);
}

class ClassCategories : public fgtest::BaselineTest {
 protected:
  fgtest::TemporaryRegistry m_registry;
};

TEST_F(ClassCategories, ComeAndGoWithTheirContainerKeys) {
  const CLSID clsid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
  const CATID safe = {0xAAAAAAAA, 0x0001, 0x0001, {1, 1, 1, 1, 1, 1, 1, 1}};
  const CATID needed = {0xBBBBBBBB, 0x0002, 0x0002, {2, 2, 2, 2, 2, 2, 2, 2}};
  const ClassCategoryEntry table[] = {{CategoryImplemented, &safe}, {CategoryRequired, &needed}, {CategoryTableEnd, nullptr}};
  EXPECT_EQ(UpdateClassCategories(clsid, table, TRUE), S_OK) << "without the component runtime the categories are skipped";
  EXPECT_EQ(fgtest::RegistryDump(HKEY_CLASSES_ROOT), "[]\n");

  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  ASSERT_EQ(UpdateClassCategories(clsid, table, TRUE), S_OK);
  EXPECT_TRUE(fgtest::ClassesKeyExists(
      u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Implemented Categories\\{AAAAAAAA-0001-0001-0101-010101010101}"));
  EXPECT_TRUE(fgtest::ClassesKeyExists(
      u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Required Categories\\{BBBBBBBB-0002-0002-0202-020202020202}"));
  ASSERT_EQ(UpdateClassCategories(clsid, table, FALSE), S_OK);
  EXPECT_EQ(fgtest::RegistryDump(HKEY_CLASSES_ROOT), "[]\n[\\CLSID]\n[\\CLSID\\{11111111-2222-3333-4444-555555555555}]\n")
      << "the emptied category keys go too";
  EXPECT_EQ(UpdateClassCategories(clsid, nullptr, TRUE), S_OK);
  EXPECT_EQ(UpdateClassCategories(GUID_NULL, table, TRUE), S_OK);
  EXPECT_EQ(Reports().size(), 1u) << "a null class is asserted";
  CoUninitialize();
}

}  // namespace
