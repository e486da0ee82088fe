// The control interface, the version and name tables, and the entry points
// this build does not provide.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/handles.h"
#include "vyx/system.h"
#include "vyx/tools.h"
#include "vyxsim/control.h"

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
    ASSERT_TRUE(AddDevice(R"({"name": "x", "serial": "EXTRA", "port": "USB"})", nullptr));

    Reset();
    EXPECT_FALSE(Vyx::SystemIsInited());
    EXPECT_EQ(LiveObjects(), 0u);
    EXPECT_EQ(CaptureLatencyMs(), 0);
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

}  // namespace
}  // namespace vyxsim
