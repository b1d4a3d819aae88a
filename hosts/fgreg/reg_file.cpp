#include "reg_file.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "registry_text.h"

namespace fgreg {

namespace {

constexpr char16_t kHeader5[] = u"Windows Registry Editor Version 5.00";
constexpr char16_t kHeader4[] = u"REGEDIT4";
// Hex data is cut after the comma at which the line as written (quotes and
// all) reaches this width; continuation lines begin with two spaces.
constexpr size_t kHexLineWidth = 77;
constexpr size_t kHexIndent = 2;

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

std::u16string Escape(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// A REG_SZ that a quoted string gives back exactly: one terminator, at
// the end, and no line end inside.
bool IsPlainText(const std::string& bytes, std::u16string& text) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
  text.assign(bytes.size() / 2 - 1, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  if (bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0) return false;
  for (char16_t c : text)
    if (c == 0 || c == u'\r' || c == u'\n') return false;
  return true;
}

}  // namespace

RegFileWriter::RegFileWriter() : m_text(std::u16string(kHeader5) + u"\r\n") {}

void RegFileWriter::Key(const std::u16string& fullName) { m_text += u"\r\n[" + fullName + u"]\r\n"; }

void RegFileWriter::Value(const std::u16string& name, DWORD type, const std::string& bytes) {
  std::u16string escaped = Escape(name);
  m_text += name.empty() ? u"@" : u"\"" + escaped + u"\"";
  m_text += u'=';
  std::u16string text;
  if (type == REG_SZ && IsPlainText(bytes, text)) {
    m_text += u"\"" + Escape(text) + u"\"\r\n";
    return;
  }
  char tag[24];
  if (type == REG_DWORD && bytes.size() == 4) {
    DWORD d;
    std::memcpy(&d, bytes.data(), 4);
    std::snprintf(tag, sizeof tag, "dword:%08x", d);
    m_text += Ascii(tag) + u"\r\n";
    return;
  }
  if (type == REG_BINARY)
    std::snprintf(tag, sizeof tag, "hex:");
  else
    std::snprintf(tag, sizeof tag, "hex(%x):", type);
  m_text += Ascii(tag);
  size_t column = (name.empty() ? 1 : escaped.size() + 2) + 1 + std::strlen(tag);
  for (size_t i = 0; i < bytes.size(); ++i) {
    char two[4];
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(bytes[i]));
    m_text += Ascii(two);
    column += 2;
    if (i + 1 == bytes.size()) break;
    m_text += u',';
    if (++column < kHexLineWidth) continue;
    m_text += u"\\\r\n" + std::u16string(kHexIndent, u' ');
    column = kHexIndent;
  }
  m_text += u"\r\n";
}

std::string RegFileWriter::FileBytes() const {
  std::u16string all = m_text + u"\r\n";
  std::string out = "\xFF\xFE";
  for (char16_t c : all) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string Trim(const std::u16string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

bool StartsWithNoCase(const std::u16string& s, size_t at, const char* word) {
  size_t n = std::strlen(word);
  if (s.size() - at < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t c = s[at + i];
    if (c < 128 && std::tolower(static_cast<int>(c)) == word[i]) continue;
    return false;
  }
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// One to eight hexadecimal digits from `at`.
bool ReadHexNumber(const std::u16string& s, size_t& at, DWORD& value) {
  size_t start = at;
  value = 0;
  while (at < s.size() && HexDigit(s[at]) >= 0 && at - start < 8) value = value << 4 | HexDigit(s[at++]);
  return at > start && (at == s.size() || HexDigit(s[at]) < 0);
}

// A quoted string from the quote at `at`; \\ and \" stand for \ and ".
bool ReadQuoted(const std::u16string& s, size_t& at, std::u16string& out) {
  out.clear();
  for (++at; at < s.size(); ++at) {
    char16_t c = s[at];
    if (c == u'"') {
      ++at;
      return true;
    }
    if (c == u'\\' && at + 1 < s.size() && (s[at + 1] == u'\\' || s[at + 1] == u'"')) c = s[++at];
    out.push_back(c);
  }
  return false;
}

// Comma-separated bytes of two hexadecimal digits (one will do), blanks
// allowed around them, a comma at the end too. Stops at the first
// character that is none of these.
void ReadHexBytes(const std::u16string& s, size_t& at, std::string& out) {
  out.clear();
  for (;;) {
    while (at < s.size() && IsBlank(s[at])) ++at;
    if (at == s.size() || HexDigit(s[at]) < 0) return;
    int value = HexDigit(s[at++]);
    if (at < s.size() && HexDigit(s[at]) >= 0) value = value << 4 | HexDigit(s[at++]);
    out.push_back(static_cast<char>(value));
    while (at < s.size() && IsBlank(s[at])) ++at;
    if (at == s.size() || s[at] != u',') return;
    ++at;
  }
}

// Nothing but blanks, or a comment, after `at`.
bool OnlyCommentAfter(const std::u16string& s, size_t at) {
  while (at < s.size() && IsBlank(s[at])) ++at;
  return at == s.size() || s[at] == u';';
}

std::string Bytes(const std::u16string& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

// Text data of a REGEDIT4 file is 8-bit; the registry keeps it in UTF-16.
std::string WidenAnsiData(const std::string& bytes) {
  if (bytes.empty()) return bytes;
  std::u16string wide(bytes.size(), u'\0');
  int n = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                              static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return Bytes(wide);
}

class Parser {
 public:
  Parser(std::vector<RegFileEntry>& entries, std::string& why) : m_entries(entries), m_why(why) {}

  bool Run(const std::u16string& text) {
    SplitLines(text);
    for (m_at = 0; m_at < m_lines.size(); ++m_at) {
      std::u16string line = Trim(m_lines[m_at]);
      if (line.empty() || line[0] == u';') continue;
      if (!m_headerSeen) {
        if (!ReadHeader(line)) return false;
      } else if (line[0] == u'[') {
        if (!ReadKey(line)) return false;
      } else if (line[0] == u'"' || line[0] == u'@') {
        if (!ReadValue(line)) return false;
      } else {
        return Fail("a line that is neither a key nor a value");
      }
    }
    if (!m_headerSeen) return Fail("an empty file, not a .reg file");
    return true;
  }

 private:
  enum class Block { None, Key, Deleted };

  void SplitLines(const std::u16string& text) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(u'\n', start);
      if (end == std::u16string::npos) end = text.size();
      std::u16string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      m_lines.push_back(std::move(line));
      start = end + 1;
    }
  }

  bool Fail(const std::string& what) {
    m_why = "line " + std::to_string(m_at + 1) + ": " + what;
    return false;
  }

  bool ReadHeader(const std::u16string& line) {
    if (line == kHeader5) {
      m_ansi = false;
    } else if (line == kHeader4) {
      m_ansi = true;
    } else {
      return Fail("not a .reg file: it begins with neither \"Windows Registry Editor Version 5.00\" nor \"REGEDIT4\"");
    }
    m_headerSeen = true;
    return true;
  }

  bool ReadKey(const std::u16string& line) {
    size_t close = line.rfind(u']');
    if (close == std::u16string::npos) return Fail("a key without its closing ]");
    if (!OnlyCommentAfter(line, close + 1)) return Fail("text after the key's closing ]");
    bool deleted = close > 1 && line[1] == u'-';
    std::u16string name = line.substr(deleted ? 2 : 1, close - (deleted ? 2 : 1));
    if (name.empty()) return Fail("a key without a name");
    RegFileEntry entry;
    entry.kind = deleted ? RegFileEntry::Kind::DeleteKey : RegFileEntry::Kind::Key;
    entry.line = m_at + 1;
    entry.key = name;
    m_entries.push_back(std::move(entry));
    m_block = deleted ? Block::Deleted : Block::Key;
    return true;
  }

  // Joins the lines a backslash at their end continues.
  std::u16string Continued(std::u16string line) {
    while (!line.empty() && line.back() == u'\\' && m_at + 1 < m_lines.size()) {
      line.pop_back();
      line += Trim(m_lines[++m_at]);
    }
    return line;
  }

  bool ReadValue(const std::u16string& first) {
    size_t startLine = m_at + 1;
    if (m_block == Block::None) return Fail("a value before any key");
    if (m_block == Block::Deleted) return Fail("a value in a key that is deleted");
    std::u16string line = Continued(first);
    RegFileEntry entry;
    entry.line = startLine;
    entry.key = m_entries.back().key;
    size_t at = 0;
    if (line[0] == u'@') {
      at = 1;
    } else if (!ReadQuoted(line, at, entry.name)) {
      return Fail("a value name without its closing quote");
    }
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size() || line[at] != u'=') return Fail("a value name without = after it");
    ++at;
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (!ReadData(line, at, entry)) return false;
    if (!OnlyCommentAfter(line, at)) return Fail("text after the value's data");
    m_entries.push_back(std::move(entry));
    return true;
  }

  bool ReadData(const std::u16string& line, size_t& at, RegFileEntry& entry) {
    entry.kind = RegFileEntry::Kind::Value;
    if (at < line.size() && line[at] == u'-') {
      entry.kind = RegFileEntry::Kind::DeleteValue;
      ++at;
      return true;
    }
    if (at < line.size() && line[at] == u'"') {
      std::u16string text;
      if (!ReadQuoted(line, at, text)) return Fail("a string without its closing quote");
      entry.type = REG_SZ;
      entry.bytes = Bytes(text + u'\0');
      return true;
    }
    if (StartsWithNoCase(line, at, "dword:")) {
      at += 6;
      DWORD d = 0;
      if (!ReadHexNumber(line, at, d)) return Fail("dword: needs one to eight hexadecimal digits");
      entry.type = REG_DWORD;
      entry.bytes.assign(reinterpret_cast<const char*>(&d), 4);
      return true;
    }
    if (!StartsWithNoCase(line, at, "hex")) return Fail("data that is neither a string, dword: nor hex:");
    at += 3;
    entry.type = REG_BINARY;
    if (at < line.size() && line[at] == u'(') {
      ++at;
      if (!ReadHexNumber(line, at, entry.type) || at == line.size() || line[at] != u')')
        return Fail("hex( needs a type in hexadecimal and )");
      ++at;
    }
    if (at == line.size() || line[at] != u':') return Fail("hex data needs : before its bytes");
    ++at;
    ReadHexBytes(line, at, entry.bytes);
    if (m_ansi && (entry.type == REG_EXPAND_SZ || entry.type == REG_MULTI_SZ)) entry.bytes = WidenAnsiData(entry.bytes);
    return true;
  }

  std::vector<RegFileEntry>& m_entries;
  std::string& m_why;
  std::vector<std::u16string> m_lines;
  size_t m_at = 0;
  bool m_headerSeen = false;
  bool m_ansi = false;
  Block m_block = Block::None;
};

}  // namespace

bool ParseRegFile(const std::u16string& text, std::vector<RegFileEntry>& entries, std::string& why) {
  entries.clear();
  Parser parser(entries, why);
  return parser.Run(text);
}

}  // namespace fgreg
