// Test controls of the platform: fail the Nth call of a service, capture the
// debug output and the runtime's debug reports, count what is still alive.
// Linked only into tests; the product never includes this header: its
// definitions live in the platform's one seam file, test_seam.cpp.
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
#include "fgplatform/dialog_record.h"
#include "fgplatform/fault_services.h"

namespace fgtest {

using Service = fgp::FaultService;

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
  long modules;           // modules loaded by LoadLibrary(Ex)W and not freed
  long registryHandles;   // registry keys opened and not closed
  bool operator==(const LiveCounts&) const = default;
};
FG_EXPORT LiveCounts Live();
// Whether the calling thread holds an error object (GetErrorInfo would
// take it); looking does not take it.
FG_EXPORT bool ErrorObjectOnThread();

// Dialog answers: each GetOpenFileNameW call takes the next queued one.
using DialogAnswer = fgp::DialogAnswer;
FG_EXPORT void QueueDialogAnswer(const DialogAnswer& answer);

// A copy of the last request a dialog received.
using DialogRequest = fgp::DialogRequest;
FG_EXPORT DialogRequest LastDialogRequest();
FG_EXPORT void ClearDialogs();

// While on, critical sections made and deleted are recorded in order (by
// address), for tests of the order in which objects are made and undone.
struct SectionEvent {
  bool made;  // else deleted
  const void* section;
};
FG_EXPORT void RecordSections(bool on);
FG_EXPORT std::vector<SectionEvent> TakeSectionEvents();

// Clears faults, captured output and reports; capture is switched off.
FG_EXPORT void Reset();

}  // namespace fgtest
