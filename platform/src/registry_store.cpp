#include "registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "case_fold.h"
#include "codepage.h"
#include "faults.h"
#include "fgplatform/kernel.h"
#include "store_check_record.h"
#include "wal_index_stamp.h"

namespace fgp::reg {

namespace {

constexpr int kApplicationId = 0x46475247;  // "FGRG"
// Version 2 folds names by the full simple case mapping; version 1 folded
// only some alphabets and is upgraded on first open.
constexpr int kSchemaVersion = 2;
constexpr int kFirstVersion = 1;
constexpr int kBusyTimeoutMs = 10000;
constexpr const char* kInMemoryStore = ":memory:";
constexpr const char16_t* kRootNames[kRootCount] = {
    u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",   u"HKEY_LOCAL_MACHINE", u"HKEY_USERS",
    u"HKEY_PERFORMANCE_DATA", u"HKEY_CURRENT_CONFIG", u"HKEY_DYN_DATA"};

// The user's home: $HOME, else the password database's; empty when
// neither names one.
std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h != nullptr && *h == '/') return h;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return "";
  return found->pw_dir != nullptr && found->pw_dir[0] == '/' ? found->pw_dir : "";
}

// Empty when no store can be named (no home): the store is never put in a
// shared folder such as /tmp instead.
std::string ConfiguredPath() {
  if (const char* p = std::getenv("FARROWGATE_REGISTRY"); p != nullptr && *p != '\0') return p;
  std::string base;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x != nullptr && *x == '/') {
    base = x;
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return "";
    base = home + "/.local/share";
  }
  return base + "/farrowgate/registry.db";
}

void MakeParentDirectories(const std::string& path) {
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    mkdir(path.substr(0, at).c_str(), 0700);
}

// Why the store's folder or file cannot be trusted, or empty: the folder
// must be a folder of the user's own that no one else may write, since
// whoever can write it can plant the store or its side files (and with
// them the modules the registry names); the file, when it exists, a
// regular file of the user's.
std::string UntrustedBecause(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) return "";  // no folder: opening the store fails on its own
  if (!S_ISDIR(st.st_mode)) return "its folder " + folder + " is not a folder";
  if (st.st_uid != geteuid()) return "its folder " + folder + " belongs to another user";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "others may write its folder " + folder;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? "" : "it cannot be read: " + std::string(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (st.st_uid != geteuid()) return "it belongs to another user";
  return "";
}

// Creates the store's file for the user alone; SQLite gives its side files
// the mode of the store.
void CreatePrivateFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}

// A store this user may read but not write is opened read-only. Without a
// write-ahead log beside it the file alone holds the whole store, and it is
// opened as immutable, so that reading it creates no side files (SQLite
// would otherwise make its -shm and -wal files); with a log left beside it
// (a writer that ended without a checkpoint), the log is read too.
std::string ReadOnlyUri(const std::string& path) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c) != nullptr) {
      uri.push_back(static_cast<char>(c));
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  struct stat st {};
  bool log = stat((path + "-wal").c_str(), &st) == 0 && st.st_size > 0;
  return uri + (log ? "?mode=ro" : "?mode=ro&immutable=1");
}

int64_t Now() {
  using namespace std::chrono;
  int64_t hundredNs = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
  return hundredNs + 116444736000000000LL;  // 1601 to 1970
}

// Big-endian UTF-16 so that the database's byte order is code-unit order.
std::string FoldKey(const std::u16string& name) {
  std::u16string folded = FoldName(name);
  std::string out;
  out.reserve(folded.size() * 2);
  for (char16_t c : folded) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

// Registry-write faults fire inside the write transaction of a registry
// call: at any statement that changes the store, and at its commit, so a
// fault after some rows changed exercises the rollback. Both flags are
// guarded by the registry lock, which every store member runs under.
bool g_inWriteTransaction = false;
LSTATUS g_injectedStatus = ERROR_SUCCESS;  // the code of the fault that fired, until reported

// True when a registry-write fault fires here; Store::Fail then reports the
// code the test chose.
bool InjectWriteFault() {
  if (!g_inWriteTransaction || !ShouldFail(FaultService::RegistryWrite)) return false;
  g_injectedStatus = static_cast<LSTATUS>(FailureCode(FaultService::RegistryWrite, ERROR_REGISTRY_IO_FAILED));
  return true;
}

// Prepared statements kept for reuse while their database is open: every
// registry call runs the same few statements, and preparing one costs more
// than running it. Idle statements are kept per SQL text; a statement in
// use (by a nested call) is not shared. All use is under the registry lock.
class StatementCache {
 public:
  static StatementCache& Instance() {
    static auto* cache = new StatementCache;  // used until the very end
    return *cache;
  }
  int Take(sqlite3* db, const char* sql, sqlite3_stmt*& out) {
    if (db != m_db) Clear();
    m_db = db;
    auto it = m_idle.find(std::string_view(sql));
    if (it != m_idle.end() && !it->second.empty()) {
      out = it->second.back();
      it->second.pop_back();
      --m_idleCount;
      return SQLITE_OK;
    }
    return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &out, nullptr);
  }
  void Give(sqlite3* db, const char* sql, sqlite3_stmt* stmt) {
    if (stmt == nullptr) return;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    auto it = db == m_db && m_idleCount < kMaxIdle ? m_idle.find(std::string_view(sql)) : m_idle.end();
    if (it == m_idle.end() && db == m_db && m_idleCount < kMaxIdle && m_idle.size() < kMaxTexts)
      it = m_idle.emplace(sql, std::vector<sqlite3_stmt*>()).first;
    if (it == m_idle.end()) {
      sqlite3_finalize(stmt);
      return;
    }
    it->second.push_back(stmt);
    ++m_idleCount;
  }
  // Finalises every idle statement (before the database closes).
  void Clear() {
    for (auto& [sql, idle] : m_idle)
      for (sqlite3_stmt* stmt : idle) sqlite3_finalize(stmt);
    m_idle.clear();
    m_idleCount = 0;
    m_db = nullptr;
  }

 private:
  // Looked up by the text the caller has, without copying it.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  static constexpr size_t kMaxIdle = 64;    // statements kept
  static constexpr size_t kMaxTexts = 256;  // different texts remembered
  sqlite3* m_db = nullptr;
  size_t m_idleCount = 0;
  std::unordered_map<std::string, std::vector<sqlite3_stmt*>, TextHash, std::equal_to<>> m_idle;
};

// A prepared statement, from the cache and given back to it.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : m_db(db), m_sql(sql) {
    m_rc = StatementCache::Instance().Take(db, sql, m_stmt);
  }
  ~Statement() { StatementCache::Instance().Give(m_db, m_sql, m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  int Prepared() const { return m_rc; }
  // A parameter that cannot be bound (a blob longer than the store holds)
  // makes Step answer the binding's error.
  Statement& Int(int i, int64_t v) { return Bound(sqlite3_bind_int64(m_stmt, i, v)); }
  Statement& Blob(int i, const void* data, size_t size) {
    if (size == 0) return Bound(sqlite3_bind_zeroblob(m_stmt, i, 0));
    return Bound(sqlite3_bind_blob64(m_stmt, i, data, static_cast<sqlite3_uint64>(size), SQLITE_TRANSIENT));
  }
  Statement& Text16(int i, const std::u16string& s) { return Blob(i, s.data(), s.size() * 2); }
  Statement& Folded(int i, const std::u16string& s) {
    std::string f = FoldKey(s);
    return Blob(i, f.data(), f.size());
  }
  Statement& Null(int i) { return Bound(sqlite3_bind_null(m_stmt, i)); }
  int Step() {
    if (m_rc != SQLITE_OK) return m_rc;
    if (!sqlite3_stmt_readonly(m_stmt) && InjectWriteFault()) return SQLITE_IOERR;
    return sqlite3_step(m_stmt);
  }
  int64_t ColumnInt(int i) { return sqlite3_column_int64(m_stmt, i); }
  std::string ColumnBytes(int i) {
    const void* p = sqlite3_column_blob(m_stmt, i);
    int n = sqlite3_column_bytes(m_stmt, i);
    return p != nullptr ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
  }
  std::u16string ColumnText16(int i) {
    std::string b = ColumnBytes(i);
    std::u16string s(b.size() / 2, u'\0');
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
  }

 private:
  Statement& Bound(int rc) {
    if (m_rc == SQLITE_OK) m_rc = rc;
    return *this;
  }

  sqlite3* m_db;
  const char* m_sql;
  sqlite3_stmt* m_stmt = nullptr;
  int m_rc;
};

// A change stamp: this process's own changes, which kind of reading the
// other processes' commits came from, and that reading.
uint64_t StampOf(uint64_t changes, uint64_t kind, uint64_t reading) {
  const uint64_t parts[3] = {changes, kind, reading};
  return StampDigest(parts, sizeof parts);
}

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// Switching to the write-ahead log needs the file to itself, and SQLite
// answers SQLITE_BUSY at once, without its busy handler, while another
// process has the store open (as when two processes create it together).
// Waits for it here, as long as the busy timeout would.
int UseWriteAheadLog(sqlite3* db) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    int rc = Exec(db, "PRAGMA journal_mode=WAL");
    if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) return rc;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

[[nodiscard]] LSTATUS StatusOf(int sqliteCode) {
  switch (sqliteCode & 0xFF) {
    case SQLITE_OK: case SQLITE_DONE: case SQLITE_ROW: return ERROR_SUCCESS;
    case SQLITE_CORRUPT: case SQLITE_NOTADB: case SQLITE_FORMAT: return ERROR_REGISTRY_CORRUPT;
    case SQLITE_NOMEM: return ERROR_OUTOFMEMORY;
    case SQLITE_TOOBIG: return ERROR_NOT_ENOUGH_MEMORY;  // more than the store holds in one value
    case SQLITE_READONLY: case SQLITE_PERM: case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

}  // namespace

std::u16string FoldName(const std::u16string& name) {
  std::u16string out = name;
  for (char16_t& c : out) c = UpperCase(c);
  return out;
}

Store*& Store::Instance() {
  static Store* store = nullptr;  // one per process, alive until the end
  return store;
}

Store* Store::Existing() { return Instance(); }

LSTATUS Store::Current(Store*& out) {
  Store*& store = Instance();
  if (store == nullptr) store = new Store;
  out = store;
  std::string path = ConfiguredPath();
  if (store->m_db != nullptr && store->m_path == path) return ERROR_SUCCESS;
  // Handles name keys of the store they were opened in: another store makes
  // them invalid, the same one reopened keeps them.
  if (store->m_path != path) ++store->m_generation;
  store->Close();
  return store->Open(path);
}

void Store::Close() {
  ++m_changes;  // the next connection's data versions start anew
  m_writeAheadLog = false;
  m_inBatch = m_batchReads = false;  // closing rolls back what a batch left uncommitted
  m_childCursors.clear();
  m_valueCursors.clear();
  if (m_db == nullptr) return;
  StatementCache::Instance().Clear();
  sqlite3_close_v2(m_db);
  m_db = nullptr;
}

LSTATUS Store::Open(const std::string& path) {
  std::string untrusted;
  if (path.empty()) {
    untrusted = "no home folder to keep it in (set HOME, XDG_DATA_HOME or FARROWGATE_REGISTRY)";
  } else if (path != kInMemoryStore) {
    MakeParentDirectories(path);
    untrusted = UntrustedBecause(path);
  }
  if (!untrusted.empty()) {
    Report("registry: the store " + path + " is refused: " + untrusted + "\n");
    return ERROR_ACCESS_DENIED;
  }
  if (path != kInMemoryStore) CreatePrivateFile(path);
  // The side files a refused store must not keep: those that opening it
  // made.
  std::vector<std::string> sideFiles;
  for (const char* suffix : {"-wal", "-shm"})
    if (path != kInMemoryStore && access((path + suffix).c_str(), F_OK) != 0) sideFiles.push_back(path + suffix);
  m_readOnly = path != kInMemoryStore && access(path.c_str(), W_OK) != 0 && access(path.c_str(), R_OK) == 0;
  int rc = m_readOnly ? sqlite3_open_v2(ReadOnlyUri(path).c_str(), &m_db,
                                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW, nullptr)
                      : sqlite3_open_v2(path.c_str(), &m_db,
                                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
  LSTATUS status = rc == SQLITE_OK ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
  if (status == ERROR_SUCCESS) {
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    status = Check(path);
  }
  if (status == ERROR_SUCCESS) {
    m_path = path;
    return ERROR_SUCCESS;
  }
  std::string why = m_db != nullptr ? sqlite3_errmsg(m_db) : "cannot open the file";
  Report("registry: the store " + path +
                   (status == ERROR_REGISTRY_CORRUPT ? " is damaged or not a registry store: " : " cannot be opened: ") +
                   why + "\n");
  sqlite3_close_v2(m_db);
  m_db = nullptr;
  for (const std::string& side : sideFiles) unlink(side.c_str());
  return status;
}

void Store::Report(const std::string& message) {
  if (std::find(m_reported.begin(), m_reported.end(), message) != m_reported.end()) return;
  m_reported.push_back(message);
  OutputDebugStringA(message.c_str());
}

// Joins or creates the store; never writes into a file that holds anything
// but an empty database or a registry store.
LSTATUS Store::Check(const std::string& path) {
  int appId = -1, version = -1;
  int64_t tables = 0;
  {
    // One statement, so both are read from the same state of the file even
    // while another process is creating the schema.
    Statement s(m_db, "SELECT (SELECT application_id FROM pragma_application_id),"
                      " (SELECT count(*) FROM sqlite_master)");
    int rc = s.Step();
    if (rc != SQLITE_ROW) return StatusOf(rc);
    appId = static_cast<int>(s.ColumnInt(0));
    tables = s.ColumnInt(1);
  }
  if (appId == 0) {
    if (tables != 0) return ERROR_REGISTRY_CORRUPT;  // some other database
    if (m_readOnly) return ERROR_ACCESS_DENIED;      // an empty store this user may not fill
    if (UseWriteAheadLog(m_db) != SQLITE_OK) return StatusOf(sqlite3_errcode(m_db));
    LSTATUS status = CreateSchema();
    if (status != ERROR_SUCCESS) return status;
    appId = kApplicationId;
  }
  if (appId != kApplicationId) return ERROR_REGISTRY_CORRUPT;
  {
    Statement s(m_db, "PRAGMA user_version");
    if (s.Step() != SQLITE_ROW) return StatusOf(sqlite3_errcode(m_db));
    version = static_cast<int>(s.ColumnInt(0));
  }
  if (version != kSchemaVersion && version != kFirstVersion) return ERROR_REGISTRY_CORRUPT;
  if (LSTATUS status = CheckContents(path, version == kSchemaVersion); status != ERROR_SUCCESS) return status;
  if (version == kFirstVersion) {
    if (m_readOnly) return ERROR_ACCESS_DENIED;  // an older store that cannot be brought up to date
    if (LSTATUS status = Upgrade(); status != ERROR_SUCCESS) return status;
  }
  if (m_readOnly) return ERROR_SUCCESS;
  if (UseWriteAheadLog(m_db) != SQLITE_OK) return StatusOf(sqlite3_errcode(m_db));
  if (Exec(m_db, "PRAGMA synchronous=NORMAL") != SQLITE_OK) return StatusOf(sqlite3_errcode(m_db));
  Statement mode(m_db, "PRAGMA journal_mode");
  m_writeAheadLog = mode.Step() == SQLITE_ROW && mode.ColumnBytes(0) == "wal";
  return ERROR_SUCCESS;
}

// The tables and columns every statement of the store uses; a file with
// the store's marks but not its tables is refused before anything is
// written into it.
LSTATUS Store::CheckTables() {
  for (const char* probe : {"SELECT id, parent, name, fold, class, written FROM keys LIMIT 0",
                            "SELECT id, key, name, fold, type, data FROM vals LIMIT 0"}) {
    Statement s(m_db, probe);
    if (s.Prepared() != SQLITE_OK) return ERROR_REGISTRY_CORRUPT;
  }
  // The unique indexes keep two children of a key, or two values, from
  // having one name; without them every lookup by name could answer
  // either.
  Statement s(m_db,
              "SELECT (SELECT group_concat(name) FROM pragma_index_info('keys_child')),"
              " (SELECT group_concat(name) FROM pragma_index_info('vals_name')),"
              " (SELECT count(*) FROM pragma_index_list('keys') WHERE name = 'keys_child' AND \"unique\" = 1),"
              " (SELECT count(*) FROM pragma_index_list('vals') WHERE name = 'vals_name' AND \"unique\" = 1)");
  int rc = s.Step();
  if (rc != SQLITE_ROW) return StatusOf(rc);
  bool indexed = s.ColumnBytes(0) == "parent,fold" && s.ColumnBytes(1) == "key,fold" && s.ColumnInt(2) == 1 &&
                 s.ColumnInt(3) == 1;
  return indexed ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT;
}

// Checks the whole store, in one read transaction so that every check sees
// one state of it, unless the record beside it says that this very file was
// checked whole before and the transaction reads the file alone (the log
// holds no frames). A sound store the transaction reads from the file alone
// is recorded, so that the next process is spared the check; a store of
// the older version is not (its upgrade rewrites it at once).
LSTATUS Store::CheckContents(const std::string& path, bool current) {
  // The checks read the whole file; through a memory map of it they read it
  // without copying each page, which halves the check of a large store.
  // Only for the checks: a map turns an I/O error, or the file cut short by
  // another process meanwhile, into a signal where a read would answer an
  // error, and no process of ours ever makes the store's file shorter.
  struct MapWhileChecking {
    sqlite3* db;
    explicit MapWhileChecking(sqlite3* d) : db(d) { Exec(db, "PRAGMA mmap_size=268435456"); }
    ~MapWhileChecking() { Exec(db, "PRAGMA mmap_size=0"); }
  } mapped(m_db);
  if (int rc = Run("BEGIN"); rc != SQLITE_OK) return StatusOf(rc);
  struct EndRead {
    Store* store;
    ~EndRead() { store->Run("COMMIT"); }  // a read transaction: this only ends it
  } end{this};
  if (LSTATUS status = CheckTables(); status != ERROR_SUCCESS) return status;
  bool fileAlone = false;
  if (current && !m_readOnly && path != kInMemoryStore) {
    // The transaction's view of the store is fixed by its first read of a
    // table; the log's frames are counted after it.
    Statement first(m_db, "SELECT 1 FROM keys WHERE id = 1");
    if (int rc = first.Step(); rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_REGISTRY_CORRUPT : StatusOf(rc);
    Statement mode(m_db, "PRAGMA journal_mode");
    uint32_t frames = 0;
    fileAlone = mode.Step() == SQLITE_ROW && mode.ColumnBytes(0) == "wal" && WalIndexFrames(m_db, frames) &&
                frames == 0;
  }
  if (fileAlone && CheckedRecordMatches(path)) return ERROR_SUCCESS;
  {
    Statement s(m_db, "PRAGMA quick_check");
    int rc = s.Step();
    if (rc != SQLITE_ROW) return StatusOf(rc);
    if (s.ColumnBytes(0) != "ok") return ERROR_REGISTRY_CORRUPT;
  }
  if (LSTATUS status = CheckNames(); status != ERROR_SUCCESS) return status;
  if (LSTATUS status = CheckTree(); status != ERROR_SUCCESS) return status;
  if (fileAlone) RecordChecked(path);
  return ERROR_SUCCESS;
}

// Every name is a whole 16-bit string (an even number of bytes), and only a
// value, the default one, may have an empty name: a key with an empty name
// would make its path end in a separator, and a walk that joins names
// would never reach a longer one.
LSTATUS Store::CheckNames() {
  Statement s(m_db,
              "SELECT (SELECT count(*) FROM keys WHERE typeof(name) != 'blob' OR length(name) = 0"
              "  OR length(name) % 2 != 0 OR typeof(fold) != 'blob' OR length(fold) = 0 OR length(fold) % 2 != 0),"
              " (SELECT count(*) FROM vals WHERE (typeof(name) != 'blob' AND length(name) != 0)"
              "  OR length(name) % 2 != 0 OR length(fold) % 2 != 0)");
  int rc = s.Step();
  if (rc != SQLITE_ROW) return StatusOf(rc);
  return s.ColumnInt(0) == 0 && s.ColumnInt(1) == 0 ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT;
}

// The keys form a tree: the seven roots have no parent, and every other key
// is reached from one of them within the deepest level a key may have. A
// key whose parents run in a cycle, or point nowhere, makes the store
// damaged, so that no walk of the tree can go round for ever.
//
// One pass over the keys in the table's order, then each key's depth found
// by following its parents only until a key whose depth is known: the
// whole check costs time in proportion to the number of keys, however deep
// or wide the tree.
LSTATUS Store::CheckTree() {
  // The keys in the order of their ids (a table's own order), each with its
  // parent: a parent is then found by a binary search.
  std::vector<std::pair<KeyId, KeyId>> keys;
  {
    Statement count(m_db, "SELECT count(*) FROM keys");
    int rc = count.Step();
    if (rc != SQLITE_ROW) return StatusOf(rc);
    keys.reserve(static_cast<size_t>(count.ColumnInt(0)));
  }
  Statement rows(m_db, "SELECT id, parent FROM keys");
  int rc;
  while ((rc = rows.Step()) == SQLITE_ROW) keys.emplace_back(rows.ColumnInt(0), rows.ColumnInt(1));
  if (rc != SQLITE_DONE) return StatusOf(rc);
  if (!std::is_sorted(keys.begin(), keys.end())) std::sort(keys.begin(), keys.end());
  auto indexOf = [&keys](KeyId id) -> size_t {
    auto it = std::lower_bound(keys.begin(), keys.end(), std::make_pair(id, std::numeric_limits<KeyId>::min()));
    return it != keys.end() && it->first == id ? static_cast<size_t>(it - keys.begin()) : keys.size();
  };
  // The roots: ids 1 to 7 without a parent. No other key may be a root, or
  // a child with a root's id.
  constexpr int kUnknown = -1;
  std::vector<int> depthOf(keys.size(), kUnknown);
  for (KeyId id = 1; id <= kRootCount; ++id) {
    size_t at = indexOf(id);
    if (at == keys.size() || keys[at].second != 0) return ERROR_REGISTRY_CORRUPT;
    depthOf[at] = 0;
  }
  std::vector<size_t> chain;
  for (size_t start = 0; start < keys.size(); ++start) {
    // Up from the key until a key whose depth is known; a chain longer than
    // the deepest level runs in a cycle or is too deep.
    chain.clear();
    size_t at = start;
    while (depthOf[at] == kUnknown) {
      auto [id, parent] = keys[at];
      if (id <= kRootCount || parent == 0 || chain.size() > static_cast<size_t>(kMaxDepth))
        return ERROR_REGISTRY_CORRUPT;
      chain.push_back(at);
      at = indexOf(parent);
      if (at == keys.size()) return ERROR_REGISTRY_CORRUPT;  // a parent that is not there
    }
    int depth = depthOf[at] + static_cast<int>(chain.size());
    if (depth > kMaxDepth) return ERROR_REGISTRY_CORRUPT;
    for (size_t k : chain) depthOf[k] = depth--;
  }
  return ERROR_SUCCESS;
}

// Folds every name of one table again and writes the folded column.
LSTATUS Store::Refold(const char* table) {
  std::string select = std::string("SELECT id, name FROM ") + table;
  std::string update = std::string("UPDATE ") + table + " SET fold = ? WHERE id = ?";
  Statement rows(m_db, select.c_str());
  for (int rc = rows.Step(); rc != SQLITE_DONE; rc = rows.Step()) {
    if (rc != SQLITE_ROW) return StatusOf(rc);
    Statement set(m_db, update.c_str());
    rc = set.Folded(1, rows.ColumnText16(1)).Int(2, rows.ColumnInt(0)).Step();
    if (rc != SQLITE_DONE) return StatusOf(rc);
  }
  return ERROR_SUCCESS;
}

// Upgrades a version 1 store in one transaction: every name is folded
// again, and the unique indexes are made anew over the new folds. Two names
// of one key that now fold alike cannot both stay: the store is refused as
// damaged, and nothing is changed.
LSTATUS Store::Upgrade() {
  if (Exec(m_db, "BEGIN IMMEDIATE") != SQLITE_OK) return StatusOf(sqlite3_errcode(m_db));
  int version = 0;
  {
    // Another process may have upgraded it while this one waited.
    Statement s(m_db, "PRAGMA user_version");
    if (s.Step() == SQLITE_ROW) version = static_cast<int>(s.ColumnInt(0));
  }
  if (version == kSchemaVersion) return End(/*commit=*/true);
  LSTATUS status = Exec(m_db, "DROP INDEX keys_child; DROP INDEX vals_name") == SQLITE_OK
                       ? ERROR_SUCCESS
                       : StatusOf(sqlite3_errcode(m_db));
  if (status == ERROR_SUCCESS) status = Refold("keys");
  if (status == ERROR_SUCCESS) status = Refold("vals");
  if (status == ERROR_SUCCESS &&
      Exec(m_db, "CREATE UNIQUE INDEX keys_child ON keys(parent, fold);"
                 "CREATE UNIQUE INDEX vals_name ON vals(key, fold);"
                 "PRAGMA user_version=2;") != SQLITE_OK) {
    int rc = sqlite3_errcode(m_db);
    status = (rc & 0xFF) == SQLITE_CONSTRAINT ? ERROR_REGISTRY_CORRUPT : StatusOf(rc);
  }
  if (status != ERROR_SUCCESS) {
    (void)End(/*commit=*/false);  // a rollback answers success
    return status;
  }
  return End(/*commit=*/true);
}

LSTATUS Store::CreateSchema() {
  if (Exec(m_db, "BEGIN IMMEDIATE") != SQLITE_OK) return StatusOf(sqlite3_errcode(m_db));
  // Another process may have created it while this one waited for the lock.
  bool created = false;
  {
    Statement again(m_db, "PRAGMA application_id");
    created = again.Step() == SQLITE_ROW && again.ColumnInt(0) == kApplicationId;
  }
  if (created) return End(/*commit=*/true);
  const char* schema =
      "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name BLOB NOT NULL,"
      " fold BLOB NOT NULL, class BLOB, written INTEGER NOT NULL);"
      "CREATE UNIQUE INDEX keys_child ON keys(parent, fold);"
      "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name BLOB NOT NULL,"
      " fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
      "CREATE UNIQUE INDEX vals_name ON vals(key, fold);"
      "PRAGMA application_id=1179079239;"
      "PRAGMA user_version=2;";
  static_assert(kSchemaVersion == 2);
  static_assert(kApplicationId == 1179079239);
  if (Exec(m_db, schema) != SQLITE_OK) {
    LSTATUS status = StatusOf(sqlite3_errcode(m_db));
    (void)End(/*commit=*/false);  // a rollback answers success
    return status;
  }
  for (int i = 0; i < kRootCount; ++i) {
    std::u16string name = kRootNames[i];
    Statement s(m_db, "INSERT INTO keys(id, parent, name, fold, class, written) VALUES(?, 0, ?, ?, NULL, ?)");
    int rc = s.Int(1, i + 1).Text16(2, name).Folded(3, name).Int(4, Now()).Step();
    if (rc != SQLITE_DONE) {
      (void)End(/*commit=*/false);  // a rollback answers success
      return StatusOf(rc);
    }
  }
  return End(/*commit=*/true);
}

LSTATUS Store::Fail(int sqliteCode) {
  if (g_injectedStatus != ERROR_SUCCESS) {
    LSTATUS injected = g_injectedStatus;
    g_injectedStatus = ERROR_SUCCESS;
    return injected;
  }
  LSTATUS status = StatusOf(sqliteCode);
  return status != ERROR_SUCCESS ? status : ERROR_REGISTRY_IO_FAILED;
}

int Store::Run(const char* sql) {
  Statement s(m_db, sql);
  int rc = s.Step();
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

LSTATUS Store::Begin(bool write) {
  if (m_inBatch && m_batchReads && write) return ERROR_ACCESS_DENIED;
  int rc = Run(m_inBatch ? "SAVEPOINT fgcall" : write ? "BEGIN IMMEDIATE" : "BEGIN");
  if (rc != SQLITE_OK) return Fail(rc);
  g_inWriteTransaction = write;
  return ERROR_SUCCESS;
}

LSTATUS Store::ChangeStamp(uint64_t& out) {
  // Other processes' commits show in the log's shared header, read without
  // a lock; when it cannot be read, in the data version, which takes the
  // database's read locks. The two kinds never stand for each other.
  uint64_t header = 0;
  if (m_writeAheadLog && WalIndexStamp(m_db, header)) {
    out = StampOf(m_changes, 1, header);
    return ERROR_SUCCESS;
  }
  Statement s(m_db, "PRAGMA data_version");
  int rc = s.Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  out = StampOf(m_changes, 2, static_cast<uint64_t>(s.ColumnInt(0)));
  return ERROR_SUCCESS;
}

LSTATUS Store::End(bool commit) {
  if (g_inWriteTransaction) ++m_changes;  // a write kept or undone: either way, what is read changed
  int rc = SQLITE_OK;
  if (commit) rc = InjectWriteFault() ? SQLITE_IOERR : Run(m_inBatch ? "RELEASE fgcall" : "COMMIT");
  g_inWriteTransaction = false;
  if (commit && rc == SQLITE_OK) return ERROR_SUCCESS;
  LSTATUS status = commit ? Fail(rc) : ERROR_SUCCESS;
  g_injectedStatus = ERROR_SUCCESS;
  if (m_inBatch) {
    // Undoes the call's changes and leaves the batch's transaction open.
    Run("ROLLBACK TO fgcall");
    Run("RELEASE fgcall");
  } else {
    Run("ROLLBACK");
  }
  return status;
}

LSTATUS Store::BeginBatch(bool write) {
  // A snapshot's transaction begins reading at once, so that it is the
  // store as it is now that every call sees.
  int rc = Run(write && !m_readOnly ? "BEGIN IMMEDIATE" : "BEGIN");
  if (rc == SQLITE_OK && !write) {
    Statement first(m_db, "SELECT 1 FROM keys WHERE id = 1");
    rc = first.Step() == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(m_db);
    if (rc != SQLITE_OK) Run("ROLLBACK");
  }
  if (rc != SQLITE_OK) return Fail(rc);
  m_inBatch = true;
  m_batchReads = !write;
  return ERROR_SUCCESS;
}

LSTATUS Store::EndBatch(bool commit) {
  m_inBatch = false;
  ++m_changes;
  if (m_batchReads) {
    m_batchReads = false;
    Run("COMMIT");  // a snapshot has nothing to keep: this only ends it
    return ERROR_SUCCESS;
  }
  int rc = SQLITE_OK;
  if (commit) {
    // The commit is where a batch's writes reach the file: a registry-write
    // fault may fire here too.
    g_inWriteTransaction = true;
    rc = InjectWriteFault() ? SQLITE_IOERR : Run("COMMIT");
    g_inWriteTransaction = false;
  }
  if (commit && rc == SQLITE_OK) return ERROR_SUCCESS;
  LSTATUS status = commit ? Fail(rc) : ERROR_SUCCESS;
  g_injectedStatus = ERROR_SUCCESS;
  Run("ROLLBACK");
  return status;
}

bool Store::KeyExists(KeyId id) {
  if (id >= 1 && id <= kRootCount) return true;
  Statement s(m_db, "SELECT 1 FROM keys WHERE id = ?");
  return s.Int(1, id).Step() == SQLITE_ROW;
}

LSTATUS Store::FindChild(KeyId parent, const std::u16string& name, KeyId& out) {
  Statement s(m_db, "SELECT id FROM keys WHERE parent = ? AND fold = ?");
  int rc = s.Int(1, parent).Folded(2, name).Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return Fail(rc);
  out = s.ColumnInt(0);
  return ERROR_SUCCESS;
}

LSTATUS Store::CreateChild(KeyId parent, const std::u16string& name, const char16_t* className, KeyId& out) {
  Statement s(m_db, "INSERT INTO keys(parent, name, fold, class, written) VALUES(?, ?, ?, ?, ?)");
  s.Int(1, parent).Text16(2, name).Folded(3, name).Int(5, Now());
  if (className != nullptr)
    s.Text16(4, className);
  else
    s.Null(4);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  out = sqlite3_last_insert_rowid(m_db);
  return Touch(parent);
}

LSTATUS Store::Touch(KeyId id) {
  Statement s(m_db, "UPDATE keys SET written = ? WHERE id = ?");
  int rc = s.Int(1, Now()).Int(2, id).Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  return sqlite3_changes(m_db) == 1 ? ERROR_SUCCESS : ERROR_KEY_DELETED;  // no row: the key is gone
}

LSTATUS Store::ChildCount(KeyId id, DWORD& out) {
  Statement s(m_db, "SELECT count(*) FROM keys WHERE parent = ?");
  int rc = s.Int(1, id).Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  out = static_cast<DWORD>(s.ColumnInt(0));
  return ERROR_SUCCESS;
}

// The file's data version, which changes with every change of the store by
// this connection or another; 0 when it cannot be read (then no cursor is
// ever resumed).
unsigned Store::DataVersion() {
  unsigned version = 0;
  return sqlite3_file_control(m_db, "main", SQLITE_FCNTL_DATA_VERSION, &version) == SQLITE_OK ? version : 0;
}

// A cursor resumes when the entry asked for is the one after it, in a store
// unchanged since it was left.
const Store::EnumCursor* Store::Resumable(const std::unordered_map<KeyId, EnumCursor>& cursors, KeyId key,
                                          DWORD index, unsigned version) {
  auto it = cursors.find(key);
  if (it == cursors.end() || version == 0 || it->second.version != version || it->second.index + 1 != index)
    return nullptr;
  return &it->second;
}

void Store::Remember(std::unordered_map<KeyId, EnumCursor>& cursors, KeyId key, EnumCursor cursor) {
  if (cursors.size() >= kMaxCursors && cursors.find(key) == cursors.end()) cursors.clear();
  cursors[key] = std::move(cursor);
}

// Enumeration walks a key's children in name order. The usual walk asks for
// index 0, 1, 2, ...: each step resumes after the name it found last, so every
// index costs the same; any other index is counted from the start.
LSTATUS Store::ChildAt(KeyId parent, DWORD index, std::u16string& name, std::u16string& className,
                       int64_t& written) {
  unsigned version = DataVersion();
  const EnumCursor* after = Resumable(m_childCursors, parent, index, version);
  Statement s(m_db, after != nullptr ? "SELECT name, class, written, fold FROM keys INDEXED BY keys_child WHERE parent = ? AND fold > ?"
                                       " ORDER BY fold LIMIT 1"
                                     : "SELECT name, class, written, fold FROM keys WHERE parent = ? ORDER BY fold"
                                       " LIMIT 1 OFFSET ?");
  s.Int(1, parent);
  if (after != nullptr)
    s.Blob(2, after->last.data(), after->last.size());
  else
    s.Int(2, index);
  int rc = s.Step();
  if (rc == SQLITE_DONE) {
    m_childCursors.erase(parent);
    return ERROR_NO_MORE_ITEMS;
  }
  if (rc != SQLITE_ROW) return Fail(rc);
  name = s.ColumnText16(0);
  className = s.ColumnText16(1);
  written = s.ColumnInt(2);
  Remember(m_childCursors, parent, EnumCursor{index, version, s.ColumnBytes(3), 0});
  return ERROR_SUCCESS;
}

LSTATUS Store::DeleteKey(KeyId id) {
  Statement values(m_db, "DELETE FROM vals WHERE key = ?");
  int rc = values.Int(1, id).Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  Statement parent(m_db, "UPDATE keys SET written = ? WHERE id = (SELECT parent FROM keys WHERE id = ?)");
  rc = parent.Int(1, Now()).Int(2, id).Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  Statement key(m_db, "DELETE FROM keys WHERE id = ?");
  rc = key.Int(1, id).Step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LSTATUS Store::DeleteTree(KeyId id, bool includeSelf) {
  // UNION, not UNION ALL: even a cycle written into the file after it was
  // checked ends the walk.
  const char* tree = "WITH RECURSIVE sub(id) AS (SELECT ? UNION SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) ";
  std::string values = std::string(tree) + "DELETE FROM vals WHERE key IN sub";
  std::string keys = std::string(tree) + "DELETE FROM keys WHERE id IN sub AND id <> ?";
  Statement v(m_db, values.c_str());
  int rc = v.Int(1, id).Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  Statement k(m_db, keys.c_str());
  rc = k.Int(1, id).Int(2, includeSelf ? 0 : id).Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  return includeSelf ? ERROR_SUCCESS : Touch(id);
}

LSTATUS Store::SetValue(KeyId key, const std::u16string& name, DWORD type, const BYTE* data, DWORD size) {
  // The key's time first: it also tells whether the key is still there.
  if (LSTATUS status = Touch(key); status != ERROR_SUCCESS) return status;
  Statement s(m_db,
              "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)"
              " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  int rc = s.Int(1, key).Text16(2, name).Folded(3, name).Int(4, type).Blob(5, data, size).Step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LSTATUS Store::GetValue(KeyId key, const std::u16string& name, ValueRow& out) {
  Statement s(m_db, "SELECT name, type, data FROM vals WHERE key = ? AND fold = ?");
  int rc = s.Int(1, key).Folded(2, name).Step();
  // A value is found only in a key that is there; no value may mean no key.
  if (rc == SQLITE_DONE) return KeyExists(key) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
  if (rc != SQLITE_ROW) return Fail(rc);
  out.name = s.ColumnText16(0);
  out.type = static_cast<DWORD>(s.ColumnInt(1));
  out.data = s.ColumnBytes(2);
  return ERROR_SUCCESS;
}

// Values enumerate in the order they were made, resumed as children are.
LSTATUS Store::ValueAt(KeyId key, DWORD index, ValueRow& out) {
  unsigned version = DataVersion();
  const EnumCursor* after = Resumable(m_valueCursors, key, index, version);
  Statement s(m_db, after != nullptr
                        ? "SELECT name, type, data, id FROM vals INDEXED BY vals_name WHERE key = ? AND id > ?"
                          " ORDER BY id LIMIT 1"
                        : "SELECT name, type, data, id FROM vals WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
  int rc = s.Int(1, key).Int(2, after != nullptr ? after->lastId : static_cast<int64_t>(index)).Step();
  if (rc == SQLITE_DONE) {
    m_valueCursors.erase(key);
    return ERROR_NO_MORE_ITEMS;
  }
  if (rc != SQLITE_ROW) return Fail(rc);
  out.name = s.ColumnText16(0);
  out.type = static_cast<DWORD>(s.ColumnInt(1));
  out.data = s.ColumnBytes(2);
  Remember(m_valueCursors, key, EnumCursor{index, version, std::string(), s.ColumnInt(3)});
  return ERROR_SUCCESS;
}

LSTATUS Store::DeleteValue(KeyId key, const std::u16string& name) {
  Statement s(m_db, "DELETE FROM vals WHERE key = ? AND fold = ?");
  int rc = s.Int(1, key).Folded(2, name).Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  if (sqlite3_changes(m_db) == 0) return ERROR_FILE_NOT_FOUND;
  return Touch(key);
}

LSTATUS Store::Info(KeyId key, KeyInfo& out) {
  Statement self(m_db, "SELECT class, written FROM keys WHERE id = ?");
  int rc = self.Int(1, key).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_KEY_DELETED : Fail(rc);
  out.className = self.ColumnText16(0);
  out.written = self.ColumnInt(1);
  Statement keys(m_db, "SELECT count(*), max(length(name)) / 2, max(length(class)) / 2 FROM keys WHERE parent = ?");
  rc = keys.Int(1, key).Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  out.subkeys = static_cast<DWORD>(keys.ColumnInt(0));
  out.maxSubkeyName = static_cast<DWORD>(keys.ColumnInt(1));
  out.maxClass = static_cast<DWORD>(keys.ColumnInt(2));
  Statement vals(m_db, "SELECT count(*), max(length(name)) / 2, max(length(data)) FROM vals WHERE key = ?");
  rc = vals.Int(1, key).Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  out.values = static_cast<DWORD>(vals.ColumnInt(0));
  out.maxValueName = static_cast<DWORD>(vals.ColumnInt(1));
  out.maxValueData = static_cast<DWORD>(vals.ColumnInt(2));
  return ERROR_SUCCESS;
}

}  // namespace fgp::reg
