// Text values under HKEY_CLASSES_ROOT, for the platform's own readers of
// the registry (ProgIDs, activation, type libraries), and the GUID text
// their keys are named with.
#pragma once

#include <cstdint>
#include <string>

#include "fgplatform/win32.h"

namespace fgp {

// The value `name` (null: the default value) of HKCR\path as text, REG_SZ
// or REG_EXPAND_SZ (unexpanded; `type` tells which), without trailing
// terminators. False when the key or value is missing, not text, or empty.
// Answers are kept for the process while the store's change stamp stays
// the same, so that activating a class again reads no key twice; a change
// by this process or any other is seen at the next read.
bool ReadClassesText(const std::u16string& path, std::u16string& out, const char16_t* name = nullptr,
                     DWORD* type = nullptr);
// The same under any open key or root.
bool ReadKeyText(HKEY root, const std::u16string& path, std::u16string& out, const char16_t* name = nullptr,
                 DWORD* type = nullptr);

// The registry store's change stamp (see Store::ChangeStamp); the store's
// error when it cannot be opened.
LSTATUS RegistryChangeStamp(uint64_t& out);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::u16string GuidText(REFGUID g);

}  // namespace fgp
