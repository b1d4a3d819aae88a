// The module parts' critical sections: initialisation that reports failure
// as a code, and a lock that reports a section that cannot be entered.
#pragma once

#include "fgplatform/win32.h"

// E_OUTOFMEMORY (or the platform's code) when the section cannot be made.
[[nodiscard]] HRESULT InitializeSection(CRITICAL_SECTION* cs);
// A failure code when the section was never initialised or was deleted.
[[nodiscard]] HRESULT EnterSection(CRITICAL_SECTION* cs);
void LeaveSection(CRITICAL_SECTION* cs);
void DeleteSection(CRITICAL_SECTION* cs);
