// fgidl: compiles an interface definition into a type library in the
// platform's binary format (fgplatform/typelib_format.h).
//
//   fgidl FILE.idl -o FILE.tlb
//
// Errors name the file and line; the exit status is then 1 and nothing is
// written. A bad command line exits with 2.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "idl_lexer.h"
#include "idl_parser.h"
#include "typelib_writer.h"

namespace {

constexpr std::streamoff kMaxInput = 4 << 20;

void RemovePartialFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[2]) != "-o") {
    std::cerr << "usage: fgidl FILE.idl -o FILE.tlb\n";
    return 2;
  }
  std::string input = argv[1], output = argv[3];
  std::ifstream in(input, std::ios::binary | std::ios::ate);
  if (!in) {
    std::cerr << input << ": error: cannot read the file\n";
    return 1;
  }
  if (in.tellg() > kMaxInput) {
    std::cerr << input << ": error: larger than 4 MiB\n";
    return 1;
  }
  in.seekg(0);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string library;
  try {
    library = fgidl::WriteTypeLibrary(fgidl::ParseIdl(text));
  } catch (const fgidl::IdlError& e) {
    std::cerr << input << ":" << e.line << ": error: " << e.what() << "\n";
    return 1;
  }
  std::ofstream out(output, std::ios::binary);
  out << library;
  out.close();
  if (out.fail()) {
    std::cerr << output << ": error: cannot write the type library\n";
    RemovePartialFile(output);
    return 1;
  }
  return 0;
}
