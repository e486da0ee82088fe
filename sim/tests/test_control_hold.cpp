// Held calls: HoldCalls / HeldCalls / ReleaseCalls keep SDK calls waiting in
// the gate until let go, so tests can see a call inside the SDK without
// measuring time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/error.h"
#include "vyx/system.h"
#include "vyxsim/control.h"

namespace vyxsim {
namespace {

class Hold : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
};

// Waits until `n` calls of `op` are held. The bound only keeps a broken build
// from hanging the run: correct code gets there at once.
bool WaitForHeld(const std::string& op, int n) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (HeldCalls(op) < n) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::yield();
    }
    return true;
}

int CountDevices() {
    int count = -1;
    return Vyx::SystemListDevices(nullptr, 0, &count, Vyx::SystemListDeviceType::All) == 0 ? count : -1;
}

TEST_F(Hold, NothingIsHeldUnlessAsked) {
    ASSERT_TRUE(Vyx::SystemInit());
    EXPECT_EQ(HeldCalls("SystemListDevices"), 0);
    EXPECT_EQ(ReleaseCalls("SystemListDevices"), 0);  // not held: nothing to let go
    EXPECT_EQ(CountDevices(), 2);
}

// A held call stays inside the SDK (traced, not returned) until released,
// then finishes with its own result; only the named operation is held, and
// after the release later calls go straight through.
TEST_F(Hold, HeldCallWaitsUntilReleasedThenFinishes) {
    ASSERT_TRUE(Vyx::SystemInit());
    HoldCalls("SystemListDevices");
    SetTraceEnabled(true);
    std::atomic<bool> returned{false};
    int counted = -1;
    std::thread caller([&] {
        counted = CountDevices();
        returned = true;
    });
    ASSERT_TRUE(WaitForHeld("SystemListDevices", 1));
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(TakeTrace(), std::vector<std::string>{"SystemListDevices(capacity=0, type=3)"});
    EXPECT_TRUE(Vyx::SystemFindDevice("VX1300001").IsValid());  // other ops are not held
    EXPECT_EQ(ReleaseCalls("SystemListDevices"), 1);
    caller.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(counted, 2);
    EXPECT_EQ(HeldCalls("SystemListDevices"), 0);
    EXPECT_EQ(CountDevices(), 2);  // released: no longer held
}

// A held call goes on as if it had just entered: a failure injected, or the
// system shut down, while it waited applies to it.
TEST_F(Hold, ReleasedCallMeetsTheStateOfItsRelease) {
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"failure injected", [] { FailNext("SystemListDevices", 1, false); }},
        {"system shut down", [] { Vyx::SystemShutdown(); }},
    };
    const int codes[] = {kInjectedFault, kNotInitialized};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(changes[i].first);
        ASSERT_TRUE(Vyx::SystemInit());
        HoldCalls("SystemListDevices");
        int result = 0, code = 0;
        std::thread caller([&] {
            int count = 0;
            result = Vyx::SystemListDevices(nullptr, 0, &count, Vyx::SystemListDeviceType::All);
            code = Vyx::GetLastError();
        });
        const bool held = WaitForHeld("SystemListDevices", 1);
        changes[i].second();
        EXPECT_EQ(ReleaseCalls("SystemListDevices"), held ? 1 : 0);
        caller.join();
        EXPECT_TRUE(held);
        EXPECT_EQ(result, codes[i]);
        EXPECT_EQ(code, codes[i]);
    }
}

// Calls not counted as entered through the gate's full path are held too:
// the ones that cannot fail (GetVersion) and the ones that need no SystemInit.
TEST_F(Hold, CallsThatNeedNoInitialisationAreHeld) {
    for (const char* op : {"GetVersion", "SystemInit"}) {
        SCOPED_TRACE(op);
        HoldCalls(op);
        std::atomic<bool> ok{false};
        std::thread caller([&] {
            ok = std::string(op) == "GetVersion" ? Vyx::GetVersion() != nullptr : Vyx::SystemInit();
        });
        const bool held = WaitForHeld(op, 1);
        EXPECT_EQ(ReleaseCalls(op), held ? 1 : 0);
        caller.join();
        EXPECT_TRUE(held);
        EXPECT_TRUE(ok.load());
    }
}

// A call left waiting goes on by itself once its limit has passed, and the
// release that comes later finds nothing to let go. The limit is real time:
// a frozen model clock does not stretch it.
TEST_F(Hold, UnreleasedCallGoesOnAfterItsLimit) {
    ASSERT_TRUE(Vyx::SystemInit());
    SetClockManual(true);
    HoldCalls("SystemListDevices", 20);
    EXPECT_EQ(CountDevices(), 2);  // on this thread: returns only after the limit
    EXPECT_EQ(HeldCalls("SystemListDevices"), 0);
    EXPECT_EQ(ReleaseCalls("SystemListDevices"), 0);
    HoldCalls("SystemListDevices", -5);  // counts as 0: goes straight on
    EXPECT_EQ(CountDevices(), 2);
}

class HoldThreads : public Hold {};

// Many threads wait at once on one held op; a release or a reset lets them
// all go, and a hold set again right after a release does not catch the calls
// that release let go.
TEST_F(HoldThreads, ReleaseOrResetLetsEveryWaitingCallGo) {
    // Each returns what ReleaseCalls reported (none for a reset).
    const std::pair<const char*, std::function<std::optional<int>()>> releases[] = {
        {"release", []() -> std::optional<int> { return ReleaseCalls("Device::GetDeviceInfo"); }},
        {"release, hold again", []() -> std::optional<int> {
             const int n = ReleaseCalls("Device::GetDeviceInfo");
             HoldCalls("Device::GetDeviceInfo");
             return n;
         }},
        {"reset", []() -> std::optional<int> {
             Reset();
             return std::nullopt;
         }},
    };
    for (const auto& [what, release] : releases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(Vyx::SystemInit());
        Vyx::Device device = Vyx::SystemFindDevice("VX2300002");
        ASSERT_TRUE(device.IsValid());
        HoldCalls("Device::GetDeviceInfo");
        std::atomic<int> finished{0};
        std::vector<std::thread> callers;
        for (int t = 0; t < 6; ++t) {
            callers.emplace_back([&] {
                Vyx::DeviceInfo info;
                device.GetDeviceInfo(&info);
                ++finished;
            });
        }
        const bool all_held = WaitForHeld("Device::GetDeviceInfo", 6);
        EXPECT_EQ(finished.load(), 0);
        const std::optional<int> let_go = release();
        if (let_go) {
            EXPECT_EQ(*let_go, 6);
        }
        if (!all_held) ReleaseCalls("Device::GetDeviceInfo");
        for (auto& th : callers) th.join();
        EXPECT_TRUE(all_held);
        EXPECT_EQ(finished.load(), 6);
        EXPECT_EQ(HeldCalls("Device::GetDeviceInfo"), 0);
        Reset();
    }
}

// Holds on several ops set and withdrawn from several threads while other
// threads call those ops: every call ends, and the counts come back to zero.
TEST_F(HoldThreads, HoldsChangingUnderConcurrentCallsNeverStrandACall) {
    ASSERT_TRUE(Vyx::SystemInit());
    const char* const ops[] = {"SystemListDevices", "SystemFindDevice"};
    std::atomic<bool> stop{false};
    std::vector<std::thread> togglers, callers;
    for (int t = 0; t < 2; ++t) {
        togglers.emplace_back([&, t] {
            while (!stop) {
                HoldCalls(ops[t], 1000);
                std::this_thread::yield();
                ReleaseCalls(ops[t]);
            }
        });
    }
    std::atomic<int> done{0};
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                if (t % 2 == 0) {
                    CountDevices();
                } else {
                    Vyx::SystemFindDevice("VX1300001");
                }
                HeldCalls(ops[t % 2]);
            }
            ++done;
        });
    }
    for (auto& th : callers) th.join();
    stop = true;
    for (auto& th : togglers) th.join();
    EXPECT_EQ(done.load(), 4);
    for (const char* op : ops) {
        EXPECT_EQ(ReleaseCalls(op), 0);
        EXPECT_EQ(HeldCalls(op), 0);
    }
}

}  // namespace
}  // namespace vyxsim
