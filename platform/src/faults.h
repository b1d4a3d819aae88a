// The one seam through which the platform's services fail on purpose in
// tests. Each wrapper around a resource asks ShouldFail before it takes
// the resource; a fault that fires goes through FgFaultFired, a function
// kept out of line so a debugger can stop on it.
#pragma once

#include "fgplatform/testing.h"

namespace fgp {

bool ShouldFail(fgtest::Service s);
// The code chosen by the test for a failing call, or `fallback`.
long FailureCode(fgtest::Service s, long fallback);

}  // namespace fgp

extern "C" FG_EXPORT void FgFaultFired(int service);
