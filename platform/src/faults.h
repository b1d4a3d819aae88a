// The fault injector: one countdown per service (fault_services.h). Each
// wrapper around a resource asks ShouldFail before it takes the resource; a
// fault that fires goes through FgFaultFired, a function kept out of line
// so a debugger can stop on it. The test controls arm the countdowns
// through the seam (test_seam.cpp); the product never arms anything, so
// ShouldFail answers false at the cost of one relaxed load.
#pragma once

#include "fgplatform/basetypes.h"
#include "fgplatform/fault_services.h"

namespace fgp {

bool ShouldFail(FaultService s);
// The code chosen by the test for a failing call, or `fallback`.
long FailureCode(FaultService s, long fallback);

// The controls behind the seam.
void ArmFault(FaultService s, int nth, bool persistent);
void SetFaultCode(FaultService s, long code);
void ClearFaults();
int FaultsFired(FaultService s);
int FaultCallsSeen(FaultService s);

}  // namespace fgp

extern "C" FG_EXPORT void FgFaultFired(int service);
