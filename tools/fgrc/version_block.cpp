#include "version_block.h"

#include <cstring>

#include "script_lexer.h"

namespace fgrc {

namespace {

void Align4(std::string& out) {
  while (out.size() % 4 != 0) out.push_back('\0');
}

void PutWord(std::string& out, size_t at, uint16_t v) { std::memcpy(&out[at], &v, 2); }

std::string Serialize(const VersionNode& node) {
  std::string out(6, '\0');
  out.append(reinterpret_cast<const char*>(node.key.c_str()), (node.key.size() + 1) * 2);
  Align4(out);
  out += node.value;
  for (const VersionNode& child : node.children) {
    Align4(out);
    out += Serialize(child);
  }
  // Every length of the block is a 16-bit word.
  if (out.size() > 0xFFFF) throw ScriptError(node.line, "a version block longer than 65535 bytes");
  PutWord(out, 0, static_cast<uint16_t>(out.size()));
  PutWord(out, 2, static_cast<uint16_t>(node.text ? node.value.size() / 2 : node.value.size()));
  PutWord(out, 4, node.text ? 1 : 0);
  return out;
}

}  // namespace

std::string BuildVersionBlock(const FixedFileInfo& f, const std::vector<VersionNode>& blocks, int line) {
  uint32_t fixed[13] = {0xFEEF04BD,         0x00010000,    f.fileVersionMS, f.fileVersionLS, f.productVersionMS,
                        f.productVersionLS, f.fileFlagsMask, f.fileFlags,   f.fileOS,        f.fileType,
                        f.fileSubtype,      0,             0};
  VersionNode root;
  root.key = u"VS_VERSION_INFO";
  root.value.assign(reinterpret_cast<const char*>(fixed), sizeof fixed);
  root.children = blocks;
  root.line = line;
  return Serialize(root);
}

}  // namespace fgrc
