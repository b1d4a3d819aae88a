#include "fgplatform/test_fault_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace fgtest {

std::string FaultRun::Describe() const {
  return std::string(ServiceName(service)) + " call " + std::to_string(nth) + (persistent ? " on" : " once") +
         (fired ? "" : ", no fault fired");
}

namespace {

// Runs with faults from the nth call (once or on) until one run fires
// none; answers the number of runs that fired.
int LoopOneMode(Service service, bool persistent, long success, const std::vector<long>& failures,
                const std::function<long()>& scenario,
                const std::function<void(const FaultRun&)>& check, int limit) {
  for (int nth = 1; nth <= limit; ++nth) {
    FaultRun run{service, nth, persistent};
    FailCall(service, nth, persistent);
    run.result = scenario();
    run.fired = FaultsFired(service) > 0;
    ClearFaults();
    run.succeeded = run.result == success;
    SCOPED_TRACE(run.Describe());
    if (!run.fired) {
      EXPECT_EQ(run.result, success) << "without a fault the scenario succeeds";
    } else if (!run.succeeded) {
      EXPECT_NE(std::find(failures.begin(), failures.end(), run.result), failures.end())
          << "a fault gives a documented failure code, not 0x" << std::hex << run.result;
    }
    if (check) check(run);
    if (!run.fired) return nth - 1;
  }
  ADD_FAILURE() << ServiceName(service) << ": faults still fire after " << limit << " runs";
  return limit;
}

}  // namespace

FaultLoopCounts RunFaultLoop(Service service, long success, long failure, const std::function<long()>& scenario,
                             const std::function<void(const FaultRun&)>& check, int limit) {
  return RunFaultLoop(service, success, std::vector<long>{failure}, scenario, check, limit);
}

FaultLoopCounts RunFaultLoop(Service service, long success, const std::vector<long>& failures,
                             const std::function<long()>& scenario, const std::function<void(const FaultRun&)>& check,
                             int limit) {
  FaultLoopCounts counts;
  counts.once = LoopOneMode(service, /*persistent=*/false, success, failures, scenario, check, limit);
  counts.persistent = LoopOneMode(service, /*persistent=*/true, success, failures, scenario, check, limit);
  std::printf("fault points of %s: %d once, %d from then on\n", ServiceName(service), counts.once, counts.persistent);
  return counts;
}

}  // namespace fgtest
