// Which type tags a tagged value may carry.
#pragma once

#include "fgplatform/wtypes.h"

namespace fgp {

// A scalar base type a value or an array element may have.
bool IsElementType(VARTYPE base);
// A complete tag (base with VT_ARRAY and/or VT_BYREF) a tagged value may
// carry.
bool IsValidVariantType(VARTYPE vt);
// The value a VT_BYREF value points at, as a plain value that shares what
// the target holds (nothing is copied or counted).
[[nodiscard]] HRESULT DereferenceVariant(const VARIANT* src, VARIANT& out);

}  // namespace fgp
