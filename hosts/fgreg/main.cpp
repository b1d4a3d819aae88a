// fgreg: read and edit the registry from the command line.
//
//   fgreg query KEY [/v NAME | /ve] [/s]
//   fgreg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   fgreg delete KEY [/v NAME | /ve | /va] [/f]
//   fgreg export KEY FILE
//   fgreg script [/u] FILE [NAME=VALUE ...]
//   --registry PATH selects the store (else FARROWGATE_REGISTRY).
//
// Exit status 0 on success, 1 on any failure, 2 for a bad command line.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "fgplatform/win32.h"
#include "registry_text.h"
#include "script_command.h"

namespace {

using fgreg::Narrow;
using fgreg::Widen;

struct Options {
  std::string command;
  std::string key;
  std::string file;
  std::optional<std::string> valueName;  // "" for the default value
  bool allValues = false;
  bool recursive = false;
  bool force = false;
  std::string type = "REG_SZ";
  std::optional<std::string> data;
  bool unregister = false;
  std::vector<std::string> variables;  // NAME=VALUE, for scripts
};

struct RootRow {
  const char* shortName;
  const char* longName;
  HKEY key;
};
const RootRow kRoots[] = {{"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                          {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                          {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                          {"HKU", "HKEY_USERS", HKEY_USERS},
                          {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};

constexpr const char* kUsage =
    "usage: fgreg query KEY [/v NAME | /ve] [/s]\n"
    "       fgreg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "       fgreg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       fgreg export KEY FILE\n"
    "       fgreg script [/u] FILE [NAME=VALUE ...]\n"
    "       fgreg --help\n"
    "KEY starts with a root: HKCR, HKCU, HKLM, HKU, HKCC or their long names.\n"
    "TYPE: REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ (strings separated by \\0),\n"
    "      REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE.\n"
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

std::string Describe(LSTATUS status) {
  switch (status) {
    case ERROR_FILE_NOT_FOUND: return "no such key or value";
    case ERROR_ACCESS_DENIED: return "access denied (a key with subkeys, or a protected key)";
    case ERROR_REGISTRY_CORRUPT: return "the registry store is damaged or is not a registry store";
    case ERROR_REGISTRY_IO_FAILED: return "the registry store cannot be opened or written";
    case ERROR_BAD_PATHNAME: return "bad key path";
    case ERROR_INVALID_PARAMETER: return "invalid key or value name";
    default: return "registry error";
  }
}

int Fail(const std::string& what, LSTATUS status) {
  std::cerr << "fgreg: " << what << ": " << Describe(status) << " (error " << status << ")\n";
  return 1;
}

// Splits "HKCR\a\b" into the root and the subkey path.
bool ParseKey(const std::string& text, HKEY& root, std::string& rootName, std::u16string& path) {
  std::string head = text.substr(0, text.find('\\'));
  for (const RootRow& row : kRoots) {
    if (_stricmp(head.c_str(), row.shortName) != 0 && _stricmp(head.c_str(), row.longName) != 0) continue;
    root = row.key;
    rootName = row.longName;
    path = head.size() < text.size() ? Widen(text.substr(head.size() + 1)) : std::u16string();
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    return true;
  }
  return false;
}

std::string FullName(const std::string& rootName, const std::u16string& path) {
  return path.empty() ? rootName : rootName + "\\" + Narrow(path);
}

// Reads the values of an open key in their order.
struct Value {
  std::u16string name;
  DWORD type;
  std::string bytes;
};

LSTATUS ReadValues(HKEY key, std::vector<Value>& out) {
  for (DWORD i = 0;; ++i) {
    char16_t name[16384];
    DWORD nameSize = 16384, type = 0, size = 0;
    LSTATUS rc = RegEnumValueW(key, i, name, &nameSize, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    std::string bytes(size, '\0');
    rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (rc != ERROR_SUCCESS) return rc;
    bytes.resize(size);
    out.push_back({std::u16string(name, nameSize), type, bytes});
  }
}

LSTATUS ReadSubkeys(HKEY key, std::vector<std::u16string>& out) {
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    DWORD size = 256;
    LSTATUS rc = RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    out.push_back(std::u16string(name, size));
  }
}

void PrintValue(const Value& v) {
  std::cout << "    " << (v.name.empty() ? "(Default)" : Narrow(v.name)) << "    " << fgreg::TypeName(v.type) << "    "
            << fgreg::ShowData(v.type, v.bytes) << "\n";
}

// Visits the key `name` of `parent` (at `path`) and, when `recursive`,
// every key beneath it, depth first. Each key is opened from its parent's
// handle, so a walk costs one open a key, however deep the tree.
template <class Visit>
LSTATUS WalkFrom(HKEY parent, const std::u16string& name, const std::u16string& path, bool recursive, Visit& visit) {
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(parent, name.empty() ? nullptr : name.c_str(), 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<Value> values;
  std::vector<std::u16string> subkeys;
  rc = ReadValues(key, values);
  if (rc == ERROR_SUCCESS) rc = ReadSubkeys(key, subkeys);
  if (rc == ERROR_SUCCESS) visit(path, values, subkeys);
  for (size_t i = 0; rc == ERROR_SUCCESS && recursive && i < subkeys.size(); ++i)
    rc = WalkFrom(key, subkeys[i], path.empty() ? subkeys[i] : path + u"\\" + subkeys[i], /*recursive=*/true, visit);
  RegCloseKey(key);
  return rc;
}

template <class Visit>
LSTATUS Walk(HKEY root, const std::u16string& path, bool recursive, Visit visit) {
  return WalkFrom(root, path, path, recursive, visit);
}

int Query(const Options& o, HKEY root, const std::string& rootName, const std::u16string& path) {
  bool found = !o.valueName.has_value();
  LSTATUS rc = Walk(root, path, o.recursive,
                    [&](const std::u16string& at, const std::vector<Value>& values, const std::vector<std::u16string>& subkeys) {
                      std::cout << FullName(rootName, at) << "\n";
                      for (const Value& v : values) {
                        if (o.valueName && _wcsicmp(v.name.c_str(), Widen(*o.valueName).c_str()) != 0) continue;
                        found = true;
                        PrintValue(v);
                      }
                      if (!o.recursive && !o.valueName)
                        for (const std::u16string& sub : subkeys) std::cout << FullName(rootName, at) << "\\" << Narrow(sub) << "\n";
                      std::cout << "\n";
                    });
  if (rc != ERROR_SUCCESS) return Fail("cannot read " + o.key, rc);
  if (!found) return Fail("cannot find the value in " + o.key, ERROR_FILE_NOT_FOUND);
  return 0;
}

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
  std::cout << "The operation completed successfully.\n";
  return 0;
}

bool Confirm(const std::string& what, bool force) {
  if (force) return true;
  if (!isatty(STDIN_FILENO)) {
    std::cerr << "fgreg: deleting " << what << " needs /f when not asked at a terminal\n";
    return false;
  }
  std::cout << "Delete " << what << " (y/n)? " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Delete(const Options& o, HKEY root, const std::u16string& path) {
  std::string what = o.allValues ? "every value of " + o.key : o.valueName ? "the value in " + o.key : o.key;
  if (!Confirm(what, o.force)) return 1;
  LSTATUS rc;
  if (!o.valueName && !o.allValues) {
    if (path.empty()) return Fail("cannot delete a root key", ERROR_ACCESS_DENIED);
    rc = RegDeleteTreeW(root, path.c_str());
    if (rc != ERROR_SUCCESS) return Fail("cannot delete " + o.key, rc);
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
  return 0;
}

int Export(const Options& o, HKEY root, const std::string& rootName, const std::u16string& path) {
  std::string text = "Farrowgate Registry Export 1\n";
  LSTATUS rc = Walk(root, path, /*recursive=*/true, [&](const std::u16string& at, const std::vector<Value>& values, const std::vector<std::u16string>&) {
    text += "\n[" + FullName(rootName, at) + "]\n";
    for (const Value& v : values) text += fgreg::ExportLine(v.name, v.type, v.bytes) + "\n";
  });
  if (rc != ERROR_SUCCESS) return Fail("cannot read " + o.key, rc);
  std::ofstream out(o.file, std::ios::binary);
  out << text;
  out.close();  // a full disk shows only when the data is written out
  if (out.fail()) {
    std::cerr << "fgreg: cannot write " << o.file << "\n";
    return 1;
  }
  return 0;
}

// Parses the arguments; answers an exit status when they are unusable.
std::optional<int> ParseArguments(int argc, char** argv, Options& o) {
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    std::string lower = a;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "--help" || lower == "-h" || lower == "/?") {
      std::cout << kUsage;
      return 0;
    }
    if (lower == "--registry") {
      auto p = next();
      if (!p || p->empty()) return Usage("--registry needs a path");
      setenv("FARROWGATE_REGISTRY", p->c_str(), 1);
    } else if (lower == "/v") {
      o.valueName = next();
      if (!o.valueName) return Usage("/v needs a name");
    } else if (lower == "/ve") {
      o.valueName = "";
    } else if (lower == "/va") {
      o.allValues = true;
    } else if (lower == "/s") {
      o.recursive = true;
    } else if (lower == "/u") {
      o.unregister = true;
    } else if (lower == "/f") {
      o.force = true;
    } else if (lower == "/t") {
      auto t = next();
      if (!t) return Usage("/t needs a type");
      o.type = *t;
    } else if (lower == "/d") {
      o.data = next();
      if (!o.data) return Usage("/d needs data");
    } else if (!a.empty() && a[0] == '/' && a.size() <= 3) {
      return Usage("unknown switch " + a);
    } else {
      plain.push_back(a);
    }
  }
  if (plain.empty()) return Usage("a command and a key are needed");
  // Verbs are read without regard to case, as the usual tool reads them.
  o.command = plain[0];
  for (char& c : o.command) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (o.command != "query" && o.command != "add" && o.command != "delete" && o.command != "export" &&
      o.command != "script")
    return Usage("unknown operation " + plain[0]);
  if (plain.size() < 2) return Usage("a command and a key are needed");
  o.key = plain[1];
  if (o.command == "script") {
    o.file = plain[1];
    o.variables.assign(plain.begin() + 2, plain.end());
  } else if (o.command == "export") {
    if (plain.size() != 3) return Usage("export needs a key and a file");
    o.file = plain[2];
  } else if (plain.size() != 2) {
    return Usage("unexpected argument " + plain[2]);
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (auto status = ParseArguments(argc, argv, o)) return *status;
  if (o.command == "script") return fgreg::RunScriptFile(o.file, o.variables, o.unregister);
  HKEY root = nullptr;
  std::string rootName;
  std::u16string path;
  if (!ParseKey(o.key, root, rootName, path)) return Usage("unknown root in " + o.key);
  if (o.command == "query") return Query(o, root, rootName, path);
  if (o.command == "add") return Add(o, root, path);
  if (o.command == "delete") return Delete(o, root, path);
  if (o.command == "export") return Export(o, root, rootName, path);
  return Usage("unknown operation " + o.command);
}
