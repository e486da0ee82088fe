// X2 captures: stereo geometry against the scene's ground truth, the noise
// with the stereo baseline, the frames points come in, images of both
// cameras, results and their lifetime, the trace, lifecycle, disconnection
// and threads.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include <unistd.h>

#include "sensor/exposure.h"
#include "sensor/noise.h"
#include "core/error.h"
#include "test_x2_support.h"

namespace vyxsim::x2test {
namespace {

using X2Test = X2Fixture;

// ---------------------------------------------------------------------------
// Stereo geometry.

// For every left pixel the correspondence is where the right camera, with
// the calibration the X2 returns, sees the true surface point of that pixel;
// NaN exactly where the right camera does not see that point.
TEST_F(X2Test, CorrespondenceIsWhereTheRightCameraSeesTheSamePoint) {
    AddOddDevice();
    for (const char* serial : {kGrey, kOdd}) {
        SCOPED_TRACE(serial);
        X2 cam = OpenX2(serial);
        ASSERT_TRUE(cam.Capture(Opts())) << Vyx::GetLastErrorMessage();
        const Calibration left = CalibrationOf(cam, Vyx::CameraID_Left);
        const Calibration right = CalibrationOf(cam, Vyx::CameraID_Right);
        auto d = Device(serial);
        const scene::Frame tl = Truth(serial, d->left);
        const scene::Frame tr = Truth(serial, d->right);
        auto rays_l = scene::RaysFor(d->left);
        auto rays_r = scene::RaysFor(d->right);
        Vyx::CorrespondMap cm = cam.GetCorrespondMap();
        ASSERT_TRUE(cm.IsValid());
        ASSERT_EQ(cm.GetSize().width, tl.width);
        ASSERT_EQ(cm.GetSize().height, tl.height);
        const double* uv = cm.GetDataPtr();
        const double* pts = cam.GetPointMap().GetPointDataPtr();
        const Eigen::Matrix4d left_to_right = right.pose.inverse() * left.pose;

        double worst = 0.0;
        std::size_t lit = 0, matched = 0, same_point = 0, hidden = 0, missed = 0, points_unmatched = 0;
        for (int v = 0; v < tl.height; ++v) {
            for (int u = 0; u < tl.width; ++u) {
                const std::size_t k = static_cast<std::size_t>(v) * tl.width + u;
                const bool has = !std::isnan(uv[2 * k]);
                ASSERT_EQ(has, !std::isnan(uv[2 * k + 1]));
                if (!has) points_unmatched += !Nan3(pts + 3 * k);
                if (!(tl.depth[k] > 0.0f) || !(tl.irradiance[k] > 0.0f)) {
                    ASSERT_FALSE(has) << "unlit left pixel " << u << "," << v;
                    continue;
                }
                ++lit;
                const Eigen::Vector3d pl = tl.depth[k] * Eigen::Vector3d(rays_l->x[k], rays_l->y[k], 1.0);
                const Eigen::Vector3d pr = (left_to_right * pl.homogeneous()).head<3>();
                const Eigen::Vector2d expect = right.Project(pr);
                const int ur = static_cast<int>(std::lround(expect.x())), vr = static_cast<int>(std::lround(expect.y()));
                const bool inside = ur >= 0 && vr >= 0 && ur < tr.width && vr < tr.height;
                // What the right camera sees at that pixel, against the point.
                double gap = 1.0;
                if (inside) {
                    const std::size_t kr = static_cast<std::size_t>(vr) * tr.width + ur;
                    if (tr.depth[kr] > 0.0f) {
                        const Eigen::Vector3d q = tr.depth[kr] * Eigen::Vector3d(rays_r->x[kr], rays_r->y[kr], 1.0);
                        gap = (q - pr).norm();
                    }
                }
                if (has) {
                    ++matched;
                    worst = std::max(worst, (Eigen::Vector2d(uv[2 * k], uv[2 * k + 1]) - expect).norm());
                    same_point += gap < 0.003;
                } else if (inside && gap > 0.01 && tr.depth[static_cast<std::size_t>(vr) * tr.width + ur] < pr.z()) {
                    ++hidden;  // something nearer hides the point from the right camera
                } else if (inside && gap < 0.0005) {
                    ++missed;  // the right camera sees the point, yet no match
                }
            }
        }
        EXPECT_EQ(points_unmatched, 0u) << "a point without a match in the right camera";
        EXPECT_LT(worst, 0.01);
        EXPECT_GT(matched, lit * 7 / 10);
        EXPECT_GT(same_point, matched * 99 / 100);
        EXPECT_GT(hidden, 2000u);
        EXPECT_LT(missed, lit / 1000);
        cam.Close();
        X2::Destroy(cam);
    }
}

// The depth noise is sigma_z = k_mode z^2 / (fx B) / sqrt(scans) with B the
// distance between the cameras (twice the camera-projector distance here).
TEST_F(X2Test, DepthNoiseUsesTheStereoBaseline) {
    X2 cam = OpenX2(kGrey);
    auto d = Device(kGrey);
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kGrey, d->left, &sc);
    int table = -1;
    for (std::size_t i = 0; i < sc->objects.size(); ++i) {
        if (sc->objects[i].name == "table") table = static_cast<int>(i);
    }
    ASSERT_GE(table, 0);
    const double baseline = (scene::CameraCentre(d->right) - scene::CameraCentre(d->left)).norm();
    EXPECT_NEAR(baseline, 0.1, 1e-12);
    for (int scans : {1, 4}) {
        Opts o;
        o.scan_times = scans;
        ASSERT_TRUE(cam.Capture(o)) << Vyx::GetLastErrorMessage();
        const double* depth = cam.GetDepthMap().GetDataPtr();
        const double s1 = cam::Mode(Vyx::CaptureMode_Normal).disparity_sigma_px / (d->left.fx * baseline) / std::sqrt(scans);
        double sum = 0.0, sum2 = 0.0;
        std::size_t n = 0;
        for (std::size_t k = 0; k < truth.Size(); ++k) {
            if (truth.object[k] != table + 1 || std::isnan(depth[k])) continue;
            const double z = truth.depth[k];
            const double e = (depth[k] - z) / (s1 * z * z);
            sum += e;
            sum2 += e * e;
            ++n;
        }
        ASSERT_GT(n, 200000u);
        const double mean = sum / n, std = std::sqrt(sum2 / n - mean * mean);
        EXPECT_NEAR(std, 1.0, 0.04) << scans << " scans";
        EXPECT_NEAR(mean, 0.0, 0.01) << scans << " scans";
    }
}

// Points come in the frame transform_to_camera and the custom
// transformation select, on the measuring camera's pixel grid: taken back to
// that camera with the returned calibration they land on their own pixel,
// and taken to the other camera they land where the correspondence says.
TEST_F(X2Test, PointsProjectIntoEachCameraWithItsCalibration) {
    AddOddDevice();
    using CT = X2::CustomTransformOptions;
    struct Case {
        const char* serial;
        Vyx::CameraID tcam;
        CT::CoordinateSelect select;
    } cases[] = {{kGrey, Vyx::CameraID_Left, CT::CoordinateSelect_Disabled},
                 {kGrey, Vyx::CameraID_Right, CT::CoordinateSelect_Disabled},
                 {kGrey, Vyx::CameraID_Left, CT::CoordinateSelect_CameraRight},
                 {kGrey, Vyx::CameraID_Right, CT::CoordinateSelect_CaliBoard},
                 {kOdd, Vyx::CameraID_Right, CT::CoordinateSelect_Disabled},
                 {kOdd, Vyx::CameraID_Extra, CT::CoordinateSelect_Disabled},
                 {kOdd, Vyx::CameraID_Left, CT::CoordinateSelect_CameraExtra}};
    Eigen::Matrix4d T = Eigen::Matrix4d::Identity();
    T.block<3, 3>(0, 0) = scene::RotationFromDegrees(15, -25, 40);
    T.block<3, 1>(0, 3) = Eigen::Vector3d(0.2, -0.1, 0.9);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.serial) + " transform_to_camera " + std::to_string(c.tcam) + " select " +
                     std::to_string(c.select));
        X2 cam = OpenX2(c.serial);
        CT ct;
        ct.coordinate_select = c.select;
        if (c.select != CT::CoordinateSelect_Disabled) {
            for (int i = 0; i < 16; ++i) ct.transform[i] = T(i / 4, i % 4);
        }
        ASSERT_TRUE(cam.SetCustomTransformation(ct)) << Vyx::GetLastErrorMessage();
        Opts o;
        o.transform_to_camera = c.tcam;
        o.scan_times = 8;
        ASSERT_TRUE(cam.Capture(o)) << Vyx::GetLastErrorMessage();

        const bool right_measures = c.tcam == Vyx::CameraID_Right;
        const Calibration meas = CalibrationOf(cam, right_measures ? Vyx::CameraID_Right : Vyx::CameraID_Left);
        const Calibration other = CalibrationOf(cam, right_measures ? Vyx::CameraID_Left : Vyx::CameraID_Right);
        // The way from the returned frame back to the device frame.
        Eigen::Matrix4d to_device;
        switch (c.select) {
            case CT::CoordinateSelect_CameraRight: to_device = CalibrationOf(cam, Vyx::CameraID_Right).pose * T.inverse(); break;
            case CT::CoordinateSelect_CameraExtra: to_device = CalibrationOf(cam, Vyx::CameraID_Extra).pose * T.inverse(); break;
            case CT::CoordinateSelect_CaliBoard: {
                std::string error;
                scene::BoardTruth board;
                ASSERT_TRUE(scene::BoardGroundTruth(*scene::SceneForDevice(Device(c.serial), &error), &board));
                to_device = board.pose * T.inverse();
                break;
            }
            default: to_device = CalibrationOf(cam, c.tcam).pose; break;
        }
        Vyx::PointMap pm = cam.GetPointMap();
        const Vyx::Size sz = pm.GetSize();
        const double* p = pm.GetPointDataPtr();
        const double* uv = cam.GetCorrespondMap().GetDataPtr();
        const Vyx::Size csz = cam.GetCorrespondMap().GetSize();
        double worst_own = 0.0, worst_other = 0.0;
        std::size_t n = 0, far_off = 0;
        for (int v = 0; v < sz.height; ++v) {
            for (int u = 0; u < sz.width; ++u) {
                const std::size_t k = static_cast<std::size_t>(v) * sz.width + u;
                if (std::isnan(p[3 * k])) continue;
                const Eigen::Vector3d dev = (to_device * Eigen::Vector4d(p[3 * k], p[3 * k + 1], p[3 * k + 2], 1.0)).head<3>();
                worst_own = std::max(worst_own, (meas.ProjectDevice(dev) - Eigen::Vector2d(u, v)).norm());
                const Eigen::Vector2d seen = other.ProjectDevice(dev);
                if (!right_measures) {
                    // Disparity noise only: 0.07 px / sqrt(8), bounded at 3.5 sigma.
                    worst_other = std::max(worst_other, (seen - Eigen::Vector2d(uv[2 * k], uv[2 * k + 1])).norm());
                } else {
                    const int ul = static_cast<int>(std::lround(seen.x())), vl = static_cast<int>(std::lround(seen.y()));
                    if (ul < 0 || vl < 0 || ul >= csz.width || vl >= csz.height) {
                        ++far_off;
                    } else {
                        const std::size_t kl = static_cast<std::size_t>(vl) * csz.width + ul;
                        far_off += !(std::hypot(uv[2 * kl] - u, uv[2 * kl + 1] - v) < 1.5);
                    }
                }
                ++n;
            }
        }
        EXPECT_GT(n, Pixels(sz) / 2);
        EXPECT_LT(worst_own, 0.02);
        EXPECT_LT(worst_other, 0.12);
        EXPECT_LT(far_off, n / 100);
        ASSERT_TRUE(cam.SetCustomTransformation(CT()));
        cam.Close();
        X2::Destroy(cam);
    }
}

// The options of the shared measurement act on the measuring camera's grid
// and in the output frame.
TEST_F(X2Test, RoiTruncationAndNormalsApplyToTheMeasuringCamera) {
    X2 cam = OpenX2(kGrey);
    std::vector<std::pair<const char*, Opts>> cases(3);
    cases[0].first = "roi of the right camera";
    cases[0].second.transform_to_camera = Vyx::CameraID_Right;
    cases[0].second.roi = Vyx::ROI(200, 160, 400, 300);
    cases[1].first = "truncation";
    cases[1].second.truncate_z_min = 600.0;
    cases[1].second.truncate_z_max = 700.0;
    cases[2].first = "normals";
    cases[2].second.calc_normal = true;
    for (const auto& [what, o] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(cam.Capture(o)) << Vyx::GetLastErrorMessage();
        Vyx::PointMap pm = cam.GetPointMap();
        const double* p = pm.GetPointDataPtr();
        const double* n = pm.GetNormalDataPtr();
        ASSERT_EQ(n != nullptr, o.calc_normal);
        const double* conf = cam.GetConfidenceMap().GetDataPtr();
        std::size_t valid = 0, with_normal = 0;
        for (int v = 0; v < 1024; ++v) {
            for (int u = 0; u < 1280; ++u) {
                const std::size_t k = static_cast<std::size_t>(v) * 1280 + u;
                if (std::isnan(p[3 * k + 2])) {
                    ASSERT_EQ(conf[k], 0.0);
                    continue;
                }
                ++valid;
                if (o.roi.width > 0) {
                    ASSERT_TRUE(u >= 200 && u < 600 && v >= 160 && v < 460) << u << "," << v;
                }
                ASSERT_GE(p[3 * k + 2] * 1000.0, o.truncate_z_min);
                ASSERT_LE(p[3 * k + 2] * 1000.0, o.truncate_z_max);
                if (n && !std::isnan(n[3 * k])) {
                    const Eigen::Vector3d nv(n[3 * k], n[3 * k + 1], n[3 * k + 2]);
                    ASSERT_NEAR(nv.norm(), 1.0, 1e-9);
                    ASSERT_LE(nv.dot(Eigen::Vector3d(p[3 * k], p[3 * k + 1], p[3 * k + 2])), 0.0);  // toward the camera
                    ++with_normal;
                }
            }
        }
        EXPECT_GT(valid, o.roi.width > 0 ? 400u * 300u / 2 : 1280u * 1024u / 10);
        if (n) {
            EXPECT_GT(with_normal, valid * 9 / 10);
        }
    }
}

// ---------------------------------------------------------------------------
// Images and results.

TEST_F(X2Test, EachCameraHasItsImageAndCapture2DReplacesOnlyItsOwn) {
    X2 cam = OpenX2(kGrey);
    Vyx::Image before = cam.GetImage(Vyx::CameraID_Left);
    EXPECT_FALSE(before.IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    ASSERT_TRUE(cam.Capture(Opts()));
    Vyx::Image left = cam.GetImage(Vyx::CameraID_Left), right = cam.GetImage(Vyx::CameraID_Right);
    ASSERT_TRUE(left.IsValid() && right.IsValid());
    EXPECT_EQ(left.GetType(), Vyx::ImageType::Mono8);
    const std::size_t n = 1280u * 1024u;
    const std::vector<uint8_t> left_px(left.GetDataPtr(), left.GetDataPtr() + n);
    const std::vector<uint8_t> right_px(right.GetDataPtr(), right.GetDataPtr() + n);
    std::size_t differ = 0;
    for (std::size_t k = 0; k < n; ++k) differ += left_px[k] != right_px[k];
    EXPECT_GT(differ, n / 4);  // the cameras see the scene from 10 cm apart

    // A 2D capture of the right camera: a brighter right image, the left
    // image of the 3D capture kept, the 3D results gone.
    Opts bright;
    bright.exposure_time_2d = 30;
    ASSERT_TRUE(cam.Capture2D(Vyx::CameraID_Right, bright)) << Vyx::GetLastErrorMessage();
    Vyx::Image left2 = cam.GetImage(Vyx::CameraID_Left), right2 = cam.GetImage(Vyx::CameraID_Right);
    ASSERT_TRUE(left2.IsValid() && right2.IsValid());
    EXPECT_TRUE(std::equal(left_px.begin(), left_px.end(), left2.GetDataPtr()));
    double sum_before = 0.0, sum_after = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        sum_before += right_px[k];
        sum_after += right2.GetDataPtr()[k];
    }
    EXPECT_GT(sum_after, 1.5 * sum_before);
    EXPECT_FALSE(right.IsValid());  // replaced
    for (auto fails : {+[](X2& c) { return c.GetPointMap().IsValid(); }, +[](X2& c) { return c.GetDepthMap().IsValid(); },
                       +[](X2& c) { return c.GetCorrespondMap().IsValid(); }, +[](X2& c) { return c.GetMesh().IsValid(); }}) {
        EXPECT_FALSE(fails(cam));
        EXPECT_EQ(Vyx::GetLastError(), kWrongState);
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("2D capture"), std::string::npos);
    }
    // Both cameras at once; cameras that are not there.
    ASSERT_TRUE(cam.Capture2D(Vyx::CameraID_Both));
    EXPECT_FALSE(left2.IsValid());
    EXPECT_TRUE(cam.GetImage(Vyx::CameraID_Left).IsValid());
    EXPECT_FALSE(cam.Capture2D(Vyx::CameraID_Extra));
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_FALSE(cam.GetImage(Vyx::CameraID_Extra).IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_FALSE(cam.Capture2D(Vyx::CameraID_NONE));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    // Without 2D in the 3D capture there are no images.
    Opts no2d;
    no2d.enable_2d_in_capture = false;
    ASSERT_TRUE(cam.Capture(no2d));
    EXPECT_FALSE(cam.GetImage(Vyx::CameraID_Right).IsValid());
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("enable_2d_in_capture"), std::string::npos);
}

TEST_F(X2Test, ExtraCameraTakesImagesWhenTheDeviceHasOne) {
    AddOddDevice();
    X2 cam = OpenX2(kOdd);
    ASSERT_TRUE(cam.Capture2D(Vyx::CameraID_Extra)) << Vyx::GetLastErrorMessage();
    Vyx::Image extra = cam.GetImage(Vyx::CameraID_Extra);
    ASSERT_TRUE(extra.IsValid());
    EXPECT_EQ(extra.GetSize().width, 640);
    std::size_t lit = 0;
    for (std::size_t k = 0; k < 640u * 512u; ++k) lit += extra.GetDataPtr()[k] > 20;
    EXPECT_GT(lit, 640u * 512u / 2);
    EXPECT_FALSE(cam.GetImage(Vyx::CameraID_Left).IsValid());
}

TEST_F(X2Test, ResultsLiveUntilTheNextCaptureAndDestroyReleasesThem) {
    X2 cam = OpenX2(kGrey);
    const std::size_t baseline = LiveObjects();  // the camera among them
    ASSERT_TRUE(cam.Capture(Opts()));
    Vyx::PointMap pm = cam.GetPointMap();
    Vyx::Mesh mesh = cam.GetMesh();
    ASSERT_TRUE(mesh.IsValid());
    EXPECT_GT(mesh.GetSize().height, 100000);
    Vyx::PointMap kept = pm.Clone();
    Vyx::CorrespondMap cm = cam.GetCorrespondMap();
    ASSERT_TRUE(cam.Capture(Opts()));
    EXPECT_FALSE(pm.IsValid());
    EXPECT_FALSE(cm.IsValid());
    EXPECT_FALSE(mesh.IsValid());
    EXPECT_TRUE(kept.IsValid());
    // The same result handle twice, and again after the caller destroyed it.
    Vyx::DepthMap a = cam.GetDepthMap(), b = cam.GetDepthMap();
    EXPECT_EQ(Vyx::HandleAccess::Get(a).a, Vyx::HandleAccess::Get(b).a);
    Vyx::PointMap::Destroy(cam.GetPointMap());
    EXPECT_TRUE(cam.GetPointMap().IsValid());
    X2::Destroy(cam);
    EXPECT_TRUE(Vyx::HandleAccess::Get(cam).IsZero());
    EXPECT_FALSE(a.IsValid());
    Vyx::PointMap::Destroy(kept);
    EXPECT_EQ(LiveObjects(), baseline - 1);
}

TEST_F(X2Test, EncodedImagesHoldBothCamerasPatterns) {
    X2 cam = OpenX2(kGrey);
    const std::string dir = ::testing::TempDir() + "x2_patterns_" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(cam.SaveEncodedImagesData(dir.c_str()));
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    Opts o;
    o.capture_mode = Vyx::CaptureMode_Fast;
    ASSERT_TRUE(cam.Capture(o));
    ASSERT_TRUE(cam.SaveEncodedImagesData(dir.c_str())) << Vyx::GetLastErrorMessage();
    const int patterns = cam::Mode(Vyx::CaptureMode_Fast).PatternCount();
    int left = 0, right = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        left += name.rfind("left_pattern_", 0) == 0;
        right += name.rfind("right_pattern_", 0) == 0;
        Vyx::Image img = Vyx::Image::CreateFromFile(e.path().c_str());
        EXPECT_TRUE(img.IsValid()) << name;
        EXPECT_EQ(img.GetSize().width, 1280);
        Vyx::Image::Destroy(img);
    }
    EXPECT_EQ(left, patterns);
    EXPECT_EQ(right, patterns);
    EXPECT_TRUE(std::filesystem::exists(dir + "/right_pattern_00_white.png"));
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------
// Trace, lifecycle, disconnection.

TEST_F(X2Test, TraceTellsTheOverloadsApart) {
    X2 cam = OpenX2(kGrey);
    const Words w = Vyx::HandleAccess::Get(cam);
    const std::string self = "x2=#" + std::to_string(w.a) + "." + std::to_string(w.b);
    Opts o;
    o.exposure_time_2d = 20;
    Vyx::PointMap pm;
    SetTraceEnabled(true);
    ClearTrace();
    cam.Capture();
    cam.Capture(Opts());
    cam.Capture2D(Vyx::CameraID_Right);
    cam.Capture2D(Vyx::CameraID_Right, o);
    cam.StartFixedLineScan();
    cam.GetFixedLineScanPointMap();
    cam.GetFixedLineScanPointMap(pm);
    cam.StopFixedLineScan();
    const std::vector<std::string> lines = TakeTrace();
    SetTraceEnabled(false);
    const std::vector<std::string> expect = {
        "X2::Capture(" + self + ")",
        "X2::Capture(" + self + ", options=\"default\")",
        "X2::Capture2D(" + self + ", camera=2)",
        "X2::Capture2D(" + self + ", camera=2, options=\"exposure_time_2d=20\")",
        "X2::StartFixedLineScan(" + self + ")",
        "X2::GetFixedLineScanPointMap(" + self + ")",
        "X2::GetFixedLineScanPointMap(" + self + ", map=#0.0)",
        "X2::StopFixedLineScan(" + self + ")"};
    std::vector<std::string> x2_lines;
    for (const std::string& l : lines) {
        if (l.rfind("X2::", 0) == 0) x2_lines.push_back(l);
    }
    EXPECT_EQ(x2_lines, expect);
}

TEST_F(X2Test, CreateNeedsAnX2DeviceAndOneHandleOpensIt) {
    EXPECT_TRUE(Vyx::HandleAccess::Get(X2::Create(Vyx::Device())).IsZero());
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
    std::string error;
    ASSERT_TRUE(AddDevice(R"({"name": "mono", "serial": "VXMONO01", "port": "USB", "capabilities": {"x2": false}})", &error))
        << error;
    EXPECT_TRUE(Vyx::HandleAccess::Get(X2::Create(Vyx::SystemFindDevice("VXMONO01"))).IsZero());
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("VXMONO01"), std::string::npos);

    // A zero handle answers without crashing.
    X2 zero;
    EXPECT_FALSE(zero.IsValid());
    EXPECT_FALSE(zero.Open());
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);

    X2 a = X2::Create(Vyx::SystemFindDevice(kGrey));
    X2 b = X2::Create(Vyx::SystemFindDevice(kGrey));
    EXPECT_FALSE(a.IsOpen());
    EXPECT_FALSE(a.Capture());
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
    ASSERT_TRUE(a.Open());
    EXPECT_TRUE(a.Open());  // again: still the owner
    EXPECT_FALSE(b.Open());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    Vyx::X1 x1 = Vyx::X1::Create(Vyx::SystemFindDevice(kGrey), Vyx::CameraID_Left);
    EXPECT_FALSE(x1.Open());
    a.Close();
    EXPECT_FALSE(a.IsOpen());
    ASSERT_TRUE(x1.Open());
    EXPECT_FALSE(b.Open());
    x1.Close();
    EXPECT_TRUE(b.Open());
    X2::Destroy(b);  // destroying the owner frees the device
    EXPECT_TRUE(Vyx::HandleAccess::Get(b).IsZero());
    EXPECT_TRUE(a.Open());
    X2 copy = a;
    X2::Destroy(a);
    EXPECT_FALSE(copy.IsValid());
    EXPECT_FALSE(copy.Capture());
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
    Vyx::X1::Destroy(x1);
}

TEST_F(X2Test, UnplugFailsCapturesAndReplugLetsOpenAgain) {
    X2 cam = OpenX2(kGrey);
    ASSERT_TRUE(cam.Capture(Opts()));
    ASSERT_TRUE(Unplug(kGrey));
    EXPECT_FALSE(cam.IsPhysicallyConnected());
    EXPECT_TRUE(cam.IsValid());
    for (bool (*call)(X2&) : {+[](X2& c) { return c.Capture(); }, +[](X2& c) { return c.Capture2D(Vyx::CameraID_Left); },
                              +[](X2& c) { return c.StartFixedLineScan(); },
                              +[](X2& c) { uint64_t t; return c.GetTimestamp(t); }}) {
        EXPECT_FALSE(call(cam));
        EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(kGrey), std::string::npos);
    }
    EXPECT_FALSE(cam.IsOpen());
    EXPECT_FALSE(cam.Open());
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    EXPECT_TRUE(cam.GetPointMap().IsValid());  // the last results stay readable
    ASSERT_TRUE(Replug(kGrey));
    EXPECT_TRUE(cam.IsPhysicallyConnected());
    EXPECT_FALSE(cam.IsOpen());
    ASSERT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
    EXPECT_TRUE(cam.Capture());
}

// ---------------------------------------------------------------------------
// Threads.

using X2Threads = X2Fixture;

// Several threads use one X2 at once: captures with readers and settings
// calls, then a line scan read from every thread while captures are refused.
TEST_F(X2Threads, ManyThreadsShareOneCamera) {
    AddOddDevice();
    X2 cam = OpenX2(kOdd);
    const std::size_t baseline_objects = LiveObjects();
    std::atomic<int> unexpected{0}, captures{0}, reads{0}, refused{0}, profiles{0};
    std::atomic<bool> stop{false};
    auto allowed = [&](bool ok, std::initializer_list<int> errors) {
        if (ok) return true;
        const int e = Vyx::GetLastError();
        if (std::find(errors.begin(), errors.end(), e) == errors.end()) ++unexpected;
        return false;
    };
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < 4; ++i) {
            Opts o;
            o.transform_to_camera = i % 2 ? Vyx::CameraID_Right : Vyx::CameraID_Left;
            captures += allowed(cam.Capture(o), {});
            captures += allowed(cam.Capture2D(i % 2 ? Vyx::CameraID_Both : Vyx::CameraID_Extra), {});
        }
        stop = true;
    });
    threads.emplace_back([&] {
        while (!stop) {
            // Results of a 2D capture have no point map; a result may be
            // replaced between the call and the check.
            reads += allowed(cam.GetPointMap().IsValid(), {kWrongState, kInvalidHandle});
            reads += allowed(cam.GetImage(Vyx::CameraID_Left).IsValid(), {kWrongState, kInvalidHandle});
            reads += allowed(cam.GetCorrespondMap().IsValid(), {kWrongState, kInvalidHandle});
        }
    });
    threads.emplace_back([&] {
        while (!stop) {
            float c;
            uint64_t t;
            int index;
            allowed(cam.GetCameraTemperature(Vyx::CameraID_Right, Vyx::CameraTempSelector_Sensor, c), {});
            allowed(cam.GetTimestamp(t), {});
            allowed(cam.GetCurrentUserSet(index), {});
            allowed(cam.SetUserSetName(1, "threads"), {});
        }
    });
    for (auto& t : threads) t.join();
    threads.clear();
    EXPECT_EQ(captures.load(), 8);
    EXPECT_GT(reads.load(), 0);

    ASSERT_TRUE(cam.StartFixedLineScan());  // software trigger: one profile per call
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            Vyx::PointMap own;
            for (int i = 0; i < 5; ++i) {
                profiles += allowed(cam.GetFixedLineScanPointMap(own), {});
                Vyx::PointMap fresh = cam.GetFixedLineScanPointMap();
                profiles += allowed(fresh.IsValid(), {});
                Vyx::PointMap::Destroy(fresh);
                refused += !cam.Capture() && Vyx::GetLastError() == kWrongState;
            }
            Vyx::PointMap::Destroy(own);
        });
    }
    for (auto& t : threads) t.join();
    Vyx::PointMap all = cam.GetFixedLineScanPointMap();
    EXPECT_EQ(all.GetSize().height, 31);  // every call triggered exactly one profile
    EXPECT_TRUE(cam.StopFixedLineScan());
    Vyx::PointMap::Destroy(all);
    EXPECT_EQ(profiles.load(), 30);
    EXPECT_EQ(refused.load(), 15);
    EXPECT_EQ(unexpected.load(), 0);
    X2::Destroy(cam);
    EXPECT_EQ(LiveObjects(), baseline_objects - 1);  // the camera and all its results are gone
}

}  // namespace
}  // namespace vyxsim::x2test
