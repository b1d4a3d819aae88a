// Fuzzes the answers file: any bytes as the file, read by the open-file
// dialog until it is used up, malformed or refused. The dialog's answer
// must fit the buffer it was given.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fgplatform/win32.h"

namespace {

constexpr int kMaxDialogs = 8;
std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/fg-answers-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) abort();
  g_path = std::string(folder) + "/answers.txt";
  setenv("FARROWGATE_DIALOG_ANSWERS", g_path.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A new file each time, so that the dialog starts from its first answer.
  unlink(g_path.c_str());
  FILE* f = std::fopen(g_path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  for (int i = 0; i < kMaxDialogs; ++i) {
    char16_t buffer[260] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = 260;
    ofn.Flags = (i % 2 == 0 ? OFN_EXPLORER | OFN_ALLOWMULTISELECT : 0) | (i % 3 == 0 ? OFN_FILEMUSTEXIST : 0);
    if (!GetOpenFileNameW(&ofn)) break;
    size_t length = 0;
    while (length < 260 && buffer[length] != 0) ++length;
    if (length == 260) __builtin_trap();  // an answer that left no terminator in the buffer
  }
  return 0;
}
