// Calls racing with the end of their camera: SystemShutdown, a reset, an
// unplug or Destroy of the camera while a capture is inside the SDK. The
// capture either waits in the gate (a held call) or waits out a long capture
// latency (real mode) with its camera already looked up; the test makes the
// event happen there. The capture must fail with the event's error, never
// report success without results, and leave no handle behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/error.h"
#include "vyx/system.h"
#include "vyx/x1.h"
#include "vyx/x2.h"
#include "vyxsim/control.h"
#include "test_clock_support.h"

namespace vyxsim {
namespace {

constexpr const char* kSerial = "VX1300001";
constexpr int kTenMinutesMs = 10 * 60 * 1000;

// The races need a camera, not its pictures: one small device under
// kSerial keeps each capture (and, under the sanitizers, each test) short.
void UseSmallDevice() {
    std::string error;
    ASSERT_TRUE(LoadConfigText(R"({"devices": [{"name": "Races", "serial": "VX1300001", "port": "USB",
                                               "resolution": [64, 48], "capabilities": {"color": true,
                                               "capture_modes": ["Normal", "FixedLineScan"]}}]})",
                               &error))
        << error;
}

// An X1 or an X2 on kSerial, opened.
struct Camera {
    explicit Camera(bool x2) : is_x2(x2) {}
    bool is_x2;
    Vyx::X1 x1;
    Vyx::X2 x2;

    bool Open() {
        const Vyx::Device device = Vyx::SystemFindDevice(kSerial);
        if (is_x2) {
            x2 = Vyx::X2::Create(device);
            return x2.Open();
        }
        x1 = Vyx::X1::Create(device, Vyx::CameraID_Left);
        return x1.Open();
    }
    // Destroys a copy of the handle: the capturing thread keeps reading its own.
    void Destroy() const {
        if (is_x2) {
            Vyx::X2 copy = x2;
            Vyx::X2::Destroy(copy);
        } else {
            Vyx::X1 copy = x1;
            Vyx::X1::Destroy(copy);
        }
    }
};

struct Call {
    const char* name;  // test name part
    const char* op;    // the SDK operation, as errors and holds name it
    bool x2;
    std::function<bool(Camera&)> run;
    // Whether the camera holds a result of this call (null: nothing to ask).
    std::function<bool(Camera&)> stored;
};

const Call kCalls[] = {
    {"X1Capture", "X1::Capture", false, [](Camera& c) { return c.x1.Capture(Vyx::X1::CaptureOptions()); },
     [](Camera& c) { return c.x1.GetPointMap().IsValid(); }},
    {"X1StoredCapture", "X1::Capture", false, [](Camera& c) { return c.x1.Capture(); },
     [](Camera& c) { return c.x1.GetDepthMap().IsValid(); }},
    {"X1Capture2D", "X1::Capture2D", false, [](Camera& c) { return c.x1.Capture2D(Vyx::X1::CaptureOptions()); },
     [](Camera& c) { return c.x1.GetImage().IsValid(); }},
    {"X2Capture", "X2::Capture", true, [](Camera& c) { return c.x2.Capture(Vyx::X2::CaptureOptions()); },
     [](Camera& c) { return c.x2.GetPointMap().IsValid(); }},
    {"X2Capture2D", "X2::Capture2D", true,
     [](Camera& c) { return c.x2.Capture2D(Vyx::CameraID_Both, Vyx::X2::CaptureOptions()); },
     [](Camera& c) { return c.x2.GetImage(Vyx::CameraID_Right).IsValid(); }},
    {"X2StartFixedLineScan", "X2::StartFixedLineScan", true,
     [](Camera& c) { return c.x2.StartFixedLineScan(Vyx::X2::CaptureOptions()); }, nullptr},
};

void PrintTo(const Call& call, std::ostream* os) { *os << call.name; }

enum class Event { Shutdown, Reset, Unplug, Destroy };
// Where the call is when the event happens.
enum class Point {
    Gate,     // held in the gate, before its camera is looked up
    Latency,  // waiting out the capture latency, its camera looked up
};

const char* EventName(Event e) {
    switch (e) {
        case Event::Shutdown: return "SystemShutdown";
        case Event::Reset: return "Reset";
        case Event::Unplug: return "Unplug";
        case Event::Destroy: return "Destroy";
    }
    return "?";
}

void Happen(Event e, const Camera& cam) {
    switch (e) {
        case Event::Shutdown: Vyx::SystemShutdown(); break;
        case Event::Reset: Reset(); break;
        case Event::Unplug: ASSERT_TRUE(Unplug(kSerial)); break;
        case Event::Destroy: cam.Destroy(); break;
    }
}

int ErrorOf(Event e) {
    switch (e) {
        case Event::Shutdown:
        case Event::Reset: return kNotInitialized;
        case Event::Unplug: return kDisconnected;
        case Event::Destroy: return kInvalidHandle;
    }
    return -1;
}

// What the message of a call that had its camera when the event came says.
const char* InFlightText(Event e) {
    switch (e) {
        case Event::Shutdown:
        case Event::Reset: return "the system was shut down while the call was in progress";
        case Event::Unplug: return "is disconnected (unplugged)";
        case Event::Destroy: return "was destroyed";
    }
    return "?";
}

// Waits until no call waits out the latency; false after the bound, which
// only keeps a broken build from hanging the run.
bool WaitForNoLatencyWaiters() {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (CapturesWaiting() > 0) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::yield();
    }
    return true;
}

bool WaitForHeld(const char* op) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (HeldCalls(op) < 1) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::yield();
    }
    return true;
}

using Param = std::tuple<Call, Event, Point>;

class CaptureRaceThreads : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        Reset();
        UseSmallDevice();
        ASSERT_TRUE(Vyx::SystemInit());
    }
    void TearDown() override { Reset(); }
};

// The event ends the wait by itself and returns while the call is still in
// the SDK (nothing waits for calls in progress); the call then fails with
// the event's error, and every handle it made is gone again: none after a
// shutdown, the camera's own (and the device's) after an unplug, one fewer
// (the camera) after Destroy.
TEST_P(CaptureRaceThreads, CallInProgressFailsAndLeavesNothingBehind) {
    const auto& [call, event, point] = GetParam();
    Camera cam(call.x2);
    ASSERT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
    const std::size_t before = LiveObjects();

    if (point == Point::Gate) {
        HoldCalls(call.op);
    } else {
        SetCaptureLatencyMs(kTenMinutesMs);
    }
    bool ok = true;
    int error = 0;
    std::string message;
    std::thread worker([&] {
        ok = call.run(cam);
        error = Vyx::GetLastError();
        message = Vyx::GetLastErrorMessage();
    });
    const bool inside = point == Point::Gate ? WaitForHeld(call.op) : WaitForLatencyWaiters(1);
    Happen(event, cam);
    bool still_inside = true;  // the event came back before the call went on
    bool wait_ended = true;
    if (point == Point::Gate) {
        // A reset lets held calls go itself.
        if (event != Event::Reset) still_inside = HeldCalls(call.op) == 1;
        ReleaseCalls(call.op);
    } else {
        wait_ended = WaitForNoLatencyWaiters();
        SetCaptureLatencyMs(0);
    }
    worker.join();

    EXPECT_TRUE(inside);
    EXPECT_TRUE(still_inside);
    EXPECT_TRUE(wait_ended) << "the latency wait outlasted the " << EventName(event);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, ErrorOf(event)) << message;
    EXPECT_EQ(message.rfind(call.op, 0), 0u) << message;
    if (point == Point::Latency) {
        EXPECT_NE(message.find(InFlightText(event)), std::string::npos) << message;
    }

    std::size_t expected = before;
    if (event == Event::Shutdown || event == Event::Reset) expected = 0;
    if (event == Event::Destroy) expected = before - 1;
    EXPECT_EQ(LiveObjects(), expected);
    if (event == Event::Unplug && call.stored) {
        // The camera lives on and holds no result of the failed call.
        EXPECT_FALSE(call.stored(cam));
        EXPECT_EQ(Vyx::GetLastError(), kWrongState) << Vyx::GetLastErrorMessage();
        EXPECT_EQ(LiveObjects(), before);
    }
}

std::string CaseName(const ::testing::TestParamInfo<Param>& info) {
    const auto& [call, event, point] = info.param;
    return std::string(call.name) + "_" + EventName(event) + (point == Point::Gate ? "_InGate" : "_InLatency");
}

INSTANTIATE_TEST_SUITE_P(, CaptureRaceThreads,
                         ::testing::Combine(::testing::ValuesIn(kCalls),
                                            ::testing::Values(Event::Shutdown, Event::Reset, Event::Unplug,
                                                              Event::Destroy),
                                            ::testing::Values(Point::Gate, Point::Latency)),
                         CaseName);

// Result getters racing with a shutdown: a getter that found its camera
// before the shutdown released it may only hand out a handle the shutdown
// releases; none may stay registered afterwards. (ClearObjects empties the
// registry shard by shard, so a getter can find the camera alive after its
// result's handle is already gone, and registers the result again.)
class ResultRaceThreads : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        Reset();
        UseSmallDevice();
        ASSERT_TRUE(Vyx::SystemInit());
    }
    void TearDown() override { Reset(); }
};

TEST_P(ResultRaceThreads, HandlesHandedOutAcrossAShutdownDoNotOutliveIt) {
    Camera cam(GetParam());
    ASSERT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
    if (cam.is_x2) {
        ASSERT_TRUE(cam.x2.Capture(Vyx::X2::CaptureOptions())) << Vyx::GetLastErrorMessage();
    } else {
        ASSERT_TRUE(cam.x1.Capture(Vyx::X1::CaptureOptions())) << Vyx::GetLastErrorMessage();
    }
    constexpr int kThreads = 4;
    std::atomic<int> started{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            bool counted = false;
            while (true) {
                bool valid;
                if (cam.is_x2) {
                    valid = t % 2 ? cam.x2.GetImage(Vyx::CameraID_Left).IsValid() : cam.x2.GetDepthMap().IsValid();
                } else {
                    valid = t % 2 ? cam.x1.GetImage().IsValid() : cam.x1.GetPointMap().IsValid();
                }
                if (!valid) {
                    const int e = Vyx::GetLastError();
                    // kOk: the getter handed out a valid handle and the
                    // shutdown ended it before IsValid (which leaves the
                    // last error alone) looked.
                    if (e != kNotInitialized && e != kInvalidHandle && e != kOk) ++bad;
                    if (!counted) ++started;  // so that the main thread does not wait for it
                    return;
                }
                if (!counted) {
                    counted = true;
                    ++started;
                }
            }
        });
    }
    while (started.load() < kThreads) std::this_thread::yield();
    Vyx::SystemShutdown();
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(LiveObjects(), 0u);
}

INSTANTIATE_TEST_SUITE_P(, ResultRaceThreads, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "X2" : "X1"; });

}  // namespace
}  // namespace vyxsim
