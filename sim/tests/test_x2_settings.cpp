// X2 settings, calibration and maintenance: calibration and temperature per
// camera, null texts, user sets and stored options, settings files, the
// cover, automatic settings, white balance, ranges and ROI rules, the custom
// transformation's checks.
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "camera/options.h"
#include "core/error.h"
#include "test_x2_support.h"

namespace vyxsim::x2test {
namespace {

using X2Settings = X2Fixture;

TEST_F(X2Settings, CalibrationBelongsToEachCamera) {
    AddOddDevice();
    X2 odd = X2::Create(Vyx::SystemFindDevice(kOdd));  // no Open needed
    auto d = Device(kOdd);
    struct Case {
        Vyx::CameraID id;
        const CameraModel* model;
    } cases[] = {{Vyx::CameraID_Left, &d->left}, {Vyx::CameraID_Right, &d->right}};
    for (const Case& c : cases) {
        const Calibration cal = CalibrationOf(odd, c.id);
        EXPECT_FLOAT_EQ(cal.k[0], static_cast<float>(c.model->fx));
        EXPECT_FLOAT_EQ(cal.k[4], static_cast<float>(c.model->fy));
        EXPECT_FLOAT_EQ(cal.k[2], static_cast<float>(c.model->cx));
        EXPECT_FLOAT_EQ(cal.k[5], static_cast<float>(c.model->cy));
        EXPECT_EQ(cal.k[1], 0.0f);
        EXPECT_EQ(cal.k[8], 1.0f);
        for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(cal.d[i], static_cast<float>(c.model->distortion[i]));
        for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(static_cast<float>(cal.pose(i / 4, i % 4)), static_cast<float>(c.model->pose[i]));
    }
    EXPECT_NEAR(CalibrationOf(odd, Vyx::CameraID_Right).pose(0, 3), 0.12, 1e-7);
    EXPECT_NE(CalibrationOf(odd, Vyx::CameraID_Right).k[0], CalibrationOf(odd, Vyx::CameraID_Left).k[0]);
    // The extra camera: the left optics, above the projector.
    const Calibration extra = CalibrationOf(odd, Vyx::CameraID_Extra);
    EXPECT_FLOAT_EQ(extra.k[0], static_cast<float>(d->left.fx));
    EXPECT_NEAR(extra.pose(0, 3), d->projector.pose[3], 1e-7);
    EXPECT_NEAR(extra.pose(1, 3), -0.035, 1e-7);

    // Devices without an extra camera, and values that name no camera.
    X2 grey = X2::Create(Vyx::SystemFindDevice(kGrey));
    float m[16], k[9], dist[5];
    std::fill(m, m + 16, 5.0f);
    EXPECT_FALSE(grey.GetExtrinsicMatrix(Vyx::CameraID_Extra, m));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_EQ(m[0], 5.0f);
    for (Vyx::CameraID bad : {Vyx::CameraID_NONE, Vyx::CameraID_Both, static_cast<Vyx::CameraID>(8)}) {
        EXPECT_FALSE(grey.GetIntrinsicParameters(bad, k, dist));
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    }
    EXPECT_FALSE(grey.GetIntrinsicParameters(Vyx::CameraID_Left, nullptr, dist));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    Vyx::Size size;
    ASSERT_TRUE(grey.GetCameraResolution(size));
    EXPECT_EQ(size.width, 1280);
    EXPECT_EQ(size.height, 1024);
}

TEST_F(X2Settings, TemperaturesPerCameraWarmWithCaptures) {
    X2 cam = OpenX2(kGrey);
    float left = 0, right = 0, projector = 0;
    ASSERT_TRUE(cam.GetCameraTemperature(Vyx::CameraID_Left, Vyx::CameraTempSelector_Sensor, left));
    ASSERT_TRUE(cam.GetCameraTemperature(Vyx::CameraID_Right, Vyx::CameraTempSelector_Sensor, right));
    EXPECT_NEAR(right - left, 0.4f, 1e-4);
    ASSERT_TRUE(cam.GetProjectorTemperature(projector));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(cam.Capture());
    float warmer = 0, projector_warmer = 0;
    ASSERT_TRUE(cam.GetCameraTemperature(Vyx::CameraID_Left, Vyx::CameraTempSelector_Sensor, warmer));
    ASSERT_TRUE(cam.GetProjectorTemperature(projector_warmer));
    EXPECT_GT(warmer, left);
    EXPECT_GT(projector_warmer, projector);
    float c = 99.0f;
    EXPECT_FALSE(cam.GetCameraTemperature(Vyx::CameraID_Left, static_cast<Vyx::CameraTempSelector>(6), c));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_FALSE(cam.GetCameraTemperature(Vyx::CameraID_Extra, Vyx::CameraTempSelector_Camera, c));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_EQ(c, 99.0f);
}

// Null paths and names are refused before anything is touched.
TEST_F(X2Settings, NullTextsAreRefusedWithAClearMessage) {
    X2 cam = OpenX2(kGrey);
    ASSERT_TRUE(cam.Capture());
    struct Case {
        const char* op;
        bool (*call)(X2&);
    } cases[] = {{"X2::SetUserSetName", [](X2& c) { return c.SetUserSetName(1, nullptr); }},
                 {"X2::SaveSettingToFile", [](X2& c) { return c.SaveSettingToFile(nullptr); }},
                 {"X2::LoadSettingFromFile", [](X2& c) { return c.LoadSettingFromFile(nullptr); }},
                 {"X2::SaveEncodedImagesData", [](X2& c) { return c.SaveEncodedImagesData(nullptr); }},
                 {"X2::GetUserSetName", [](X2& c) { return c.GetUserSetName(1, nullptr); }}};
    for (const Case& c : cases) {
        EXPECT_FALSE(c.call(cam)) << c.op;
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument) << c.op;
        const std::string message = Vyx::GetLastErrorMessage();
        EXPECT_EQ(message.rfind(c.op, 0), 0u) << message;
        EXPECT_NE(message.find("null"), std::string::npos) << message;
    }
    char name[Vyx::kUserSetNameCapacity];
    ASSERT_TRUE(cam.GetUserSetName(1, name));
    EXPECT_STREQ(name, "UserSet1");
}

TEST_F(X2Settings, UserSetsKeepNamesAndStoredOptions) {
    X2 cam = OpenX2(kGrey);
    const std::string longest(Vyx::kUserSetNameCapacity - 1, 'n');
    ASSERT_TRUE(cam.SetUserSetName(2, longest.c_str()));
    const std::string too_long(Vyx::kUserSetNameCapacity, 'x');
    EXPECT_FALSE(cam.SetUserSetName(2, too_long.c_str()));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    char name[Vyx::kUserSetNameCapacity];
    ASSERT_TRUE(cam.GetUserSetName(2, name));
    EXPECT_EQ(std::string(name), longest);
    EXPECT_FALSE(cam.SetUserSetName(Vyx::kUserSetCount, "x"));
    EXPECT_FALSE(cam.SetCurrentUserSet(-1));

    // Options stored in user set 2 drive Capture() there, not in set 0.
    ASSERT_TRUE(cam.SetCurrentUserSet(2));
    int current = -1;
    ASSERT_TRUE(cam.GetCurrentUserSet(current));
    EXPECT_EQ(current, 2);
    Opts stored;
    stored.roi = Vyx::ROI(320, 256, 256, 128);
    stored.transform_to_camera = Vyx::CameraID_Right;
    stored.trigger_mode = Vyx::TriggerMode_FixedRate;
    ASSERT_TRUE(cam.SaveCaptureOptionParameters(stored));
    Opts back;
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(back));
    EXPECT_EQ(OptionsTrace(back), OptionsTrace(stored));
    ASSERT_TRUE(cam.Capture());
    const double* p = cam.GetPointMap().GetPointDataPtr();
    std::size_t outside = 0, inside = 0;
    for (int v = 0; v < 1024; ++v) {
        for (int u = 0; u < 1280; ++u) {
            const bool valid = !std::isnan(p[3 * (static_cast<std::size_t>(v) * 1280 + u)]);
            const bool in = u >= 320 && u < 576 && v >= 256 && v < 384;
            (in ? inside : outside) += valid;
        }
    }
    EXPECT_EQ(outside, 0u);
    EXPECT_GT(inside, 256u * 128u / 2);
    ASSERT_TRUE(cam.SetCurrentUserSet(0));
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(back));
    EXPECT_EQ(OptionsTrace(back), "default");

    // A line-scan mode may be stored; values out of range may not.
    Opts line;
    line.capture_mode = Vyx::CaptureMode_FixedLineScan;
    EXPECT_TRUE(cam.SaveCaptureOptionParameters(line)) << Vyx::GetLastErrorMessage();
    EXPECT_FALSE(cam.Capture());  // but a 3D capture cannot use it
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_TRUE(cam.StartFixedLineScan());
    EXPECT_TRUE(cam.StopFixedLineScan());
    Opts bad;
    bad.exposure_time_3d = 101;
    EXPECT_FALSE(cam.SaveCaptureOptionParameters(bad));
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("exposure_time_3d"), std::string::npos);
}

TEST_F(X2Settings, SettingsFileKeepsTheX2State) {
    X2 cam = OpenX2(kGrey);
    const std::string path = ::testing::TempDir() + "x2_settings_" + std::to_string(getpid()) + ".json";
    X2::CustomTransformOptions ct;
    ct.coordinate_select = X2::CustomTransformOptions::CoordinateSelect_CameraRight;
    ct.transform[3] = 0.25;
    ASSERT_TRUE(cam.SetCustomTransformation(ct));
    Opts o;
    o.exposure_time_3d = 42;
    o.line_scanner_laser_position = 1234;
    ASSERT_TRUE(cam.SaveCaptureOptionParameters(o));
    ASSERT_TRUE(cam.SetUserSetName(0, "saved"));
    ASSERT_TRUE(cam.SaveSettingToFile(path.c_str())) << Vyx::GetLastErrorMessage();

    ASSERT_TRUE(cam.SetCustomTransformation(X2::CustomTransformOptions()));
    ASSERT_TRUE(cam.SaveCaptureOptionParameters(Opts()));
    ASSERT_TRUE(cam.SetUserSetName(0, "changed"));
    ASSERT_TRUE(cam.LoadSettingFromFile(path.c_str())) << Vyx::GetLastErrorMessage();
    X2::CustomTransformOptions back;
    ASSERT_TRUE(cam.GetCustomTransformation(back));
    EXPECT_EQ(back.coordinate_select, ct.coordinate_select);
    EXPECT_EQ(back.transform[3], 0.25);
    Opts stored;
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(stored));
    EXPECT_EQ(OptionsTrace(stored), OptionsTrace(o));
    char name[Vyx::kUserSetNameCapacity];
    ASSERT_TRUE(cam.GetUserSetName(0, name));
    EXPECT_STREQ(name, "saved");
    std::remove(path.c_str());
    EXPECT_FALSE(cam.LoadSettingFromFile(path.c_str()));
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(path), std::string::npos);
}

TEST_F(X2Settings, CustomTransformationIsChecked) {
    X2 cam = OpenX2(kGrey);
    X2::CustomTransformOptions ct;
    ct.coordinate_select = static_cast<X2::CustomTransformOptions::CoordinateSelect>(5);
    EXPECT_FALSE(cam.SetCustomTransformation(ct));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    ct.coordinate_select = X2::CustomTransformOptions::CoordinateSelect_CameraExtra;
    EXPECT_FALSE(cam.SetCustomTransformation(ct));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    ct.coordinate_select = X2::CustomTransformOptions::CoordinateSelect_CameraLeft;
    ct.transform[0] = ct.transform[5] = 0.0;
    EXPECT_FALSE(cam.SetCustomTransformation(ct));
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("singular"), std::string::npos);
    ct.transform[0] = std::nan("");
    EXPECT_FALSE(cam.SetCustomTransformation(ct));
    X2::CustomTransformOptions back;
    back.coordinate_select = X2::CustomTransformOptions::CoordinateSelect_CaliBoard;
    ASSERT_TRUE(cam.GetCustomTransformation(back));
    EXPECT_EQ(back.coordinate_select, X2::CustomTransformOptions::CoordinateSelect_Disabled);
}

TEST_F(X2Settings, CoverBlocksCapturesAndScansUntilOpen) {
    X2 cam = OpenX2(kColour);
    ASSERT_TRUE(cam.CloseProtectiveCover());
    Vyx::ProtectiveCoverStatus status = Vyx::ProtectiveCoverStatus_Unknown;
    ASSERT_TRUE(cam.GetProtectiveCoverStatus(status));
    EXPECT_EQ(status, Vyx::ProtectiveCoverStatus_Closed);
    EXPECT_FALSE(cam.Capture());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    EXPECT_FALSE(cam.Capture2D(Vyx::CameraID_Left));
    EXPECT_FALSE(cam.StartFixedLineScan());
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("cover"), std::string::npos);
    ASSERT_TRUE(cam.OpenProtectiveCoverAsync());
    ASSERT_TRUE(cam.GetProtectiveCoverStatus(status));
    EXPECT_EQ(status, Vyx::ProtectiveCoverStatus_Opening);
    // A full stroke: still opening a microsecond before its end, open at it.
    ShiftTime(1000.0 * kCoverStrokeSeconds - 0.001);
    ASSERT_TRUE(cam.GetProtectiveCoverStatus(status));
    EXPECT_EQ(status, Vyx::ProtectiveCoverStatus_Opening);
    EXPECT_FALSE(cam.Capture2D(Vyx::CameraID_Right));
    ShiftTime(0.001);
    ASSERT_TRUE(cam.GetProtectiveCoverStatus(status));
    EXPECT_EQ(status, Vyx::ProtectiveCoverStatus_Open);
    EXPECT_TRUE(cam.Capture2D(Vyx::CameraID_Right)) << Vyx::GetLastErrorMessage();
    EXPECT_TRUE(cam.ResetProtectiveCover());
    EXPECT_FALSE(cam.Capture());
    EXPECT_TRUE(cam.OpenProtectiveCover());
    EXPECT_TRUE(cam.CloseProtectiveCoverAsync());

    X2 grey = OpenX2(kGrey);
    status = Vyx::ProtectiveCoverStatus_Open;
    EXPECT_FALSE(grey.GetProtectiveCoverStatus(status));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_EQ(status, Vyx::ProtectiveCoverStatus_Open);
}

// Automatic settings come from the scene, work on the caller's record only
// when they succeed, and check the region.
TEST_F(X2Settings, AutomaticSettingsDependOnTheScene) {
    X2 cam = OpenX2(kGrey);
    Opts o;
    ASSERT_TRUE(cam.GetAutoCaptureSetting(o, Vyx::ROI(0, 0, 0, 0))) << Vyx::GetLastErrorMessage();
    EXPECT_GE(o.exposure_time_3d, kExposureMin);
    EXPECT_LE(o.exposure_time_3d, kExposureMax);
    EXPECT_EQ(o.hdr_exposure_times, 0);
    // Brighter light needs less exposure.
    Opts dim, bright;
    dim.projector_brightness = 60;
    ASSERT_TRUE(cam.GetAutoCaptureSetting(dim, Vyx::ROI(0, 0, 0, 0)));
    ASSERT_TRUE(cam.GetAutoCaptureSetting(bright, Vyx::ROI(0, 0, 0, 0)));
    EXPECT_GT(dim.exposure_time_3d, bright.exposure_time_3d);
    Opts hdr;
    ASSERT_TRUE(cam.GetAutoHdrCaptureSetting(hdr, Vyx::ROI(0, 0, 0, 0)));
    EXPECT_GE(hdr.hdr_exposure_times, 1);
    EXPECT_TRUE(cam.Capture(hdr)) << Vyx::GetLastErrorMessage();
    Opts noise;
    ASSERT_TRUE(cam.GetAutoNoiseRemovalSetting(noise));
    EXPECT_GT(noise.noise_removal_distance, 0.5);  // three point spacings at ~0.7 m: about 1.4 mm
    EXPECT_LT(noise.noise_removal_distance, 3.0);
    Opts two_d;
    ASSERT_TRUE(cam.GetAuto2DExposureTime(two_d, Vyx::ROI(320, 256, 256, 256)));
    EXPECT_NE(OptionsTrace(two_d), "default");

    Opts untouched;
    EXPECT_FALSE(cam.GetAutoCaptureSetting(untouched, Vyx::ROI(1200, 0, 200, 64)));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_EQ(OptionsTrace(untouched), "default");
    cam.Close();
    EXPECT_FALSE(cam.GetAutoCaptureSetting(untouched, Vyx::ROI(0, 0, 0, 0)));
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
}

TEST_F(X2Settings, WhiteBalanceNeedsColourAndNeutralisesTheScene) {
    X2 grey = OpenX2(kGrey);
    EXPECT_FALSE(grey.AutoWhiteBalance(1, Opts(), Vyx::ROI(0, 0, 0, 0)));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    grey.Close();
    X2 cam = OpenX2(kColour);
    EXPECT_FALSE(cam.AutoWhiteBalance(0, Opts(), Vyx::ROI(0, 0, 0, 0)));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    const auto before = StateOf(*Device(kColour))->settings.balance;
    ASSERT_TRUE(cam.AutoWhiteBalance(1, Opts(), Vyx::ROI(0, 0, 0, 0))) << Vyx::GetLastErrorMessage();
    std::array<float, 3> after;
    {
        auto state = StateOf(*Device(kColour));
        std::lock_guard<std::mutex> lock(state->mutex);
        after = state->settings.balance;
    }
    EXPECT_EQ(after[1], 1.0f);
    // The default scene is warm (reddish table and light): red is turned
    // down, blue up, relative to the factory balance.
    EXPECT_LT(after[0], before[0]);
    EXPECT_GT(after[2], before[2]);
}

TEST_F(X2Settings, RangesAndRoiRulesNeedNoOpenCamera) {
    X2 cam = X2::Create(Vyx::SystemFindDevice(kGrey));
    int emin = 0, emax = 0;
    float gmin = -1, gmax = -1;
    ASSERT_TRUE(cam.GetExposureTimeRange(&emin, &emax));
    ASSERT_TRUE(cam.GetGammaRange(&gmin, &gmax));
    EXPECT_EQ(emin, kExposureMin);
    EXPECT_EQ(emax, kExposureMax);
    EXPECT_EQ(gmin, kGammaMin);
    EXPECT_FALSE(cam.GetGainRange(nullptr, &gmax));
    Vyx::ROIRange range;
    ASSERT_TRUE(cam.GetRoiRange(range));
    EXPECT_EQ(range.width_max, 1280);
    EXPECT_FALSE(cam.CheckRoi(Vyx::ROI(3, 32, 256, 128)));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_TRUE(cam.CheckRoi(cam.AutoAdjustRoi(Vyx::ROI(3, 33, 100, 10))));
    // Settings that need the device refuse a closed camera.
    EXPECT_FALSE(cam.SetBandwidth(50.0f));
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
    ASSERT_TRUE(cam.Open());
    EXPECT_TRUE(cam.SetBandwidth(50.0f));
    EXPECT_FALSE(cam.SetBandwidth(5.0f));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
}

}  // namespace
}  // namespace vyxsim::x2test
