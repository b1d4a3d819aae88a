// The page's console as the host prints it: no character that a terminal
// acts on, and nothing that passes for the host's own messages.
#pragma once

#include <cstddef>
#include <string>

namespace fgpage {

constexpr size_t kMaxConsoleBytes = 64u << 10;  // of a line as printed; a longer one is cut

// `text` (UTF-8) as printable lines: control characters (C0 but the tab
// and the line feed, DEL, C1, invalid bytes) are written \xNN, the line
// and paragraph separators and the bidirectional controls \uNNNN; the
// text is cut at kMaxConsoleBytes on a whole character; each of its lines
// that starts with "fgpage:" (the host's own messages) is marked "page: "
// in front.
std::string ConsoleLine(const std::string& text);

}  // namespace fgpage
