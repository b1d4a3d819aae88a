// fgrc: compiles a resource script into the section data of a module.
//
//   fgrc SCRIPT... -o SECTION.bin [-I DIR]... [--depfile FILE]
//
// Several scripts make one section. Writes the resource section in the platform's layout, and with --depfile
// a make-style list of the files it read. Errors name the script and line;
// the exit status is then 1 and no output is written.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "resource_set.h"
#include "script_parser.h"

// A half-written section must not look up to date to the build; only a
// regular file is removed (never a device such as /dev/full).
void RemovePartialFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
}

int main(int argc, char** argv) {
  std::vector<std::string> scripts;
  std::vector<std::string> includeDirs;
  std::string output, depfile;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-o" || a == "-I" || a == "--depfile") && i + 1 < argc) {
      std::string value = argv[++i];
      if (a == "-o") output = value;
      if (a == "-I") includeDirs.push_back(value);
      if (a == "--depfile") depfile = value;
    } else {
      scripts.push_back(a);
    }
  }
  if (scripts.empty() || output.empty()) {
    std::cerr << "usage: fgrc SCRIPT... -o SECTION.bin [-I DIR]... [--depfile FILE]\n";
    return 2;
  }
  std::vector<fgrc::Resource> resources;
  std::vector<std::string> files;
  for (const std::string& script : scripts) {
    fgrc::ScriptInput input{script, includeDirs};
    std::ifstream in(script, std::ios::binary);
    if (!in) {
      std::cerr << script << ": cannot read the script\n";
      return 1;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
      for (fgrc::Resource& r : fgrc::ParseScript(text, input, files)) resources.push_back(std::move(r));
    } catch (const fgrc::ScriptError& e) {
      std::cerr << script << ":" << e.line << ": error: " << e.what() << "\n";
      return 1;
    }
    files.push_back(script);
  }
  std::string section;
  try {
    section = fgrc::BuildSection(resources);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  std::ofstream out(output, std::ios::binary);
  out << section;
  out.close();  // a full disk shows only when the data is written out
  if (out.fail()) {
    std::cerr << output << ": error: cannot write the section\n";
    RemovePartialFile(output);
    return 1;
  }
  if (!depfile.empty()) {
    std::ofstream dep(depfile);
    dep << output << ":";
    for (const std::string& f : files) dep << " " << f;
    dep << "\n";
    dep.close();
    if (dep.fail()) {
      std::cerr << depfile << ": error: cannot write the dependency list\n";
      return 1;
    }
  }
  return 0;
}
