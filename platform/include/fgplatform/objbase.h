// Component runtime: task memory.
//
// Task memory comes from a heap of its own so that tests can count live
// blocks. CoTaskMemAlloc(0) answers a valid, distinct pointer.
#pragma once

#include "fgplatform/basetypes.h"

FG_API LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb);
FG_API LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
FG_API void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);
