#include "copy_compare_command.h"

#include <iostream>
#include <map>
#include <vector>

#include "registry_text.h"
#include "registry_tree.h"

namespace fgreg {

namespace {

// A tree read whole: each key's path below the top, with its values and
// subkey names.
struct KeyContents {
  std::u16string path;
  std::vector<Value> values;
  std::vector<std::u16string> subkeys;
};

LSTATUS ReadTree(const KeyRef& key, bool recursive, std::vector<KeyContents>& out) {
  size_t prefix = key.path.empty() ? 0 : key.path.size() + 1;
  return Walk(key.root, key.path, recursive,
              [&](const std::u16string& at, const std::vector<Value>& values, const std::vector<std::u16string>& subkeys) {
                out.push_back({at.size() > prefix ? at.substr(prefix) : std::u16string(), values, subkeys});
              });
}

std::u16string Below(const std::u16string& top, const std::u16string& rel) {
  if (rel.empty()) return top;
  return top.empty() ? rel : top + u"\\" + rel;
}

// Whether a value of the copy is already at its place in the destination.
bool OverwritesAny(const KeyRef& to, const std::vector<KeyContents>& tree) {
  for (const KeyContents& k : tree) {
    HKEY key = nullptr;
    std::u16string path = Below(to.path, k.path);
    if (RegOpenKeyExW(to.root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    bool found = false;
    for (size_t i = 0; !found && i < k.values.size(); ++i)
      found = RegQueryValueExW(key, k.values[i].name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (found) return true;
  }
  return false;
}

LSTATUS WriteKey(const KeyRef& to, const KeyContents& k) {
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(to.root, Below(to.path, k.path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                               nullptr);
  for (size_t i = 0; rc == ERROR_SUCCESS && i < k.values.size(); ++i) {
    const Value& v = k.values[i];
    rc = RegSetValueExW(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.bytes.data()),
                        static_cast<DWORD>(v.bytes.size()));
  }
  if (key != nullptr) RegCloseKey(key);
  return rc;
}

}  // namespace

int CopyTree(const KeyRef& from, const KeyRef& to, bool recursive, bool force) {
  std::vector<KeyContents> tree;
  LSTATUS rc = ReadTree(from, recursive, tree);
  if (rc != ERROR_SUCCESS) return Fail("cannot read " + from.text, rc);
  if (!force && OverwritesAny(to, tree) &&
      !AskYes("Overwrite the values that " + to.text + " already has (Yes/No)?",
              to.text + " already has values of these names; add /f to overwrite them"))
    return 1;
  for (const KeyContents& k : tree) {
    rc = WriteKey(to, k);
    if (rc != ERROR_SUCCESS) return Fail("cannot write " + FullName(to.rootName, Below(to.path, k.path)), rc);
  }
  std::cout << "The operation completed successfully.\n";
  return 0;
}

namespace {

class Comparison {
 public:
  Comparison(const KeyRef& first, const KeyRef& second, const std::optional<std::string>& valueName,
             CompareOutput output)
      : m_first(first), m_second(second), m_valueName(valueName), m_output(output) {}

  bool Different() const { return m_different; }

  // Compares the keys at `rel` below both tops and, when `recursive`, the
  // subkeys both have, depth first. A subkey that another process deletes
  // during the walk is passed over; the tops must be there.
  LSTATUS Keys(const std::u16string& rel, bool recursive) {
    KeyContents a, b;
    LSTATUS rc = ReadOne(m_first, rel, a);
    if (rc == ERROR_SUCCESS) rc = ReadOne(m_second, rel, b);
    if (rc != ERROR_SUCCESS) return !rel.empty() && IsGone(rc) ? ERROR_SUCCESS : rc;
    Values(rel, a.values, b.values);
    if (m_valueName) return ERROR_SUCCESS;
    std::vector<std::u16string> shared;
    for (const std::u16string& name : a.subkeys) {
      bool both = Contains(b.subkeys, name);
      Line(both ? '=' : '<', FullName(m_first.rootName, Below(Below(m_first.path, rel), name)));
      if (both) shared.push_back(rel.empty() ? name : rel + u"\\" + name);
    }
    for (const std::u16string& name : b.subkeys)
      if (!Contains(a.subkeys, name)) Line('>', FullName(m_second.rootName, Below(Below(m_second.path, rel), name)));
    for (size_t i = 0; rc == ERROR_SUCCESS && recursive && i < shared.size(); ++i) rc = Keys(shared[i], recursive);
    return rc;
  }

 private:
  static bool Contains(const std::vector<std::u16string>& names, const std::u16string& name) {
    for (const std::u16string& n : names)
      if (_wcsicmp(n.c_str(), name.c_str()) == 0) return true;
    return false;
  }

  static LSTATUS ReadOne(const KeyRef& top, const std::u16string& rel, KeyContents& out) {
    std::vector<KeyContents> one;
    LSTATUS rc = Walk(top.root, Below(top.path, rel), /*recursive=*/false,
                      [&](const std::u16string&, const std::vector<Value>& values, const std::vector<std::u16string>& subkeys) {
                        one.push_back({rel, values, subkeys});
                      });
    if (rc == ERROR_SUCCESS && !one.empty()) out = one.front();
    return rc;
  }

  static const Value* Find(const std::vector<Value>& values, const std::u16string& name) {
    for (const Value& v : values)
      if (_wcsicmp(v.name.c_str(), name.c_str()) == 0) return &v;
    return nullptr;
  }

  bool Wanted(const Value& v) const { return !m_valueName || _wcsicmp(v.name.c_str(), Widen(*m_valueName).c_str()) == 0; }

  void Values(const std::u16string& rel, const std::vector<Value>& a, const std::vector<Value>& b) {
    std::string nameA = FullName(m_first.rootName, Below(m_first.path, rel));
    std::string nameB = FullName(m_second.rootName, Below(m_second.path, rel));
    for (const Value& v : a) {
      if (!Wanted(v)) continue;
      const Value* other = Find(b, v.name);
      bool same = other != nullptr && other->type == v.type && other->bytes == v.bytes;
      ValueLine(same ? '=' : '<', nameA, v);
      if (other != nullptr && !same) ValueLine('>', nameB, *other);
    }
    for (const Value& v : b)
      if (Wanted(v) && Find(a, v.name) == nullptr) ValueLine('>', nameB, v);
  }

  void ValueLine(char mark, const std::string& key, const Value& v) {
    Line(mark, key + "  " + (v.name.empty() ? "(Default)" : Narrow(v.name)) + "  " + TypeName(v.type) + "  " +
                   ShowData(v.type, v.bytes));
  }

  void Line(char mark, const std::string& text) {
    bool same = mark == '=';
    if (!same) m_different = true;
    bool shown = m_output == CompareOutput::All || (same ? m_output == CompareOutput::Same
                                                         : m_output == CompareOutput::Differences);
    if (shown) std::cout << mark << " " << text << "\n";
  }

  const KeyRef& m_first;
  const KeyRef& m_second;
  const std::optional<std::string>& m_valueName;
  CompareOutput m_output;
  bool m_different = false;
};

}  // namespace

int CompareTrees(const KeyRef& first, const KeyRef& second, const std::optional<std::string>& valueName,
                 CompareOutput output, bool recursive) {
  Comparison comparison(first, second, valueName, output);
  LSTATUS rc = comparison.Keys(u"", recursive);
  if (rc != ERROR_SUCCESS) return Fail("cannot compare " + first.text + " with " + second.text, rc);
  std::cout << "Result Compared: " << (comparison.Different() ? "Different" : "Identical") << "\n";
  std::cout << "The operation completed successfully.\n";
  return comparison.Different() ? 2 : 0;
}

}  // namespace fgreg
