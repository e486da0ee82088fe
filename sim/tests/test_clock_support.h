// What tests of the capture latency share.
#pragma once

#include <chrono>
#include <thread>

#include "vyxsim/control.h"

namespace vyxsim {

// Waits until `n` calls are waiting out the capture latency. The bound only
// keeps a broken build from hanging the run: correct code gets there at once.
inline bool WaitForLatencyWaiters(int n) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (CapturesWaiting() < n) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace vyxsim
