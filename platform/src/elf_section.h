// Finds a named section in an ELF file (32- or 64-bit, little-endian).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fgp {

struct ElfSection {
  uint64_t address = 0;  // sh_addr: where it sits in memory, from the load bias
  uint64_t offset = 0;   // in the file
  uint64_t size = 0;
  bool allocated = false;
};

enum class ElfLookup {
  Found,
  Missing,  // a sound file without the section
  Damaged,  // not ELF, unreadable, or a header whose sizes or offsets leave the file
};

[[nodiscard]] ElfLookup FindElfSection(const std::string& path, const char* name, ElfSection& out);
// Reads the section's bytes from the file; false when they are not all
// inside it.
[[nodiscard]] bool ReadElfSection(const std::string& path, const ElfSection& section, std::vector<unsigned char>& out);
// True for an executable program: type ET_EXEC, or ET_DYN with a program
// interpreter (a position-independent program, not a library).
bool IsElfProgram(const std::string& path);
// True when the file starts with the ELF magic.
bool IsElfFile(const std::string& path);
// True for an ELF file whose program header table and every segment's
// file bytes lie inside the file (a regular file): what the system loader
// maps of it is all there.
bool ElfSegmentsInside(const std::string& path);

}  // namespace fgp
