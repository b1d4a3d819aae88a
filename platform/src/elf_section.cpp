#include "elf_section.h"

#include <elf.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <new>

namespace fgp {

namespace {

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

// Whether [offset, offset + size) lies inside a file of `fileSize` bytes.
bool Inside(uint64_t offset, uint64_t size, uint64_t fileSize) { return offset <= fileSize && size <= fileSize - offset; }

// Reads `size` bytes at `offset`; false when the file is shorter.
bool ReadAt(std::ifstream& f, uint64_t offset, void* into, uint64_t size) {
  f.clear();
  f.seekg(static_cast<std::streamoff>(offset));
  return static_cast<bool>(f.read(static_cast<char*>(into), static_cast<std::streamsize>(size)));
}

// Every size and offset is checked against the file before it is used, so
// a damaged header can neither make the reader allocate what the file does
// not hold nor send it past the file's end.
template <class Ehdr, class Shdr>
ElfLookup FindIn(std::ifstream& f, uint64_t fileSize, const char* name, ElfSection& out) {
  Ehdr eh;
  if (!ReadAt(f, 0, &eh, sizeof eh)) return ElfLookup::Damaged;
  if (eh.e_shoff == 0 || eh.e_shnum == 0) return ElfLookup::Missing;
  if (eh.e_shentsize != sizeof(Shdr) || eh.e_shstrndx >= eh.e_shnum) return ElfLookup::Damaged;
  uint64_t tableBytes = static_cast<uint64_t>(eh.e_shnum) * sizeof(Shdr);
  if (!Inside(eh.e_shoff, tableBytes, fileSize)) return ElfLookup::Damaged;
  std::vector<Shdr> sections(eh.e_shnum);
  if (!ReadAt(f, eh.e_shoff, sections.data(), tableBytes)) return ElfLookup::Damaged;
  const Shdr& names = sections[eh.e_shstrndx];
  if (!Inside(names.sh_offset, names.sh_size, fileSize)) return ElfLookup::Damaged;
  std::vector<char> strings(names.sh_size + 1, '\0');
  if (!ReadAt(f, names.sh_offset, strings.data(), names.sh_size)) return ElfLookup::Damaged;
  for (const Shdr& s : sections) {
    if (s.sh_name >= names.sh_size || std::strcmp(strings.data() + s.sh_name, name) != 0) continue;
    if (s.sh_type != SHT_NOBITS && !Inside(s.sh_offset, s.sh_size, fileSize)) return ElfLookup::Damaged;
    out.address = s.sh_addr;
    out.offset = s.sh_offset;
    out.size = s.sh_type == SHT_NOBITS ? 0 : s.sh_size;
    out.allocated = (s.sh_flags & SHF_ALLOC) != 0;
    return ElfLookup::Found;
  }
  return ElfLookup::Missing;
}

template <class Ehdr, class Phdr>
bool IsProgramIn(std::ifstream& f, uint64_t fileSize) {
  Ehdr eh;
  if (!ReadAt(f, 0, &eh, sizeof eh)) return false;
  if (eh.e_type == ET_EXEC) return true;
  if (eh.e_type != ET_DYN || eh.e_phentsize != sizeof(Phdr)) return false;
  // A position-independent program names its interpreter; a library does not.
  for (uint64_t i = 0; i < eh.e_phnum; ++i) {
    Phdr ph;
    uint64_t at = eh.e_phoff + i * sizeof(Phdr);
    if (!Inside(at, sizeof ph, fileSize) || !ReadAt(f, at, &ph, sizeof ph)) return false;
    if (ph.p_type == PT_INTERP) return true;
  }
  return false;
}

// Every part of the file the system loader maps or reads lies inside it:
// the program header table, and the file bytes of each segment it names.
// A loader that maps past the end of a short file faults (SIGBUS) when it
// touches the missing pages.
template <class Ehdr, class Phdr>
bool SegmentsIn(std::ifstream& f, uint64_t fileSize) {
  Ehdr eh;
  if (!ReadAt(f, 0, &eh, sizeof eh)) return false;
  if (eh.e_phnum == 0) return true;
  if (eh.e_phentsize != sizeof(Phdr)) return false;
  if (!Inside(eh.e_phoff, static_cast<uint64_t>(eh.e_phnum) * sizeof(Phdr), fileSize)) return false;
  for (uint64_t i = 0; i < eh.e_phnum; ++i) {
    Phdr ph;
    if (!ReadAt(f, eh.e_phoff + i * sizeof(Phdr), &ph, sizeof ph)) return false;
    if (ph.p_type != PT_NULL && ph.p_type != PT_GNU_STACK && !Inside(ph.p_offset, ph.p_filesz, fileSize)) return false;
  }
  return true;
}

}  // namespace

bool ElfSegmentsInside(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  uint64_t fileSize = FileSize(path);
  unsigned char ident[EI_NIDENT] = {};
  if (!f.read(reinterpret_cast<char*>(ident), EI_NIDENT)) return false;
  if (std::memcmp(ident, ELFMAG, SELFMAG) != 0) return false;
  if (ident[EI_CLASS] == ELFCLASS64) return SegmentsIn<Elf64_Ehdr, Elf64_Phdr>(f, fileSize);
  if (ident[EI_CLASS] == ELFCLASS32) return SegmentsIn<Elf32_Ehdr, Elf32_Phdr>(f, fileSize);
  return false;
}

bool IsElfProgram(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  uint64_t fileSize = FileSize(path);
  unsigned char ident[EI_NIDENT] = {};
  if (!f.read(reinterpret_cast<char*>(ident), EI_NIDENT)) return false;
  if (std::memcmp(ident, ELFMAG, SELFMAG) != 0 || ident[EI_DATA] != ELFDATA2LSB) return false;
  if (ident[EI_CLASS] == ELFCLASS64) return IsProgramIn<Elf64_Ehdr, Elf64_Phdr>(f, fileSize);
  if (ident[EI_CLASS] == ELFCLASS32) return IsProgramIn<Elf32_Ehdr, Elf32_Phdr>(f, fileSize);
  return false;
}

bool IsElfFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  unsigned char ident[EI_NIDENT] = {};
  return f.read(reinterpret_cast<char*>(ident), EI_NIDENT) && std::memcmp(ident, ELFMAG, SELFMAG) == 0;
}

ElfLookup FindElfSection(const std::string& path, const char* name, ElfSection& out) {
  std::ifstream f(path, std::ios::binary);
  uint64_t fileSize = FileSize(path);
  unsigned char ident[EI_NIDENT] = {};
  if (!f.read(reinterpret_cast<char*>(ident), EI_NIDENT)) return ElfLookup::Damaged;
  if (std::memcmp(ident, ELFMAG, SELFMAG) != 0 || ident[EI_DATA] != ELFDATA2LSB) return ElfLookup::Damaged;
  try {
    if (ident[EI_CLASS] == ELFCLASS64) return FindIn<Elf64_Ehdr, Elf64_Shdr>(f, fileSize, name, out);
    if (ident[EI_CLASS] == ELFCLASS32) return FindIn<Elf32_Ehdr, Elf32_Shdr>(f, fileSize, name, out);
  } catch (const std::bad_alloc&) {
    return ElfLookup::Damaged;  // sizes are bounded by the file; memory ran out all the same
  }
  return ElfLookup::Damaged;
}

bool ReadElfSection(const std::string& path, const ElfSection& section, std::vector<unsigned char>& out) {
  if (!Inside(section.offset, section.size, FileSize(path))) return false;
  std::ifstream f(path, std::ios::binary);
  try {
    out.resize(section.size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return ReadAt(f, section.offset, out.data(), out.size());
}

}  // namespace fgp
