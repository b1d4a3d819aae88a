// A module that carries registry scripts and nothing else.
#include "fgplatform/win32.h"

extern "C" FG_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
