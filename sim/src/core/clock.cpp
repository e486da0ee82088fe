// The model clock: steady clock plus an offset in real mode, a frozen value
// in manual mode; and the capture latency, which waits on real time or
// advances the frozen value.
#include "core/clock.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace vyxsim {
namespace {

using Steady = std::chrono::steady_clock;
using Ns = ModelClock::duration;

struct ClockState {
    std::mutex mutex;  // guards everything below
    std::condition_variable latency_changed;
    const Steady::time_point origin = Steady::now();
    bool manual = false;
    Ns offset{0};  // real mode: the clock reads (steady - origin) + offset
    Ns frozen{0};  // manual mode: the clock reads this
    int latency_ms = 0;
    int waiters = 0;

    // Caller holds the mutex.
    Ns Read() const {
        if (manual) return frozen;
        return std::chrono::duration_cast<Ns>(Steady::now() - origin) + offset;
    }
};

// Never destroyed: calls on other threads may still read the clock while the
// process exits.
ClockState& State() {
    static ClockState* state = new ClockState;
    return *state;
}

}  // namespace

ModelClock::time_point ModelClock::now() {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    return time_point(s.Read());
}

void SetClockMode(bool manual) {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    if (manual == s.manual) return;
    const Ns now = s.Read();
    s.manual = manual;
    if (manual) {
        s.frozen = now;
    } else {
        s.offset = now - std::chrono::duration_cast<Ns>(Steady::now() - s.origin);
    }
}

bool ClockIsManual() {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    return s.manual;
}

bool AdvanceClock(ModelClock::duration d) {
    constexpr Ns kLimit{std::numeric_limits<Ns::rep>::max() / 2};
    if (d.count() < 0) return false;
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    Ns& moved = s.manual ? s.frozen : s.offset;
    if (d > kLimit - std::max(moved, Ns{0})) return false;
    moved += d;
    return true;
}

ModelClock::duration ClockSeconds(double seconds) {
    if (!(seconds > 0.0)) return Ns{0};
    return std::chrono::microseconds(std::llround(seconds * 1e6));
}

void SetLatencyMs(int milliseconds) {
    ClockState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.latency_ms = std::max(milliseconds, 0);
    }
    s.latency_changed.notify_all();
}

int LatencyMs() {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    return s.latency_ms;
}

void SpendCaptureLatency() { SpendCaptureLatency(nullptr); }

void SpendCaptureLatency(const std::function<bool()>& stop) {
    ClockState& s = State();
    std::unique_lock lock(s.mutex);
    if (s.latency_ms <= 0) return;
    if (s.manual) {
        s.frozen += std::chrono::milliseconds(s.latency_ms);
        return;
    }
    // Real time, whatever the mode becomes meanwhile: the latency stands for
    // the time the device takes, which the caller spends waiting.
    const Steady::time_point start = Steady::now();
    ++s.waiters;
    while (!(stop && stop())) {
        const Steady::time_point end = start + std::chrono::milliseconds(s.latency_ms);
        if (Steady::now() >= end) break;
        s.latency_changed.wait_until(lock, end);
    }
    --s.waiters;
}

void WakeLatencyWaiters() {
    ClockState& s = State();
    {
        // Taken so that a waiter between its look at `stop` and its wait
        // cannot miss the notification.
        std::lock_guard lock(s.mutex);
    }
    s.latency_changed.notify_all();
}

int LatencyWaiters() {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    return s.waiters;
}

void ResetClock() {
    SetLatencyMs(0);
    SetClockMode(false);
}

}  // namespace vyxsim
