#include "script_command.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "fgplatform/win32.h"
#include "registration/regobject.h"
#include "registry_text.h"

namespace fgreg {

namespace {

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string Explain(HRESULT hr) {
  switch (hr) {
    case DISP_E_EXCEPTION: return "a syntax error, an unknown root, type or variable, or a key name with \\";
    case E_FAIL: return "a variable name of 32 characters or more, or bad binary data";
    case E_OUTOFMEMORY: return "out of memory";
    default: return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? "a registry error" : "failed";
  }
}

// The file's text: UTF-16 (either byte order) or UTF-8 after their
// byte-order marks, else 8-bit text in the thread's code page, as script
// resources are.
bool ReadScript(const std::string& file, std::u16string& text, std::string& why) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    why = "cannot read " + file;
    return false;
  }
  std::string bytes;
  bytes.resize(kMaxScriptFileBytes + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (bytes.size() > kMaxScriptFileBytes) {
    why = file + " is larger than " + std::to_string(kMaxScriptFileBytes) + " bytes";
    return false;
  }
  bool little = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  bool big = bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF';
  if (little || big) {
    size_t low = little ? 0 : 1;  // where the low byte of each unit is
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i + low]) |
                                           (static_cast<unsigned char>(bytes[i + 1 - low]) << 8)));
    return true;
  }
  UINT codePage = CP_THREAD_ACP;
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    bytes.erase(0, 3);
    codePage = CP_UTF8;
  }
  if (bytes.empty()) return true;
  text.resize(bytes.size());
  int chars = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                  static_cast<int>(text.size()));
  if (chars == 0) {
    why = "cannot convert the text of " + file;
    return false;
  }
  text.resize(static_cast<size_t>(chars));
  return true;
}

}  // namespace

int RunScriptFile(const std::string& file, const std::vector<std::string>& variables, bool unregister) {
  CRegObject registrar;
  for (const std::string& v : variables) {
    size_t equals = v.find('=');
    if (equals == std::string::npos || equals == 0) {
      std::cerr << "fgreg: a variable is NAME=VALUE, not '" << v << "'\n";
      return 2;
    }
    if (FAILED(registrar.AddVariable(Widen(v.substr(0, equals)).c_str(), Widen(v.substr(equals + 1)).c_str()))) {
      std::cerr << "fgreg: out of memory\n";
      return 1;
    }
  }
  std::u16string text;
  std::string why;
  if (!ReadScript(file, text, why)) {
    std::cerr << "fgreg: " << why << "\n";
    return 1;
  }
  HRESULT hr = registrar.RunScriptText(text.c_str(), unregister ? FALSE : TRUE);
  if (FAILED(hr)) {
    std::cerr << "fgreg: the script " << file << " failed: " << Hex(hr) << " (" << Explain(hr) << ")\n";
    return 1;
  }
  std::cout << "The operation completed successfully.\n";
  return 0;
}

}  // namespace fgreg
