// The per-thread initialisation that activation calls require.
#pragma once

namespace fgp {

// Whether the calling thread has called CoInitialize(Ex) and not yet
// undone it.
bool ThreadInitialized();

}  // namespace fgp
