#include "elf_section.h"

#include <elf.h>

#include <cstring>
#include <fstream>

namespace fgp {

namespace {

template <class Ehdr, class Shdr>
[[nodiscard]] bool FindIn(std::ifstream& f, const char* name, ElfSection& out) {
  Ehdr eh;
  f.seekg(0);
  if (!f.read(reinterpret_cast<char*>(&eh), sizeof eh)) return false;
  if (eh.e_shoff == 0 || eh.e_shentsize != sizeof(Shdr) || eh.e_shstrndx >= eh.e_shnum) return false;
  std::vector<Shdr> sections(eh.e_shnum);
  f.seekg(static_cast<std::streamoff>(eh.e_shoff));
  if (!f.read(reinterpret_cast<char*>(sections.data()), static_cast<std::streamsize>(sections.size() * sizeof(Shdr))))
    return false;
  const Shdr& names = sections[eh.e_shstrndx];
  std::vector<char> strings(names.sh_size + 1, '\0');
  f.seekg(static_cast<std::streamoff>(names.sh_offset));
  if (!f.read(strings.data(), static_cast<std::streamsize>(names.sh_size))) return false;
  for (const Shdr& s : sections) {
    if (s.sh_name >= names.sh_size || std::strcmp(strings.data() + s.sh_name, name) != 0) continue;
    out.address = s.sh_addr;
    out.offset = s.sh_offset;
    out.size = s.sh_size;
    out.allocated = (s.sh_flags & SHF_ALLOC) != 0;
    return true;
  }
  return false;
}

}  // namespace

bool IsElfFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  unsigned char ident[EI_NIDENT] = {};
  return f.read(reinterpret_cast<char*>(ident), EI_NIDENT) && std::memcmp(ident, ELFMAG, SELFMAG) == 0;
}

bool FindElfSection(const std::string& path, const char* name, ElfSection& out) {
  std::ifstream f(path, std::ios::binary);
  unsigned char ident[EI_NIDENT] = {};
  if (!f.read(reinterpret_cast<char*>(ident), EI_NIDENT)) return false;
  if (std::memcmp(ident, ELFMAG, SELFMAG) != 0 || ident[EI_DATA] != ELFDATA2LSB) return false;
  if (ident[EI_CLASS] == ELFCLASS64) return FindIn<Elf64_Ehdr, Elf64_Shdr>(f, name, out);
  if (ident[EI_CLASS] == ELFCLASS32) return FindIn<Elf32_Ehdr, Elf32_Shdr>(f, name, out);
  return false;
}

bool ReadElfSection(const std::string& path, const ElfSection& section, std::vector<unsigned char>& out) {
  std::ifstream f(path, std::ios::binary);
  out.resize(section.size);
  f.seekg(static_cast<std::streamoff>(section.offset));
  return static_cast<bool>(f.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size())));
}

}  // namespace fgp
