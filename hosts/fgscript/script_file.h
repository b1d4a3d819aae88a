// Reading a script file as the usual console script hosts read one, into
// the UTF-8 text the engine takes.
//
// The encoding: UTF-16LE or UTF-16BE when the file starts with that
// byte-order mark, UTF-8 with its mark or when the whole file is valid
// UTF-8, and otherwise the ANSI code page of the process's locale (GetACP);
// where that is UTF-8 itself (the file was not valid UTF-8), windows-1252.
// A file that does not decode (a lone surrogate, bytes the code page does
// not define) is refused. Only regular files are read: a folder, a FIFO, a
// device or a socket is refused before anything is read from it.
#pragma once

#include <cstddef>
#include <string>

namespace fgscript {

constexpr size_t kMaxScriptBytes = 16u << 20;

// The script's text in UTF-8; false with `error` set to the reason.
bool ReadScriptFile(const std::string& path, std::string& text, std::string& error);

// The decoding alone, for a file's bytes already read.
bool DecodeScript(const std::string& bytes, std::string& text, std::string& error);

}  // namespace fgscript
