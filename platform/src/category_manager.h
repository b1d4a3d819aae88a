// The built-in component category manager (comcat.h).
#pragma once

#include "fgplatform/unknwn.h"

namespace fgp {

// The process's one category manager; AddRef and Release do not count.
IUnknown* CategoryManagerObject();

}  // namespace fgp
