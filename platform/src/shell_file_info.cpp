// SHGetFileInfoW: whether a file is an executable program.
#include "codepage.h"
#include "elf_section.h"
#include "fgplatform/shellapi.h"

namespace {

constexpr DWORD_PTR kConsoleProgram = 0x00004550;  // MAKELONG('PE', 0)

}  // namespace

DWORD_PTR WINAPI SHGetFileInfoW(LPCWSTR pszPath, DWORD, SHFILEINFOW*, UINT, UINT uFlags) {
  if (pszPath == nullptr || uFlags != SHGFI_EXETYPE) return 0;
  return fgp::IsElfProgram(fgp::WideToUtf8(std::u16string_view(pszPath))) ? kConsoleProgram : 0;
}
