// What an interface definition declares, as the compiler reads it: the
// interfaces, the library with its attributes and imports, and its
// classes. Texts are kept as written (UTF-8).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fgplatform/typelib_format.h"

namespace fgidl {

struct Param {
  std::string name;  // empty: none written
  uint16_t flags = 0;  // PARAMFLAG_*
  uint16_t vt = 0;
  uint16_t pointee = 0;  // for VT_PTR
  int line = 0;
};

struct Method {
  std::string name;
  int32_t id = 0;
  bool hasId = false;
  uint32_t invokeKind = 1;  // INVOKE_FUNC
  uint32_t funcFlags = 0;   // FUNCFLAG_*
  std::string helpString;
  uint32_t helpContext = 0;
  uint16_t returnType = 0;
  std::vector<Param> params;
  int line = 0;
};

struct Interface {
  std::string name;
  std::string base;  // "IDispatch", "IUnknown" or an interface of the file; empty for IUnknown itself
  fgtlb::Guid guid{};
  bool hasGuid = false;
  std::string helpString;
  uint32_t flags = 0;  // TYPEFLAGS
  std::vector<Method> methods;
  int line = 0;
};

struct CoclassInterface {
  std::string name;
  uint32_t flags = 0;  // IMPLTYPEFLAG_*
  int line = 0;
};

struct Coclass {
  std::string name;
  fgtlb::Guid guid{};
  bool hasGuid = false;
  std::string helpString;
  uint32_t flags = 0;  // TYPEFLAGS
  uint16_t majorVersion = 0, minorVersion = 0;
  std::vector<CoclassInterface> interfaces;
  int line = 0;
};

struct Library {
  std::string name;
  fgtlb::Guid guid{};
  bool hasGuid = false;
  uint16_t majorVersion = 0, minorVersion = 0;
  uint32_t lcid = 0;
  std::string helpString;
  std::vector<std::string> importLibs;  // importlib("...")
  std::vector<Interface> interfaces;    // in the order the file defines them
  std::vector<Coclass> coclasses;
  bool defined = false;
};

}  // namespace fgidl
