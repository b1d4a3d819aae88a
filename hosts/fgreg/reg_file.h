// .reg files, the text form in which the usual registry editor exports a
// tree and imports it again.
//
//   Windows Registry Editor Version 5.00      (or REGEDIT4: 8-bit text)
//
//   [HKEY_CURRENT_USER\Software\Fg]           a key, made when missing
//   @="default"                               the default value
//   "Count"=dword:0000002a
//   "Raw"=hex:00,ff,10                        binary; hex(N): any type N
//   "Gone"=-                                  a value deleted
//   [-HKEY_CURRENT_USER\Software\Old]         a key deleted with its tree
//
// Exports are UTF-16LE after a byte-order mark, with CRLF line ends. Hex
// data is cut into lines as the usual editor cuts it: after the first
// comma at which the line as written reaches 77 characters, with a
// backslash, and continuation lines indented by two spaces (so that a
// line of the file stays within 80 columns).
#pragma once

#include <string>
#include <vector>

#include "fgplatform/win32.h"

namespace fgreg {

// .reg files are read up to this size.
inline constexpr size_t kMaxRegFileBytes = 64u << 20;

class RegFileWriter {
 public:
  RegFileWriter();
  // Begins the block of a key, named from its root's long name on.
  void Key(const std::u16string& fullName);
  void Value(const std::u16string& name, DWORD type, const std::string& bytes);
  // The file: the byte-order mark and the text in UTF-16LE.
  std::string FileBytes() const;

 private:
  std::u16string m_text;
};

struct RegFileEntry {
  enum class Kind { Key, DeleteKey, Value, DeleteValue };
  Kind kind = Kind::Key;
  size_t line = 0;      // where the entry begins, counted from 1
  std::u16string key;   // Key, DeleteKey: the key's full name
  std::u16string name;  // Value, DeleteValue: "" for the default value
  DWORD type = REG_NONE;
  std::string bytes;    // Value: the data as stored
};

// Reads the decoded text of a .reg file. Values belong to the Key entry
// before them. False, with `why` naming the line, for a file that is not
// of either format or a line that cannot be read; then `entries` is
// whatever was read before it and must not be used.
bool ParseRegFile(const std::u16string& text, std::vector<RegFileEntry>& entries, std::string& why);

}  // namespace fgreg
