// Debugger output.
#include "codepage.h"
#include "debug_sink.h"
#include "fgplatform/kernel.h"

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (lpOutputString != nullptr) fgp::DebugSinkWrite(lpOutputString);
}

void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
  if (lpOutputString != nullptr) fgp::DebugSinkWrite(fgp::WideToUtf8(lpOutputString));
}
