#include "console_text.h"

#include <glib.h>

#include <cstdio>

namespace fgpage {

namespace {

constexpr const char* kHostPrefix = "fgpage:";
constexpr const char* kPageMark = "page: ";

bool Invisible(gunichar c) {
  return c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0x200E || c == 0x200F || c == 0x061C;
}

std::string Hex(const char* format, unsigned value) {
  char text[12];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The mark in front of a line of the page's that starts as the host's own.
std::string MarkAt(const std::string& text, size_t at) { return text.compare(at, 7, kHostPrefix) == 0 ? kPageMark : ""; }

}  // namespace

std::string ConsoleLine(const std::string& text) {
  std::string out = MarkAt(text, 0);
  const char* at = text.data();
  const char* end = at + text.size();
  while (at < end) {
    gunichar c = g_utf8_get_char_validated(at, end - at);
    std::string piece;
    size_t length = 1;
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      piece = Hex("\\x%02X", static_cast<unsigned char>(*at));  // not UTF-8: the byte, shown
    } else {
      length = static_cast<size_t>(g_utf8_next_char(at) - at);
      if (c == '\n')
        piece = "\n" + MarkAt(text, static_cast<size_t>(at + 1 - text.data()));
      else if ((c < 0x20 && c != '\t') || c == 0x7F)
        piece = Hex("\\x%02X", c);
      else if ((c >= 0x80 && c <= 0x9F) || Invisible(c))
        piece = Hex("\\u%04X", c);
      else
        piece.assign(at, length);
    }
    if (out.size() + piece.size() > kMaxConsoleBytes) break;
    out += piece;
    at += length;
  }
  return out;
}

}  // namespace fgpage
