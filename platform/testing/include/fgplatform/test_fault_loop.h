// The fault loop, as allocation-failure testing in mature databases runs
// it: a scenario is run with the 1st, 2nd, 3rd, ... call of a service
// failing, first once and then from that call on, until a run fires no
// fault. Without a fault the scenario must answer its success code; with
// one, the success code (the failure was absorbed) or the one documented
// failure code, never anything else. After each run the check sees the
// run, so it can demand the complete result after success and the state as
// before after a failure.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "fgplatform/testing.h"

namespace fgtest {

struct FaultRun {
  Service service;
  int nth = 0;              // the call that failed first
  bool persistent = false;  // and every call after it
  bool fired = false;       // a fault fired in this run
  long result = 0;          // what the scenario answered
  bool succeeded = false;   // result is the success code
  std::string Describe() const;
};

struct FaultLoopCounts {
  int once = 0;        // fault points seen with single faults
  int persistent = 0;  // and with faults from then on
};

// Runs the loop for one service. `scenario` answers an HRESULT or an
// LSTATUS; `check` (may be empty) runs after each run with faults cleared.
// Reports a failure when more than `limit` runs still fire.
FaultLoopCounts RunFaultLoop(Service service, long success, long failure, const std::function<long()>& scenario,
                             const std::function<void(const FaultRun&)>& check = {}, int limit = 100000);
// The same where a fault may surface as one of several documented codes
// (each step of a sequence documents its own).
FaultLoopCounts RunFaultLoop(Service service, long success, const std::vector<long>& failures,
                             const std::function<long()>& scenario,
                             const std::function<void(const FaultRun&)>& check = {}, int limit = 100000);

}  // namespace fgtest
