// The cost of the durable registry: a create-write-read-delete cycle of a
// key with three values on the platform's registry (a file store), against
// raw SQLite doing the same work the same way on a file of the same file
// system (one transaction a call, the write-ahead log, synchronous=NORMAL,
// statements prepared once, and the lookups and last-write times the calls
// are documented to need) in the same run; and, for scale, raw SQLite
// writing and reading only the rows, and the rows' statements on an
// in-memory database.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fgplatform/win32.h"
#include "ratio_reporter.h"

namespace {

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB, fold BLOB, written INTEGER);"
    "CREATE UNIQUE INDEX k ON keys(parent, fold);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER, name BLOB, fold BLOB, type INTEGER,"
    " data BLOB); CREATE UNIQUE INDEX v ON vals(key, fold);";

// One cycle on the in-memory database; false when a statement fails.
bool InMemoryCycle(sqlite3* db) {
  auto run = [db](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; };
  bool ok = run("BEGIN IMMEDIATE; INSERT INTO keys(parent, name, fold) VALUES(2, 'Bench', 'BENCH'); COMMIT");
  for (const char* v :
       {"BEGIN IMMEDIATE; INSERT INTO vals(key, name, fold, type, data) VALUES((SELECT max(id) FROM keys), 'a', 'A', 4,"
        " x'01000000'); COMMIT",
        "BEGIN IMMEDIATE; INSERT INTO vals(key, name, fold, type, data) VALUES((SELECT max(id) FROM keys), 'b', 'B', 4,"
        " x'02000000'); COMMIT",
        "BEGIN IMMEDIATE; INSERT INTO vals(key, name, fold, type, data) VALUES((SELECT max(id) FROM keys), 'c', 'C', 4,"
        " x'03000000'); COMMIT"})
    ok = ok && run(v);
  for (const char* q : {"BEGIN; SELECT data FROM vals WHERE fold = 'A'; COMMIT",
                        "BEGIN; SELECT data FROM vals WHERE fold = 'B'; COMMIT",
                        "BEGIN; SELECT data FROM vals WHERE fold = 'C'; COMMIT"})
    ok = ok && run(q);
  return ok && run("BEGIN IMMEDIATE; DELETE FROM vals; DELETE FROM keys; COMMIT");
}

void InMemorySqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK || sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    state.SkipWithError("cannot make the in-memory database");
    sqlite3_close(db);
    return;
  }
  for (auto _ : state) {
    if (InMemoryCycle(db)) continue;
    state.SkipWithError(sqlite3_errmsg(db));
    break;
  }
  sqlite3_close(db);
}
BENCHMARK(InMemorySqlite);

// The folder of a benchmark's store: the registry refuses shared ones.
std::string StoreFolder(const char* name) {
  std::string folder = "/tmp/fg-bench-" + std::string(name) + "-" + std::to_string(getpid());
  mkdir(folder.c_str(), 0700);
  return folder;
}

void RemoveStore(const std::string& folder) {
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((folder + "/registry.db" + suffix).c_str());
  rmdir(folder.c_str());
}

// Raw SQLite on a file, as the registry uses it: the calls of one cycle are
// eight transactions (a key made, three values written, three read, the key
// deleted), each statement prepared once. In full, it does the work the
// registry's calls are documented to do: a key is looked up before it is
// made, a key's last-write time changes with its values and its parent's
// with its subkeys, and a key is deleted only when it has no subkeys.
// Without it (`minimal`), only the rows themselves are written and read.
class RawStore {
 public:
  RawStore(const std::string& path, bool minimal) : m_minimal(minimal) {
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) return;
    sqlite3_busy_timeout(m_db, 10000);
    m_ok = Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=NORMAL") && Exec(kSchema) &&
           Exec("INSERT INTO keys(id, parent, name, fold, written) VALUES(1, 0, x'31', x'31', 0), (2, 0, x'32', x'32', 0)");
    const char* sql[] = {"BEGIN IMMEDIATE", "BEGIN", "COMMIT",
                         "SELECT id FROM keys WHERE parent = 2 AND fold = x'0042004500'",
                         "INSERT INTO keys(parent, name, fold, written) VALUES(2, x'420065006e0063006800', x'0042004500', ?)",
                         "UPDATE keys SET written = ? WHERE id = ?",
                         "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, 4, ?)"
                         " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
                         "SELECT data FROM vals WHERE key = ? AND fold = ?", "SELECT count(*) FROM keys WHERE parent = ?",
                         "DELETE FROM vals WHERE key = ?", "DELETE FROM keys WHERE id = ?"};
    static_assert(sizeof sql / sizeof sql[0] == kStatements);
    for (int i = 0; m_ok && i < kStatements; ++i)
      m_ok = sqlite3_prepare_v3(m_db, sql[i], -1, SQLITE_PREPARE_PERSISTENT, &m_stmt[i], nullptr) == SQLITE_OK;
  }
  ~RawStore() {
    for (sqlite3_stmt* s : m_stmt) sqlite3_finalize(s);
    sqlite3_close(m_db);
  }
  bool Ok() const { return m_ok; }
  const char* Error() const { return m_db != nullptr ? sqlite3_errmsg(m_db) : "cannot open"; }

  bool Cycle() {
    bool ok = Write([&] {
      if (!m_minimal && Row(kFindKey)) return false;  // it is not there yet
      sqlite3_bind_int64(m_stmt[kInsertKey], 1, ++m_time);
      return Step(kInsertKey) && Touch(2);
    });
    sqlite3_int64 key = sqlite3_last_insert_rowid(m_db);
    for (int i = 1; ok && i <= 3; ++i) {
      char16_t name = static_cast<char16_t>(u'a' + i - 1), fold = static_cast<char16_t>(u'A' + i - 1);
      ok = Write([&] {
        sqlite3_bind_int64(m_stmt[kSetValue], 1, key);
        sqlite3_bind_blob(m_stmt[kSetValue], 2, &name, 2, SQLITE_STATIC);
        sqlite3_bind_blob(m_stmt[kSetValue], 3, &fold, 2, SQLITE_STATIC);
        sqlite3_bind_blob(m_stmt[kSetValue], 4, &i, 4, SQLITE_STATIC);
        return Touch(key) && Step(kSetValue);
      });
    }
    for (int i = 1; ok && i <= 3; ++i) {
      char16_t fold = static_cast<char16_t>(u'A' + i - 1);
      ok = Read([&] {
        sqlite3_bind_int64(m_stmt[kSelectValue], 1, key);
        sqlite3_bind_blob(m_stmt[kSelectValue], 2, &fold, 2, SQLITE_STATIC);
        bool found = sqlite3_step(m_stmt[kSelectValue]) == SQLITE_ROW;
        if (found) benchmark::DoNotOptimize(sqlite3_column_blob(m_stmt[kSelectValue], 0));
        sqlite3_reset(m_stmt[kSelectValue]);
        return found;
      });
    }
    return ok && Write([&] {
             if (!m_minimal) {
               if (!Row(kFindKey)) return false;
               sqlite3_bind_int64(m_stmt[kCountChildren], 1, key);
               if (!Row(kCountChildren)) return false;
             }
             sqlite3_bind_int64(m_stmt[kDeleteValues], 1, key);
             sqlite3_bind_int64(m_stmt[kDeleteKey], 1, key);
             return Step(kDeleteValues) && Touch(2) && Step(kDeleteKey);
           });
  }

 private:
  enum { kBeginWrite, kBeginRead, kCommit, kFindKey, kInsertKey, kTouchKey, kSetValue, kSelectValue, kCountChildren,
         kDeleteValues, kDeleteKey, kStatements };
  bool Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
  bool Step(int i) {
    int rc = sqlite3_step(m_stmt[i]);
    sqlite3_reset(m_stmt[i]);
    return rc == SQLITE_DONE;
  }
  // Runs a query; whether it gave a row.
  bool Row(int i) {
    int rc = sqlite3_step(m_stmt[i]);
    sqlite3_reset(m_stmt[i]);
    return rc == SQLITE_ROW;
  }
  bool Touch(sqlite3_int64 key) {
    if (m_minimal) return true;
    sqlite3_bind_int64(m_stmt[kTouchKey], 1, ++m_time);
    sqlite3_bind_int64(m_stmt[kTouchKey], 2, key);
    return Step(kTouchKey) && sqlite3_changes(m_db) == 1;
  }
  template <class Work>
  bool Write(Work work) {
    return Step(kBeginWrite) && work() && Step(kCommit);
  }
  template <class Work>
  bool Read(Work work) {
    return Step(kBeginRead) && work() && Step(kCommit);
  }
  sqlite3* m_db = nullptr;
  sqlite3_stmt* m_stmt[kStatements] = {};
  bool m_ok = false;
  bool m_minimal = false;
  sqlite3_int64 m_time = 0;
};

void RawCycle(benchmark::State& state, const char* name, bool minimal) {
  std::string folder = StoreFolder(name);
  {
    RawStore store(folder + "/registry.db", minimal);
    if (!store.Ok()) {
      state.SkipWithError(store.Error());
    } else {
      for (auto _ : state) {
        if (store.Cycle()) continue;
        state.SkipWithError(store.Error());
        break;
      }
    }
  }
  RemoveStore(folder);
}

void BaselineRawSqliteFile(benchmark::State& state) { RawCycle(state, "raw", false); }
BENCHMARK(BaselineRawSqliteFile);

void RawSqliteFileRowsOnly(benchmark::State& state) { RawCycle(state, "rows", true); }
BENCHMARK(RawSqliteFileRowsOnly);

// One cycle on the platform's registry; false when a call fails.
bool RegistryCycle() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (DWORD i = 1; i <= 3; ++i) {
    const char16_t name[2] = {static_cast<char16_t>(u'a' + i - 1), 0};
    ok = ok && RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4) == ERROR_SUCCESS;
  }
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    DWORD value = 0, size = 4;
    ok = ok && RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    benchmark::DoNotOptimize(value);
  }
  ok = RegCloseKey(key) == ERROR_SUCCESS && ok;
  return RegDeleteKeyW(HKEY_CURRENT_USER, u"Bench") == ERROR_SUCCESS && ok;
}

void DurableRegistryCycle(benchmark::State& state) {
  std::string folder = StoreFolder("registry");
  std::string path = folder + "/registry.db";
  setenv("FARROWGATE_REGISTRY", path.c_str(), 1);
  for (auto _ : state) {
    if (RegistryCycle()) continue;
    state.SkipWithError("a registry call failed");
    break;
  }
  RemoveStore(folder);
}
BENCHMARK(DurableRegistryCycle);

}  // namespace

FG_BENCHMARK_MAIN("BaselineRawSqliteFile")
