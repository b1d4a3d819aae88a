// Value texts shared by registry scripts and entry programs: binary data
// written as hexadecimal digits, and string blocks written with "\0"
// between the strings.
#pragma once

#include "fgplatform/win32.h"

// 0 to 15 for a hexadecimal digit; any other character counts as 0, with
// a trace line.
BYTE HexDigitValue(WCHAR ch);

// Two digits a byte, high digit first, into a task-allocator buffer the
// caller frees. E_FAIL (with a trace line) for an odd number of digits and
// when memory runs out.
[[nodiscard]] HRESULT DecodeHexBytes(LPCOLESTR text, BYTE** ppData, DWORD* pcbData);

// The text with every "\" "0" pair turned into a terminator and two
// terminators at the end, in a task-allocator buffer; null when memory
// runs out.
LPOLESTR MultiStringBlock(LPCOLESTR text);
