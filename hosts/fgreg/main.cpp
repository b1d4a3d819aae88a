// fgreg: read and edit the registry from the command line.
//
//   fgreg query KEY [/v [NAME] | /ve] [/s] [/f TEXT [/k] [/d] [/c] [/e]] [/t TYPES] [/z] [/se SEP]
//   fgreg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   fgreg delete KEY [/v NAME | /ve | /va] [/f]
//   fgreg copy KEY1 KEY2 [/s] [/f]
//   fgreg compare KEY1 KEY2 [/v NAME | /ve] [/oa | /od | /os | /on] [/s]
//   fgreg export KEY FILE [/y]
//   fgreg import FILE
//   fgreg script [/u] FILE [NAME=VALUE ...]
//   --registry PATH selects the store (else FARROWGATE_REGISTRY).
//
// Verbs and switches are read without regard to case. A switch means what
// its verb makes it mean: /f is the search text of query and "no
// questions" elsewhere, /d is data for add and "search data only" for
// query. Exit status 0 on success, 1 on any failure, 2 for a bad command
// line (and, as the usual tool has it, for a comparison that differs).
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "copy_compare_command.h"
#include "fgplatform/win32.h"
#include "query_command.h"
#include "reg_file_commands.h"
#include "registry_text.h"
#include "registry_tree.h"
#include "script_command.h"

namespace {

using fgreg::Widen;
using fgreg::Fail;
using fgreg::Value;

struct Options {
  std::string command;
  std::vector<std::string> plain;  // the arguments after the verb that are not switches
  std::string key;
  std::string file;
  std::optional<std::string> valueName;  // "" for the default value
  bool allValues = false;
  bool recursive = false;
  bool force = false;
  bool overwrite = false;  // export /y
  std::string type = "REG_SZ";
  std::optional<std::string> data;
  bool unregister = false;
  std::vector<std::string> variables;  // NAME=VALUE, for scripts
  fgreg::QueryOptions query;
  fgreg::CompareOutput compareOutput = fgreg::CompareOutput::Differences;
};

constexpr const char* kUsage =
    "usage: fgreg query KEY [/v [NAME] | /ve] [/s] [/f TEXT [/k] [/d] [/c] [/e]] [/t TYPES] [/z] [/se SEP]\n"
    "       fgreg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "       fgreg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       fgreg copy KEY1 KEY2 [/s] [/f]\n"
    "       fgreg compare KEY1 KEY2 [/v NAME | /ve] [/oa | /od | /os | /on] [/s]\n"
    "       fgreg export KEY FILE [/y]\n"
    "       fgreg import FILE\n"
    "       fgreg script [/u] FILE [NAME=VALUE ...]\n"
    "       fgreg --help\n"
    "KEY starts with a root: HKCR, HKCU, HKLM, HKU, HKCC or their long names.\n"
    "TYPE: REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ (strings separated by \\0),\n"
    "      REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE.\n"
    "query shows a key's values, a blank line and its subkeys (/s: every key beneath it).\n"
    "      /f searches key names, value names and data for TEXT (/k keys, /v value names,\n"
    "      /d data only; /c case counts; /e the whole text must match; \"*\" matches all)\n"
    "      and ends with \"End of search: N match(es) found.\" (none found: status 1).\n"
    "      /t shows only values of the types given (comma-separated), /z adds the type's\n"
    "      number, /se SEP joins the strings of a REG_MULTI_SZ with SEP instead of \\0.\n"
    "copy copies the values of KEY1 (/s: its tree) to KEY2; overwriting needs /f or a yes.\n"
    "compare shows with < and > what differs (/od, the default), with = what is alike (/os),\n"
    "      both (/oa) or nothing (/on); status 0 identical, 2 different.\n"
    "export writes the tree as a .reg file (UTF-16, \"Windows Registry Editor Version 5.00\");\n"
    "      /y overwrites an existing file without asking.\n"
    "import makes (and, for [-KEY] and \"name\"=-, deletes) what a .reg file says; it\n"
    "      reads exports and \"REGEDIT4\" files (8-bit text).\n"
    "script runs a registry script, registering what it describes (/u: unregistering),\n"
    "      with %NAME% standing for each VALUE given; the file is UTF-8 or UTF-16 (either\n"
    "      byte order) with a byte-order mark, else text in the locale's code page.\n"
    "--registry PATH selects the store (default: $FARROWGATE_REGISTRY, else\n"
    "$XDG_DATA_HOME/farrowgate/registry.db, else ~/.local/share/farrowgate/registry.db).\n"
    "Exit status: 0 success, 1 failure, 2 bad command line.\n";

int Usage(const std::string& why) {
  std::cerr << "fgreg: " << why << "\n" << kUsage;
  return 2;
}

constexpr const char* kDone = "The operation completed successfully.\n";

int Add(const Options& o, HKEY root, const std::u16string& path) {
  std::optional<DWORD> type = fgreg::TypeFromName(o.type);
  if (!type) return Usage("unknown type " + o.type);
  std::optional<std::string> bytes;
  if (o.valueName) {
    bytes = fgreg::ParseData(*type, o.data.value_or(""));
    if (!bytes) {
      std::cerr << "fgreg: the data '" << o.data.value_or("") << "' is not valid for " << o.type << "\n";
      return 1;
    }
  }
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return Fail("cannot create " + o.key, rc);
  if (o.valueName) {
    std::u16string name = Widen(*o.valueName);
    if (!o.force && RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      RegCloseKey(key);
      std::cerr << "fgreg: the value already exists; add /f to overwrite it\n";
      return 1;
    }
    rc = RegSetValueExW(key, name.c_str(), 0, *type, reinterpret_cast<const BYTE*>(bytes->data()),
                        static_cast<DWORD>(bytes->size()));
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return Fail("cannot write the value", rc);
  std::cout << kDone;
  return 0;
}

bool Confirm(const std::string& what, bool force) {
  return force || fgreg::AskYes("Delete " + what + " (y/n)?", "deleting " + what + " needs /f when not asked at a terminal");
}

int Delete(const Options& o, HKEY root, const std::u16string& path) {
  std::string what = o.allValues ? "every value of " + o.key : o.valueName ? "the value in " + o.key : o.key;
  if (!Confirm(what, o.force)) return 1;
  LSTATUS rc;
  if (!o.valueName && !o.allValues) {
    if (path.empty()) return Fail("cannot delete a root key", ERROR_ACCESS_DENIED);
    rc = RegDeleteTreeW(root, path.c_str());
    if (rc != ERROR_SUCCESS) return Fail("cannot delete " + o.key, rc);
    std::cout << kDone;
    return 0;
  }
  HKEY key = nullptr;
  rc = RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return Fail("cannot open " + o.key, rc);
  if (o.allValues) {
    std::vector<Value> values;
    rc = ReadValues(key, values);
    for (size_t i = 0; rc == ERROR_SUCCESS && i < values.size(); ++i) rc = RegDeleteValueW(key, values[i].name.c_str());
  } else {
    rc = RegDeleteValueW(key, Widen(*o.valueName).c_str());
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return Fail("cannot delete " + what, rc);
  std::cout << kDone;
  return 0;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The verb: the first argument that is neither a switch nor the path
// after --registry.
std::string FindVerb(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (Lower(a) == "--registry") {
      ++i;
      continue;
    }
    if (!a.empty() && a[0] != '/' && a[0] != '-') return Lower(a);
  }
  return "";
}

bool IsVerb(const std::string& v) {
  for (const char* known : {"query", "add", "delete", "copy", "compare", "export", "import", "script"})
    if (v == known) return true;
  return false;
}

// /t of query: one type or several separated by commas.
bool ParseTypeList(const std::string& text, std::vector<DWORD>& types) {
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    std::optional<DWORD> type = fgreg::TypeFromName(text.substr(start, comma - start));
    if (!type) return false;
    types.push_back(*type);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

class ArgumentParser {
 public:
  ArgumentParser(int argc, char** argv, Options& o) : m_argc(argc), m_argv(argv), m_o(o) {}

  // Answers an exit status when the command line is unusable or only asks
  // for help.
  std::optional<int> Run() {
    m_o.command = FindVerb(m_argc, m_argv);
    for (m_at = 1; m_at < m_argc; ++m_at) {
      std::string a = m_argv[m_at], lower = Lower(a);
      if (lower == "--help" || lower == "-h" || lower == "/?") {
        std::cout << kUsage;
        return 0;
      }
      if (lower == "--registry") {
        auto p = Next();
        if (!p || p->empty()) return Usage("--registry needs a path");
        setenv("FARROWGATE_REGISTRY", p->c_str(), 1);
        continue;
      }
      if (a.empty() || a[0] != '/') {
        m_o.plain.push_back(a);
        continue;
      }
      std::optional<int> status;
      if (Switch(lower, status)) {
        if (status) return status;
        continue;
      }
      // A path such as /tmp/x.reg is an argument; a short word is a switch.
      if (a.size() > 3) {
        m_o.plain.push_back(a);
        continue;
      }
      return Usage(m_o.command.empty() ? "unknown switch " + a : "unknown switch " + a + " for " + m_o.command);
    }
    return Positional();
  }

 private:
  std::optional<std::string> Next() {
    if (m_at + 1 >= m_argc) return std::nullopt;
    return std::string(m_argv[++m_at]);
  }

  // Whether the argument after this one is a value rather than a switch.
  bool ValueFollows() const { return m_at + 1 < m_argc && m_argv[m_at + 1][0] != '/'; }

  // Takes the switch `s` of the verb; false when the verb has no such switch.
  // `status` is set when the switch is present but unusable.
  bool Switch(const std::string& s, std::optional<int>& status) {
    const std::string& verb = m_o.command;
    bool query = verb == "query", add = verb == "add", del = verb == "delete", copy = verb == "copy",
         compare = verb == "compare";
    if (s == "/v" && (query || add || del || compare)) {
      if (query && !ValueFollows()) {
        m_o.query.valueNamesOnly = true;
        return true;
      }
      m_o.valueName = Next();
      if (!m_o.valueName) status = Usage("/v needs a name");
    } else if (s == "/ve" && (query || add || del || compare)) {
      m_o.valueName = "";
    } else if (s == "/va" && del) {
      m_o.allValues = true;
    } else if (s == "/s" && (query || copy || compare)) {
      m_o.recursive = true;
    } else if (s == "/f" && query) {
      m_o.query.find = Next();
      if (!m_o.query.find) status = Usage("/f needs the text to find");
    } else if (s == "/f" && (add || del || copy)) {
      m_o.force = true;
    } else if (query && (s == "/k" || s == "/d" || s == "/c" || s == "/e" || s == "/z")) {
      bool& flag = s == "/k" ? m_o.query.keysOnly
                   : s == "/d" ? m_o.query.dataOnly
                   : s == "/c" ? m_o.query.caseSensitive
                   : s == "/e" ? m_o.query.exact
                               : m_o.query.showTypeNumbers;
      flag = true;
    } else if (s == "/t" && (query || add)) {
      auto t = Next();
      if (!t) {
        status = Usage("/t needs a type");
      } else if (query && !ParseTypeList(*t, m_o.query.types)) {
        status = Usage("unknown type in " + *t);
      } else {
        m_o.type = *t;
      }
    } else if (s == "/se" && query) {
      auto sep = Next();
      if (!sep || Widen(*sep).size() != 1) status = Usage("/se needs one character");
      if (sep) m_o.query.separator = *sep;
    } else if (s == "/d" && add) {
      m_o.data = Next();
      if (!m_o.data) status = Usage("/d needs data");
    } else if (compare && (s == "/oa" || s == "/od" || s == "/os" || s == "/on")) {
      m_o.compareOutput = s == "/oa"   ? fgreg::CompareOutput::All
                          : s == "/os" ? fgreg::CompareOutput::Same
                          : s == "/on" ? fgreg::CompareOutput::None
                                       : fgreg::CompareOutput::Differences;
    } else if (s == "/y" && verb == "export") {
      m_o.overwrite = true;
    } else if (s == "/u" && verb == "script") {
      m_o.unregister = true;
    } else {
      return false;
    }
    return true;
  }

  // The arguments after the verb: a key, two keys, a key and a file, a file.
  std::optional<int> Positional() {
    std::vector<std::string>& plain = m_o.plain;
    if (plain.empty()) return Usage("a command and a key are needed");
    if (!IsVerb(m_o.command)) return Usage("unknown operation " + plain[0]);
    plain.erase(plain.begin());
    const std::string& verb = m_o.command;
    if (plain.empty()) return Usage("a command and a key are needed");
    if (verb == "script") {
      m_o.file = plain[0];
      m_o.variables.assign(plain.begin() + 1, plain.end());
      return std::nullopt;
    }
    size_t wanted = verb == "import" ? 1 : verb == "copy" || verb == "compare" || verb == "export" ? 2 : 1;
    if (plain.size() < wanted) return Usage(verb + " needs " + (verb == "export" ? "a key and a file" : "two keys"));
    if (plain.size() > wanted) return Usage("unexpected argument " + plain[wanted]);
    if (verb == "import") m_o.file = plain[0];
    if (verb == "export") m_o.file = plain[1];
    m_o.key = plain[0];
    if (verb == "query") return QueryChecks();
    return std::nullopt;
  }

  std::optional<int> QueryChecks() {
    fgreg::QueryOptions& q = m_o.query;
    bool searchSwitches = q.keysOnly || q.dataOnly || q.caseSensitive || q.exact || q.valueNamesOnly;
    if (!q.find && searchSwitches) return Usage("/k, /d, /c, /e and /v without a name go with /f");
    if (q.find && m_o.valueName) return Usage("/v NAME and /ve do not go with /f");
    q.keyText = m_o.key;
    q.valueName = m_o.valueName;
    q.recursive = m_o.recursive;
    return std::nullopt;
  }

  int m_argc;
  char** m_argv;
  Options& m_o;
  int m_at = 1;
};

bool ParseKeyRef(const std::string& text, fgreg::KeyRef& out) {
  out.text = text;
  return fgreg::ParseKey(text, out.root, out.rootName, out.path);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (auto status = ArgumentParser(argc, argv, o).Run()) return *status;
  // What changes many keys changes all of them or none.
  if (o.command == "script")
    return fgreg::AllOrNothing([&] { return fgreg::RunScriptFile(o.file, o.variables, o.unregister); });
  if (o.command == "import") return fgreg::AllOrNothing([&] { return fgreg::ImportFile(o.file); });
  fgreg::KeyRef key;
  if (!ParseKeyRef(o.key, key)) return Usage("unknown root in " + o.key);
  if (o.command == "copy" || o.command == "compare") {
    fgreg::KeyRef second;
    if (!ParseKeyRef(o.plain[1], second)) return Usage("unknown root in " + o.plain[1]);
    if (o.command == "copy") return fgreg::AllOrNothing([&] { return fgreg::CopyTree(key, second, o.recursive, o.force); });
    return fgreg::OnSnapshot([&] { return fgreg::CompareTrees(key, second, o.valueName, o.compareOutput, o.recursive); });
  }
  // What reads many keys reads one state of the store.
  if (o.command == "query") return fgreg::OnSnapshot([&] { return fgreg::Query(o.query, key.root, key.rootName, key.path); });
  if (o.command == "add") return Add(o, key.root, key.path);
  if (o.command == "delete") return Delete(o, key.root, key.path);
  return fgreg::OnSnapshot([&] { return fgreg::ExportTree(key.root, key.rootName, key.path, o.key, o.file, o.overwrite); });
}
