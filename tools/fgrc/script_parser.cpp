#include "script_parser.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "fgplatform/resource_format.h"
#include "version_block.h"

namespace fgrc {

namespace {

std::u16string Upper(const std::string& s) {
  std::u16string out;
  for (char c : s) out.push_back(static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c))));
  return out;
}

bool Is(const Token& t, const char* word) {
  if (t.kind != Token::Name && t.kind != Token::Mark) return false;
  if (t.text.size() != std::strlen(word)) return false;
  for (size_t i = 0; i < t.text.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t.text[i])) != std::toupper(static_cast<unsigned char>(word[i])))
      return false;
  return true;
}

std::string Bytes(const std::u16string& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

class Parser {
 public:
  Parser(std::vector<Token> tokens, const ScriptInput& input, std::vector<std::string>& files)
      : m_tokens(std::move(tokens)), m_input(input), m_files(files) {}

  std::vector<Resource> Run() {
    while (Peek().kind != Token::End) Statement();
    FlushStrings();
    return m_out;
  }

 private:
  const Token& Peek(size_t ahead = 0) const {
    size_t at = std::min(m_at + ahead, m_tokens.size() - 1);
    return m_tokens[at];
  }
  const Token& Next() {
    const Token& t = Peek();
    if (m_at < m_tokens.size() - 1) ++m_at;
    return t;
  }
  [[noreturn]] void Fail(const Token& t, const std::string& what) const { throw ScriptError(t.line, what); }
  void Expect(const char* word) {
    const Token& t = Next();
    if (!Is(t, word)) Fail(t, std::string("expected ") + word + (t.kind == Token::End ? " before the end" : ", found " + t.text));
  }
  bool Accept(const char* word) {
    if (!Is(Peek(), word)) return false;
    Next();
    return true;
  }
  void Begin() {
    if (!Accept("BEGIN") && !Accept("{")) Fail(Peek(), "expected BEGIN");
  }
  bool AtEnd() { return Accept("END") || Accept("}"); }
  // A number, or numbers joined by "|" (read in a loop: a chain of any
  // length takes no stack).
  uint32_t Number() {
    uint32_t v = 0;
    do {
      const Token& t = Next();
      if (t.kind != Token::Number) Fail(t, "expected a number" + (t.text.empty() ? std::string() : ", found " + t.text));
      v |= t.number;
    } while (Accept("|"));
    return v;
  }
  std::u16string String() {
    const Token& t = Next();
    if (t.kind != Token::String) Fail(t, "expected a string");
    std::u16string s = t.string;
    while (Peek().kind == Token::String) s += Next().string;  // adjacent strings join
    return s;
  }

  void Statement() {
    const Token& first = Peek();
    if (Accept("STRINGTABLE")) return StringTable();
    if (Accept("LANGUAGE")) {
      uint32_t primary = Number();
      Expect(",");
      uint32_t sub = Number();
      m_language = static_cast<uint16_t>((sub << 10) | primary);
      return;
    }
    if (first.kind != Token::Number && first.kind != Token::Name) Fail(first, "expected a resource id");
    Id name = IdOf(Next());
    const Token& kind = Next();
    if (Is(kind, "VERSIONINFO")) return VersionInfo(name);
    Id type;
    if (kind.kind == Token::Number) {
      type.number = kind.number;
    } else if (Is(kind, "RT_MANIFEST")) {
      type.number = fgres::kTypeManifest;
    } else if (Is(kind, "RCDATA")) {
      type.number = fgres::kTypeRcData;
    } else if (kind.kind == Token::Name || kind.kind == Token::String) {
      type.isString = true;
      type.name = kind.kind == Token::Name ? Upper(kind.text) : kind.string;
      for (char16_t& c : type.name) c = static_cast<char16_t>(c < 128 ? std::toupper(c) : c);
    } else {
      Fail(kind, "expected a resource type");
    }
    const Token& file = Peek();
    std::u16string fileName = String();
    m_out.push_back(Made(type, name, ReadFile(std::string(fileName.begin(), fileName.end()), file), first));
  }

  // A resource of the current language, with the place that defined it.
  Resource Made(const Id& type, const Id& name, std::string bytes, const Token& at) const {
    return {type, name, m_language, std::move(bytes), m_input.path, at.line};
  }

  Id IdOf(const Token& t) {
    Id id;
    if (t.kind == Token::Number) {
      if (t.number > 0xFFFF) Fail(t, "a resource id must be below 65536");
      id.number = t.number;
    } else {
      id.isString = true;
      id.name = Upper(t.text);
    }
    return id;
  }

  std::string ReadFile(const std::string& name, const Token& at) {
    std::vector<std::string> places;
    std::string dir = m_input.path.substr(0, m_input.path.rfind('/') + 1);
    places.push_back(name[0] == '/' ? name : dir + name);
    for (const std::string& inc : m_input.includeDirs) places.push_back(inc + "/" + name);
    for (const std::string& p : places) {
      struct stat st;
      if (stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      std::ifstream f(p, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      m_files.push_back(p);
      return bytes;
    }
    Fail(at, "cannot find the file " + name);
  }

  void StringTable() {
    m_stringLines.emplace(m_language, Peek().line);
    while (Peek().kind == Token::Name && !Is(Peek(), "BEGIN")) Next();  // options such as DISCARDABLE
    Begin();
    while (!AtEnd()) {
      const Token& id = Peek();
      uint32_t number = Number();
      if (number > 0xFFFF) Fail(id, "a string id must be below 65536");
      Accept(",");
      auto key = std::make_pair(m_language, number);
      if (m_strings.count(key)) Fail(id, "string " + std::to_string(number) + " is defined twice");
      const Token& text = Peek();
      m_strings[key] = String();
      // A string table counts each string's length in 16 bits.
      if (m_strings[key].size() > 0xFFFF) Fail(text, "a string of more than 65535 characters");
      if (Peek().kind == Token::End) Fail(Peek(), "STRINGTABLE without END");
    }
  }

  // String tables go out in blocks of 16 counted entries.
  void FlushStrings() {
    std::map<std::pair<uint16_t, uint32_t>, std::u16string[16]> blocks;
    for (const auto& [key, text] : m_strings) blocks[{key.first, key.second / 16 + 1}][key.second % 16] = text;
    for (auto& [key, entries] : blocks) {
      std::u16string block;
      for (const std::u16string& e : entries) {
        block.push_back(static_cast<char16_t>(e.size()));
        block += e;
      }
      Id type, name;
      type.number = fgres::kTypeString;
      name.number = key.second;
      m_out.push_back({type, name, key.first, Bytes(block), m_input.path, m_stringLines[key.first]});
    }
  }

  void VersionInfo(const Id& name) {
    FixedFileInfo f;
    for (;;) {
      const Token& t = Peek();
      auto pair = [&](uint32_t& ms, uint32_t& ls) {
        Next();
        uint32_t a = Number(), b = 0, c = 0, d = 0;
        if (Accept(",")) b = Number();
        if (Accept(",")) c = Number();
        if (Accept(",")) d = Number();
        ms = (a << 16) | (b & 0xFFFF);
        ls = (c << 16) | (d & 0xFFFF);
      };
      if (Is(t, "FILEVERSION")) pair(f.fileVersionMS, f.fileVersionLS);
      else if (Is(t, "PRODUCTVERSION")) pair(f.productVersionMS, f.productVersionLS);
      else if (Is(t, "FILEFLAGSMASK")) Next(), f.fileFlagsMask = Number();
      else if (Is(t, "FILEFLAGS")) Next(), f.fileFlags = Number();
      else if (Is(t, "FILEOS")) Next(), f.fileOS = Number();
      else if (Is(t, "FILETYPE")) Next(), f.fileType = Number();
      else if (Is(t, "FILESUBTYPE")) Next(), f.fileSubtype = Number();
      else break;
    }
    const Token& at = Peek();
    Begin();
    std::vector<VersionNode> blocks = VersionChildren(/*depth=*/1);
    Id type;
    type.number = fgres::kTypeVersion;
    m_out.push_back(Made(type, name, BuildVersionBlock(f, blocks, at.line), at));
  }

  // Blocks nest a few levels in any real version resource; the bound keeps
  // a hostile script from exhausting the stack.
  static constexpr int kMaxBlockDepth = 16;

  std::vector<VersionNode> VersionChildren(int depth) {
    std::vector<VersionNode> nodes;
    while (!AtEnd()) {
      const Token& t = Peek();
      if (t.kind == Token::End) Fail(t, "VERSIONINFO without END");
      VersionNode node;
      node.line = t.line;
      if (Accept("BLOCK")) {
        if (depth >= kMaxBlockDepth) Fail(t, "blocks nested more than " + std::to_string(kMaxBlockDepth) + " deep");
        node.key = String();
        node.text = true;
        Begin();
        node.children = VersionChildren(depth + 1);
      } else if (Accept("VALUE")) {
        node.key = String();
        Expect(",");
        if (Peek().kind == Token::String) {
          node.text = true;
          node.value = Bytes(String() + u'\0');
        } else {
          do {
            uint16_t w = static_cast<uint16_t>(Number());
            node.value.append(reinterpret_cast<const char*>(&w), 2);
          } while (Accept(","));
        }
      } else {
        Fail(t, "expected BLOCK or VALUE, found " + t.text);
      }
      nodes.push_back(node);
    }
    return nodes;
  }

  std::vector<Token> m_tokens;
  size_t m_at = 0;
  const ScriptInput& m_input;
  std::vector<std::string>& m_files;
  uint16_t m_language = 0x0409;
  std::map<std::pair<uint16_t, uint32_t>, std::u16string> m_strings;
  std::map<uint16_t, int> m_stringLines;  // the first string table of each language
  std::vector<Resource> m_out;
};

}  // namespace

std::vector<Resource> ParseScript(const std::string& text, const ScriptInput& input,
                                  std::vector<std::string>& filesRead) {
  return Parser(Tokenize(text), input, filesRead).Run();
}

}  // namespace fgrc
