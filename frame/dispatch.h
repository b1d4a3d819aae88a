// Late-bound calls of the dialog object: the compiled-in name table that
// GetIDsOfNames searches, and the conversion the dispatcher applies to a
// put argument. CDialogHelper's GetIDsOfNames and Invoke are defined in
// dialog_dispatch.cpp, beside them.
#pragma once

#include "fgplatform/win32.h"

struct DispatchNameEntry {
  const OLECHAR* name;
  DISPID id;
};

// The fifteen names, searched in this order.
inline constexpr int kDispatchNameCount = 15;
extern const DispatchNameEntry DispatchNameTable[kDispatchNameCount];

// Converts the value *ppSrc points at to `vt` in place (through `dest`, a
// scratch value); an array of tagged values asked for as another array
// type is left as it is (S_OK). Writes a trace line. E_INVALIDARG for a
// null source or destination.
[[nodiscard]] HRESULT __VariantChangeType(VARIANT** ppSrc, VARIANT* dest, VARTYPE vt);
