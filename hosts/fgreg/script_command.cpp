#include "script_command.h"

#include <cstdio>
#include <iostream>

#include "fgplatform/win32.h"
#include "registration/regobject.h"
#include "registry_text.h"
#include "text_file.h"

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

// The token a run failed at, or what a variable fault means. A variable
// token begins with its "%" and, when closed, ends with one.
std::string Where(const ScriptFault& fault) {
  std::string token = Narrow(fault.token);
  if (fault.kind == ScriptFaultKind::Token)
    return token.empty() ? "at the end of the script" : "at '" + token + "'";
  std::string name = token.size() > 1 ? token.substr(1) : std::string();
  if (!name.empty() && name.back() == '%') name.pop_back();
  switch (fault.kind) {
    case ScriptFaultKind::UnclosedVariable: return "the variable at '" + token + "' has no closing %";
    case ScriptFaultKind::LongVariable:
      return "the variable name " + name + " is longer than " + std::to_string(kMaxVariableName) + " characters";
    default: return "no variable " + name + " is given (add " + name + "=VALUE)";
  }
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
  std::string bytes, why;
  if (!ReadFileBytes(file, kMaxScriptFileBytes, bytes, why)) {
    std::cerr << "fgreg: " << why << "\n";
    return 1;
  }
  std::u16string text;
  if (!DecodeText(bytes, text)) {
    std::cerr << "fgreg: cannot convert the text of " << file << "\n";
    return 1;
  }
  ScriptFault fault;
  HRESULT hr = registrar.RunScriptText(text.c_str(), unregister ? FALSE : TRUE, &fault);
  if (FAILED(hr)) {
    std::cerr << "fgreg: " << file << " line " << fault.line << ": " << Where(fault) << ": " << Hex(hr) << " ("
              << Explain(hr) << ")\n";
    return 1;
  }
  std::cout << "The operation completed successfully.\n";
  return 0;
}

}  // namespace fgreg
