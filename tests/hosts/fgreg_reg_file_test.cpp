// The registry tool's .reg files: export in the standard form, import of
// that form and of the older 8-bit one, deletions, and refusals that leave
// the store as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "fgreg_fixture.h"

namespace {

std::string ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary);
  out << bytes;
}

// ASCII text as a file of the standard form stores it: a UTF-16LE
// byte-order mark, then each character in two bytes, lines ending CRLF.
std::string Utf16File(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    if (c == '\n') out += std::string("\r\0", 2);
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

class FgregRegFile : public Fgreg {
 protected:
  std::string File(const char* name) { return m_folder + "/" + name; }
  // Runs fgreg on another store in the test's folder.
  int RunOn(const std::string& store, const std::string& args, std::string* output = nullptr) {
    return fgtest::RunCommand(std::string(FGREG_PATH) + " --registry " + store + " " + args, output);
  }
  void AddSample() {
    const char* adds[] = {
        "'HKCU\\Software\\Fg' /ve /d 'default text'",
        // Two expandable strings whose hex lines the usual editor cuts at
        // different places: the cut depends on the quoted name's length.
        "'HKCU\\Software\\Fg' /v ImagePath /t REG_EXPAND_SZ /d '%SystemRoot%\\System32\\svchost.exe -k netsvcs'",
        "'HKCU\\Software\\Fg' /v DevicePath /t REG_EXPAND_SZ /d '%SystemRoot%\\inf;'",
        "'HKCU\\Software\\Fg' /v Count /t REG_DWORD /d 42",
        "'HKCU\\Software\\Fg' /v Big /t REG_QWORD /d 0x100000000",
        "'HKCU\\Software\\Fg' /v Raw /t REG_BINARY /d 00ff10",
        "'HKCU\\Software\\Fg' /v List /t REG_MULTI_SZ /d 'a\\0bc'",
        "'HKCU\\Software\\Fg' /v Nothing /t REG_NONE",
        "'HKCU\\Software\\Fg' /v 'Say \"hi\"' /d 'C:\\dir'",
        "'HKCU\\Software\\Fg\\Sub' /v x /d y",
    };
    for (const char* add : adds) ASSERT_EQ(Run(std::string("add ") + add), 0) << add;
  }
};

// The expected file is written by hand in the documented form: the header,
// a blank line before each key, "@" for the default value, dword:, hex:,
// hex(2):, hex(7):, hex(b):, hex(0):, backslash-escaped quotes and
// backslashes, and hex lines cut with a backslash at 77 characters (the
// two expandable strings are cut as published exports of these same
// values are).
TEST_F(FgregRegFile, ExportIsTheStandardFileByteForByte) {
  AddSample();
  std::string out;
  ASSERT_EQ(Run("export 'HKCU\\Software\\Fg' " + File("fg.reg"), &out), 0) << out;
  EXPECT_EQ(ReadBytes(File("fg.reg")),
            Utf16File("Windows Registry Editor Version 5.00\n"
                      "\n"
                      "[HKEY_CURRENT_USER\\Software\\Fg]\n"
                      "@=\"default text\"\n"
                      "\"ImagePath\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,\\\n"
                      "  74,00,25,00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,73,\\\n"
                      "  00,76,00,63,00,68,00,6f,00,73,00,74,00,2e,00,65,00,78,00,65,00,20,00,2d,00,\\\n"
                      "  6b,00,20,00,6e,00,65,00,74,00,73,00,76,00,63,00,73,00,00,00\n"
                      "\"DevicePath\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,\\\n"
                      "  00,74,00,25,00,5c,00,69,00,6e,00,66,00,3b,00,00,00\n"
                      "\"Count\"=dword:0000002a\n"
                      "\"Big\"=hex(b):00,00,00,00,01,00,00,00\n"
                      "\"Raw\"=hex:00,ff,10\n"
                      "\"List\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00\n"
                      "\"Nothing\"=hex(0):\n"
                      "\"Say \\\"hi\\\"\"=\"C:\\\\dir\"\n"
                      "\n"
                      "[HKEY_CURRENT_USER\\Software\\Fg\\Sub]\n"
                      "\"x\"=\"y\"\n"
                      "\n"));
}

TEST_F(FgregRegFile, ImportOfAnExportIntoAnEmptyStoreGivesTheSameTree) {
  AddSample();
  ASSERT_EQ(Run("export HKCU " + File("all.reg")), 0);
  std::string other = File("other.db"), out;
  ASSERT_EQ(RunOn(other, "import " + File("all.reg"), &out), 0) << out;
  ASSERT_EQ(RunOn(other, "export HKCU " + File("again.reg"), &out), 0) << out;
  EXPECT_EQ(ReadBytes(File("again.reg")), ReadBytes(File("all.reg")));
  std::string query;
  ASSERT_EQ(RunOn(other, "query 'HKCU\\Software\\Fg' /v Big", &query), 0);
  EXPECT_NE(query.find("Big    REG_QWORD    0x100000000"), std::string::npos) << query;
}

TEST_F(FgregRegFile, ImportDeletesKeysAndValuesAndReadsTheOlderForm) {
  AddSample();
  WriteBytes(File("del.reg"), Utf16File("Windows Registry Editor Version 5.00\n\n"
                                        "; a comment\n"
                                        "[-HKEY_CURRENT_USER\\Software\\Fg\\Sub]\n\n"
                                        "[HKEY_CURRENT_USER\\Software\\Fg]\n"
                                        "\"Count\"=-\n"
                                        "\"Absent\"=-\n"
                                        "\"Long\"=hex:01,02,\\\n"
                                        "  03\n"
                                        "\"Word\"=dword:FF\n"));
  std::string out;
  ASSERT_EQ(Run("import " + File("del.reg"), &out), 0) << out;
  EXPECT_EQ(Run("query 'HKCU\\Software\\Fg\\Sub'"), 1) << "the key was deleted with its tree";
  EXPECT_EQ(Run("query 'HKCU\\Software\\Fg' /v Count"), 1) << "the value was deleted";
  ASSERT_EQ(Run("query 'HKCU\\Software\\Fg'", &out), 0);
  EXPECT_NE(out.find("Long    REG_BINARY    010203"), std::string::npos) << out;
  EXPECT_NE(out.find("Word    REG_DWORD    0xff"), std::string::npos) << out;

  // REGEDIT4: 8-bit text, its expandable strings in single bytes.
  WriteBytes(File("old.reg"), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Old]\r\n\"Text\"=\"plain\"\r\n"
                              "\"Exp\"=hex(2):25,48,25,00\r\n");
  ASSERT_EQ(Run("import " + File("old.reg"), &out), 0) << out;
  ASSERT_EQ(Run("query 'HKCU\\Old'", &out), 0);
  EXPECT_NE(out.find("Text    REG_SZ    plain"), std::string::npos) << out;
  EXPECT_NE(out.find("Exp    REG_EXPAND_SZ    %H%"), std::string::npos) << out;
}

// A damaged file is refused before anything is written: the parse reads
// the whole file first.
TEST_F(FgregRegFile, ADamagedFileChangesNothingAndNamesItsLine) {
  ASSERT_EQ(Run("add 'HKCU\\Keep' /v v /d before"), 0);
  std::string out, before;
  ASSERT_EQ(Run("export HKCU " + File("before.reg")), 0);
  const char* bad[] = {
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Keep]\n\"v\"=\"after\"\n\"w\"=dword:123456789\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Keep]\n\"v\"=\"after\"\n\"w\"=bogus\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Keep]\n\"v\"=\"after\"\n\"w=\"x\"\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Keep]\n\"v\"=\"after\"\n[HKEY_CURRENT_USER\\New\n",
      "Windows Registry Editor Version 5.00\n\n\"v\"=\"after\"\n",
  };
  for (const char* text : bad) {
    WriteBytes(File("bad.reg"), Utf16File(text));
    EXPECT_EQ(Run("import " + File("bad.reg"), &out), 1) << text;
    EXPECT_NE(out.find("line "), std::string::npos) << out;
    EXPECT_NE(out.find("nothing was imported"), std::string::npos) << out;
  }
  // A file that reads well but fails while it is applied (a key name
  // longer than a key may have) is one batch too: what came before goes.
  WriteBytes(File("bad.reg"), Utf16File("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Keep]\n"
                                        "\"v\"=\"after\"\n[HKEY_CURRENT_USER\\" + std::string(300, 'x') + "]\n"));
  EXPECT_EQ(Run("import " + File("bad.reg"), &out), 1);
  EXPECT_NE(out.find("line 5"), std::string::npos) << out;
  WriteBytes(File("bad.reg"), "not a registry file\n");
  EXPECT_EQ(Run("import " + File("bad.reg"), &out), 1);
  EXPECT_EQ(Run("import " + m_folder, &out), 1) << "a folder is not a file";
  ASSERT_EQ(Run("export HKCU " + File("after.reg")), 0);
  EXPECT_EQ(ReadBytes(File("after.reg")), ReadBytes(File("before.reg")));
}

TEST_F(FgregRegFile, ExportAsksBeforeOverwritingUnlessToldNotTo) {
  ASSERT_EQ(Run("add 'HKCU\\E' /v v /d x"), 0);
  WriteBytes(File("e.reg"), "keep me");
  std::string out;
  EXPECT_EQ(Run("export 'HKCU\\E' " + File("e.reg") + " </dev/null", &out), 1) << out;
  EXPECT_NE(out.find("/y"), std::string::npos) << "off a terminal it says how to overwrite: " << out;
  EXPECT_EQ(ReadBytes(File("e.reg")), "keep me");
  EXPECT_EQ(Run("export 'HKCU\\E' " + File("e.reg") + " /y", &out), 0) << out;
  EXPECT_EQ(ReadBytes(File("e.reg")).rfind("\xFF\xFEW", 0), 0u);
  EXPECT_EQ(Run("export 'HKCU\\Missing' " + File("m.reg"), &out), 1);
  EXPECT_EQ(access(File("m.reg").c_str(), F_OK), -1) << "nothing is written for a missing key";
}

}  // namespace
