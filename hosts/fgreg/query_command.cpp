#include "query_command.h"

#include <algorithm>
#include <iostream>

#include "registry_text.h"
#include "registry_tree.h"

namespace fgreg {

namespace {

bool TypeWanted(const QueryOptions& o, DWORD type) {
  return o.types.empty() || std::find(o.types.begin(), o.types.end(), type) != o.types.end();
}

std::string ShownType(const QueryOptions& o, DWORD type) {
  std::string name = TypeName(type);
  return o.showTypeNumbers ? name + " (" + std::to_string(type) + ")" : name;
}

void PrintValue(const QueryOptions& o, const Value& v) {
  std::cout << "    " << (v.name.empty() ? "(Default)" : Narrow(v.name)) << "    " << ShownType(o, v.type) << "    "
            << ShowData(v.type, v.bytes, o.separator) << "\n";
}

// Whether `text` holds the search text (all of it with /e), with or without
// regard to case. "*" matches everything.
bool Matches(const QueryOptions& o, const std::u16string& text) {
  std::u16string wanted = Widen(*o.find);
  if (wanted == u"*") return true;
  std::u16string a = text, b = wanted;
  if (!o.caseSensitive) {
    CharUpperW(a.data());
    CharUpperW(b.data());
  }
  return o.exact ? a == b : a.find(b) != std::u16string::npos;
}

// Where /f looks: /k, /v and /d each add a place; with none of them,
// everywhere.
bool SearchesEverywhere(const QueryOptions& o) { return !o.keysOnly && !o.valueNamesOnly && !o.dataOnly; }
bool KeyNamesSearched(const QueryOptions& o) { return SearchesEverywhere(o) || o.keysOnly; }

bool ValueMatches(const QueryOptions& o, const Value& v) {
  bool names = SearchesEverywhere(o) || o.valueNamesOnly;
  bool data = SearchesEverywhere(o) || o.dataOnly;
  if (names && Matches(o, v.name)) return true;
  return data && Matches(o, Widen(ShowData(v.type, v.bytes, o.separator)));
}

int Search(const QueryOptions& o, HKEY root, const std::string& rootName, const std::u16string& path) {
  size_t matches = 0;
  LSTATUS rc = Walk(root, path, o.recursive,
                    [&](const std::u16string& at, const std::vector<Value>& values, const std::vector<std::u16string>& subkeys) {
                      std::vector<const Value*> found;
                      for (const Value& v : values)
                        if (TypeWanted(o, v.type) && ValueMatches(o, v)) found.push_back(&v);
                      if (!found.empty()) {
                        std::cout << FullName(rootName, at) << "\n";
                        for (const Value* v : found) PrintValue(o, *v);
                        std::cout << "\n";
                        matches += found.size();
                      }
                      if (!KeyNamesSearched(o)) return;
                      for (const std::u16string& sub : subkeys) {
                        if (!Matches(o, sub)) continue;
                        std::cout << FullName(rootName, at.empty() ? sub : at + u"\\" + sub) << "\n";
                        ++matches;
                      }
                    });
  if (rc != ERROR_SUCCESS) return Fail("cannot read " + o.keyText, rc);
  std::cout << "End of search: " << matches << " match(es) found.\n";
  return matches > 0 ? 0 : 1;
}

}  // namespace

int Query(const QueryOptions& o, HKEY root, const std::string& rootName, const std::u16string& path) {
  if (o.find) return Search(o, root, rootName, path);
  bool found = !o.valueName.has_value();
  bool defaultOnly = o.valueName && o.valueName->empty();
  LSTATUS rc = Walk(root, path, o.recursive,
                    [&](const std::u16string& at, const std::vector<Value>& values, const std::vector<std::u16string>& subkeys) {
                      std::cout << FullName(rootName, at) << "\n";
                      bool shown = false;
                      for (const Value& v : values) {
                        if (o.valueName && _wcsicmp(v.name.c_str(), Widen(*o.valueName).c_str()) != 0) continue;
                        if (!TypeWanted(o, v.type)) continue;
                        shown = found = true;
                        PrintValue(o, v);
                      }
                      // A key always has a default value to the usual tools; one never set reads so.
                      if (defaultOnly && !shown && TypeWanted(o, REG_SZ)) {
                        found = true;
                        std::cout << "    (Default)    " << ShownType(o, REG_SZ) << "    (value not set)\n";
                      }
                      std::cout << "\n";
                      if (o.recursive || o.valueName || subkeys.empty()) return;
                      for (const std::u16string& sub : subkeys) std::cout << FullName(rootName, at) << "\\" << Narrow(sub) << "\n";
                      std::cout << "\n";
                    });
  if (rc != ERROR_SUCCESS) return Fail("cannot read " + o.keyText, rc);
  if (!found) return Fail("cannot find the value in " + o.keyText, ERROR_FILE_NOT_FOUND);
  return 0;
}

}  // namespace fgreg
