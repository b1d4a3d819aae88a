// Lays a parsed library out in the binary type-library format
// (fgplatform/typelib_format.h): the interfaces in the order the file
// defines them, then the classes. Help strings are stored in code page
// 936; IUnknown and IDispatch are imported from "stdole2.tlb", which the
// library must name in importlib. Throws IdlError for what the format
// cannot hold.
#pragma once

#include <string>

#include "idl_model.h"

namespace fgidl {

std::string WriteTypeLibrary(const Library& library);

}  // namespace fgidl
