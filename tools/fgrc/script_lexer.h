// Tokens of a resource script: names, numbers, strings and the marks
// "," "|" "{" "}"; "//" and "/* */" comments; lines starting with "#" are
// skipped (the compiler runs no preprocessor).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fgrc {

struct Token {
  enum Kind { Name, Number, String, Mark, End } kind = End;
  std::string text;        // a name or a mark, as written
  std::u16string string;   // a string's characters, escapes resolved
  uint32_t number = 0;
  int line = 0;
};

// A script error: file and line are added where it is reported.
struct ScriptError : std::runtime_error {
  ScriptError(int line, const std::string& what) : std::runtime_error(what), line(line) {}
  int line;
};

// Splits UTF-8 script text into tokens.
std::vector<Token> Tokenize(const std::string& text);

}  // namespace fgrc
