// Replay devices: the checks of a recording folder when it is loaded, the
// exact hand-out of every recorded map and image for X1 and X2, the cursor
// (at_end, seek, step, stepping), the capture options that act on recorded
// data and those that do not, opening as the wrong kind, the operations
// that need a scene, and captures racing with seeks.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "recording/npy.h"
#include "test_replay_support.h"
#include "vyx/system.h"
#include "vyx/x1.h"
#include "vyx/x2.h"
#include "vyxsim/control.h"

namespace vyxsim {
namespace {

using namespace replaytest;

std::string Entry(const fs::path& dir, const std::string& extra = "") {
    return R"({"devices": [{"recording": ")" + dir.string() + R"(", "serial": "REPLAY-1")" + extra + "}]}";
}

class ReplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        dir_ = Scratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override {
        Vyx::SystemShutdown();
        Reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
        fs::remove(dir_.string() + "_outside.npy", ec);  // the symbolic-link case's target
    }

    void Load(const RecordingShape& s, const std::string& extra = "") {
        WriteRecording(dir_, s);
        std::string error;
        ASSERT_TRUE(LoadConfigText(Entry(dir_, extra), &error)) << error;
        ASSERT_TRUE(Vyx::SystemInit());
    }

    Vyx::X1 OpenX1(Vyx::CameraID id = Vyx::CameraID_Left) {
        Vyx::X1 cam = Vyx::X1::Create(Vyx::SystemFindDevice("REPLAY-1"), id);
        EXPECT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
        return cam;
    }

    ReplayInfo Info() {
        ReplayInfo info;
        std::string error;
        EXPECT_TRUE(GetReplayInfo("REPLAY-1", &info, &error)) << error;
        return info;
    }

    fs::path dir_;
};

// --- Load checks -------------------------------------------------------------

struct BadCase {
    const char* name;
    std::function<void(const fs::path&, json*)> damage;  // on the folder and its manifest
    std::string expect_file;                               // the file the message names
    std::string expect;                                    // and what it says
};

void Rewrite(const fs::path& dir, const json& m) { std::ofstream(dir / "manifest.json") << m.dump(); }

std::string Truncate(const fs::path& p, std::size_t drop) {
    const auto size = fs::file_size(p);
    fs::resize_file(p, size - drop);
    return p.string();
}

class ReplayLoadTest : public ReplayTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(ReplayLoadTest, ADamagedRecordingIsRefusedNamingTheFileAndChangesNothing) {
    const RecordingShape s;
    WriteRecording(dir_, s);
    json m = Manifest(s);
    GetParam().damage(dir_, &m);
    const std::vector<std::string> before = DeviceSerials();
    std::string error;
    EXPECT_FALSE(LoadConfigText(Entry(dir_), &error));
    const std::string file = GetParam().expect_file.empty() ? "" : "'" + (dir_ / GetParam().expect_file).string() + "'";
    EXPECT_NE(error.find("configuration text: devices[0]"), std::string::npos) << error;
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().expect), std::string::npos) << error;
    EXPECT_EQ(DeviceSerials(), before);
}

const BadCase kBadCases[] = {
    {"MissingManifest", [](const fs::path& d, json*) { fs::remove(d / "manifest.json"); }, "manifest.json", "missing"},
    {"ManifestNotJson", [](const fs::path& d, json*) { WriteBytes(d / "manifest.json", "{\"format\": "); },
     "manifest.json", "invalid JSON"},
    {"WrongFormat", [](const fs::path& d, json* m) { (*m)["format"] = "other"; Rewrite(d, *m); }, "manifest.json",
     "format must be \"vyx-recording\""},
    {"WrongVersion", [](const fs::path& d, json* m) { (*m)["format_version"] = 2; Rewrite(d, *m); }, "manifest.json",
     "format_version 2 is not supported (this library reads version 1)"},
    {"MissingFile", [](const fs::path& d, json*) { fs::remove(d / "000001.image.png"); }, "000001.image.png", "missing"},
    {"MissingRole", [](const fs::path& d, json* m) { (*m)["frames"][1]["files"].erase("depth"); Rewrite(d, *m); },
     "manifest.json", "frames[1].files.depth: missing"},
    {"RoleOfTheOtherKind",
     [](const fs::path& d, json* m) { (*m)["frames"][0]["files"]["left"] = "000000.image.png"; Rewrite(d, *m); },
     "manifest.json", "frames[0].files.left: not a file role of an X1 recording"},
    {"FileNameLeavesTheFolder",
     [](const fs::path& d, json* m) { (*m)["frames"][0]["files"]["depth"] = "../000000.depth.npy"; Rewrite(d, *m); },
     "manifest.json", "is not a file name inside the folder"},
    {"SymbolicLinkLeavesTheFolder",
     [](const fs::path& d, json*) {
         fs::copy_file(d / "000002.depth.npy", d.string() + "_outside.npy", fs::copy_options::overwrite_existing);
         fs::remove(d / "000002.depth.npy");
         fs::create_symlink(d.string() + "_outside.npy", d / "000002.depth.npy");
     },
     "000002.depth.npy", "lies outside the recording folder"},
    {"DirectoryInsteadOfFile",
     [](const fs::path& d, json*) { fs::remove(d / "000000.confidence.npy"); fs::create_directory(d / "000000.confidence.npy"); },
     "000000.confidence.npy", "not a regular file"},
    {"IndexGap", [](const fs::path& d, json* m) { (*m)["frames"][2]["index"] = 3; Rewrite(d, *m); }, "manifest.json",
     "frames must count from 0 without gaps"},
    {"NoFrames", [](const fs::path& d, json* m) { (*m)["frames"] = json::array(); Rewrite(d, *m); }, "manifest.json",
     "the recording has no frames"},
    {"PlyVertexCount",
     [](const fs::path& d, json* m) { (*m)["resolution"] = {16, 11}; Rewrite(d, *m); (void)d; }, "000000.points.ply",
     "grid (comment width/height) is 16 x 12"},
    {"PlyNormalsDisagree", [](const fs::path& d, json* m) { (*m)["normals"] = true; Rewrite(d, *m); }, "000000.points.ply",
     "not double x, y, z, nx, ny, nz"},
    {"PlyFloatProperties",
     [](const fs::path& d, json*) {
         std::ifstream in(d / "000001.points.ply", std::ios::binary);
         std::string bytes((std::istreambuf_iterator<char>(in)), {});
         bytes.replace(bytes.find("property double y"), 17, "property float  y");
         WriteBytes(d / "000001.points.ply", bytes);
     },
     "000001.points.ply", "the vertex properties are (double x, float  y, double z)"},
    {"PlyTruncated", [](const fs::path& d, json*) { Truncate(d / "000002.points.ply", 8); }, "000002.points.ply", "(truncated)"},
    {"NpyTruncated", [](const fs::path& d, json*) { Truncate(d / "000001.depth.npy", 1); }, "000001.depth.npy", "(truncated)"},
    {"NpyWrongDtype",
     [](const fs::path& d, json*) {
         WriteBytes(d / "000000.depth.npy", NpyBytes("(12, 16)", std::vector<double>(192, 0.5), "<f4"));
     },
     "000000.depth.npy", "dtype '<f4' is not '<f8'"},
    {"NpyWrongShape",
     [](const fs::path& d, json*) { WriteBytes(d / "000001.confidence.npy", NpyBytes("(16, 12)", std::vector<double>(192, 0.5))); },
     "000001.confidence.npy", "shape (16, 12) does not match the recording's resolution 16 x 12"},
    {"NpyNotNumpy", [](const fs::path& d, json*) { WriteBytes(d / "000000.depth.npy", "not numpy at all"); },
     "000000.depth.npy", "no \\x93NUMPY magic"},
    {"PngWrongSize",
     [](const fs::path& d, json*) {
         RecordingShape small;
         small.width = 8;
         WriteBytes(d / "000002.image.png", PngBytes(small, std::vector<uint8_t>(8 * 12, 7)));
     },
     "000002.image.png", "the image is 8 x 12, not the recording's resolution 16 x 12"},
    {"PngWrongColourType", [](const fs::path& d, json* m) { (*m)["image_type"] = "BGR8"; Rewrite(d, *m); }, "000000.image.png",
     "colour type 0, not 2"},
    {"PngNotPng", [](const fs::path& d, json*) { WriteBytes(d / "000000.image.png", std::string(40, 'x')); },
     "000000.image.png", "not a PNG file"},
    {"CameraMissing", [](const fs::path& d, json* m) { (*m)["cameras"].erase("Left"); Rewrite(d, *m); }, "manifest.json",
     "cameras.Left: missing"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReplayLoadTest, ::testing::ValuesIn(kBadCases),
                         [](const ::testing::TestParamInfo<BadCase>& i) { return std::string(i.param.name); });

TEST_F(ReplayTest, EntryKeysAreStrictAndRelativeFoldersFollowTheConfigurationFile) {
    WriteRecording(dir_, RecordingShape{});
    std::string error;
    EXPECT_FALSE(LoadConfigText(Entry(dir_, R"(, "scene": {})"), &error));
    EXPECT_EQ(error, "configuration text: devices[0].scene: not allowed on a replay device (it takes recording, at_end, "
                     "serial, name, connected)");
    EXPECT_FALSE(LoadConfigText(Entry(dir_, R"(, "at_end": "again")"), &error));
    EXPECT_NE(error.find("devices[0].at_end: expected \"loop\", \"hold\" or \"fail\""), std::string::npos) << error;
    EXPECT_FALSE(AddDevice(R"({"recording": 5})", &error));
    EXPECT_NE(error.find("device description: recording: expected a string"), std::string::npos) << error;

    // A configuration file's relative folder is relative to the file.
    const fs::path config = dir_.parent_path() / (dir_.filename().string() + "_config.json");
    std::ofstream(config) << R"({"devices": [{"recording": ")" << dir_.filename().string()
                          << R"(", "serial": "A"}, {"recording": ")" << dir_.filename().string()
                          << R"(/", "serial": "B", "name": "Second", "comment": "same recording"}]})";
    ASSERT_TRUE(LoadConfigFile(config.string(), &error)) << error;
    fs::remove(config);
    EXPECT_EQ(DeviceSerials(), (std::vector<std::string>{"A", "B"}));
    ASSERT_TRUE(Vyx::SystemInit());
    Vyx::DeviceInfo info;
    ASSERT_TRUE(Vyx::SystemFindDevice("B").GetDeviceInfo(&info));
    EXPECT_STREQ(info.name, "Second");
    EXPECT_STREQ(info.sn, "B");
    ASSERT_TRUE(Vyx::SystemFindDevice("A").GetDeviceInfo(&info));
    EXPECT_STREQ(info.name, "Recorded M130");
    EXPECT_STREQ(info.port, "USB 3.0 SuperSpeed 5 Gbit/s");
    EXPECT_STREQ(info.factroydate, "2024-01-01");
    EXPECT_EQ(info.type, Vyx::PortType_USB);
    EXPECT_EQ(info.boardmodel, 130);
    EXPECT_EQ(static_cast<int>(info.support_color), 4);
    EXPECT_EQ(static_cast<int>(info.support_capture_mode), 31);
    EXPECT_EQ(info.workingdist_far_mm, 800);
    Vyx::Device list[4];
    int count = 0;
    EXPECT_EQ(Vyx::SystemListDevices(list, 4, &count, Vyx::SystemListDeviceType::GigE), 0);
    EXPECT_EQ(count, 0);  // both on the recorded USB port
}

TEST(ReplayNpyTest, HeadersAreParsedStrictlyAndWithinTheirBytes) {
    const std::string good = NpyBytes("(3, 4)", std::vector<double>(12, 1.0));
    rec::NpyHeader h;
    std::string why;
    ASSERT_TRUE(rec::ParseNpyHeader(reinterpret_cast<const uint8_t*>(good.data()), good.size(), &h, &why)) << why;
    EXPECT_EQ(h.descr, "<f8");
    EXPECT_EQ(h.shape, (std::vector<int64_t>{3, 4}));
    EXPECT_EQ(h.data_offset % 64, 0u);
    // Every prefix of a header is refused without reading past it.
    const std::size_t header_end = h.data_offset;
    for (std::size_t n = 0; n < header_end; ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(rec::ParseNpyHeader(cut.data(), cut.size(), &h, &why)) << n;
    }
    for (const char* dict : {"{'descr': '<f8', 'fortran_order': False}", "{'descr': '<f8', 'fortran_order': Maybe, 'shape': (1,)}",
                             "{'descr': '<f8', 'fortran_order': False, 'shape': (99999999999,)}",
                             "{'descr': '<f8', 'descr': '<f8', 'fortran_order': False, 'shape': ()}",
                             "{'descr': '<f8, 'fortran_order': False, 'shape': ()}", "[1, 2]"}) {
        std::string bytes = std::string("\x93NUMPY\x01\x00", 8) + static_cast<char>(std::strlen(dict)) + '\0' + dict;
        EXPECT_FALSE(rec::ParseNpyHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &h, &why)) << dict;
    }
    std::string v3 = good;
    v3[6] = 3;
    EXPECT_FALSE(rec::ParseNpyHeader(reinterpret_cast<const uint8_t*>(v3.data()), v3.size(), &h, &why));
    EXPECT_NE(why.find("3.0 is not supported"), std::string::npos) << why;
}

// --- Hand-out ------------------------------------------------------------------

class ReplayX1Test : public ReplayTest, public ::testing::WithParamInterface<std::tuple<std::string, bool, std::string>> {};

TEST_P(ReplayX1Test, EveryCaptureHandsOutTheRecordedFrameBitForBit) {
    RecordingShape s;
    s.image_type = std::get<0>(GetParam());
    s.normals = std::get<1>(GetParam());
    s.camera_id = std::get<2>(GetParam());
    Load(s);
    const Vyx::CameraID id = s.camera_id == "Left" ? Vyx::CameraID_Left : Vyx::CameraID_Right;
    Vyx::X1 cam = OpenX1(id);
    const std::size_t n = static_cast<std::size_t>(s.width) * s.height;
    Vyx::Size size;
    ASSERT_TRUE(cam.GetCameraResolution(size));
    EXPECT_EQ(size.width, 16);
    EXPECT_EQ(size.height, 12);
    float k[9], d[5], e[16];
    ASSERT_TRUE(cam.GetIntrinsicParameters(k, d));
    ASSERT_TRUE(cam.GetExtrinsicMatrix(e));
    const double fx = id == Vyx::CameraID_Left ? 20.5 : 21.5;
    const float want_k[9] = {static_cast<float>(fx), 0, 8.25f, 0, static_cast<float>(fx + 0.5), 6.125f, 0, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(k[i], want_k[i]) << i;
    EXPECT_EQ(d[0], -0.0125f);
    EXPECT_EQ(d[4], 0.001f);
    EXPECT_EQ(e[3], id == Vyx::CameraID_Left ? 0.0f : 0.1f);

    for (int round = 0; round < 2 * s.frames; ++round) {
        const int f = round % s.frames;
        const Values v = FrameValues(s, f);
        ASSERT_TRUE(round % 2 ? cam.Capture() : cam.Capture(Vyx::X1::CaptureOptions())) << Vyx::GetLastErrorMessage();
        Vyx::PointMap pm = cam.GetPointMap();
        EXPECT_TRUE(SameBits(pm.GetPointDataPtr(), v.points.data(), 3 * n)) << f;
        if (s.normals) {
            ASSERT_NE(pm.GetNormalDataPtr(), nullptr);
            EXPECT_TRUE(SameBits(pm.GetNormalDataPtr(), v.normals.data(), 3 * n));
        } else {
            EXPECT_EQ(pm.GetNormalDataPtr(), nullptr);
        }
        EXPECT_EQ(pm.GetTimestamp(), 1000000u + 33333u * f);
        EXPECT_TRUE(SameBits(cam.GetDepthMap().GetDataPtr(), v.depth.data(), n));
        EXPECT_TRUE(SameBits(cam.GetConfidenceMap().GetDataPtr(), v.confidence.data(), n));
        Vyx::Image img = cam.GetImage();
        EXPECT_EQ(img.GetType(), s.image_type == "Mono8" ? Vyx::ImageType::Mono8
                                 : s.image_type == "BGR8" ? Vyx::ImageType::BGR8 : Vyx::ImageType::RGB8);
        EXPECT_EQ(std::memcmp(img.GetDataPtr(), v.left.data(), v.left.size()), 0);
        EXPECT_EQ(Info().last_frame, f);
    }
    // The mesh is built from the handed-out point map as after a live capture.
    EXPECT_TRUE(cam.GetMesh().IsValid());
    // Capture2D hands out the next frame's image and consumes the frame.
    ASSERT_TRUE(cam.Capture2D());
    EXPECT_EQ(std::memcmp(cam.GetImage().GetDataPtr(), FrameValues(s, 0).left.data(), 16 * 12), 0);
    EXPECT_FALSE(cam.GetPointMap().IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    EXPECT_EQ(Info().position, 1);
    cam.Close();
    Vyx::X1::Destroy(cam);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReplayX1Test,
                         ::testing::Values(std::make_tuple("Mono8", false, "Left"), std::make_tuple("BGR8", true, "Left"),
                                           std::make_tuple("RGB8", false, "Right")));

TEST_F(ReplayTest, X2HandsOutMapsCorrespondenceAndBothImagesWithTheRecordedTime) {
    RecordingShape s;
    s.x2 = true;
    s.image_type = "BGR8";
    s.normals = true;
    Load(s);
    Vyx::X2 x2 = Vyx::X2::Create(Vyx::SystemFindDevice("REPLAY-1"));
    ASSERT_TRUE(x2.Open()) << Vyx::GetLastErrorMessage();
    const std::size_t n = 16 * 12;
    float e[16];
    ASSERT_TRUE(x2.GetExtrinsicMatrix(Vyx::CameraID_Right, e));
    EXPECT_EQ(e[3], 0.1f);
    float k[9], d[5];
    ASSERT_TRUE(x2.GetIntrinsicParameters(Vyx::CameraID_Right, k, d));
    EXPECT_EQ(k[0], 21.5f);
    for (int f = 0; f < s.frames; ++f) {
        const Values v = FrameValues(s, f);
        ASSERT_TRUE(x2.Capture(Vyx::X2::CaptureOptions())) << Vyx::GetLastErrorMessage();
        EXPECT_TRUE(SameBits(x2.GetPointMap().GetPointDataPtr(), v.points.data(), 3 * n));
        EXPECT_TRUE(SameBits(x2.GetPointMap().GetNormalDataPtr(), v.normals.data(), 3 * n));
        EXPECT_TRUE(SameBits(x2.GetDepthMap().GetDataPtr(), v.depth.data(), n));
        EXPECT_TRUE(SameBits(x2.GetConfidenceMap().GetDataPtr(), v.confidence.data(), n));
        EXPECT_TRUE(SameBits(x2.GetCorrespondMap().GetDataPtr(), v.correspondence.data(), 2 * n));
        EXPECT_EQ(std::memcmp(x2.GetImage(Vyx::CameraID_Left).GetDataPtr(), v.left.data(), v.left.size()), 0);
        EXPECT_EQ(std::memcmp(x2.GetImage(Vyx::CameraID_Right).GetDataPtr(), v.right.data(), v.right.size()), 0);
        uint64_t t = 0;
        ASSERT_TRUE(x2.GetTimestamp(t));
        EXPECT_EQ(t, 1000000u + 33333u * f);
        EXPECT_EQ(x2.GetPointMap().GetTimestamp(), t);
    }
    // 2D captures: one camera's image of the next frame, the other's stays.
    ASSERT_TRUE(x2.Capture2D(Vyx::CameraID_Right));
    EXPECT_EQ(std::memcmp(x2.GetImage(Vyx::CameraID_Right).GetDataPtr(), FrameValues(s, 0).right.data(), 3 * n), 0);
    EXPECT_EQ(std::memcmp(x2.GetImage(Vyx::CameraID_Left).GetDataPtr(), FrameValues(s, 2).left.data(), 3 * n), 0);
    EXPECT_FALSE(x2.GetCorrespondMap().IsValid());
    EXPECT_FALSE(x2.Capture2D(Vyx::CameraID_Extra));
    EXPECT_EQ(Info().position, 1);
    Vyx::X2::Destroy(x2);
}

TEST_F(ReplayTest, OpeningAsTheOtherKindOrCameraFailsAtOpen) {
    Load(RecordingShape{});
    Vyx::X1 right = Vyx::X1::Create(Vyx::SystemFindDevice("REPLAY-1"), Vyx::CameraID_Right);
    ASSERT_TRUE(right.IsValid());
    EXPECT_FALSE(right.Open());
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("'REPLAY-1'"), std::string::npos);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(dir_.string()), std::string::npos);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("recorded as X1 (CameraID_Left)"), std::string::npos);
    Vyx::X2 x2 = Vyx::X2::Create(Vyx::SystemFindDevice("REPLAY-1"));
    EXPECT_FALSE(x2.Open());
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("cannot be opened as X2"), std::string::npos);
    Vyx::X1::Destroy(right);
    Vyx::X2::Destroy(x2);
}

TEST_F(ReplayTest, OperationsThatNeedTheSceneSayItIsAReplayDevice) {
    RecordingShape s;
    s.image_type = "BGR8";
    Load(s);
    Vyx::X1 cam = OpenX1();
    Vyx::X1::CaptureOptions o;
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"X1::SaveEncodedImagesData", [&] { return cam.SaveEncodedImagesData(dir_.c_str()); }},
        {"X1::AutoWhiteBalance", [&] { return cam.AutoWhiteBalance(1, o, Vyx::ROI(0, 0, 0, 0)); }},
        {"X1::GetAutoCaptureSetting", [&] { return cam.GetAutoCaptureSetting(o, Vyx::ROI(0, 0, 0, 0)); }},
        {"X1::GetAutoHdrCaptureSetting", [&] { return cam.GetAutoHdrCaptureSetting(o, Vyx::ROI(0, 0, 0, 0)); }},
        {"X1::GetAutoNoiseRemovalSetting", [&] { return cam.GetAutoNoiseRemovalSetting(o); }},
        {"X1::GetAuto2DExposureTime", [&] { return cam.GetAuto2DExposureTime(o, Vyx::ROI(0, 0, 0, 0)); }},
    };
    for (const auto& [op, call] : calls) {
        EXPECT_FALSE(call()) << op;
        EXPECT_EQ(Vyx::GetLastError(), kUnsupported) << op;
        const std::string msg = Vyx::GetLastErrorMessage();
        EXPECT_EQ(msg.rfind(op, 0), 0u) << msg;
        EXPECT_NE(msg.find("is a replay device"), std::string::npos) << msg;
    }
    // The device state still works as on a virtual device.
    EXPECT_TRUE(cam.SetBandwidth(50.0f));
    EXPECT_TRUE(cam.SetCurrentUserSet(2));
    float t = 0;
    EXPECT_TRUE(cam.GetProjectorTemperature(t));
    Vyx::X1::Destroy(cam);
}

// --- Cursor ---------------------------------------------------------------------

TEST_F(ReplayTest, AtEndLoopsHoldsOrFails) {
    for (const char* mode : {"loop", "hold", "fail"}) {
        Vyx::SystemShutdown();
        Load(RecordingShape{}, std::string(R"(, "at_end": ")") + mode + "\"");
        Vyx::X1 cam = OpenX1();
        std::vector<int64_t> frames;
        for (int i = 0; i < 5; ++i) {
            const bool ok = cam.Capture(Vyx::X1::CaptureOptions());
            frames.push_back(ok ? Info().last_frame : -2);
            if (!ok) {
                EXPECT_EQ(Vyx::GetLastError(), kNotAvailable);
                EXPECT_EQ(std::string(Vyx::GetLastErrorMessage()),
                          "X1::Capture: replay device 'REPLAY-1' has handed out all 3 frames of '" + dir_.string() +
                              "' (at_end is \"fail\")");
                // The last results stay.
                EXPECT_EQ(cam.GetPointMap().GetTimestamp(), 1000000u + 2 * 33333u);
            }
        }
        const std::string m = mode;
        const std::vector<int64_t> want = m == "loop"   ? std::vector<int64_t>{0, 1, 2, 0, 1}
                                          : m == "hold" ? std::vector<int64_t>{0, 1, 2, 2, 2}
                                                        : std::vector<int64_t>{0, 1, 2, -2, -2};
        EXPECT_EQ(frames, want) << mode;
        Vyx::X1::Destroy(cam);
    }
}

TEST_F(ReplayTest, SeekStepAndSteppingMoveTheCursorAndOnlyThem) {
    RecordingShape s;
    s.frames = 4;
    Load(s, R"(, "at_end": "fail")");
    std::string error;
    ReplayInfo info = Info();
    EXPECT_EQ(info.folder, dir_.string());
    EXPECT_EQ(info.camera, "X1");
    EXPECT_EQ(info.camera_id, "Left");
    EXPECT_EQ(info.frames, 4);
    EXPECT_EQ(info.at_end, "fail");
    EXPECT_EQ(info.position, 0);
    EXPECT_EQ(info.last_frame, -1);
    EXPECT_FALSE(ReplaySeek("REPLAY-1", 4, &error));
    EXPECT_NE(error.find("index 4 is out of range"), std::string::npos) << error;
    EXPECT_FALSE(ReplaySeek("REPLAY-1", -1, &error));
    EXPECT_FALSE(ReplaySeek("NOPE", 0, &error));
    EXPECT_NE(error.find("no device with serial number 'NOPE'"), std::string::npos) << error;

    Vyx::X1 cam = OpenX1();
    ASSERT_TRUE(ReplaySeek("REPLAY-1", 2, &error));
    ASSERT_TRUE(cam.Capture());
    EXPECT_EQ(cam.GetPointMap().GetTimestamp(), 1000000u + 2 * 33333u);
    EXPECT_EQ(Info().position, 3);
    ASSERT_TRUE(ReplaySetStepping("REPLAY-1", true, &error));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(cam.Capture());
        EXPECT_EQ(Info().last_frame, 3);
    }
    int64_t pos = 0;
    ASSERT_TRUE(ReplayStep("REPLAY-1", 5, &pos, &error));
    EXPECT_EQ(pos, 4);  // fail goes one past the end
    EXPECT_FALSE(cam.Capture());
    EXPECT_FALSE(ReplayStep("REPLAY-1", -1, &pos, &error));
    ASSERT_TRUE(ReplaySetStepping("REPLAY-1", false, &error));
    ASSERT_TRUE(ReplaySeek("REPLAY-1", 0, &error));
    ASSERT_TRUE(cam.Capture());
    EXPECT_EQ(Info().position, 1);
    Vyx::X1::Destroy(cam);
    // Reset reloads the device: the cursor starts at 0 again.
    Reset();
    EXPECT_FALSE(GetReplayInfo("REPLAY-1", &info, &error));  // back to the default devices
    EXPECT_NE(error.find("no device"), std::string::npos);
    std::string e2;
    EXPECT_FALSE(GetReplayInfo("VX1300001", &info, &e2));
    EXPECT_NE(e2.find("is not a replay device"), std::string::npos) << e2;
}

TEST_F(ReplayTest, StepFollowsAtEnd) {
    RecordingShape s;
    s.frames = 4;
    for (auto [mode, want] : {std::pair{"loop", std::vector<int64_t>{1, 3, 2, 2}}, std::pair{"hold", std::vector<int64_t>{1, 3, 3, 3}},
                              std::pair{"fail", std::vector<int64_t>{1, 3, 4, 4}}}) {
        Vyx::SystemShutdown();
        Load(s, std::string(R"(, "at_end": ")") + mode + "\"");
        std::vector<int64_t> got;
        std::string error;
        for (int64_t count : {1, 2, 3, 0}) {
            int64_t pos = -1;
            ASSERT_TRUE(ReplayStep("REPLAY-1", count, &pos, &error));
            got.push_back(pos);
        }
        EXPECT_EQ(got, want) << mode;
    }
}

// --- Options ----------------------------------------------------------------------

TEST_F(ReplayTest, OptionsThatActOnRecordedDataDoAndTheOthersDoNot) {
    RecordingShape s;
    s.normals = true;
    s.frames = 1;
    Load(s);
    Vyx::X1 cam = OpenX1();
    const std::size_t n = 16 * 12;
    const Values v = FrameValues(s, 0);
    auto capture = [&](const Vyx::X1::CaptureOptions& o) {
        EXPECT_TRUE(cam.Capture(o)) << Vyx::GetLastErrorMessage();
        Vyx::PointMap pm = cam.GetPointMap();
        return std::make_tuple(std::vector<double>(pm.GetPointDataPtr(), pm.GetPointDataPtr() + 3 * n),
                               std::vector<double>(pm.GetNormalDataPtr(), pm.GetNormalDataPtr() + 3 * n),
                               std::vector<double>(cam.GetDepthMap().GetDataPtr(), cam.GetDepthMap().GetDataPtr() + n),
                               std::vector<double>(cam.GetConfidenceMap().GetDataPtr(), cam.GetConfidenceMap().GetDataPtr() + n));
    };
    auto kept = [&](const std::vector<double>& pts, std::size_t k) { return !std::isnan(pts[3 * k]); };

    // Options without effect on recorded data leave the frame as recorded.
    Vyx::X1::CaptureOptions other;
    other.exposure_time_3d = 40;
    other.gain_3d = 6;
    other.scan_times = 3;
    other.smoothness = Vyx::SmoothnessLevel_Strong;
    other.calc_normal = false;
    other.capture_mode = Vyx::CaptureMode_Fast;
    other.hdr_exposure_times = 2;
    {
        auto [p, nn, d, c] = capture(other);
        EXPECT_TRUE(SameBits(p.data(), v.points.data(), 3 * n));
        EXPECT_TRUE(SameBits(nn.data(), v.normals.data(), 3 * n));
        EXPECT_TRUE(SameBits(d.data(), v.depth.data(), n));
        EXPECT_TRUE(SameBits(c.data(), v.confidence.data(), n));
    }
    // Region of interest.
    Vyx::X1::CaptureOptions roi;
    roi.roi = Vyx::ROI(4, 2, 8, 6);
    {
        auto [p, nn, d, c] = capture(roi);
        for (int j = 0; j < 12; ++j) {
            for (int i = 0; i < 16; ++i) {
                const std::size_t k = static_cast<std::size_t>(j) * 16 + i;
                const bool inside = i >= 4 && i < 12 && j >= 2 && j < 8;
                EXPECT_EQ(kept(p, k), inside && k != 0) << i << "," << j;
                EXPECT_EQ(std::isnan(d[k]), !inside || k == 0);
                EXPECT_EQ(std::isnan(nn[3 * k]), !inside || k == 0);
                if (!inside) EXPECT_EQ(c[k], 0.0);
                else EXPECT_EQ(c[k], v.confidence[k]);
            }
        }
    }
    // z truncation (millimetres of the output z) and confidence threshold.
    Vyx::X1::CaptureOptions trunc;
    trunc.truncate_z_min = 502.0;
    trunc.truncate_z_max = 504.0;
    trunc.confidence_threshold = 0.3;
    {
        auto [p, nn, d, c] = capture(trunc);
        int inside = 0;
        for (std::size_t k = 1; k < n; ++k) {
            const double zmm = v.points[3 * k + 2] * 1000.0;
            const bool want = zmm >= 502.0 && zmm <= 504.0 && v.confidence[k] >= 0.3;
            inside += want;
            EXPECT_EQ(kept(p, k), want) << k;
            EXPECT_EQ(std::isnan(d[k]), !want) << k;
        }
        EXPECT_GT(inside, 5);
        EXPECT_LT(inside, static_cast<int>(n) - 5);
    }
    // The custom transformation acts on points and normals; depth stays
    // camera z. Truncation applies to the transformed z.
    Vyx::X1::CustomTransformOptions ct;
    ct.coordinate_select = Vyx::X1::CustomTransformOptions::CoordinateSelect_Camera;
    const double T[16] = {0, -1, 0, 0.01, 1, 0, 0, -0.02, 0, 0, 1, 0.25, 0, 0, 0, 1};
    std::copy(T, T + 16, ct.transform);
    ASSERT_TRUE(cam.SetCustomTransformation(ct));
    {
        auto [p, nn, d, c] = capture(Vyx::X1::CaptureOptions());
        for (std::size_t k = 1; k < n; ++k) {
            const double* q = &v.points[3 * k];
            EXPECT_DOUBLE_EQ(p[3 * k + 0], -q[1] + 0.01);
            EXPECT_DOUBLE_EQ(p[3 * k + 1], q[0] - 0.02);
            EXPECT_DOUBLE_EQ(p[3 * k + 2], q[2] + 0.25);
            EXPECT_NEAR(nn[3 * k + 0], -v.normals[3 * k + 1], 1e-12);
            EXPECT_NEAR(nn[3 * k + 1], v.normals[3 * k + 0], 1e-12);
            EXPECT_EQ(d[k], v.depth[k]);
        }
        Vyx::X1::CaptureOptions t2;
        t2.truncate_z_max = 600.0;  // every recorded z (about 500 mm) is above 600 once moved by 250 mm
        auto [p2, n2, d2, c2] = capture(t2);
        for (std::size_t k = 0; k < n; ++k) EXPECT_FALSE(kept(p2, k)) << k;
    }
    ct.coordinate_select = Vyx::X1::CustomTransformOptions::CoordinateSelect_CaliBoard;
    ASSERT_TRUE(cam.SetCustomTransformation(ct));
    EXPECT_FALSE(cam.Capture(Vyx::X1::CaptureOptions()));
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("is a replay device"), std::string::npos);
    // Out-of-range options are refused as on any device, before a frame is taken.
    const int64_t before = Info().position;
    Vyx::X1::CaptureOptions bad;
    bad.exposure_time_3d = 1000;
    EXPECT_FALSE(cam.Capture(bad));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_EQ(Info().position, before);
    Vyx::X1::Destroy(cam);
}

TEST_F(ReplayTest, AFileDamagedAfterLoadingFailsTheCaptureAndKeepsTheCursor) {
    Load(RecordingShape{});
    Vyx::X1 cam = OpenX1();
    ASSERT_TRUE(cam.Capture());
    Truncate(dir_ / "000001.depth.npy", 16);
    EXPECT_FALSE(cam.Capture());
    EXPECT_EQ(Vyx::GetLastError(), kBadFile);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("000001.depth.npy"), std::string::npos);
    EXPECT_EQ(Info().position, 1);
    EXPECT_EQ(Info().last_frame, 0);
    EXPECT_TRUE(cam.GetPointMap().IsValid());  // the earlier results stay
    Vyx::X1::Destroy(cam);
}

// --- Threads ------------------------------------------------------------------------

class ReplayThreadsTest : public ReplayTest {};

TEST_F(ReplayThreadsTest, CapturingAndSeekingOneDeviceSeeWholeFrames) {
    RecordingShape s;
    s.frames = 5;
    Load(s);
    Vyx::X1 cam = OpenX1();
    const std::size_t n = 16 * 12;
    std::vector<Values> frames;
    for (int f = 0; f < s.frames; ++f) frames.push_back(FrameValues(s, f));
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0}, captures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                if (!cam.Capture()) {
                    ++bad;
                    continue;
                }
                // Another thread's capture may have ended these results already.
                Vyx::PointMap pm = cam.GetPointMap().Clone();
                ++captures;
                if (!pm.IsValid()) continue;
                const uint64_t ts = pm.GetTimestamp();
                const int f = static_cast<int>((ts - 1000000u) / 33333u);
                if (f < 0 || f >= s.frames || !SameBits(pm.GetPointDataPtr(), frames[f].points.data(), 3 * n)) ++bad;
                Vyx::PointMap::Destroy(pm);
            }
        });
    }
    threads.emplace_back([&] {
        std::string error;
        for (int i = 0; !stop; ++i) {
            ReplaySeek("REPLAY-1", i % 5, &error);
            ReplaySetStepping("REPLAY-1", i % 3 == 0, &error);
            int64_t pos;
            ReplayStep("REPLAY-1", i % 4, &pos, &error);
            ReplayInfo info;
            GetReplayInfo("REPLAY-1", &info, &error);
            if (info.position < 0 || info.position >= 5) ++bad;
        }
    });
    for (int t = 0; t < 3; ++t) threads[static_cast<std::size_t>(t)].join();
    stop = true;
    threads.back().join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(captures.load(), 120);
    Vyx::X1::Destroy(cam);
}

}  // namespace
}  // namespace vyxsim
