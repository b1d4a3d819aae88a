// The registry's SQLite store: opening and checking the database, and the
// key and value operations the registry calls run in one transaction each.
// Every member is called with the registry lock held.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fgplatform/winreg.h"

namespace fgp::reg {

using KeyId = int64_t;
constexpr int kRootCount = 7;  // ids 1..7 are the predefined keys

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
  static LSTATUS Current(Store*& out);

  uint64_t Generation() const { return m_generation; }

  // Transactions: a write transaction takes the database's write lock at
  // once; both end with End (commit when `commit`, else roll back).
  LSTATUS Begin(bool write);
  LSTATUS End(bool commit);

  bool KeyExists(KeyId id);
  LSTATUS FindChild(KeyId parent, const std::u16string& name, KeyId& out);
  LSTATUS CreateChild(KeyId parent, const std::u16string& name, const char16_t* className, KeyId& out);
  LSTATUS ChildCount(KeyId id, DWORD& out);
  LSTATUS ChildAt(KeyId parent, DWORD index, std::u16string& name, std::u16string& className, int64_t& written);
  LSTATUS DeleteKey(KeyId id);
  LSTATUS DeleteTree(KeyId id, bool includeSelf);
  LSTATUS SetValue(KeyId key, const std::u16string& name, DWORD type, const BYTE* data, DWORD size);
  LSTATUS GetValue(KeyId key, const std::u16string& name, ValueRow& out);
  LSTATUS ValueAt(KeyId key, DWORD index, ValueRow& out);
  LSTATUS DeleteValue(KeyId key, const std::u16string& name);
  LSTATUS Info(KeyId key, KeyInfo& out);

 private:
  LSTATUS Open(const std::string& path);
  LSTATUS Check(const std::string& path);
  LSTATUS CreateSchema();
  LSTATUS Touch(KeyId id);
  LSTATUS Fail(int sqliteCode);
  void Close();

  sqlite3* m_db = nullptr;
  std::string m_path;
  uint64_t m_generation = 0;
  std::vector<std::string> m_reported;  // paths already complained about
};

// Folds a name for comparison: the upper case of lstrcmpiW.
std::u16string FoldName(const std::u16string& name);

}  // namespace fgp::reg
