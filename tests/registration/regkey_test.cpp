// The registry key wrapper against a real store in a temporary file.
#include <string>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_registry.h"
#include "registration/regkey.h"

namespace {

class RegKey : public fgtest::BaselineTest {
 protected:
  static bool Exists(const char16_t* path) { return fgtest::ClassesKeyExists(path); }
  static DWORD SizeOf(HKEY key, const char16_t* name) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    return size;
  }
  fgtest::TemporaryRegistry m_registry;
};

TEST_F(RegKey, RecurseDeleteKeyRemovesThreeLevels) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"FgRoot\\One\\Two\\Three"), 0);
  ASSERT_EQ(key.WriteString(u"v", u"deep"), 0);
  CRegKey sibling;
  ASSERT_EQ(sibling.Create(HKEY_CLASSES_ROOT, u"FgRoot\\One\\Other"), 0);
  key.Close();
  sibling.Close();
  CRegKey root;
  ASSERT_EQ(root.Open(HKEY_CLASSES_ROOT, nullptr), 0);
  EXPECT_EQ(root.RecurseDeleteKey(u"FgRoot"), 0);
  EXPECT_FALSE(Exists(u"FgRoot"));
  EXPECT_TRUE(Reports().empty());
}

TEST_F(RegKey, RecurseDeleteKeyRefusesANullOrEmptyNameAndDeletesNothing) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"FgHeld\\Child"), 0);
  key.Close();
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"FgHeld"), 0);
  EXPECT_EQ(key.RecurseDeleteKey(nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key.RecurseDeleteKey(u""), ERROR_INVALID_PARAMETER);
  key.Close();
  EXPECT_TRUE(Exists(u"FgHeld\\Child")) << "the held key and its subkeys are all still there";
  CRegKey root;
  ASSERT_EQ(root.Open(HKEY_CLASSES_ROOT, nullptr), 0);
  EXPECT_EQ(root.RecurseDeleteKey(u"FgHeld"), 0);
}

TEST_F(RegKey, RecurseDeleteKeyOfAMissingNameAnswers2WithoutATrace) {
  CRegKey root;
  root.Attach(HKEY_CLASSES_ROOT);
  EXPECT_EQ(root.RecurseDeleteKey(u"FgNowhere"), ERROR_FILE_NOT_FOUND);
  root.Detach();
  EXPECT_TRUE(Reports().empty()) << "a missing key is not worth a trace line";
}

TEST_F(RegKey, RecurseDeleteKeyTracesOtherOpenFailures) {
  CRegKey reader;
  ASSERT_EQ(reader.Create(HKEY_CLASSES_ROOT, u"FgLocked\\Inner"), 0);
  reader.Close();
  ASSERT_EQ(reader.Open(HKEY_CLASSES_ROOT, u"FgLocked", KEY_READ), 0);
  fgtest::SetFailureCode(fgtest::Service::RegistryWrite, ERROR_CANTWRITE);
  fgtest::FailCall(fgtest::Service::RegistryWrite, 1);
  EXPECT_EQ(reader.RecurseDeleteKey(u"Inner"), ERROR_CANTWRITE) << "the deletion's own failure";
  auto reports = Reports();
  EXPECT_TRUE(reports.empty());
  reader.Close();
  CRegKey root;
  root.Attach(HKEY_CLASSES_ROOT);
  EXPECT_EQ(root.RecurseDeleteKey(u"\\bad"), ERROR_BAD_PATHNAME);
  root.Detach();
  reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, "CRegKey::RecurseDeleteKey : Failed to Open Key \\bad(Error = 161)\n");
  ASSERT_EQ(root.Open(HKEY_CLASSES_ROOT, nullptr), 0);
  EXPECT_EQ(root.RecurseDeleteKey(u"FgLocked"), 0);
}

TEST_F(RegKey, WritesCountTheirBytesWithTerminators) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"FgWrites"), 0);
  EXPECT_EQ(key.WriteString(u"empty", u""), 0);
  EXPECT_EQ(SizeOf(key.m_hKey, u"empty"), 2u);
  EXPECT_EQ(key.WriteString(u"null", nullptr), ERROR_INVALID_DATA);
  EXPECT_EQ(RegQueryValueExW(key.m_hKey, u"null", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.WriteMultiString(u"multi", u"a\0bc\0"), 0);
  EXPECT_EQ(SizeOf(key.m_hKey, u"multi"), 12u) << "4 + 6 + 2";
  EXPECT_EQ(key.WriteMultiString(u"none", nullptr), ERROR_INVALID_DATA);
  EXPECT_EQ(key.WriteDword(u"dword", 7), 0);
  EXPECT_EQ(SizeOf(key.m_hKey, u"dword"), 4u);
  EXPECT_EQ(key.WriteBinary(u"bin", "\1\2\3", 3), 0);
  EXPECT_EQ(SizeOf(key.m_hKey, u"bin"), 3u);
  EXPECT_EQ(key.RemoveValue(u"bin"), 0);
  EXPECT_EQ(key.RemoveValue(u"bin"), ERROR_FILE_NOT_FOUND);
  key.Close();
  CRegKey root;
  ASSERT_EQ(root.Open(HKEY_CLASSES_ROOT, nullptr), 0);
  EXPECT_EQ(root.RemoveSubkey(u"FgWrites"), 0);
}

TEST_F(RegKey, AFailedOpenKeepsTheOldHandle) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"FgKeep"), 0);
  HKEY held = key.m_hKey;
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"FgMissing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.m_hKey, held);
  DWORD disposition = 0;
  EXPECT_EQ(key.Create(HKEY_CLASSES_ROOT, u"FgKeep", nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &disposition), 0);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_NE(key.m_hKey, held) << "the old handle was closed and replaced";
  EXPECT_EQ(RegCloseKey(held), ERROR_INVALID_HANDLE) << "already closed by Create";
  EXPECT_EQ(key.Close(), 0);
  EXPECT_EQ(key.Close(), 0) << "nothing held";
  CRegKey root;
  root.Attach(HKEY_CLASSES_ROOT);
  EXPECT_EQ(root.RemoveSubkey(u"FgKeep"), 0);
  EXPECT_EQ(root.Detach(), HKEY_CLASSES_ROOT);
}

TEST_F(RegKey, PreconditionsAreAssertedInDebugBuilds) {
  CRegKey key;
  EXPECT_NE(key.WriteDword(u"x", 1), 0);
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].type, _CRT_ASSERT);
  EXPECT_EQ(reports[0].text, "m_hKey != 0");
}

}  // namespace
