// The tokens of an interface definition: names, numbers, strings and marks;
// "//" and "/* */" comments and "#" lines are skipped. An attribute's
// argument can also be read raw, up to its closing parenthesis (a GUID, a
// version), which the token rules would split.
#pragma once

#include <stdexcept>
#include <string>

namespace fgidl {

struct IdlError : std::runtime_error {
  IdlError(int line, const std::string& what) : std::runtime_error(what), line(line) {}
  int line;
};

struct Token {
  enum Kind { Name, Number, String, Mark, End } kind = End;
  std::string text;  // a name, number or mark as written; a string's content, escapes resolved
  int line = 0;
};

class Lexer {
 public:
  explicit Lexer(std::string text) : m_text(std::move(text)) {}
  // The next token, without taking it.
  const Token& Peek();
  Token Next();
  // The text up to the next ")" (not taken), blanks trimmed.
  std::string RawUntilParenthesis();
  int Line() const { return m_line; }

 private:
  void SkipBlanks();
  Token Read();

  std::string m_text;
  size_t m_at = 0;
  int m_line = 1;
  bool m_lineStart = true;
  bool m_peeked = false;
  Token m_peek;
};

}  // namespace fgidl
