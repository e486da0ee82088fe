// The system's generation, for calls that race with a shutdown.
//
// SystemShutdown (and the control interface's reset) moves the generation on
// before it releases every handle. A call that registers objects or stores
// results checks, once it has done so, that the generation is still the one
// it began in: if not, the shutdown has released (or will never see) what the
// call made, and the call removes it again and fails with kNotInitialized.
#pragma once

#include <cstdint>

namespace vyxsim {

// The current generation; it grows by one at each shutdown.
uint64_t SystemEpoch();

// The generation a call runs in, read once the call has passed the gate:
// false (kNotInitialized, naming `op`) when the system has been shut down
// since the gate let the call in.
bool CallEpoch(const char* op, uint64_t* epoch);

// True while the generation is `epoch`; otherwise sets kNotInitialized,
// naming `op`, and returns false.
bool SameEpoch(const char* op, uint64_t epoch);

}  // namespace vyxsim
