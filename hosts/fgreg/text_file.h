// Text files the registry tool reads (registry scripts, .reg files): read
// whole within a size bound, refused unless they are regular files, and
// decoded to UTF-16 by their byte-order mark.
#pragma once

#include <string>

namespace fgreg {

// The file's bytes, at most `maxBytes` of them. A FIFO, a device or a
// folder is refused without waiting on it; `why` says what went wrong.
bool ReadFileBytes(const std::string& file, size_t maxBytes, std::string& bytes, std::string& why);

// UTF-16 (either byte order) or UTF-8 after their byte-order marks, else
// 8-bit text in the thread's code page. False when the bytes do not
// convert.
bool DecodeText(const std::string& bytes, std::u16string& text);

}  // namespace fgreg
