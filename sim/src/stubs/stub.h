// Entry points this build of the stand-in does not provide: they pass the
// gate (trace, initialised check, injected failures) and then fail cleanly
// with kNotAvailable, leaving every output untouched.
#pragma once

#include <string>

#include "core/call.h"
#include "core/error.h"

namespace vyxsim {

template <class R>
R NotAvailable(const char* op, std::initializer_list<TraceArg> args, R result) {
    if (Enter(op, args) == Gate::Fail) return result;
    return Fail(result, kNotAvailable,
                std::string(op) + " is not available in this build of the stand-in SDK");
}

inline void NotAvailable(const char* op, std::initializer_list<TraceArg> args) {
    if (Enter(op, args) == Gate::Fail) return;
    SetLastError(kNotAvailable, std::string(op) + " is not available in this build of the stand-in SDK");
}

}  // namespace vyxsim
