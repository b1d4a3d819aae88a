#include "chooser_patterns.h"

#include <glib.h>

namespace fgp::gtk {

namespace {

std::string Utf8(gunichar c) {
  char bytes[8] = {};
  return std::string(bytes, static_cast<size_t>(g_unichar_to_utf8(c, bytes)));
}

}  // namespace

std::string CaselessPattern(const std::string& pattern) {
  if (pattern == "*.*") return "*";
  std::string out;
  for (const char* p = pattern.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
    gunichar c = g_utf8_get_char(p);
    gunichar lower = g_unichar_tolower(c), upper = g_unichar_toupper(c);
    if (c == '[')
      out += "[[]";
    else if (lower != upper)
      out += "[" + Utf8(lower) + Utf8(upper) + "]";
    else
      out += Utf8(c);
  }
  return out;
}

std::vector<std::string> SplitPatterns(const char* patterns) {
  std::vector<std::string> out;
  std::string current;
  for (const char* p = patterns; ; ++p) {
    if (*p == ';' || *p == '\0') {
      size_t first = current.find_first_not_of(' ');
      if (first != std::string::npos) out.push_back(current.substr(first, current.find_last_not_of(' ') - first + 1));
      current.clear();
      if (*p == '\0') break;
    } else {
      current += *p;
    }
  }
  return out;
}

}  // namespace fgp::gtk
