// The control interface, the version and name tables, and the entry points
// this build does not provide.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/error.h"
#include "core/handles.h"
#include "vyx/system.h"
#include "vyx/tools.h"
#include "vyxsim/control.h"
#include "test_clock_support.h"

namespace vyxsim {
namespace {

class Control : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
};

TEST_F(Control, VersionAndScriptedVersion) {
    std::string own = Vyx::GetVersion();
    EXPECT_EQ(own.rfind("Vyx SDK ", 0), 0u);
    EXPECT_NE(own.find(" (stand-in)"), std::string::npos);

    ScriptVersion(true, false, "9.9.9 scripted");
    const char* first = Vyx::GetVersion();
    EXPECT_STREQ(first, "9.9.9 scripted");
    ScriptVersion(true, true, "");
    EXPECT_EQ(Vyx::GetVersion(), nullptr);
    ScriptVersion(true, false, "another");
    EXPECT_STREQ(first, "9.9.9 scripted");  // a text handed out stays valid
    ScriptVersion(false, false, "");
    EXPECT_EQ(Vyx::GetVersion(), own);
}

TEST(NameTables, TextsAndPixelSizes) {
    using Vyx::ImageType;
    using Vyx::PointMapType;
    using Vyx::PointMapUnit;
    using Vyx::SystemListDeviceType;
    EXPECT_STREQ(SystemListDeviceType::ToString(SystemListDeviceType::USB), "USB");
    EXPECT_STREQ(SystemListDeviceType::ToString(SystemListDeviceType::GigE), "GigE");
    EXPECT_STREQ(SystemListDeviceType::ToString(SystemListDeviceType::All), "All");
    EXPECT_EQ(SystemListDeviceType::ToString(static_cast<SystemListDeviceType::Enum>(0)), nullptr);
    EXPECT_STREQ(ImageType::ToString(ImageType::None), "None");
    EXPECT_STREQ(ImageType::ToString(ImageType::Mono8), "Mono8");
    EXPECT_STREQ(ImageType::ToString(ImageType::RGB8), "RGB8");
    EXPECT_STREQ(ImageType::ToString(ImageType::BGR8), "BGR8");
    EXPECT_EQ(ImageType::ToString(static_cast<ImageType::Enum>(4)), nullptr);
    EXPECT_STREQ(PointMapType::ToString(PointMapType::PointsNormals), "PointsNormals");
    EXPECT_STREQ(PointMapType::ToString(PointMapType::PointsOnly), "PointsOnly");
    EXPECT_EQ(PointMapType::ToString(static_cast<PointMapType::Enum>(-1)), nullptr);
    EXPECT_STREQ(PointMapUnit::ToString(PointMapUnit::Meter), "Meter");
    EXPECT_STREQ(PointMapUnit::ToString(PointMapUnit::Millimeter), "Millimeter");
    EXPECT_EQ(PointMapUnit::ToString(static_cast<PointMapUnit::Enum>(2)), nullptr);
    struct {
        int type;
        std::size_t size;
    } sizes[] = {{0, 0}, {1, 1}, {2, 3}, {3, 3}, {4, 0}, {-1, 0}};
    for (auto s : sizes) EXPECT_EQ(ImageType::GetPixelSize(static_cast<ImageType::Enum>(s.type)), s.size);
}

TEST(Records, ExportedConstructorsZero) {
    alignas(Vyx::ROI) unsigned char roi_buf[sizeof(Vyx::ROI)];
    std::memset(roi_buf, 0xFF, sizeof roi_buf);
    auto* roi = new (roi_buf) Vyx::ROI();
    EXPECT_EQ(roi->x | roi->y | roi->width | roi->height, 0);
    alignas(Vyx::CodedCircleMarker) unsigned char m_buf[sizeof(Vyx::CodedCircleMarker)];
    std::memset(m_buf, 0xFF, sizeof m_buf);
    auto* m = new (m_buf) Vyx::CodedCircleMarker();
    EXPECT_EQ(m->x, 0.0);
    EXPECT_EQ(m->y, 0.0);
    EXPECT_EQ(m->code, 0);
}

TEST_F(Control, TraceShowsCallsWithArguments) {
    SetTraceEnabled(true);
    ASSERT_TRUE(Vyx::SystemInit());
    int count = 0;
    Vyx::SystemListDevices(nullptr, 0, &count, Vyx::SystemListDeviceType::GigE);
    Vyx::SystemFindDevice("VX2300002");
    Vyx::GetVersion();
    std::vector<std::string> lines = TakeTrace();
    std::vector<std::string> expected = {"SystemInit()", "SystemListDevices(capacity=0, type=2)",
                                         "SystemFindDevice(serialNumber=\"VX2300002\")", "GetVersion()"};
    EXPECT_EQ(lines, expected);
}

TEST_F(Control, ResetClearsEverythingItControls) {
    ASSERT_TRUE(Vyx::SystemInit());
    Vyx::SystemFindDevice("VX1300001");
    FailNext("SystemInit", 3, false);
    ScriptListingCount(true, 40);
    ScriptVersion(true, true, "");
    ScriptNextErrorMessage("scripted");
    SetTraceEnabled(true);
    SetCaptureLatencyMs(250);
    EXPECT_EQ(CaptureLatencyMs(), 250);
    SetClockManual(true);
    ASSERT_TRUE(AddDevice(R"({"name": "x", "serial": "EXTRA", "port": "USB"})", nullptr));

    Reset();
    EXPECT_FALSE(Vyx::SystemIsInited());
    EXPECT_EQ(LiveObjects(), 0u);
    EXPECT_EQ(CaptureLatencyMs(), 0);
    EXPECT_FALSE(ClockManual());
    EXPECT_NE(Vyx::GetVersion(), nullptr);
    EXPECT_TRUE(TakeTrace().empty());
    EXPECT_EQ(DeviceSerials(), (std::vector<std::string>{"VX1300001", "VX2300002"}));
    EXPECT_TRUE(Vyx::SystemInit());  // no injected failure left
    int count = 0;
    Vyx::SystemListDevices(nullptr, 0, &count, Vyx::SystemListDeviceType::All);
    EXPECT_EQ(count, 2);
    Vyx::SystemFindDevice("NOPE");
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()), "scripted");

    SetCaptureLatencyMs(-5);
    EXPECT_EQ(CaptureLatencyMs(), 0);
}

// ---------------------------------------------------------------------------
// The model clock and the capture latency.

constexpr int64_t kHourUs = 3600ll * 1000000;
constexpr int kTenMinutesMs = 10 * 60 * 1000;

class Clock : public Control {};

TEST_F(Clock, ManualModeStandsStillAndMovesOnlyByAdvances) {
    EXPECT_FALSE(ClockManual());
    SetClockManual(true);
    EXPECT_TRUE(ClockManual());
    const int64_t t0 = ClockNowUs();
    EXPECT_EQ(ClockNowUs(), t0);
    EXPECT_TRUE(AdvanceClockUs(1500));
    EXPECT_EQ(ClockNowUs(), t0 + 1500);
    EXPECT_TRUE(AdvanceClockUs(0));
    SetClockManual(true);  // already manual: stays where it stands
    EXPECT_EQ(ClockNowUs(), t0 + 1500);
    // Refused amounts move nothing.
    for (int64_t bad : {int64_t{-1}, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                        std::numeric_limits<int64_t>::max() / 1000}) {
        EXPECT_FALSE(AdvanceClockUs(bad)) << bad;
    }
    EXPECT_EQ(ClockNowUs(), t0 + 1500);
}

TEST_F(Clock, SwitchingModesNeverMovesTheClockBack) {
    SetClockManual(true);
    ASSERT_TRUE(AdvanceClockUs(kHourUs));  // an hour ahead of the steady clock
    const int64_t manual = ClockNowUs();
    SetClockManual(false);
    const int64_t real = ClockNowUs();
    EXPECT_GE(real, manual);
    EXPECT_LT(real, manual + kHourUs);  // resumed from there: no jump
    SetClockManual(true);
    EXPECT_GE(ClockNowUs(), real);
    // Reset puts the clock back in real mode, where it stood.
    const int64_t before_reset = ClockNowUs();
    Reset();
    EXPECT_FALSE(ClockManual());
    EXPECT_GE(ClockNowUs(), before_reset);
}

TEST_F(Clock, AdvancingInRealModeJumpsForward) {
    const int64_t before = ClockNowUs();
    ASSERT_TRUE(AdvanceClockUs(kHourUs));
    EXPECT_FALSE(ClockManual());
    EXPECT_GE(ClockNowUs(), before + kHourUs);
}

TEST_F(Clock, ManualLatencyAdvancesTheClockInsteadOfWaiting) {
    SetClockManual(true);
    SetCaptureLatencyMs(kTenMinutesMs);  // would wait ten minutes in real mode
    const int64_t t0 = ClockNowUs();
    SpendCaptureLatency();
    SpendCaptureLatency();
    EXPECT_EQ(ClockNowUs(), t0 + 2ll * kTenMinutesMs * 1000);
    EXPECT_EQ(CapturesWaiting(), 0);
    SetCaptureLatencyMs(0);
    SpendCaptureLatency();
    EXPECT_EQ(ClockNowUs(), t0 + 2ll * kTenMinutesMs * 1000);
}

class ClockThreads : public Control {};

// Real mode: calls wait out the latency in force, each on its own thread at
// the same time; a latency lowered below what they have waited, or a reset,
// ends the waits under way.
TEST_F(ClockThreads, LoweringTheLatencyEndsWaitsUnderWay) {
    const std::pair<const char*, std::function<void()>> releases[] = {
        {"latency 0", [] { SetCaptureLatencyMs(0); }},
        {"latency 1 ms", [] { SetCaptureLatencyMs(1); }},
        {"reset", [] { Reset(); }},
    };
    for (const auto& [what, release] : releases) {
        SCOPED_TRACE(what);
        SetCaptureLatencyMs(kTenMinutesMs);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) threads.emplace_back([] { SpendCaptureLatency(); });
        const bool all_waited = WaitForLatencyWaiters(4);
        release();
        if (!all_waited) SetCaptureLatencyMs(0);
        for (auto& th : threads) th.join();
        EXPECT_TRUE(all_waited) << CapturesWaiting() << " waiting";
        EXPECT_EQ(CapturesWaiting(), 0);
    }
}

// In manual mode advances from many threads add up exactly, and no reader
// ever sees the clock go back.
TEST_F(ClockThreads, AdvancesFromManyThreadsAddUpExactly) {
    SetClockManual(true);
    const int64_t start = ClockNowUs();
    constexpr int kThreads = 8, kSteps = 2000;
    std::atomic<int> backwards{0}, refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            int64_t last = ClockNowUs();
            for (int i = 0; i < kSteps; ++i) {
                if (!AdvanceClockUs(t + 1)) ++refused;
                const int64_t now = ClockNowUs();
                if (now < last) ++backwards;
                last = now;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(backwards.load(), 0);
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(ClockNowUs(), start + int64_t{kSteps} * kThreads * (kThreads + 1) / 2);
}

// Two threads switch the mode back and forth while others advance and read:
// every reader sees a clock that never goes back.
TEST_F(ClockThreads, ReadersNeverSeeTheClockGoBackAcrossSwitches) {
    std::atomic<bool> stop{false};
    std::atomic<int> backwards{0};
    std::vector<std::thread> switchers, readers;
    for (int t = 0; t < 2; ++t) {
        switchers.emplace_back([&, t] {
            bool manual = t == 0;
            while (!stop) {
                SetClockManual(manual);
                manual = !manual;
                std::this_thread::yield();
            }
        });
    }
    for (int t = 0; t < 6; ++t) {
        readers.emplace_back([&, t] {
            int64_t last = ClockNowUs();
            for (int i = 0; i < 3000; ++i) {
                if (t % 2 == 0) AdvanceClockUs(7);
                const int64_t now = ClockNowUs();
                if (now < last) ++backwards;
                last = now;
            }
        });
    }
    for (auto& th : readers) th.join();
    stop = true;
    for (auto& th : switchers) th.join();
    EXPECT_EQ(backwards.load(), 0);
}

}  // namespace
}  // namespace vyxsim
