#include "idl_lexer.h"

#include <cctype>

namespace fgidl {

namespace {

// Strings longer than this are refused: nothing an interface definition
// says needs more, and the library's strings are bounded too.
constexpr size_t kMaxString = 4096;

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNamePart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}  // namespace

void Lexer::SkipBlanks() {
  while (m_at < m_text.size()) {
    char c = m_text[m_at];
    if (c == '\n') {
      ++m_line;
      m_lineStart = true;
      ++m_at;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++m_at;
    } else if ((c == '#' && m_lineStart) || m_text.compare(m_at, 2, "//") == 0) {
      while (m_at < m_text.size() && m_text[m_at] != '\n') ++m_at;
    } else if (m_text.compare(m_at, 2, "/*") == 0) {
      size_t end = m_text.find("*/", m_at + 2);
      if (end == std::string::npos) throw IdlError(m_line, "unterminated comment");
      for (size_t k = m_at; k < end; ++k) m_line += m_text[k] == '\n';
      m_at = end + 2;
    } else {
      return;
    }
  }
}

Token Lexer::Read() {
  SkipBlanks();
  m_lineStart = false;
  Token t;
  t.line = m_line;
  if (m_at >= m_text.size()) return t;
  char c = m_text[m_at];
  if (c == '"') {
    t.kind = Token::String;
    for (++m_at;; ++m_at) {
      if (m_at >= m_text.size() || m_text[m_at] == '\n') throw IdlError(t.line, "unterminated string");
      char d = m_text[m_at];
      if (d == '"') break;
      if (d == '\\' && m_at + 1 < m_text.size()) d = m_text[++m_at];
      t.text.push_back(d);
      if (t.text.size() > kMaxString) throw IdlError(t.line, "a string longer than 4096 bytes");
    }
    ++m_at;
    return t;
  }
  size_t start = m_at;
  if (IsNameStart(c)) {
    t.kind = Token::Name;
    while (m_at < m_text.size() && IsNamePart(m_text[m_at])) ++m_at;
  } else if (std::isdigit(static_cast<unsigned char>(c))) {
    t.kind = Token::Number;
    while (m_at < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
  } else if (std::string("[](){};:,*=").find(c) != std::string::npos) {
    t.kind = Token::Mark;
    ++m_at;
  } else {
    throw IdlError(t.line, std::string("unexpected character '") + c + "'");
  }
  t.text = m_text.substr(start, m_at - start);
  return t;
}

const Token& Lexer::Peek() {
  if (!m_peeked) {
    m_peek = Read();
    m_peeked = true;
  }
  return m_peek;
}

Token Lexer::Next() {
  Peek();
  m_peeked = false;
  return m_peek;
}

std::string Lexer::RawUntilParenthesis() {
  if (m_peeked) throw IdlError(m_line, "internal: raw text after a peek");
  size_t end = m_text.find(')', m_at);
  if (end == std::string::npos || m_text.find('\n', m_at) < end) throw IdlError(m_line, "expected ')'");
  std::string raw = m_text.substr(m_at, end - m_at);
  m_at = end;
  size_t first = raw.find_first_not_of(" \t\r");
  size_t last = raw.find_last_not_of(" \t\r");
  return first == std::string::npos ? std::string() : raw.substr(first, last - first + 1);
}

}  // namespace fgidl
