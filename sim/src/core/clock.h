// The stand-in's one clock, and the capture latency spent on it.
//
// By default the clock runs with the steady clock, so programs see real time.
// In manual mode it stands still and moves only when told (AdvanceClock), so
// tests see exact, repeatable times. Everything in the stand-in that depends
// on time reads this clock: the device clock, the triggers of a fixed line
// scan, the protective cover's motion, the cooling of the heat model and the
// capture latency. The clock never goes backwards, in either mode nor across
// a switch between them: manual mode freezes it where it stands, and real
// mode resumes from where manual mode left it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace vyxsim {

struct ModelClock {
    using rep = std::int64_t;
    using period = std::nano;
    using duration = std::chrono::duration<rep, period>;
    using time_point = std::chrono::time_point<ModelClock>;
    static constexpr bool is_steady = true;

    // Time since the clock was first read, plus every advance.
    static time_point now();
};

// Real mode (false) or manual mode (true). Safe from any thread.
void SetClockMode(bool manual);
bool ClockIsManual();
// Moves the clock forward by `d`: in manual mode it then stands at the new
// time; in real mode it jumps and keeps running. False, and nothing changes,
// when `d` is negative or would take the clock past about 146 years.
bool AdvanceClock(ModelClock::duration d);

// A duration of `seconds`, rounded to the microsecond (the device clock's
// unit, so that simulated acquisition times add up exactly).
ModelClock::duration ClockSeconds(double seconds);

// The latency every capture spends before it acquires, in milliseconds
// (negative counts as 0). Changing it ends waits under way that have spent
// the new latency already.
void SetLatencyMs(int milliseconds);
int LatencyMs();
// Spends the latency of one capture: in real mode the calling thread waits
// until the latency in force has passed since it began waiting; in manual
// mode the clock advances by the latency and nothing waits.
void SpendCaptureLatency();
// The same, but a real-mode wait also ends as soon as `stop()` is true: the
// capture has nothing to wait for once its camera is gone (shutdown, unplug,
// Destroy). `stop` is called with the clock's lock held, so it only reads
// flags; whoever makes it true calls WakeLatencyWaiters afterwards.
void SpendCaptureLatency(const std::function<bool()>& stop);
// Makes every real-mode latency wait look at its `stop` again.
void WakeLatencyWaiters();
// Number of threads now waiting in SpendCaptureLatency.
int LatencyWaiters();

// Real mode, no latency; waits under way end.
void ResetClock();

}  // namespace vyxsim
