#include "script_lexer.h"

#include <cctype>

namespace fgrc {

namespace {

// Appends one UTF-8 encoded character to UTF-16 text.
size_t DecodeUtf8(const std::string& s, size_t at, std::u16string& out) {
  auto b = static_cast<unsigned char>(s[at]);
  uint32_t cp = b;
  size_t n = 1;
  if (b >= 0xF0) cp = b & 0x07, n = 4;
  else if (b >= 0xE0) cp = b & 0x0F, n = 3;
  else if (b >= 0xC0) cp = b & 0x1F, n = 2;
  for (size_t i = 1; i < n && at + i < s.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[at + i]) & 0x3F);
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
  return n;
}

// Skips white space, line breaks (counting them), comments and "#" lines;
// answers false at the end of the text.
bool SkipBlanks(const std::string& text, size_t& i, int& line, bool& lineStart) {
  while (i < text.size()) {
    char c = text[i];
    if (c == '\n') {
      ++line;
      lineStart = true;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if ((c == '#' && lineStart) || text.compare(i, 2, "//") == 0) {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (text.compare(i, 2, "/*") == 0) {
      size_t end = text.find("*/", i + 2);
      if (end == std::string::npos) throw ScriptError(line, "unterminated comment");
      for (size_t k = i; k < end; ++k) line += text[k] == '\n';
      i = end + 2;
    } else {
      return true;
    }
  }
  return false;
}

// The character of an escape "\\e" inside a string.
char16_t Escaped(char e, int line) {
  switch (e) {
    case 'n': return u'\n';
    case 't': return u'\t';
    case 'r': return u'\r';
    case '0': return u'\0';
    case '\\': case '"': return static_cast<char16_t>(e);
    default: throw ScriptError(line, std::string("unknown escape \\") + e);
  }
}

// A string from its opening quote; "" inside it is one quote.
void ReadString(const std::string& text, size_t& i, Token& t) {
  t.kind = Token::String;
  for (++i;;) {
    if (i >= text.size() || text[i] == '\n') throw ScriptError(t.line, "unterminated string");
    char d = text[i];
    if (d == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      t.string.push_back(u'"');
      i += 2;
    } else if (d == '"') {
      ++i;
      return;
    } else if (d == '\\' && i + 1 < text.size()) {
      t.string.push_back(Escaped(text[i + 1], t.line));
      i += 2;
    } else {
      i += DecodeUtf8(text, i, t.string);
    }
  }
}

// A decimal, octal or hexadecimal number of at most 32 bits, with an
// optional L suffix.
void ReadNumber(const std::string& text, size_t& i, Token& t) {
  t.kind = Token::Number;
  size_t end = i;
  while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) ++end;
  std::string digits = text.substr(i, end - i);
  if (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l')) digits.pop_back();
  size_t used = 0;
  unsigned long v = 0;
  try {
    v = std::stoul(digits, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != digits.size() || v > 0xFFFFFFFFul) throw ScriptError(t.line, "bad number " + text.substr(i, end - i));
  t.number = static_cast<uint32_t>(v);
  t.text = text.substr(i, end - i);
  i = end;
}

void ReadName(const std::string& text, size_t& i, Token& t) {
  t.kind = Token::Name;
  size_t end = i;
  while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
  t.text = text.substr(i, end - i);
  i = end;
}

}  // namespace

std::vector<Token> Tokenize(const std::string& text) {
  std::vector<Token> tokens;
  int line = 1;
  bool lineStart = true;
  for (size_t i = 0; SkipBlanks(text, i, line, lineStart);) {
    lineStart = false;
    char c = text[i];
    Token t;
    t.line = line;
    if (c == 'L' && i + 1 < text.size() && text[i + 1] == '"') ++i, c = '"';
    if (c == '"') {
      ReadString(text, i, t);
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      ReadNumber(text, i, t);
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      ReadName(text, i, t);
    } else if (c == ',' || c == '|' || c == '{' || c == '}') {
      t.kind = Token::Mark;
      t.text = std::string(1, c);
      ++i;
    } else {
      throw ScriptError(line, std::string("unexpected character '") + c + "'");
    }
    tokens.push_back(t);
  }
  Token end;
  end.line = line;
  tokens.push_back(end);
  return tokens;
}

}  // namespace fgrc
