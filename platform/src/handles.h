// Kernel object handles: a table from HANDLE to the object behind it, so
// that CloseHandle can close any kind of object the platform hands out.
#pragma once

#include "fgplatform/basetypes.h"

namespace fgp {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

// Takes ownership; answers the new handle.
HANDLE AddHandle(KernelObject* object);
// Null when the handle is not open.
KernelObject* FindHandle(HANDLE h);

}  // namespace fgp
