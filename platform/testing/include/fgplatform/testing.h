// Test controls of the platform: fail the Nth call of a service, capture the
// debug output and the runtime's debug reports, count what is still alive.
// Linked only into tests; the product never includes this header.
//
// A fault is armed per service with a countdown: FailCall(s, n) makes the
// n-th call of s from now fail (n = 1 is the next call); with persistent set
// every call from the n-th on fails. A failing call behaves as the service
// documents for that failure (a null block, FALSE with a last error, a
// raised STATUS_NO_MEMORY, a registry code). Faults fired can be counted,
// which drives the loop: arm 1, run, check; arm 2, ...; until none fires.
#pragma once

#include <string>
#include <vector>

#include "fgplatform/basetypes.h"

#include <string>

namespace fgtest {

enum class Service {
  Heap,             // HeapAlloc/HeapReAlloc on every heap the program made
  TaskMemory,       // CoTaskMemAlloc/Realloc
  SystemString,     // SysAlloc*/SysReAlloc*
  SafeArray,        // array descriptors and data
  CriticalSection,  // InitializeCriticalSection*
  ErrorInfo,        // CreateErrorInfo
  RegistryWrite,    // registry calls that change the store
  Mapping,          // CreateFileMapping
  Count
};

FG_EXPORT const char* ServiceName(Service s);

FG_EXPORT void FailCall(Service s, int nth, bool persistent = false);
// The code a failing call reports where the service lets the caller choose
// (registry writes); 0 restores the service's own failure code.
FG_EXPORT void SetFailureCode(Service s, long code);
FG_EXPORT void ClearFaults();
FG_EXPORT int FaultsFired(Service s);
FG_EXPORT int CallsSeen(Service s);

// Debug output (OutputDebugString*) and debug reports (RuntimeDebugReport)
// are kept in memory while capture is on, instead of going to the sink.
struct DebugReport {
  int type;
  std::string file;
  int line;
  std::string module;
  std::string text;
};
FG_EXPORT void CaptureDebugOutput(bool on);
FG_EXPORT std::string TakeDebugOutput();
FG_EXPORT std::vector<DebugReport> TakeDebugReports();

struct LiveCounts {
  long heapBlocks;        // blocks in the process heap and private heaps
  long privateHeaps;      // heaps made by HeapCreate and not destroyed
  long taskBlocks;        // task memory blocks
  long systemStrings;     // system strings
  long arrays;            // array descriptors
  long criticalSections;  // initialised and not deleted
  bool operator==(const LiveCounts&) const = default;
};
FG_EXPORT LiveCounts Live();

// Dialog answers: each GetOpenFileNameW call takes the next queued one.
struct DialogAnswer {
  enum Kind { Files, Cancel, Error } kind = Cancel;
  // Files: the full paths chosen, all in one directory for several.
  std::vector<std::u16string> paths;
  bool readOnlyChecked = false;
  DWORD filterIndex = 0;  // Files: the 1-based filter in use at the close; 0 leaves nFilterIndex alone
  DWORD error = 0;        // Error: the extended error code
};
FG_EXPORT void QueueDialogAnswer(const DialogAnswer& answer);

// A copy of the last request a dialog received.
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
  int calls = 0;  // dialogs shown so far
};
FG_EXPORT DialogRequest LastDialogRequest();
FG_EXPORT void ClearDialogs();

// Clears faults, captured output and reports; capture is switched off.
FG_EXPORT void Reset();

}  // namespace fgtest
