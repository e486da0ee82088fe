// Per-thread last error with stable codes.
#pragma once

#include <string>

namespace vyxsim {

// Stable error codes; GetLastError reports one of these.
enum ErrorCode : int {
    kOk = 0,
    kNotInitialized = 1,   // system not initialised (or shut down)
    kInvalidHandle = 2,    // handle names nothing, was destroyed, or is of another kind
    kInvalidArgument = 3,  // null pointer, out-of-range value, size mismatch
    kNotFound = 4,         // no such device, file or entry
    kNotAvailable = 5,     // operation not available in this build of the SDK
    kDisconnected = 6,     // device unplugged
    kNotOpen = 7,          // camera not open
    kIoError = 8,          // file could not be opened, read or written
    kBadFile = 9,          // file damaged, truncated or of an unsupported format
    kInjectedFault = 10,   // failure injected through the control interface
    kWrongState = 11,      // call out of order (e.g. no capture yet, scan not running)
    kUnsupported = 12,     // device or object lacks the capability
    kNoResult = 13,        // an algorithm found nothing to work with
};

// Records a failure for the calling thread. When a scripted message is
// pending (control interface), it replaces `message` once.
void SetLastError(int code, std::string message);

// Records a failure and returns `result`, so that an operation can write
// `return Fail(false, kNotOpen, "...")`.
template <class R>
R Fail(R result, int code, std::string message) {
    SetLastError(code, std::move(message));
    return result;
}

}  // namespace vyxsim
