// The seam between the platform and its test controls: the one product
// source that includes testing.h. Each control is defined here in terms of
// the platform's own internal calls (the fault injector, the debug sink,
// the live counters, the dialog queue), so no other product file knows the
// test API. The controls are exported with the library; a product run that
// never calls them leaves every fault unarmed and every capture off.
#include "fgplatform/testing.h"

#include "common_dialog.h"
#include "debug_sink.h"
#include "faults.h"
#include "live_counts.h"

namespace fgtest {

const char* ServiceName(Service s) {
  switch (s) {
    case Service::Heap: return "heap";
    case Service::TaskMemory: return "task memory";
    case Service::SystemString: return "system strings";
    case Service::SafeArray: return "arrays";
    case Service::CriticalSection: return "critical sections";
    case Service::ErrorInfo: return "error objects";
    case Service::RegistryWrite: return "registry writes";
    case Service::Mapping: return "file mappings";
    case Service::Count: break;
  }
  return "?";
}

void FailCall(Service s, int nth, bool persistent) { fgp::ArmFault(s, nth, persistent); }
void SetFailureCode(Service s, long code) { fgp::SetFaultCode(s, code); }
void ClearFaults() { fgp::ClearFaults(); }
int FaultsFired(Service s) { return fgp::FaultsFired(s); }
int CallsSeen(Service s) { return fgp::FaultCallsSeen(s); }

void CaptureDebugOutput(bool on) { fgp::CaptureDebugSink(on); }
std::string TakeDebugOutput() { return fgp::TakeCapturedOutput(); }

std::vector<DebugReport> TakeDebugReports() {
  std::vector<DebugReport> out;
  for (fgp::CapturedReport& r : fgp::TakeCapturedReports())
    out.push_back({r.type, std::move(r.file), r.line, std::move(r.module), std::move(r.text)});
  return out;
}

LiveCounts Live() {
  fgp::LiveCounters& c = fgp::Live();
  return {c.heapBlocks.load(), c.privateHeaps.load(), c.taskBlocks.load(),
          c.systemStrings.load(), c.arrays.load(), c.criticalSections.load(),
          fgp::ModulesHeld(), fgp::OpenRegistryHandles()};
}

bool ErrorObjectOnThread() { return fgp::ThreadHasErrorObject(); }

void RecordSections(bool on) { fgp::RecordSections(on); }

std::vector<SectionEvent> TakeSectionEvents() {
  std::vector<SectionEvent> out;
  for (const fgp::SectionEvent& e : fgp::TakeSectionEvents()) out.push_back({e.made, e.section});
  return out;
}

void QueueDialogAnswer(const DialogAnswer& answer) { fgp::QueueDialogAnswer(answer); }
DialogRequest LastDialogRequest() { return fgp::LastDialogRequest(); }
void ClearDialogs() { fgp::ClearDialogs(); }

void Reset() {
  fgp::RecordSections(/*on=*/false);
  fgp::ClearFaults();
  fgp::ClearDialogs();
  fgp::ResetDebugSink();
}

}  // namespace fgtest
