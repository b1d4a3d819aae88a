// The published identity of the component: one fixed GUID each for the
// class, the interface and the type library (which the application shares).
#pragma once

#include "fgplatform/win32.h"

inline constexpr CLSID CLSID_DialogHelper = {0x4C3A0C4C, 0x1D37, 0x4C85, {0x81, 0xC5, 0xCD, 0x3F, 0xFD, 0xB5, 0x9C, 0x65}};
inline constexpr IID IID_IDialogHelper = {0x67AA1779, 0xF0F0, 0x4C56, {0xB3, 0xCE, 0xD8, 0x7C, 0xC4, 0x3B, 0xCB, 0x2E}};
inline constexpr GUID LIBID_Farrowgate = {0xF05A841F, 0xD724, 0x47D4, {0xBA, 0x1A, 0x68, 0x54, 0x29, 0xE8, 0xB4, 0x27}};
inline constexpr GUID APPID_Farrowgate = LIBID_Farrowgate;
// The application's GUID as registry entries name it.
inline constexpr const char16_t* kAppIdText = u"{F05A841F-D724-47D4-BA1A-685429E8B427}";

inline constexpr const char16_t* kProgId = u"Farrowgate.DialogHelper.1";
inline constexpr const char16_t* kVersionIndependentProgId = u"Farrowgate.DialogHelper";
