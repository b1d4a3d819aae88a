// The version resource in the platform's binary layout: a VS_VERSIONINFO
// node holding VS_FIXEDFILEINFO (52 bytes, signature 0xFEEF04BD) and the
// "StringFileInfo" and "VarFileInfo" blocks. Every node is wLength,
// wValueLength, wType (0 binary, 1 text), the key in UTF-16 with its
// terminator, padding to 4 bytes, the value, padding, then its children.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fgrc {

struct VersionNode {
  std::u16string key;
  bool text = false;
  std::string value;          // a text value holds UTF-16 with its terminator
  std::vector<VersionNode> children;
  int line = 0;  // of the script, for errors
};

struct FixedFileInfo {
  uint32_t fileVersionMS = 0, fileVersionLS = 0, productVersionMS = 0, productVersionLS = 0;
  uint32_t fileFlagsMask = 0, fileFlags = 0, fileOS = 0, fileType = 0, fileSubtype = 0;
};

// Throws ScriptError, with the line of the node, for a node longer than
// its 16-bit length field holds; `line` is that of VERSIONINFO.
std::string BuildVersionBlock(const FixedFileInfo& fixed, const std::vector<VersionNode>& blocks, int line);

}  // namespace fgrc
