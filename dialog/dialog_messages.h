// The Chinese message for a common-dialog extended error code, or null
// for a code that has none.
#pragma once

#include "fgplatform/win32.h"

const WCHAR* DialogFailureMessage(DWORD code);
