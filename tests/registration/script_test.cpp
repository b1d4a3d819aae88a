// Registry scripts run through the registrar against a temporary registry:
// the lexical rules, the first pass, both modes of the blocks, the clean-up
// of a failed registration, and scripts written as people write them.
#include <algorithm>
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_fault_loop.h"
#include "fgplatform/test_registry.h"
#include "registration/regobject.h"
#include "registration/regscript.h"

namespace {

class Script : public fgtest::BaselineTest {
 protected:
  void TearDown() override {
    SetRegistrarPerUser(false);
    m_registrar.ClearVariables();
    BaselineTest::TearDown();
  }
  HRESULT Register(const std::u16string& script) { return m_registrar.RunScriptText(script.c_str(), TRUE); }
  HRESULT Unregister(const std::u16string& script) { return m_registrar.RunScriptText(script.c_str(), FALSE); }
  static std::u16string Text(HKEY root, const char16_t* path, const char16_t* name = nullptr) {
    return fgtest::RegistryText(root, path, name);
  }
  static std::string Bytes(const char16_t* path, const char16_t* name, DWORD* type = nullptr) {
    return fgtest::RegistryBytes(HKEY_CLASSES_ROOT, path, name, type);
  }
  static bool Exists(const char16_t* path) { return fgtest::ClassesKeyExists(path); }
  bool Traced(const std::string& line) {
    std::vector<std::string> lines = TraceLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  fgtest::TemporaryRegistry m_registry;
  CRegObject m_registrar;
};

TEST_F(Script, NoRemoveKeepsTheKeyWhileItsChildrenGo) {
  const std::u16string script = u"HKCR\r\n{\r\n\tNoRemove AppID\r\n\t{\r\n\t\tx = s 'y'\r\n\t}\r\n}\r\n";
  std::string empty = fgtest::RegistryDump();
  ASSERT_EQ(Register(script), S_OK);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"AppID\\x"), u"y");
  ASSERT_EQ(Unregister(script), S_OK);
  EXPECT_FALSE(Exists(u"AppID\\x"));
  EXPECT_TRUE(Exists(u"AppID")) << "marked to stay";

  // Unregistering what is already gone succeeds and changes nothing.
  std::string before = fgtest::RegistryDump();
  EXPECT_EQ(Unregister(u"HKCR { Gone { Deeper = s 'v' { val n = s 'w' } } }"), S_OK);
  EXPECT_EQ(fgtest::RegistryDump(), before);
  EXPECT_NE(before, empty);
}

TEST_F(Script, QuotesVariablesAndPercentSigns) {
  ASSERT_EQ(m_registrar.AddVariable(u"Who", u"Fg"), S_OK);
  ASSERT_EQ(Register(u"HKCR { 'a''b' = s '100%% %WHO%' }"), S_OK);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"a'b"), u"100% Fg") << "'' is one quote, %% one percent sign";
  ASSERT_EQ(Unregister(u"HKCR { 'a''b' }"), S_OK);
  EXPECT_FALSE(Exists(u"a'b"));

  std::string before = fgtest::RegistryDump();
  EXPECT_EQ(Register(u"HKCR { Half = s '50%' }"), DISP_E_EXCEPTION);
  EXPECT_TRUE(Traced("Error no closing % found\n"));
  std::u16string name31(31, u'N'), name32(32, u'N');
  EXPECT_EQ(Register(u"HKCR { K = s '%" + name31 + u"%' }"), DISP_E_EXCEPTION) << "31 characters are looked up";
  EXPECT_TRUE(Traced("Map Entry not found\n"));
  ASSERT_EQ(m_registrar.AddVariable(name31.c_str(), u"found"), S_OK);
  EXPECT_EQ(Register(u"HKCR { K31 = s '%" + name31 + u"%' }"), S_OK);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"K31"), u"found");
  EXPECT_EQ(Unregister(u"HKCR { K31 }"), S_OK);
  ASSERT_EQ(m_registrar.AddVariable(name32.c_str(), u"never"), S_OK);
  EXPECT_EQ(Register(u"HKCR { K = s '%" + name32 + u"%' }"), E_FAIL) << "32 characters are too many";
  EXPECT_EQ(fgtest::RegistryDump(), before) << "a failed first pass writes nothing";
}

TEST_F(Script, ValueTypesAndTheirFaults) {
  ASSERT_EQ(Register(u"HKCR { V { val b = b '0a1B' val d = d '&H1F' val n = d 42 val m = m 'one\\0two' } }"), S_OK);
  DWORD type = 0;
  EXPECT_EQ(Bytes(u"V", u"b", &type), std::string("\x0a\x1b", 2));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(Bytes(u"V", u"d"), std::string("\x1f\0\0\0", 4)) << "&H numbers are hexadecimal";
  EXPECT_EQ(Bytes(u"V", u"n"), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(Bytes(u"V", u"m", &type), std::string("o\0n\0e\0\0\0t\0w\0o\0\0\0\0\0", 18));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));

  std::string before = fgtest::RegistryDump();
  EXPECT_EQ(Register(u"HKCR { Odd { val b = b 'abc' } }"), E_FAIL);
  EXPECT_TRUE(Traced("Binary Data does not fall on BYTE boundries\n"));
  EXPECT_EQ(Register(u"HKCR { Typed = x 'v' }"), DISP_E_EXCEPTION);
  EXPECT_TRUE(Traced("x Type not supported\n"));
  EXPECT_EQ(Register(u"HKCR { Typed = sz 'v' }"), DISP_E_EXCEPTION);
  EXPECT_EQ(fgtest::RegistryDump(), before) << "each failed block was cleaned up";
  EXPECT_EQ(Unregister(u"HKCR { V { val b = b '' val d = d 0 val n = d 0 val m = m '' } }"), S_OK);
  EXPECT_FALSE(Exists(u"V"));
}

TEST_F(Script, ForceRemoveAndDeleteSpareTheProtectedNames) {
  ASSERT_EQ(Register(u"HKCR { CLSID { Kept = s 'k' } Old { Inner } }"), S_OK);
  ASSERT_EQ(Register(u"HKCR { ForceRemove CLSID { Added = s 'a' } ForceRemove Old { New } Delete Stale }"), S_OK);
  EXPECT_TRUE(Exists(u"CLSID\\Kept")) << "CLSID is protected";
  EXPECT_TRUE(Exists(u"CLSID\\Added")) << "the block still ran under the existing key";
  EXPECT_FALSE(Exists(u"Old\\Inner")) << "an ordinary name is removed and made anew";
  EXPECT_TRUE(Exists(u"Old\\New"));
  EXPECT_EQ(Register(u"HKCR { Delete 'a\\b' }"), DISP_E_EXCEPTION) << "names hold no path";
  EXPECT_EQ(Register(u"HKCR { 'a\\b' }"), DISP_E_EXCEPTION);
  EXPECT_EQ(Register(u"HKCR { '' }"), DISP_E_EXCEPTION) << "an empty name is not a subkey";
  EXPECT_EQ(Unregister(u"HKCR { '' }"), DISP_E_EXCEPTION);
  EXPECT_TRUE(Exists(u"CLSID\\Kept"));
}

// After ForceRemove or Delete comes a key's name, even when it is spelt as a
// keyword; a deleted key has no block (it would be written anew).
TEST_F(Script, TheNameAfterForceRemoveIsAKeyAndDeleteHasNoBlock) {
  ASSERT_EQ(Register(u"HKCR { Fg.Top { ForceRemove Val { a } ForceRemove NoRemove x { } } }"), S_OK);
  EXPECT_TRUE(Exists(u"Fg.Top\\Val\\a")) << "a key named Val, with its block";
  EXPECT_TRUE(Exists(u"Fg.Top\\NoRemove")) << "a key named NoRemove";
  EXPECT_TRUE(Exists(u"Fg.Top\\x")) << "and the entry after it";
  ASSERT_EQ(Unregister(u"HKCR { Fg.Top { ForceRemove Val { a } ForceRemove NoRemove x { } } }"), S_OK);
  EXPECT_FALSE(Exists(u"Fg.Top")) << "every key of the script went";

  std::string before = fgtest::RegistryDump();
  EXPECT_EQ(Register(u"HKCR { Fg.Del { Delete k { inner } } }"), DISP_E_EXCEPTION);
  EXPECT_EQ(fgtest::RegistryDump(), before) << "nothing written";
  ASSERT_EQ(Register(u"HKCR { Fg.Del { k { inner } } }"), S_OK);
  EXPECT_EQ(Unregister(u"HKCR { Fg.Del { Delete k { inner } } }"), DISP_E_EXCEPTION);
  EXPECT_EQ(Register(u"HKCR { Fg.Del { Delete k = s 'v' } }"), S_OK) << "a value may follow the name";
  EXPECT_FALSE(Exists(u"Fg.Del\\k"));
  ASSERT_EQ(Unregister(u"HKCR { Fg.Del }"), S_OK);
}

TEST_F(Script, RootsAndTokenLengths) {
  EXPECT_EQ(Register(u"hkcr { Lower }"), S_OK) << "roots match in any case";
  EXPECT_TRUE(Exists(u"Lower"));
  EXPECT_EQ(Register(u"HKEY_CURRENT_USER { Mine }"), S_OK);
  EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Mine"), u"<no value>");
  EXPECT_EQ(Register(u"HKXX { Nowhere }"), DISP_E_EXCEPTION);
  EXPECT_TRUE(Traced("HKeyFromString failed on HKXX\n"));
  EXPECT_EQ(Register(u"HKCR Lower"), DISP_E_EXCEPTION);
  EXPECT_TRUE(Traced("Syntax error, expecting a {, found a Lower\n"));
  EXPECT_EQ(Register(u"HKCR { Open = s 'never closed }"), DISP_E_EXCEPTION);
  EXPECT_TRUE(Traced("NextToken : Unexpected End of File\n"));
  EXPECT_EQ(Register(u"HKCR { Unclosed"), DISP_E_EXCEPTION);

  std::u16string fits(kMaxScriptToken, u'x');
  ASSERT_EQ(Register(u"HKCR { Long = s '" + fits + u"' }"), S_OK);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Long").size(), 4094u);
  std::u16string over(kMaxScriptToken + 1, u'x');
  EXPECT_EQ(Register(u"HKCR { TooLong = s '" + over + u"' }"), DISP_E_EXCEPTION);
  EXPECT_EQ(Register(u"HKCR { TooLong = s " + over + u" }"), DISP_E_EXCEPTION) << "bare tokens too";
  EXPECT_FALSE(Exists(u"TooLong"));
}

TEST_F(Script, AFailedRegistrationRemovesItsOwnRootBlockOnly) {
  ASSERT_EQ(Register(u"HKCR { Before = s 'b' }"), S_OK);
  EXPECT_EQ(Register(u"HKCR { First = s '1' } HKCR { NoRemove CLSID { Second { Third = s '3' } Bad = q 'x' } } "
                     u"HKCR { Later }"),
            DISP_E_EXCEPTION);
  EXPECT_TRUE(Traced("Failed to register, cleaning up!\n"));
  EXPECT_TRUE(Exists(u"First")) << "earlier root blocks stay registered";
  EXPECT_FALSE(Exists(u"CLSID\\Second")) << "the failed block is undone";
  EXPECT_TRUE(Exists(u"CLSID")) << "except what it protects";
  EXPECT_FALSE(Exists(u"Later")) << "later blocks do not run";
  EXPECT_TRUE(Exists(u"Before"));
}

TEST_F(Script, ARegistryWriteFailureLeavesTheRegistryAsItWas) {
  const std::u16string script =
      u"HKCR { Fg1 = s 'one' { val a = s 'x' val b = d 7 Sub { Deeper = b '00ff' } } }";
  std::string before = fgtest::RegistryDump();
  auto run = [&] { return static_cast<long>(Register(script)); };
  std::string registered;
  auto check = [&](const fgtest::FaultRun& r) {
    if (r.succeeded) {
      if (registered.empty()) registered = fgtest::RegistryDump();
      EXPECT_EQ(fgtest::RegistryDump(), registered) << "success means everything";
      EXPECT_EQ(Unregister(script), S_OK);
    } else if (!r.persistent) {
      // One failed write is cleaned up by the unregistration pass; when
      // every write fails the clean-up cannot write either.
      EXPECT_EQ(fgtest::RegistryDump(), before) << "failure means nothing changed";
    }
    (void)RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Fg1");
    before = fgtest::RegistryDump();
  };
  fgtest::FaultLoopCounts counts = fgtest::RunFaultLoop(
      fgtest::Service::RegistryWrite, S_OK, HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED), run, check);
  EXPECT_GT(counts.once, 5);
  EXPECT_FALSE(registered.empty());
}

TEST_F(Script, NestingIsBoundedWithoutExhaustingTheStack) {
  std::u16string deep = u"HKCR {";
  for (int i = 0; i < 100000; ++i) deep += u" K {";
  for (int i = 0; i < 100000; ++i) deep += u" }";
  deep += u" }";
  std::string before = fgtest::RegistryDump();
  EXPECT_EQ(Register(deep), DISP_E_EXCEPTION);
  EXPECT_EQ(fgtest::RegistryDump(), before) << "the clean-up removed every level it made";
  EXPECT_EQ(Unregister(deep), DISP_E_EXCEPTION);

  std::u16string limit = u"HKCR {";
  for (int i = 0; i < kMaxScriptNesting - 1; ++i) limit += u" K {";
  limit += u" K = s 'bottom'";
  for (int i = 0; i < kMaxScriptNesting; ++i) limit += u" }";
  ASSERT_EQ(Register(limit), S_OK) << "as deep as the registry nests keys";
  ASSERT_EQ(Unregister(limit), S_OK);
  EXPECT_FALSE(Exists(u"K"));
  std::u16string emptyBlock = limit;
  emptyBlock.insert(emptyBlock.find(u"'bottom'") + 8, u" { }");
  ASSERT_EQ(Register(emptyBlock), S_OK) << "the deepest key may have an empty block";
  ASSERT_EQ(Unregister(emptyBlock), S_OK);
  EXPECT_FALSE(Exists(u"K"));
  std::u16string tooDeep = limit;
  tooDeep.insert(tooDeep.find(u"'bottom'") + 8, u" { L }");
  EXPECT_EQ(Register(tooDeep), DISP_E_EXCEPTION) << "but not a key below it";
  EXPECT_FALSE(Exists(u"K"));
}

TEST_F(Script, ScriptsAsPeopleWriteThem) {
  ASSERT_EQ(m_registrar.AddVariable(u"ROOT", u"HKCR"), S_OK);
  ASSERT_EQ(m_registrar.AddVariable(u"NAME", u"Fg.Whole Key"), S_OK);
  const std::u16string scripts[] = {
      u"HKCR\n{\n  Fg.Lf = s 'lf'\n}\n",
      u"HKCR\r\n{\r\n\tFg.Crlf\r\n\t{\r\n\t    val v = s 'crlf'\r\n\t}\r\n}\r\n",
      u"HKCR {\t  Fg.Mixed \t= s\t'tabs' }",
      u"HKCR { 'Fg.Glued'{ val v = s 'x'} }",
      u"HKCR { Fg.NoFinalNewline }",
      u"%ROOT% { '%NAME%' = s 'whole' }",
      u"HKCR { Fg.Hex { val h = d '&HFF' } }",
      u"HKCR { Fg.Quote = s 'it''s ''quoted''' }",
      u"HKCR { Fg.One } HKCU { Fg.Two } HKCR { NoRemove Fg.Three { Fg.Four } }",
      u"HKCR { Fg.Del { Delete Fg.Gone = s 'v' } }",
      u"  \r\n\t ",
  };
  std::string before = fgtest::RegistryDump();
  for (const std::u16string& script : scripts) {
    SCOPED_TRACE(std::string(script.begin(), script.end()));
    ASSERT_EQ(Register(script), S_OK);
    if (script.find_first_not_of(u" \r\n\t") != std::u16string::npos) {
      EXPECT_NE(fgtest::RegistryDump(), before);
    }
    ASSERT_EQ(Unregister(script), S_OK);
  }
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Fg.Three"), u"<no value>") << "kept by NoRemove";
  ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Fg.Three"), ERROR_SUCCESS);
  EXPECT_EQ(fgtest::RegistryDump(), before) << "every script removed what it wrote";

  ASSERT_EQ(Register(scripts[7]), S_OK);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Fg.Quote"), u"it's 'quoted'");
  ASSERT_EQ(Unregister(scripts[7]), S_OK);
  // A brace written against a bare name is part of the name.
  ASSERT_EQ(Register(u"HKCR { Fg.Bare{ }"), S_OK);
  EXPECT_TRUE(Exists(u"Fg.Bare{"));
  ASSERT_EQ(Unregister(u"HKCR { Fg.Bare{ }"), S_OK);
  EXPECT_EQ(Register(u"HKCR { Fg.Bare{ } }"), DISP_E_EXCEPTION) << "the extra brace is no root";
  ASSERT_EQ(Unregister(u"HKCR { Fg.Bare{ }"), S_OK);
  EXPECT_EQ(fgtest::RegistryDump(), before);
}

TEST_F(Script, PerUserRegistrationMovesTheClassesRootIntoTheUsersHive) {
  SetRegistrarPerUser(true);
  CScriptParser parser(&m_registrar);
  LPOLESTR expanded = nullptr;
  ASSERT_EQ(parser.ExpandScript(u"HKCR { 'HKCR{''}' = s 'v' } HKLM { K }", &expanded), S_OK);
  EXPECT_EQ(std::u16string(expanded),
            u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { 'HKCR{''}' = s 'v' \r\n\t}\r\n}\r\n} HKLM { K }");
  CoTaskMemFree(expanded);
  ASSERT_EQ(Register(u"HKCR { Fg.User = s 'mine' }"), S_OK);
  EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Software\\Classes\\Fg.User"), u"mine");
  EXPECT_FALSE(Exists(u"Fg.User"));
  ASSERT_EQ(Unregister(u"HKCR { Fg.User = s 'mine' }"), S_OK);
  EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Software\\Classes\\Fg.User"), u"<no key>");
  EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Software"), u"<no key>") << "emptied, the user's classes keys go too";
}

}  // namespace
