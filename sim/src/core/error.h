// Per-thread last error with stable codes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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
    kFirmwareMismatch = 14,  // device firmware does not match this SDK
    kInternal = 15,        // an unexpected failure inside the SDK: out of memory or an internal error
};

// Records a failure for the calling thread. When a scripted message is
// pending (control interface), it replaces `message` once.
void SetLastError(int code, std::string message);

// Sets the calling thread's code only, with a message that needs no memory
// of its own ("internal error" when the code is kInternal): for a failure
// whose message could not be allocated.
void SetLastErrorCodeOnly(int code) noexcept;

// Records a failure and returns `result`, so that an operation can write
// `return Fail(false, kNotOpen, "...")`.
template <class R>
R Fail(R result, int code, std::string message) {
    SetLastError(code, std::move(message));
    return result;
}

// Caller-supplied text made safe for a message: at most `max_bytes` bytes
// (then "..."), bytes that are not valid UTF-8 and control characters written
// as \xNN, so that every message stays valid UTF-8. A null text reads (null).
std::string Printable(const char* text, std::size_t max_bytes = 200);
std::string Printable(const std::string& text, std::size_t max_bytes = 200);

// Whether `text` is valid UTF-8 (no overlong forms, surrogates or code
// points beyond U+10FFFF).
bool IsUtf8(std::string_view text);

// The scripted message that replaces the next failure's own message, on
// whichever thread fails first (control interface).
void SetScriptedErrorMessage(std::string message);
void ClearScriptedErrorMessage();

}  // namespace vyxsim
