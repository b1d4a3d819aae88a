// Counters of what the platform has handed out and not yet taken back;
// read by the test controls to prove that a test left nothing behind.
#pragma once

#include <atomic>
#include <vector>

namespace fgp {

struct LiveCounters {
  std::atomic<long> heapBlocks{0};
  std::atomic<long> privateHeaps{0};
  std::atomic<long> taskBlocks{0};
  std::atomic<long> systemStrings{0};
  std::atomic<long> arrays{0};
  std::atomic<long> criticalSections{0};
};

LiveCounters& Live();

// What else a test must not leave behind, counted where it is kept.
// Modules the process holds through LoadLibrary(Ex)W and has not freed.
long ModulesHeld();
// Handles opened by the registry calls and not yet closed.
long OpenRegistryHandles();
// Whether the calling thread has an error object set.
bool ThreadHasErrorObject();

// The record of critical sections made and deleted, kept while a test asks
// for it: the order of a module's static objects shows in it.
struct SectionEvent {
  bool made;  // else deleted
  const void* section;
};
void RecordSections(bool on);
std::vector<SectionEvent> TakeSectionEvents();
void NoteSection(bool made, const void* section);

}  // namespace fgp
