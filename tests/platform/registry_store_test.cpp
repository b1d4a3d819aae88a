// The registry store against hostile files and hostile sizes: values the
// store cannot hold, files that look like a store and are not, keys whose
// parents run in a cycle, the depth limit, caseless names in every script,
// the upgrade of an older store, and the documented corners of two calls.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "fgplatform/test_baseline.h"
#include "fgplatform/test_registry.h"
#include "fgplatform/win32.h"

namespace {

class RegistryStore : public fgtest::BaselineTest {
 protected:
  // Runs SQL on a store file through a connection of the test's own.
  static void Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }
  // Makes the registry let go of its store and look at `path` afresh.
  static void Reopen(const std::string& path) {
    std::string elsewhere = path + ".elsewhere";
    setenv("FARROWGATE_REGISTRY", elsewhere.c_str(), 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((elsewhere + suffix).c_str());
    setenv("FARROWGATE_REGISTRY", path.c_str(), 1);
  }
  static std::string Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
  static LSTATUS Open(HKEY root, const char16_t* path) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path, 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status;
  }
  static LSTATUS Create(HKEY root, const char16_t* path) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status;
  }
  fgtest::TemporaryRegistry m_registry;
  const std::string& m_path = m_registry.Path();
};

TEST_F(RegistryStore, AValueLargerThanTheStoreHoldsIsRefusedWhole) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Big", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD size = 0x80000010u;  // past 2 GiB: a 32-bit length would turn negative
  auto* data = static_cast<BYTE*>(std::calloc(size, 1));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_BINARY, data, size), ERROR_NOT_ENOUGH_MEMORY);
  std::free(data);
  DWORD stored = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &stored), ERROR_FILE_NOT_FOUND)
      << "nothing, not a part, was stored";
  RegCloseKey(key);
}

TEST_F(RegistryStore, AFileWithTheMarksOfAStoreButNoTablesIsRefusedUntouched) {
  Sql(m_path, "PRAGMA application_id=1179079239; PRAGMA user_version=2;");
  Reopen(m_path);
  std::string before = Bytes(m_path);
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, nullptr), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(Create(HKEY_CLASSES_ROOT, u"x"), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(Bytes(m_path), before) << "not a byte written";
  EXPECT_FALSE(Exists(m_path + "-wal"));
  EXPECT_FALSE(Exists(m_path + "-shm"));
  Output();
}

TEST_F(RegistryStore, KeysWhoseParentsRunInACycleMakeTheStoreDamaged) {
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u"Loop"), ERROR_SUCCESS);
  Reopen(m_path);
  // HKEY_CLASSES_ROOT becomes a child of its own child: a walk from the
  // root would go round for ever.
  Sql(m_path, "UPDATE keys SET parent = (SELECT id FROM keys WHERE name = CAST(x'4c006f006f007000' AS BLOB)) WHERE id = 1");
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"Loop"), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Loop"), ERROR_REGISTRY_CORRUPT);

  // Two keys that name each other as parent, reached from no root.
  Sql(m_path, "UPDATE keys SET parent = 0 WHERE id = 1;"
              "INSERT INTO keys(id, parent, name, fold, written) VALUES(100, 101, x'4100', x'0041', 0);"
              "INSERT INTO keys(id, parent, name, fold, written) VALUES(101, 100, x'4200', x'0042', 0);");
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, nullptr), ERROR_REGISTRY_CORRUPT);
  Output();
}

// A store found sound is recorded beside it, so that the next process need
// not check it whole; a change made afterwards by any program still gets it
// checked: one still in the log of a connection left open (the file itself
// unchanged), and one folded into the file.
TEST_F(RegistryStore, DamageDoneAfterACheckWasRecordedIsStillFound) {
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u"Loop"), ERROR_SUCCESS);
  Reopen(m_path);
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // a file changed just now is not recorded
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"Loop"), ERROR_SUCCESS);
  ASSERT_TRUE(Exists(m_path + "-checked"));
  std::string record = Bytes(m_path + "-checked");
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"Loop"), ERROR_SUCCESS);
  Reopen(m_path);

  const char* cycle = "UPDATE keys SET parent = (SELECT id FROM keys WHERE name = CAST(x'4c006f006f007000' AS BLOB))"
                      " WHERE id = 1";
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(m_path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, cycle, nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"Loop"), ERROR_REGISTRY_CORRUPT) << "a change in the log";
  EXPECT_EQ(Bytes(m_path + "-checked"), record) << "the file itself did not change";
  Reopen(m_path);
  sqlite3_close(other);  // folds the change into the file
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"Loop"), ERROR_REGISTRY_CORRUPT) << "a change in the file";
  Output();
}

// The check at open follows each key's parents whatever the order of their
// ids: a tree made with falling ids is as good as one made in order, up to
// 512 levels; a level more, or a parent that is not there, is damage.
TEST_F(RegistryStore, TheTreeCheckAtOpenFollowsParentsInAnyOrder) {
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"Base"), ERROR_SUCCESS);
  Sql(m_path, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 512)"
              " INSERT INTO keys(id, parent, name, fold, written)"
              " SELECT 100000 - i, CASE i WHEN 1 THEN 2 ELSE 100001 - i END, x'4c00', x'004c', 0 FROM n");
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Base"), ERROR_SUCCESS) << "512 levels with falling ids";
  Sql(m_path, "INSERT INTO keys(id, parent, name, fold, written) VALUES(1000, 100000 - 512, x'4c00', x'004c', 0)");
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Base"), ERROR_REGISTRY_CORRUPT) << "a 513th level";
  Sql(m_path, "DELETE FROM keys WHERE id = 1000;"
              "INSERT INTO keys(id, parent, name, fold, written) VALUES(1001, 424242, x'4d00', x'004d', 0)");
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Base"), ERROR_REGISTRY_CORRUPT) << "a parent that is not there";
  Sql(m_path, "DELETE FROM keys WHERE id = 1001; UPDATE keys SET parent = 0 WHERE id = 99999");
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Base"), ERROR_REGISTRY_CORRUPT) << "a root that is none of the seven";
  Output();
}

// A walk that joins names (an export, a recursive query) trusts that every
// key has a name of whole 16-bit units and that names are unique under a
// key; a store that breaks either is damaged, and left as it is.
TEST_F(RegistryStore, DamagedNamesAndMissingIndexesMakeTheStoreDamaged) {
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u"AppID"), ERROR_SUCCESS);
  Reopen(m_path);
  const char* damages[] = {
      "UPDATE keys SET name = x'', fold = x'' WHERE id > 7",
      "UPDATE keys SET name = x'410070', fold = x'004100' WHERE id > 7",
      "UPDATE keys SET name = 'AppID' WHERE id > 7",
      "INSERT INTO vals(key, name, fold, type, data) VALUES(1, x'41', x'41', 1, x'')",
      "DROP INDEX keys_child",
      "DROP INDEX vals_name; CREATE INDEX vals_name ON vals(key, fold)",
  };
  for (const char* damage : damages) {
    std::string copy = m_path + ".damaged";
    Sql(m_path, "VACUUM INTO '" + copy + "'");
    Sql(copy, damage);
    std::string before = Bytes(copy);
    setenv("FARROWGATE_REGISTRY", copy.c_str(), 1);
    EXPECT_EQ(Open(HKEY_CLASSES_ROOT, nullptr), ERROR_REGISTRY_CORRUPT) << damage;
    Reopen(m_path);
    EXPECT_EQ(Bytes(copy), before) << "left as it was: " << damage;
    EXPECT_FALSE(Exists(copy + "-wal")) << "no side files beside it: " << damage;
    EXPECT_FALSE(Exists(copy + "-shm")) << damage;
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((copy + suffix).c_str());
  }
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"AppID"), ERROR_SUCCESS) << "the sound store is untouched";
  Output();
}

// Enumeration resumes after the entry it gave last, and counts from the
// start again whenever the store changed meanwhile, through this process or
// another: the answer at each index is the one of the store as it is.
TEST_F(RegistryStore, EnumerationResumesAndFollowsEveryChange) {
  for (const char16_t* name : {u"E\\A", u"E\\B", u"E\\C", u"E\\D"}) ASSERT_EQ(Create(HKEY_CLASSES_ROOT, name), 0);
  HKEY e = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"E", 0, KEY_ALL_ACCESS, &e), ERROR_SUCCESS);
  for (const char16_t* value : {u"v1", u"v2", u"v3", u"v4"})
    ASSERT_EQ(RegSetValueExW(e, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"x"), 4), ERROR_SUCCESS);
  auto child = [&](DWORD i) {
    char16_t name[16];
    DWORD n = 16;
    LSTATUS status = RegEnumKeyExW(e, i, name, &n, nullptr, nullptr, nullptr, nullptr);
    return status == ERROR_SUCCESS ? std::u16string(name, n) : std::u16string(u"<none>");
  };
  auto value = [&](DWORD i) {
    char16_t name[16];
    DWORD n = 16;
    LSTATUS status = RegEnumValueW(e, i, name, &n, nullptr, nullptr, nullptr, nullptr);
    return status == ERROR_SUCCESS ? std::u16string(name, n) : std::u16string(u"<none>");
  };
  EXPECT_EQ(child(0), u"A");
  EXPECT_EQ(child(1), u"B");
  Sql(m_path, "DELETE FROM keys WHERE fold = x'0041'");  // another process removes A
  EXPECT_EQ(child(2), u"D") << "counted in the store as it is now: B, C, D";
  EXPECT_EQ(child(0), u"B");
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u"E\\AA"), 0);  // this process adds one before B
  EXPECT_EQ(child(1), u"B");
  EXPECT_EQ(child(2), u"C");
  EXPECT_EQ(child(3), u"D");
  EXPECT_EQ(child(4), u"<none>");
  EXPECT_EQ(child(3), u"D") << "any index, in any order";

  EXPECT_EQ(value(0), u"v1");
  EXPECT_EQ(value(1), u"v2");
  ASSERT_EQ(RegDeleteValueW(e, u"v1"), ERROR_SUCCESS);
  EXPECT_EQ(value(2), u"v4") << "v2, v3, v4 after the deletion";
  EXPECT_EQ(value(0), u"v2");
  EXPECT_EQ(value(1), u"v3");
  EXPECT_EQ(value(2), u"v4");
  EXPECT_EQ(value(3), u"<none>");
  RegCloseKey(e);
}

TEST_F(RegistryStore, KeysGo512LevelsDeepAndNoDeeper) {
  std::u16string path = u"L";
  for (int i = 1; i < 512; ++i) path += u"\\L";
  EXPECT_EQ(Create(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, (path + u"\\L").c_str()), ERROR_INVALID_PARAMETER);
  HKEY deep = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &deep), ERROR_SUCCESS);
  EXPECT_EQ(Create(deep, u"L"), ERROR_INVALID_PARAMETER) << "the depth counts from the root, not the handle";
  RegCloseKey(deep);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, (path + u"\\L").c_str()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"L"), ERROR_SUCCESS);
}

TEST_F(RegistryStore, NamesMatchTheirOtherCaseInEveryScript) {
  struct Pair {
    const char16_t* created;
    const char16_t* opened;
  };
  const Pair pairs[] = {
      {u"\uFF41\uFF42", u"\uFF21\uFF22"},  // full-width letters
      {u"\u0561\u0562", u"\u0531\u0532"},  // Armenian
      {u"\u0180\u01DD", u"\u0243\u018E"},  // Latin Extended-B
      {u"\u03C2", u"\u03A3"},              // final sigma and capital sigma
      {u"\u03C3", u"\u03C2"},              // sigma and final sigma
  };
  for (const Pair& p : pairs) {
    ASSERT_EQ(Create(HKEY_CLASSES_ROOT, p.created), ERROR_SUCCESS);
    EXPECT_EQ(Open(HKEY_CLASSES_ROOT, p.opened), ERROR_SUCCESS) << "the other case of the name";
    EXPECT_EQ(lstrcmpiW(p.created, p.opened), 0);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, p.opened), ERROR_SUCCESS);
  }
  EXPECT_NE(lstrcmpiW(u"\u00DF", u"SS"), 0) << "simple mapping only: sharp s stays itself";
}

TEST_F(RegistryStore, AnOlderStoreIsUpgradedInPlaceOrRefusedUnchanged) {
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u"\uFF41"), ERROR_SUCCESS);
  Reopen(m_path);
  // The older store folded no full-width letter: its fold of "\uFF41" was itself.
  Sql(m_path, "UPDATE keys SET fold = x'FF41' WHERE fold = x'FF21'; PRAGMA user_version=1;");
  std::string older = m_path + ".older";
  Sql(m_path, "VACUUM INTO '" + older + "'");
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"\uFF21"), ERROR_SUCCESS) << "found by the new fold after the upgrade";
  Reopen(m_path);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"\uFF21"), ERROR_SUCCESS) << "and the upgrade was kept";

  // Two names that fold alike only under the new mapping cannot both stay.
  Sql(older, "INSERT INTO keys(parent, name, fold, written) VALUES(1, x'21FF', x'FF21', 0)");
  std::string before = Bytes(older);
  setenv("FARROWGATE_REGISTRY", older.c_str(), 1);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, nullptr), ERROR_REGISTRY_CORRUPT);
  Reopen(m_path);
  EXPECT_EQ(Bytes(older), before) << "the refused upgrade changed nothing";
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((older + suffix).c_str());
  Output();
}

TEST_F(RegistryStore, QueryInfoGivesTheClassLengthAndPredefinedKeysOpenAsThemselves) {
  HKEY key = nullptr;
  char16_t className[] = u"SomeClass";
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Classy", 0, className, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  char16_t small[4];
  DWORD length = 4;
  EXPECT_EQ(RegQueryInfoKeyW(key, small, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(length, 9u) << "the class length without its terminator";
  length = 0;
  EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(length, 9u) << "also without a buffer";
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Classy"), ERROR_SUCCESS);

  for (const char16_t* none : {static_cast<const char16_t*>(nullptr), u""}) {
    HKEY same = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, none, 0, KEY_READ, &same), ERROR_SUCCESS);
    EXPECT_EQ(same, HKEY_CURRENT_USER);
  }
}

}  // namespace
