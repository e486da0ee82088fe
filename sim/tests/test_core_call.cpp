// The last error per thread, the entry gate (initialised check, injected
// failures) and the trace.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/call.h"
#include "core/error.h"
#include "vyx/system.h"
#include "vyxsim/control.h"

namespace vyxsim {
namespace {

class Gate_ : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
};

TEST_F(Gate_, LastErrorIsPerThread) {
    SetLastError(kNotFound, "main thread failure");
    std::string other_message;
    int other_code = -1, before = -1;
    std::thread([&] {
        before = Vyx::GetLastError();
        SetLastError(kIoError, "worker failure");
        other_code = Vyx::GetLastError();
        other_message = Vyx::GetLastErrorMessage();
    }).join();
    EXPECT_EQ(before, kOk);  // a new thread starts clean
    EXPECT_EQ(other_code, kIoError);
    EXPECT_EQ(other_message, "worker failure");
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);
    EXPECT_STREQ(Vyx::GetLastErrorMessage(), "main thread failure");
}

TEST_F(Gate_, ScriptedMessageReplacesTheNextFailureOnce) {
    ScriptNextErrorMessage(std::string("caf\xC3\xA9 \xFF raw", 11));
    EXPECT_EQ(Fail(false, kNotOpen, "own message"), false);
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);  // the code is the call's own
    EXPECT_EQ(std::string(Vyx::GetLastErrorMessage()), std::string("caf\xC3\xA9 \xFF raw", 11));
    SetLastError(kNotOpen, "own message");
    EXPECT_STREQ(Vyx::GetLastErrorMessage(), "own message");
}

TEST_F(Gate_, ScriptedMessageGoesToWhicheverThreadFailsFirst) {
    ScriptNextErrorMessage("scripted");
    std::string seen;
    std::thread([&] {
        SetLastError(kIoError, "worker");
        seen = Vyx::GetLastErrorMessage();
    }).join();
    EXPECT_EQ(seen, "scripted");
    SetLastError(kIoError, "main");
    EXPECT_STREQ(Vyx::GetLastErrorMessage(), "main");
}

TEST(Printable, KeepsUtf8AndEscapesTheRest) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain /tmp/x.png", "plain /tmp/x.png"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
        {"a\xFF" "b", "a\\xFFb"},
        {"tab\there", "tab\\x09here"},
        {"\xE2\x82", "\\xE2\\x82"},            // truncated sequence
        {"\xC0\xAF", "\\xC0\\xAF"},            // overlong
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},  // surrogate
    };
    for (const Case& c : cases) EXPECT_EQ(Printable(c.in), c.out) << c.in;
    EXPECT_EQ(Printable(static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(Printable(std::string(300, 'a'), 10), std::string(10, 'a') + "...");
}

TEST_F(Gate_, RefusesCallsBeforeInitAndAfterShutdown) {
    EXPECT_EQ(Enter("Image::Clone"), Gate::Fail);
    EXPECT_EQ(Vyx::GetLastError(), kNotInitialized);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("Image::Clone"), std::string::npos);
    // Calls that need no initialisation pass.
    EXPECT_EQ(Enter("SystemInit", {}, false), Gate::Proceed);
    ASSERT_TRUE(Vyx::SystemInit());
    EXPECT_TRUE(Vyx::SystemIsInited());
    EXPECT_EQ(Enter("Image::Clone"), Gate::Proceed);
    Vyx::SystemShutdown();
    EXPECT_FALSE(Vyx::SystemIsInited());
    EXPECT_EQ(Enter("Image::Clone"), Gate::Fail);
    EXPECT_EQ(Vyx::GetLastError(), kNotInitialized);
}

TEST_F(Gate_, InjectedFailuresAreCountedPerOperation) {
    ASSERT_TRUE(Vyx::SystemInit());
    FailNext("X1::Open", 2, false);
    FailNext("X1::Capture", 1, true);
    EXPECT_EQ(Enter("X1::Close"), Gate::Proceed);  // other operations unaffected
    EXPECT_EQ(Enter("X1::Open"), Gate::Fail);
    EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("X1::Open"), std::string::npos);
    EXPECT_EQ(Enter("X1::Open"), Gate::Fail);
    EXPECT_EQ(Enter("X1::Open"), Gate::Proceed);  // used up
    EXPECT_EQ(Enter("X1::Capture"), Gate::FailAfterWork);
    EXPECT_EQ(Enter("X1::Capture"), Gate::Proceed);

    FailNext("X1::Open", 5, false);
    FailNext("X1::Open", 0, false);  // count 0 withdraws
    EXPECT_EQ(Enter("X1::Open"), Gate::Proceed);
    FailNext("X1::Open", 3, false);
    ClearFailures();
    EXPECT_EQ(Enter("X1::Open"), Gate::Proceed);
}

TEST_F(Gate_, InjectionWaitsWhileNotInitialised) {
    FailNext("X1::Open", 1, false);
    EXPECT_EQ(Enter("X1::Open"), Gate::Fail);
    EXPECT_EQ(Vyx::GetLastError(), kNotInitialized);
    ASSERT_TRUE(Vyx::SystemInit());
    EXPECT_EQ(Enter("X1::Open"), Gate::Fail);
    EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
}

TEST_F(Gate_, InjectedSystemInitFailsWithAndWithoutWork) {
    FailNext("SystemInit", 1, false);
    EXPECT_FALSE(Vyx::SystemInit());
    EXPECT_FALSE(Vyx::SystemIsInited());
    FailNext("SystemInit", 1, true);
    EXPECT_FALSE(Vyx::SystemInit());
    EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
    EXPECT_TRUE(Vyx::SystemIsInited());  // the work was done
}

TEST(GateThreads, EachInjectedFailureIsConsumedOnce) {
    Reset();
    ASSERT_TRUE(Vyx::SystemInit());
    constexpr int kInjected = 500;
    FailNext("Mesh::Clone", kInjected, false);
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (Enter("Mesh::Clone", {{"i", i}}) == Gate::Fail) {
                    ++failed;
                    if (Vyx::GetLastError() != kInjectedFault) failed += 100000;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failed.load(), kInjected);
    Reset();
}

TEST_F(Gate_, TraceLineFormat) {
    const char* null_text = nullptr;
    struct Case {
        std::string line, expected;
    } cases[] = {
        {FormatTraceLine("SystemInit", {}), "SystemInit()"},
        {FormatTraceLine("X1::Capture", {{"camera", Words{3, 7}}, {"calc_normal", true}}),
         "X1::Capture(camera=#3.7, calc_normal=true)"},
        {FormatTraceLine("Op", {{"i", -5}, {"u", 4000000000u}, {"d", 0.1}, {"e", 1e300}}),
         "Op(i=-5, u=4000000000, d=0.1, e=1e+300)"},
        {FormatTraceLine("Op", {{"third", 1.0 / 3.0}}), "Op(third=0.3333333333333333)"},
        {FormatTraceLine("Op", {{"nan", std::numeric_limits<double>::quiet_NaN()}}), "Op(nan=nan)"},
        {FormatTraceLine("Op", {{"path", "/tmp/a \"b\"\\c.png"}}),
         "Op(path=\"/tmp/a \\\"b\\\"\\\\c.png\")"},
        {FormatTraceLine("Op", {{"path", null_text}}), "Op(path=null)"},
        {FormatTraceLine("Op", {{"raw", "\xFF\n"}}), "Op(raw=\"\\xFF\\x0A\")"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.line, c.expected);
    std::string long_text(1000, 'x');
    std::string line = FormatTraceLine("Op", {{"t", long_text.c_str()}});
    EXPECT_EQ(line, "Op(t=\"" + std::string(256, 'x') + "\"...)");
}

TEST_F(Gate_, TraceRecordsOnlyWhileEnabledAndTakeClears) {
    Enter("Before");
    SetTraceEnabled(true);
    ASSERT_TRUE(Vyx::SystemInit());
    Enter("X1::Open", {{"camera", Words{1, 1}}});
    Vyx::SystemShutdown();
    std::vector<std::string> expected = {"SystemInit()", "X1::Open(camera=#1.1)", "SystemShutdown()"};
    EXPECT_EQ(TakeTrace(), expected);
    EXPECT_TRUE(TakeTrace().empty());
    Enter("Again");
    ClearTrace();
    EXPECT_TRUE(TakeTrace().empty());
    SetTraceEnabled(false);
    Enter("After");
    EXPECT_TRUE(TakeTrace().empty());
}

TEST_F(Gate_, TraceKeepsTheNewestLinesWhenFull) {
    SetTraceEnabled(true);
    for (std::size_t i = 0; i < kTraceCapacity + 10; ++i) TraceCall("Op", {{"i", static_cast<long>(i)}});
    std::vector<std::string> lines = TakeTrace();
    ASSERT_EQ(lines.size(), kTraceCapacity);
    EXPECT_EQ(lines.front(), "Op(i=10)");
    EXPECT_EQ(lines.back(), "Op(i=" + std::to_string(kTraceCapacity + 9) + ")");
}

}  // namespace
}  // namespace vyxsim
