// Fuzzes the loader's reading of a module file and of its resource
// section. The first input byte chooses what the rest is:
//   even: a whole file, loaded as a data file (the ELF header reader);
//   odd:  the contents of the resource section, wrapped in a sound ELF
//         file (the resource-section reader).
// Each loaded file is asked for resources by number, by name and by
// "#number", for strings of several blocks, and freed again.
#include <elf.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fgplatform/win32.h"

namespace {

constexpr char kNames[] = "\0.fgrsrc\0.shstrtab\0";

// A minimal 64-bit ELF file whose one allocated section ".fgrsrc" holds
// `section`.
std::string WrapInElf(const uint8_t* section, size_t size) {
  std::string file(sizeof(Elf64_Ehdr), '\0');
  size_t sectionAt = file.size();
  file.append(reinterpret_cast<const char*>(section), size);
  size_t namesAt = file.size();
  file.append(kNames, sizeof kNames);
  while (file.size() % 8 != 0) file.push_back('\0');
  size_t tableAt = file.size();
  Elf64_Shdr table[3] = {};
  table[1].sh_name = 1;
  table[1].sh_type = SHT_PROGBITS;
  table[1].sh_flags = SHF_ALLOC;
  table[1].sh_offset = sectionAt;
  table[1].sh_size = size;
  table[2].sh_name = 9;
  table[2].sh_type = SHT_STRTAB;
  table[2].sh_offset = namesAt;
  table[2].sh_size = sizeof kNames;
  file.append(reinterpret_cast<const char*>(table), sizeof table);
  Elf64_Ehdr eh = {};
  std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
  eh.e_ident[EI_CLASS] = ELFCLASS64;
  eh.e_ident[EI_DATA] = ELFDATA2LSB;
  eh.e_ident[EI_VERSION] = EV_CURRENT;
  eh.e_type = ET_DYN;
  eh.e_machine = EM_X86_64;
  eh.e_version = EV_CURRENT;
  eh.e_ehsize = sizeof eh;
  eh.e_shoff = tableAt;
  eh.e_shentsize = sizeof(Elf64_Shdr);
  eh.e_shnum = 3;
  eh.e_shstrndx = 2;
  std::memcpy(file.data(), &eh, sizeof eh);
  return file;
}

void Exercise(HMODULE h) {
  const LPCWSTR types[] = {u"REGISTRY", u"registry", u"TYPELIB", u"#6", u"#16", RT_STRING, RT_VERSION, RT_MANIFEST,
                           RT_RCDATA};
  const LPCWSTR names[] = {MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(101), u"#101", u"#1", u"NAME", u"#", u"#99999"};
  for (LPCWSTR type : types)
    for (LPCWSTR name : names) {
      HRSRC r = FindResourceW(h, name, type);
      if (r == nullptr) continue;
      const auto* data = static_cast<const volatile uint8_t*>(LockResource(LoadResource(h, r)));
      DWORD size = SizeofResource(h, r);
      uint8_t sum = 0;
      for (DWORD i = 0; i < size; ++i) sum = static_cast<uint8_t>(sum + data[i]);
      (void)sum;
    }
  char16_t buffer[64];
  for (UINT id : {0u, 1u, 15u, 16u, 100u, 101u, 65535u}) {
    (void)LoadStringW(h, id, buffer, 64);
    (void)LoadStringW(h, id, buffer, 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const std::string path = "/tmp/fg-fuzz-module-" + std::to_string(getpid()) + ".so";
  std::string file = (data[0] & 1) != 0 ? WrapInElf(data + 1, size - 1)
                                         : std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  std::u16string wide(path.begin(), path.end());
  HMODULE h = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (h != nullptr) {
    Exercise(h);
    FreeLibrary(h);
  }
  return 0;
}
