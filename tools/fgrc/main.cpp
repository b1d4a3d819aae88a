// fgrc: compiles a resource script into the section data of a module.
//
//   fgrc SCRIPT -o SECTION.bin [-I DIR]... [--depfile FILE]
//
// Writes the resource section in the platform's layout, and with --depfile
// a make-style list of the files it read. Errors name the script and line;
// the exit status is then 1 and no output is written.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "resource_set.h"
#include "script_parser.h"

int main(int argc, char** argv) {
  fgrc::ScriptInput input;
  std::string output, depfile;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-o" || a == "-I" || a == "--depfile") && i + 1 < argc) {
      std::string value = argv[++i];
      if (a == "-o") output = value;
      if (a == "-I") input.includeDirs.push_back(value);
      if (a == "--depfile") depfile = value;
    } else if (input.path.empty()) {
      input.path = a;
    } else {
      std::cerr << "fgrc: unexpected argument " << a << "\n";
      return 2;
    }
  }
  if (input.path.empty() || output.empty()) {
    std::cerr << "usage: fgrc SCRIPT -o SECTION.bin [-I DIR]... [--depfile FILE]\n";
    return 2;
  }
  std::ifstream in(input.path, std::ios::binary);
  if (!in) {
    std::cerr << input.path << ": cannot read the script\n";
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> files;
  std::string section;
  try {
    section = fgrc::BuildSection(fgrc::ParseScript(text, input, files));
  } catch (const fgrc::ScriptError& e) {
    std::cerr << input.path << ":" << e.line << ": error: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << input.path << ": error: " << e.what() << "\n";
    return 1;
  }
  std::ofstream out(output, std::ios::binary);
  out << section;
  if (!out) {
    std::cerr << output << ": cannot write\n";
    return 1;
  }
  if (!depfile.empty()) {
    std::ofstream dep(depfile);
    dep << output << ":";
    for (const std::string& f : files) dep << " " << f;
    dep << "\n";
  }
  return 0;
}
