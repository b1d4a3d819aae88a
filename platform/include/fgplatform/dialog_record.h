// What an open-file dialog was asked and what it answered, in a form every
// backend shares: GetOpenFileNameW records the request once, a backend (the
// test controls' queue, the answers file, the file chooser) fills the
// answer, and the answer is written back into the caller's request.
#pragma once

#include <string>
#include <vector>

#include "fgplatform/basetypes.h"

namespace fgp {

struct DialogAnswer {
  enum Kind { Files, Cancel, Error } kind = Cancel;
  // Files: the full paths chosen, all in one directory for several.
  std::vector<std::u16string> paths;
  bool readOnlyChecked = false;
  DWORD filterIndex = 0;  // Files: the 1-based filter in use at the close; 0 leaves nFilterIndex alone
  DWORD error = 0;        // Error: the extended error code
};

// A copy of a request's fields, taken when the dialog is asked for.
struct DialogRequest {
  DWORD lStructSize = 0;
  HWND hwndOwner = nullptr;
  bool hasFilter = false;
  std::vector<std::u16string> filter;  // display texts and patterns, up to the empty string
  DWORD nFilterIndex = 0;
  std::u16string initialFile;
  DWORD nMaxFile = 0;
  bool hasInitialDir = false;
  std::u16string initialDir;
  bool hasTitle = false;
  std::u16string title;
  DWORD Flags = 0;
  int calls = 0;  // dialogs shown so far (kept by the test controls)
};

}  // namespace fgp
