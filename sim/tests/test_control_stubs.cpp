// The entry points this build of the stand-in does not provide (X2 and the
// measurement tools): they pass the gate and fail cleanly. These tests go
// with sim/src/stubs.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "core/handles.h"
#include "vyx/system.h"
#include "vyx/tools.h"
#include "vyx/x2.h"
#include "vyxsim/control.h"

namespace vyxsim {
namespace {

class Stubs : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
};

TEST_F(Stubs, FailCleanlyWithoutTouchingOutputs) {
    Vyx::X2 camera = Vyx::X2::Create(Vyx::Device());
    EXPECT_EQ(Vyx::GetLastError(), kNotInitialized);  // the gate comes first
    ASSERT_TRUE(Vyx::SystemInit());
    camera = Vyx::X2::Create(Vyx::SystemFindDevice("VX1300001"));
    EXPECT_TRUE(Vyx::HandleAccess::Get(camera).IsZero());
    EXPECT_EQ(Vyx::GetLastError(), kNotAvailable);
    EXPECT_STREQ(Vyx::GetLastErrorMessage(),
                 "X2::Create is not available in this build of the stand-in SDK");
    EXPECT_FALSE(camera.Capture());
    EXPECT_STREQ(Vyx::GetLastErrorMessage(),
                 "X2::Capture is not available in this build of the stand-in SDK");
    Vyx::Size size{7, 9};
    EXPECT_FALSE(camera.GetCameraResolution(size));
    EXPECT_EQ(size.width, 7);
    char name[Vyx::kUserSetNameCapacity] = "keep";
    EXPECT_FALSE(camera.GetUserSetName(0, name));
    EXPECT_STREQ(name, "keep");

    int count = 5;
    Vyx::CodedCircleMarker markers[2];
    EXPECT_NE(Vyx::DetectCodedCircleMarker(Vyx::Image(), Vyx::CodedCircleMarkerType(), &count, markers), 0);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(Vyx::GetLastError(), kNotAvailable);
    double r[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, t[3] = {1, 2, 3};
    Vyx::PointMap map;
    EXPECT_FALSE(Vyx::TransformPointCloud(r, t, map));
    EXPECT_EQ(r[0], 1);

    // The compensator constructs and destroys; its operations fail cleanly.
    {
        Vyx::Compensator_FixedMarkers comp;
        double drift = 42;
        EXPECT_NE(comp.Update(map, Vyx::Image(), drift), 0);
        EXPECT_EQ(drift, 42);
        EXPECT_NE(comp.Apply(map), 0);
    }
}

}  // namespace
}  // namespace vyxsim
