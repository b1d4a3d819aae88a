// The registry's SQLite store: opening and checking the database, and the
// key and value operations the registry calls run in one transaction each.
// Every member is called with the registry lock held.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "fgplatform/winreg.h"

namespace fgp::reg {

using KeyId = int64_t;
constexpr int kRootCount = 7;  // ids 1..7 are the predefined keys
constexpr int kMaxDepth = 512;  // levels of keys below a root

struct ValueRow {
  std::u16string name;
  DWORD type = 0;
  std::string data;
};

struct KeyInfo {
  std::u16string className;
  DWORD subkeys = 0, maxSubkeyName = 0, maxClass = 0;
  DWORD values = 0, maxValueName = 0, maxValueData = 0;
  int64_t written = 0;
};

class Store {
 public:
  // The store for the current configuration, opened on first use and
  // reopened when FARROWGATE_REGISTRY names another file. 0 or an error.
  [[nodiscard]] static LSTATUS Current(Store*& out);
  // The store when one was ever opened, else null; never opens one.
  static Store* Existing();
  // Closes the database (a cleanly closed database folds its log back into
  // the file and removes the log's side files); the next call reopens it,
  // and open handles stay valid.
  void Close();

  uint64_t Generation() const { return m_generation; }
  // A value that changes whenever what this connection reads may have
  // changed: another process committed, this process wrote or rolled back,
  // or the store was reopened. Equal stamps mean equal contents.
  [[nodiscard]] LSTATUS ChangeStamp(uint64_t& out);

  // Transactions: a write transaction takes the database's write lock at
  // once; both end with End (commit when `commit`, else roll back). Inside
  // a batch a call's transaction is a savepoint of the batch's, so that a
  // failed call still undoes only itself.
  [[nodiscard]] LSTATUS Begin(bool write);
  [[nodiscard]] LSTATUS End(bool commit);
  // A batch: one transaction around many calls, committed or rolled back
  // as a whole by EndBatch; or, not `write`, a snapshot for reading whose
  // write calls are refused.
  [[nodiscard]] LSTATUS BeginBatch(bool write);
  [[nodiscard]] LSTATUS EndBatch(bool commit);
  bool InBatch() const { return m_inBatch; }

  bool KeyExists(KeyId id);
  [[nodiscard]] LSTATUS FindChild(KeyId parent, const std::u16string& name, KeyId& out);
  [[nodiscard]] LSTATUS CreateChild(KeyId parent, const std::u16string& name, const char16_t* className, KeyId& out);
  [[nodiscard]] LSTATUS ChildCount(KeyId id, DWORD& out);
  [[nodiscard]] LSTATUS ChildAt(KeyId parent, DWORD index, std::u16string& name, std::u16string& className, int64_t& written);
  [[nodiscard]] LSTATUS DeleteKey(KeyId id);
  [[nodiscard]] LSTATUS DeleteTree(KeyId id, bool includeSelf);
  [[nodiscard]] LSTATUS SetValue(KeyId key, const std::u16string& name, DWORD type, const BYTE* data, DWORD size);
  [[nodiscard]] LSTATUS GetValue(KeyId key, const std::u16string& name, ValueRow& out);
  [[nodiscard]] LSTATUS ValueAt(KeyId key, DWORD index, ValueRow& out);
  [[nodiscard]] LSTATUS DeleteValue(KeyId key, const std::u16string& name);
  [[nodiscard]] LSTATUS Info(KeyId key, KeyInfo& out);

 private:
  [[nodiscard]] LSTATUS Open(const std::string& path);
  [[nodiscard]] LSTATUS Check(const std::string& path);
  // Says on the debug output why a store was not opened, once for each
  // store and reason.
  void Report(const std::string& message);
  [[nodiscard]] LSTATUS CreateSchema();
  static Store*& Instance();
  [[nodiscard]] LSTATUS CheckContents(const std::string& path, bool current);
  [[nodiscard]] LSTATUS CheckTables();
  [[nodiscard]] LSTATUS CheckNames();
  [[nodiscard]] LSTATUS CheckTree();
  [[nodiscard]] LSTATUS Upgrade();
  [[nodiscard]] LSTATUS Refold(const char* table);
  [[nodiscard]] LSTATUS Touch(KeyId id);
  [[nodiscard]] LSTATUS Fail(int sqliteCode);
  // Runs a statement without rows (BEGIN, COMMIT, a savepoint), prepared
  // once; SQLITE_OK or the error.
  int Run(const char* sql);

  // Where the last enumeration step of a key's children, or of its values,
  // stopped; kept per key, so that a walk that goes down between two steps
  // (a recursive listing) still resumes.
  struct EnumCursor {
    DWORD index = 0;
    unsigned version = 0;  // the data version it was found in
    std::string last;      // the child's folded name
    int64_t lastId = 0;    // the value's row
  };
  [[nodiscard]] unsigned DataVersion();
  // The cursor of `key` when it stands just before `index`; null otherwise.
  [[nodiscard]] static const EnumCursor* Resumable(const std::unordered_map<KeyId, EnumCursor>& cursors, KeyId key,
                                                   DWORD index, unsigned version);
  static void Remember(std::unordered_map<KeyId, EnumCursor>& cursors, KeyId key, EnumCursor cursor);

  static constexpr size_t kMaxCursors = 1024;  // keys walked at once; more start over
  std::unordered_map<KeyId, EnumCursor> m_childCursors, m_valueCursors;
  sqlite3* m_db = nullptr;
  uint64_t m_changes = 0;  // this process's writes and rollbacks, and its opens
  bool m_inBatch = false;
  bool m_batchReads = false;  // the batch is a snapshot: no call of it writes
  // The store is open in write-ahead-log mode, its log's shared header
  // mapped: its change stamp is read from there. A store opened only to be
  // read never maps the header itself, so it is not read there.
  bool m_writeAheadLog = false;
  bool m_readOnly = false;  // a store this user may read but not write: every write is access denied
  std::string m_path;
  uint64_t m_generation = 0;
  std::vector<std::string> m_reported;  // complaints already made
};

// Folds a name for comparison: the upper case of lstrcmpiW.
std::u16string FoldName(const std::u16string& name);

}  // namespace fgp::reg
