// Reads the subset of the interface-definition language that automation
// components use: "import" lines; attributed interfaces (object, uuid, dual,
// oleautomation, nonextensible, helpstring, helpcontext, pointer_default,
// hidden) with their methods and properties (id, propget, propput,
// propputref, helpstring, helpcontext; parameters in, out, retval, lcid,
// optional); one attributed library (uuid, version, lcid, helpstring) with
// importlib lines, forward interface names and attributed coclasses
// (uuid, helpstring, version, noncreatable, appobject, hidden; default,
// source, restricted interfaces). Types: HRESULT, VARIANT_BOOL, BSTR,
// VARIANT, long, int, short, char, double, float, void, IUnknown,
// IDispatch and interfaces of the file, each with one level of pointer.
// Anything else is an IdlError with its line.
#pragma once

#include <string>

#include "idl_model.h"

namespace fgidl {

Library ParseIdl(const std::string& text);

}  // namespace fgidl
