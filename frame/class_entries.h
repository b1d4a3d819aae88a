// The dialog helper class's registry entries: its ProgIDs and its key
// under CLSID, written and removed by the class registration engine.
#pragma once

#include "fgplatform/win32.h"

// The object map's registry function of the class.
HRESULT WINAPI RegisterClassEntries(BOOL bRegister);
