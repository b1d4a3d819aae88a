// The cost of the durable registry: a create-write-read-delete cycle of a
// key with three values on the platform's registry (a file store), against
// the same statements on an in-memory SQLite database in the same run.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fgplatform/win32.h"
#include "ratio_reporter.h"

namespace {

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB, fold BLOB);"
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

void BaselineInMemorySqlite(benchmark::State& state) {
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
BENCHMARK(BaselineInMemorySqlite);

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
  // A folder of the benchmark's own: the registry refuses shared ones.
  std::string folder = "/tmp/fg-bench-" + std::to_string(getpid());
  mkdir(folder.c_str(), 0700);
  std::string path = folder + "/registry.db";
  setenv("FARROWGATE_REGISTRY", path.c_str(), 1);
  for (auto _ : state) {
    if (RegistryCycle()) continue;
    state.SkipWithError("a registry call failed");
    break;
  }
  for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
  rmdir(folder.c_str());
}
BENCHMARK(DurableRegistryCycle);

}  // namespace

FG_BENCHMARK_MAIN("BaselineInMemorySqlite")
