// Counters of what the platform has handed out and not yet taken back;
// read by the test controls to prove that a test left nothing behind.
#pragma once

#include <atomic>

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

}  // namespace fgp
