// The loader's list: loaded objects (found through the dynamic linker) and
// the data-file modules of LoadLibraryExW, with the resource section of
// each.
#pragma once

#include <cstddef>
#include <string>

#include "fgplatform/basetypes.h"

namespace fgp {

struct ModuleResources {
  const BYTE* data = nullptr;  // null: the module has no resource section
  size_t size = 0;
};

// The resource section of a module handle (null: the main program); false
// when the handle names no module.
[[nodiscard]] bool ResourcesOf(HMODULE module, ModuleResources& out);

}  // namespace fgp
