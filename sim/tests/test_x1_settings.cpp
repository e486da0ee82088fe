// X1 settings and maintenance: settings files, protective cover, user sets,
// white balance, temperatures, ranges, regions of interest and automatic
// settings.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "camera/camera_state.h"
#include "camera/options.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "rendering/projection.h"
#include "scene/device_scenes.h"
#include "scene/ground_truth.h"
#include "scene/scene.h"
#include "vyx/system.h"
#include "vyx/x1.h"
#include "vyxsim/control.h"

namespace vyxsim {
namespace {

using nlohmann::json;
using Vyx::X1;
using Opts = Vyx::X1::CaptureOptions;

constexpr const char* kGrey = "VX1300001";
constexpr const char* kColour = "VX2300002";

class X1Settings : public ::testing::Test {
protected:
    // The clock stands still unless a test moves it (cover motion, cooling).
    void SetUp() override {
        Reset();
        SetClockManual(true);
        ASSERT_TRUE(Vyx::SystemInit());
        dir_ = ::testing::TempDir() + "vyx_x1_settings_" + std::to_string(::getpid());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        Reset();
        std::filesystem::remove_all(dir_);
    }

    X1 Open(const char* serial) {
        X1 cam = X1::Create(Vyx::SystemFindDevice(serial), Vyx::CameraID_Left);
        EXPECT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
        return cam;
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::string Read(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f << text;
    }
    // Moves the model clock forward by whole microseconds.
    static void Advance(double seconds) { ASSERT_TRUE(AdvanceClockUs(std::llround(seconds * 1e6))); }

    std::string dir_;
};

// ---------------------------------------------------------------------------
// Settings files.

TEST_F(X1Settings, SettingsFileRoundTrip) {
    X1 cam = Open(kColour);
    const std::string path = Path("settings.json");
    // A state far from the defaults.
    ASSERT_TRUE(cam.SetBalanceRatio(Vyx::BalanceSelector_Red, 1.75f));
    ASSERT_TRUE(cam.SetBalanceRatio(Vyx::BalanceSelector_Blue, 0.5f));
    ASSERT_TRUE(cam.SetBandwidth(40.0f));
    X1::CustomTransformOptions ct;
    ct.coordinate_select = X1::CustomTransformOptions::CoordinateSelect_Camera;
    ct.transform[3] = 0.125;
    ASSERT_TRUE(cam.SetCustomTransformation(ct));
    ASSERT_TRUE(cam.SetUserSetName(2, "inspection \xc3\xa9tage 2"));
    ASSERT_TRUE(cam.SetCurrentUserSet(2));
    Opts stored;
    stored.exposure_time_3d = 42;
    stored.hdr_exposure_times = 2;
    stored.hdr_gain_content[1] = 3.5f;
    stored.roi = Vyx::ROI(64, 32, 512, 256);
    stored.smoothness = Vyx::SmoothnessLevel_Strong;
    ASSERT_TRUE(cam.SaveCaptureOptionParameters(stored));
    ASSERT_TRUE(cam.CloseProtectiveCover());
    ASSERT_TRUE(cam.SaveSettingToFile(path.c_str())) << Vyx::GetLastErrorMessage();
    const json saved = json::parse(Read(path));
    EXPECT_EQ(saved["format"], "vyx-device-settings");
    EXPECT_EQ(saved["protective_cover"], "closed");

    // Change everything, then load.
    ASSERT_TRUE(cam.SetBalanceRatio(Vyx::BalanceSelector_Red, 1.0f));
    ASSERT_TRUE(cam.SetBandwidth(100.0f));
    ASSERT_TRUE(cam.SetCustomTransformation(X1::CustomTransformOptions()));
    ASSERT_TRUE(cam.SetUserSetName(2, "other"));
    ASSERT_TRUE(cam.SaveCaptureOptionParameters(Opts()));
    ASSERT_TRUE(cam.SetCurrentUserSet(5));
    ASSERT_TRUE(cam.OpenProtectiveCover());
    ASSERT_TRUE(cam.LoadSettingFromFile(path.c_str())) << Vyx::GetLastErrorMessage();

    float ratio = 0;
    ASSERT_TRUE(cam.GetBalanceRatio(Vyx::BalanceSelector_Red, ratio));
    EXPECT_EQ(ratio, 1.75f);
    ASSERT_TRUE(cam.GetBalanceRatio(Vyx::BalanceSelector_Blue, ratio));
    EXPECT_EQ(ratio, 0.5f);
    X1::CustomTransformOptions got;
    ASSERT_TRUE(cam.GetCustomTransformation(got));
    EXPECT_EQ(got.coordinate_select, X1::CustomTransformOptions::CoordinateSelect_Camera);
    EXPECT_EQ(got.transform[3], 0.125);
    int current = -1;
    ASSERT_TRUE(cam.GetCurrentUserSet(current));
    EXPECT_EQ(current, 2);
    char name[Vyx::kUserSetNameCapacity];
    ASSERT_TRUE(cam.GetUserSetName(2, name));
    EXPECT_STREQ(name, "inspection \xc3\xa9tage 2");
    Opts loaded;
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(loaded));
    EXPECT_EQ(loaded.exposure_time_3d, 42);
    EXPECT_EQ(loaded.hdr_gain_content[1], 3.5f);
    EXPECT_EQ(loaded.roi.width, 512);
    EXPECT_EQ(loaded.smoothness, Vyx::SmoothnessLevel_Strong);
    Vyx::ProtectiveCoverStatus st = Vyx::ProtectiveCoverStatus_Unknown;
    ASSERT_TRUE(cam.GetProtectiveCoverStatus(st));
    EXPECT_EQ(st, Vyx::ProtectiveCoverStatus_Closed);
    // Saving again gives the same file.
    const std::string again = Path("again.json");
    ASSERT_TRUE(cam.SaveSettingToFile(again.c_str()));
    EXPECT_EQ(json::parse(Read(again)), saved);
}

TEST_F(X1Settings, DamagedSettingsFilesAreRejectedAndChangeNothing) {
    X1 cam = Open(kGrey);
    ASSERT_TRUE(cam.SetUserSetName(1, "kept"));
    const std::string good = Path("good.json");
    ASSERT_TRUE(cam.SaveSettingToFile(good.c_str()));
    const std::string text = Read(good);
    const json base = json::parse(text);
    using Edit = std::function<void(json&)>;
    struct Case {
        const char* what;
        std::string content;  // when empty, the edited JSON
        Edit edit;
    } cases[] = {
        {"truncated", text.substr(0, text.size() / 2), nullptr},
        {"not json", "\x89PNG\r\n\x1a\n garbage", nullptr},
        {"empty", " ", nullptr},
        {"wrong format", "", [](json& j) { j["format"] = "something-else"; }},
        {"newer version", "", [](json& j) { j["version"] = 2; }},
        {"no user sets", "", [](json& j) { j.erase("user_sets"); }},
        {"seven user sets", "", [](json& j) { j["user_sets"].erase(j["user_sets"].begin()); }},
        {"balance out of range", "", [](json& j) { j["balance"]["red"] = 99.0; }},
        {"bandwidth as text", "", [](json& j) { j["bandwidth_percent"] = "full"; }},
        {"name of 64 bytes", "", [](json& j) { j["user_sets"][3]["name"] = std::string(64, 'n'); }},
        {"options field of the wrong type", "", [](json& j) { j["user_sets"][0]["x1_capture_options"]["calc_normal"] = 1; }},
        {"options field missing", "", [](json& j) { j["user_sets"][0]["x1_capture_options"].erase("scan_times"); }},
        {"exposure out of range", "", [](json& j) { j["user_sets"][6]["x1_capture_options"]["exposure_time_3d"] = 5000; }},
        {"current user set 8", "", [](json& j) { j["current_user_set"] = 8; }},
        {"transform of 15 values", "", [](json& j) { j["x1_custom_transform"]["transform"].erase(0); }},
        {"coordinate_select 9", "", [](json& j) { j["x1_custom_transform"]["coordinate_select"] = 9; }},
        {"cover half open", "", [](json& j) { j["protective_cover"] = "ajar"; }},
    };
    // The device state before the loads, as a settings file says it.
    ASSERT_TRUE(cam.SetUserSetName(1, "changed before the load"));
    ASSERT_TRUE(cam.SetCurrentUserSet(4));
    const std::string before = Path("before.json"), after = Path("after.json");
    ASSERT_TRUE(cam.SaveSettingToFile(before.c_str()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string content = c.content;
        if (c.edit) {
            json j = base;
            c.edit(j);
            content = j.dump();
        }
        const std::string bad = Path("bad.json");
        Write(bad, content);
        EXPECT_FALSE(cam.LoadSettingFromFile(bad.c_str()));
        EXPECT_EQ(Vyx::GetLastError(), kBadFile);
        const std::string msg = Vyx::GetLastErrorMessage();
        EXPECT_NE(msg.find("X1::LoadSettingFromFile"), std::string::npos) << msg;
        EXPECT_NE(msg.find(bad), std::string::npos) << msg;
        ASSERT_TRUE(cam.SaveSettingToFile(after.c_str()));
        EXPECT_EQ(Read(after), Read(before)) << "the failed load changed the device";
    }
    EXPECT_FALSE(cam.LoadSettingFromFile(Path("missing.json").c_str()));
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);
    EXPECT_FALSE(cam.LoadSettingFromFile(dir_.c_str()));
    EXPECT_NE(Vyx::GetLastError(), kOk);
    EXPECT_FALSE(cam.LoadSettingFromFile(nullptr));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_FALSE(cam.SaveSettingToFile((dir_ + "/no/such/dir/x.json").c_str()));
    EXPECT_EQ(Vyx::GetLastError(), kIoError);
    // The good file still loads.
    EXPECT_TRUE(cam.LoadSettingFromFile(good.c_str()));
    char name[Vyx::kUserSetNameCapacity];
    ASSERT_TRUE(cam.GetUserSetName(1, name));
    EXPECT_STREQ(name, "kept");
}

// ---------------------------------------------------------------------------
// Protective cover.

TEST_F(X1Settings, CoverMovesOverTimeAndBlocksCaptures) {
    X1 cam = Open(kColour);
    auto status = [&] {
        Vyx::ProtectiveCoverStatus s = Vyx::ProtectiveCoverStatus_Unknown;
        EXPECT_TRUE(cam.GetProtectiveCoverStatus(s));
        return s;
    };
    Opts small;
    small.roi = Vyx::ROI(0, 0, 128, 128);
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Open);
    ASSERT_TRUE(cam.CloseProtectiveCoverAsync());
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closing);
    EXPECT_FALSE(cam.Capture(small));
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("closing"), std::string::npos);
    // A full stroke takes 300 ms: closing until then, closed at it.
    Advance(0.2);
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closing);
    Advance(0.099999);
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closing);
    Advance(0.000001);
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closed);
    EXPECT_FALSE(cam.Capture2D(small));
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);

    // Opening, reversed half-way: the cover goes back from where it is.
    ASSERT_TRUE(cam.OpenProtectiveCoverAsync());
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Opening);
    Advance(0.1);
    ASSERT_TRUE(cam.CloseProtectiveCoverAsync());
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closing);
    Advance(0.099999);  // back the 100 ms it went
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closing);
    Advance(0.000001);
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closed);
    ASSERT_TRUE(cam.OpenProtectiveCoverAsync());
    Advance(0.299999);
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Opening);
    EXPECT_FALSE(cam.Capture(small));
    Advance(0.000001);
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Open);
    EXPECT_TRUE(cam.Capture(small)) << Vyx::GetLastErrorMessage();

    ASSERT_TRUE(cam.ResetProtectiveCover());
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closed);
    ASSERT_TRUE(cam.OpenProtectiveCover());
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Open);
    ASSERT_TRUE(cam.CloseProtectiveCover());
    EXPECT_EQ(status(), Vyx::ProtectiveCoverStatus_Closed);

    // A device without a cover.
    X1 grey = Open(kGrey);
    Vyx::ProtectiveCoverStatus s = Vyx::ProtectiveCoverStatus_Open;
    EXPECT_FALSE(grey.GetProtectiveCoverStatus(s));
    EXPECT_EQ(s, Vyx::ProtectiveCoverStatus_Open) << "output untouched";
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    for (auto op : {&X1::OpenProtectiveCover, &X1::CloseProtectiveCover, &X1::ResetProtectiveCover,
                    &X1::OpenProtectiveCoverAsync, &X1::CloseProtectiveCoverAsync}) {
        EXPECT_FALSE((grey.*op)());
        EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    }
    EXPECT_TRUE(grey.Capture(small));
}

// ---------------------------------------------------------------------------
// User sets.

TEST_F(X1Settings, UserSetNamesAreBoundedAndNeverTruncated) {
    X1 cam = Open(kGrey);
    char buf[Vyx::kUserSetNameCapacity + 16];
    std::memset(buf, 0x7f, sizeof buf);
    ASSERT_TRUE(cam.GetUserSetName(0, buf));
    EXPECT_STREQ(buf, "Default");
    ASSERT_TRUE(cam.GetUserSetName(7, buf));
    EXPECT_STREQ(buf, "UserSet7");

    const std::string ok(Vyx::kUserSetNameCapacity - 1, 'a');
    const std::string too_long(Vyx::kUserSetNameCapacity, 'b');
    ASSERT_TRUE(cam.SetUserSetName(4, ok.c_str()));
    std::memset(buf, 0x7f, sizeof buf);
    ASSERT_TRUE(cam.GetUserSetName(4, buf));
    EXPECT_EQ(std::string(buf), ok);
    for (std::size_t i = Vyx::kUserSetNameCapacity; i < sizeof buf; ++i) {
        ASSERT_EQ(buf[i], 0x7f) << "byte " << i << " written";
    }
    for (const std::string& name : {too_long, std::string(5000, 'c')}) {
        EXPECT_FALSE(cam.SetUserSetName(4, name.c_str()));
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("63"), std::string::npos);
        ASSERT_TRUE(cam.GetUserSetName(4, buf));
        EXPECT_EQ(std::string(buf), ok) << "the old name stays";
    }
    // A name exactly filling 64 bytes without a terminator is read no further.
    char unterminated[Vyx::kUserSetNameCapacity];
    std::memset(unterminated, 'z', sizeof unterminated);
    EXPECT_FALSE(cam.SetUserSetName(4, unterminated));
    EXPECT_TRUE(cam.SetUserSetName(4, ""));
    ASSERT_TRUE(cam.GetUserSetName(4, buf));
    EXPECT_STREQ(buf, "");

    for (int index : {-1, Vyx::kUserSetCount, 1000}) {
        EXPECT_FALSE(cam.SetUserSetName(index, "x"));
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
        EXPECT_FALSE(cam.GetUserSetName(index, buf));
        EXPECT_FALSE(cam.SetCurrentUserSet(index));
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    }
    EXPECT_FALSE(cam.SetUserSetName(1, nullptr));
    EXPECT_FALSE(cam.GetUserSetName(1, nullptr));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    int current = -1;
    ASSERT_TRUE(cam.SetCurrentUserSet(6));
    ASSERT_TRUE(cam.GetCurrentUserSet(current));
    EXPECT_EQ(current, 6);
    // User sets belong to the device: another handle sees them.
    cam.Close();
    X1 right = X1::Create(Vyx::SystemFindDevice(kGrey), Vyx::CameraID_Right);
    ASSERT_TRUE(right.Open());
    ASSERT_TRUE(right.GetCurrentUserSet(current));
    EXPECT_EQ(current, 6);
}

// ---------------------------------------------------------------------------
// White balance.

TEST_F(X1Settings, BalanceRatiosOnColourDevicesOnly) {
    X1 grey = Open(kGrey);
    float r = 0, lo = 0, hi = 0;
    EXPECT_FALSE(grey.SetBalanceRatio(Vyx::BalanceSelector_Red, 1.0f));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_FALSE(grey.GetBalanceRatio(Vyx::BalanceSelector_Red, r));
    EXPECT_FALSE(grey.GetBalanceRange(Vyx::BalanceSelector_Red, lo, hi));
    EXPECT_FALSE(grey.AutoWhiteBalance(1, Opts(), Vyx::ROI(0, 0, 0, 0)));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);

    X1 cam = Open(kColour);
    ASSERT_TRUE(cam.GetBalanceRange(Vyx::BalanceSelector_Green, lo, hi));
    EXPECT_LT(lo, 1.0f);
    EXPECT_GT(hi, 1.0f);
    for (float bad : {lo - 0.01f, hi + 0.01f, std::nanf("")}) {
        EXPECT_FALSE(cam.SetBalanceRatio(Vyx::BalanceSelector_Blue, bad));
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    }
    EXPECT_FALSE(cam.SetBalanceRatio(Vyx::BalanceSelector_None, 1.0f));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_TRUE(cam.SetBalanceRatio(Vyx::BalanceSelector_Blue, hi));
    ASSERT_TRUE(cam.GetBalanceRatio(Vyx::BalanceSelector_Blue, r));
    EXPECT_EQ(r, hi);
}

// Grey world over the white board: after AutoWhiteBalance the board is grey
// in the image, however far off the balance was.
TEST_F(X1Settings, AutoWhiteBalanceNeutralisesTheBoard) {
    X1 cam = Open(kColour);
    auto dev = FindDeviceBySerial(kColour);
    std::string error;
    auto sc = scene::SceneForDevice(dev, &error);
    scene::BoardTruth board;
    ASSERT_TRUE(scene::BoardGroundTruth(*sc, &board));
    Eigen::Vector2d px;
    ASSERT_TRUE(scene::ProjectDevice(dev->left, board.pose.block<3, 1>(0, 3), &px));
    // A region on the board between the circles' rows.
    const Vyx::ROI roi(static_cast<int>(px.x()) - 60, static_cast<int>(px.y()) - 60, 120, 120);
    ASSERT_TRUE(cam.SetBalanceRatio(Vyx::BalanceSelector_Red, 3.0f));
    ASSERT_TRUE(cam.SetBalanceRatio(Vyx::BalanceSelector_Blue, 0.5f));
    ASSERT_TRUE(cam.AutoWhiteBalance(3, Opts(), roi)) << Vyx::GetLastErrorMessage();
    ASSERT_TRUE(cam.Capture2D(Opts()));
    Vyx::Image img = cam.GetImage();
    const uint8_t* p = img.GetDataPtr();
    double bgr[3] = {0, 0, 0};
    for (int v = roi.y; v < roi.y + roi.height; ++v) {
        for (int u = roi.x; u < roi.x + roi.width; ++u) {
            for (int c = 0; c < 3; ++c) bgr[c] += p[3 * (static_cast<std::size_t>(v) * 1920 + u) + c];
        }
    }
    EXPECT_NEAR(bgr[0] / bgr[1], 1.0, 0.02);
    EXPECT_NEAR(bgr[2] / bgr[1], 1.0, 0.02);
    EXPECT_FALSE(cam.AutoWhiteBalance(0, Opts(), roi));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_FALSE(cam.AutoWhiteBalance(1, Opts(), Vyx::ROI(1900, 0, 100, 100)));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
}

// ---------------------------------------------------------------------------
// Temperatures and ranges.

TEST_F(X1Settings, TemperaturesWarmWithCapturesAndCoolWithTime) {
    X1 cam = Open(kGrey);
    auto temps = [&] {
        std::vector<float> t(7);
        EXPECT_TRUE(cam.GetProjectorTemperature(t[0]));
        for (int s = 0; s < 6; ++s) {
            EXPECT_TRUE(cam.GetCameraTemperature(static_cast<Vyx::CameraTempSelector>(s), t[static_cast<std::size_t>(s) + 1]));
        }
        return t;
    };
    const std::vector<float> cold = temps();
    for (float t : cold) {
        EXPECT_GT(t, 20.0f);
        EXPECT_LT(t, 60.0f);
    }
    Opts heavy;
    heavy.exposure_time_3d = 100;
    heavy.scan_times = 8;
    heavy.roi = Vyx::ROI(0, 0, 64, 64);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(cam.Capture(heavy));
    const std::vector<float> warm = temps();
    for (std::size_t i = 0; i < warm.size(); ++i) EXPECT_GT(warm[i], cold[i] + 1.0f) << i;
    Advance(3600.0);
    const std::vector<float> cooled = temps();
    for (std::size_t i = 0; i < cooled.size(); ++i) EXPECT_NEAR(cooled[i], cold[i], 0.05f) << i;
    float t;
    EXPECT_FALSE(cam.GetCameraTemperature(static_cast<Vyx::CameraTempSelector>(17), t));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    cam.Close();
    EXPECT_FALSE(cam.GetProjectorTemperature(t));
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
}

TEST_F(X1Settings, RangesAndCalibrationNeedNoOpenCamera) {
    X1 cam = X1::Create(Vyx::SystemFindDevice(kColour), Vyx::CameraID_Right);
    int emin = 0, emax = 0;
    float gmin = -1, gmax = -1;
    ASSERT_TRUE(cam.GetExposureTimeRange(&emin, &emax));
    EXPECT_EQ(emin, 3);
    EXPECT_EQ(emax, 100);
    ASSERT_TRUE(cam.GetGainRange(&gmin, &gmax));
    EXPECT_EQ(gmin, 0.0f);
    EXPECT_EQ(gmax, 20.0f);
    ASSERT_TRUE(cam.GetGammaRange(&gmin, &gmax));
    EXPECT_LT(gmin, 1.0f);
    EXPECT_GT(gmax, 1.0f);
    EXPECT_FALSE(cam.GetExposureTimeRange(nullptr, &emax));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    Vyx::Size size;
    ASSERT_TRUE(cam.GetCameraResolution(size));
    EXPECT_EQ(size.width, 1920);
    EXPECT_EQ(size.height, 1200);
    float e16[16], k9[9], d5[5];
    ASSERT_TRUE(cam.GetExtrinsicMatrix(e16));
    EXPECT_NEAR(e16[3], 0.15f, 1e-7f);
    EXPECT_EQ(e16[0], 1.0f);
    EXPECT_EQ(e16[15], 1.0f);
    ASSERT_TRUE(cam.GetIntrinsicParameters(k9, d5));
    EXPECT_EQ(k9[0], 2200.0f);
    EXPECT_EQ(k9[2], 960.0f);
    EXPECT_EQ(k9[5], 600.0f);
    EXPECT_EQ(d5[0], -0.008f);
    // Settings that live in the device need it open.
    struct NeedsOpen {
        const char* what;
        std::function<bool()> call;
    } calls[] = {
        {"Capture", [&] { return cam.Capture(); }},
        {"SetBandwidth", [&] { return cam.SetBandwidth(50.0f); }},
        {"GetCustomTransformation", [&] { X1::CustomTransformOptions o; return cam.GetCustomTransformation(o); }},
        {"SaveSettingToFile", [&] { return cam.SaveSettingToFile(Path("x.json").c_str()); }},
        {"SetCurrentUserSet", [&] { return cam.SetCurrentUserSet(1); }},
        {"OpenProtectiveCover", [&] { return cam.OpenProtectiveCover(); }},
        {"GetAutoCaptureSetting", [&] { Opts o; return cam.GetAutoCaptureSetting(o, Vyx::ROI(0, 0, 0, 0)); }},
    };
    for (const auto& c : calls) {
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(Vyx::GetLastError(), kNotOpen) << c.what;
    }
}

TEST_F(X1Settings, BandwidthAndCustomTransformationAreChecked) {
    X1 cam = Open(kGrey);
    EXPECT_TRUE(cam.SetBandwidth(10.0f));
    EXPECT_TRUE(cam.SetBandwidth(100.0f));
    for (float bad : {9.9f, 100.5f, -1.0f, std::nanf("")}) {
        EXPECT_FALSE(cam.SetBandwidth(bad));
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    }
    X1::CustomTransformOptions ct;
    ct.coordinate_select = static_cast<X1::CustomTransformOptions::CoordinateSelect>(3);
    EXPECT_FALSE(cam.SetCustomTransformation(ct));
    ct.coordinate_select = X1::CustomTransformOptions::CoordinateSelect_Camera;
    ct.transform[5] = std::nan("");
    EXPECT_FALSE(cam.SetCustomTransformation(ct));
    ct.transform[5] = 0.0;  // singular
    EXPECT_FALSE(cam.SetCustomTransformation(ct));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    X1::CustomTransformOptions got;
    ASSERT_TRUE(cam.GetCustomTransformation(got));
    EXPECT_EQ(got.coordinate_select, X1::CustomTransformOptions::CoordinateSelect_Disabled);
}

// ---------------------------------------------------------------------------
// Regions of interest.

TEST_F(X1Settings, RoiRulesAndAdjustment) {
    X1 cam = X1::Create(Vyx::SystemFindDevice(kGrey), Vyx::CameraID_Left);
    Vyx::ROIRange range;
    ASSERT_TRUE(cam.GetRoiRange(range));
    EXPECT_EQ(range.width_max, 1280);
    EXPECT_EQ(range.height_max, 1024);
    EXPECT_GT(range.x_step, 1);
    EXPECT_GT(range.width_min, 0);
    struct Case {
        Vyx::ROI roi;
        bool ok;
    } cases[] = {
        {{0, 0, 0, 0}, true},
        {{0, 0, 1280, 1024}, true},
        {{8, 2, 64, 64}, true},
        {{1216, 960, 64, 64}, true},
        {{3, 0, 64, 64}, false},             // x off the step
        {{0, 1, 64, 64}, false},             // y off the step
        {{0, 0, 70, 64}, false},             // width off the step
        {{0, 0, 48, 64}, false},             // below the minimum
        {{1232, 0, 64, 64}, false},          // beyond the right edge
        {{-8, 0, 64, 64}, false},
        {{0, 0, 1280, 1026}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cam.CheckRoi(c.roi), c.ok) << c.roi.x << " " << c.roi.y << " " << c.roi.width << " " << c.roi.height;
        if (!c.ok) {
            EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
        }
    }
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pos(-100, 1400), len(-10, 1500);
    for (int i = 0; i < 2000; ++i) {
        const Vyx::ROI in(pos(rng), pos(rng), len(rng), len(rng));
        const Vyx::ROI out = cam.AutoAdjustRoi(in);
        ASSERT_TRUE(cam.CheckRoi(out)) << in.x << " " << in.y << " " << in.width << " " << in.height << " -> "
                                       << out.x << " " << out.y << " " << out.width << " " << out.height;
        // The part of the input inside the image stays covered.
        const int x0 = std::clamp(in.x, 0, 1280), x1 = std::clamp(in.x + std::max(in.width, 0), 0, 1280);
        const int y0 = std::clamp(in.y, 0, 1024), y1 = std::clamp(in.y + std::max(in.height, 0), 0, 1024);
        if (x1 > x0 && y1 > y0) {
            EXPECT_LE(out.x, x0);
            EXPECT_GE(out.x + out.width, x1);
            EXPECT_LE(out.y, y0);
            EXPECT_GE(out.y + out.height, y1);
        }
    }
}

// ---------------------------------------------------------------------------
// Automatic settings, computed from what the camera sees.

TEST_F(X1Settings, AutomaticSettingsDependOnTheScene) {
    X1 cam = Open(kGrey);
    auto dev = FindDeviceBySerial(kGrey);
    std::string error;
    auto sc = scene::SceneForDevice(dev, &error);
    scene::BoardTruth board;
    ASSERT_TRUE(scene::BoardGroundTruth(*sc, &board));
    Eigen::Vector2d b;
    ASSERT_TRUE(scene::ProjectDevice(dev->left, board.pose.block<3, 1>(0, 3), &b));
    const Vyx::ROI on_board(static_cast<int>(b.x()) - 40, static_cast<int>(b.y()) - 40, 80, 80);
    Vyx::ROI on_cylinder;
    for (const auto& o : sc->objects) {
        if (o.name != "cylinder") continue;
        Eigen::Vector2d c;
        ASSERT_TRUE(scene::ProjectDevice(dev->left, o.pose.t, &c));
        on_cylinder = Vyx::ROI(static_cast<int>(c.x()) - 20, static_cast<int>(c.y()) - 20, 40, 40);
    }

    const Opts defaults;
    Opts white = defaults, dark = defaults;
    ASSERT_TRUE(cam.GetAutoCaptureSetting(white, on_board)) << Vyx::GetLastErrorMessage();
    ASSERT_TRUE(cam.GetAutoCaptureSetting(dark, on_cylinder)) << Vyx::GetLastErrorMessage();
    EXPECT_GT(dark.exposure_time_3d, white.exposure_time_3d + 3) << "a darker region needs a longer exposure";
    EXPECT_NE(white.exposure_time_3d, defaults.exposure_time_3d);
    // Captured with it, the board neither saturates nor falls dark.
    ASSERT_TRUE(cam.Capture(white));
    const double* conf = cam.GetConfidenceMap().GetDataPtr();
    std::size_t good = 0;
    for (int v = on_board.y; v < on_board.y + on_board.height; ++v) {
        for (int u = on_board.x; u < on_board.x + on_board.width; ++u) good += conf[static_cast<std::size_t>(v) * 1280 + u] > 0.0;
    }
    EXPECT_GT(good, 80u * 80u * 95 / 100);

    Opts image = defaults;
    ASSERT_TRUE(cam.GetAuto2DExposureTime(image, on_board));
    EXPECT_EQ(image.exposure_time_3d, defaults.exposure_time_3d) << "only the 2D exposure changes";
    ASSERT_TRUE(cam.Capture2D(image));
    const uint8_t* px = cam.GetImage().GetDataPtr();
    std::vector<int> values;
    for (int v = on_board.y; v < on_board.y + on_board.height; ++v) {
        for (int u = on_board.x; u < on_board.x + on_board.width; ++u) values.push_back(px[static_cast<std::size_t>(v) * 1280 + u]);
    }
    std::sort(values.begin(), values.end());
    EXPECT_NEAR(values[values.size() * 98 / 100], 200, 25);

    Opts hdr = defaults;
    ASSERT_TRUE(cam.GetAutoHdrCaptureSetting(hdr, Vyx::ROI(0, 0, 0, 0)));
    ASSERT_GE(hdr.hdr_exposure_times, 2) << "the scene holds white and near-black surfaces";
    for (int i = 1; i < hdr.hdr_exposure_times; ++i) {
        EXPECT_GT(hdr.hdr_exposure_time_content[i], hdr.hdr_exposure_time_content[i - 1]);
    }
    ASSERT_TRUE(cam.Capture(hdr));
    std::size_t hdr_valid = 0, single_valid = 0;
    conf = cam.GetConfidenceMap().GetDataPtr();
    for (std::size_t k = 0; k < 1280u * 1024u; ++k) hdr_valid += conf[k] >= 0.5;
    ASSERT_TRUE(cam.Capture(white));
    conf = cam.GetConfidenceMap().GetDataPtr();
    for (std::size_t k = 0; k < 1280u * 1024u; ++k) single_valid += conf[k] >= 0.5;
    EXPECT_GT(hdr_valid, single_valid);

    Opts noise = defaults;
    ASSERT_TRUE(cam.GetAutoNoiseRemovalSetting(noise));
    // Three point spacings at the scene's median depth (about 0.45 mm).
    EXPECT_GT(noise.noise_removal_distance, 1.0);
    EXPECT_LT(noise.noise_removal_distance, 1.8);

    // A region the camera cannot hold is refused, the record untouched.
    Opts untouched = defaults;
    EXPECT_FALSE(cam.GetAutoCaptureSetting(untouched, Vyx::ROI(1200, 0, 200, 10)));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_EQ(OptionsTrace(untouched), "default");
}

}  // namespace
}  // namespace vyxsim
