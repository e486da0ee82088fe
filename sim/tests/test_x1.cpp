// X1 captures: geometry against the scene's ground truth, the documented
// noise model, options, 2D images, results and their lifetime, lifecycle,
// disconnection and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <Eigen/Dense>

#include "camera/options.h"
#include "sensor/exposure.h"
#include "sensor/noise.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/handles.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/device_scenes.h"
#include "scene/ground_truth.h"
#include "scene/scene.h"
#include "vyx/system.h"
#include "vyx/x1.h"
#include "vyxsim/control.h"
#include "test_clock_support.h"

namespace vyxsim {
namespace {

using Vyx::X1;
using Opts = Vyx::X1::CaptureOptions;

constexpr const char* kGrey = "VX1300001";
constexpr const char* kColour = "VX2300002";

template <class H>
std::pair<uint32_t, uint32_t> WordsOf(const H& h) {
    const Words w = Vyx::HandleAccess::Get(h);
    return {w.a, w.b};
}

class X1Test : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        ASSERT_TRUE(Vyx::SystemInit());
    }
    void TearDown() override { Reset(); }

    X1 Open(const char* serial, Vyx::CameraID camid = Vyx::CameraID_Left) {
        X1 cam = X1::Create(Vyx::SystemFindDevice(serial), camid);
        EXPECT_TRUE(cam.IsValid()) << Vyx::GetLastErrorMessage();
        EXPECT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
        return cam;
    }

    static const CameraModel& Model(const char* serial, Vyx::CameraID camid) {
        auto d = FindDeviceBySerial(serial);
        return camid == Vyx::CameraID_Right ? d->right : d->left;
    }

    // The noise-free view: depth and object per pixel.
    static scene::Frame Truth(const char* serial, Vyx::CameraID camid, std::shared_ptr<const scene::Scene>* sc = nullptr) {
        auto d = FindDeviceBySerial(serial);
        std::string error;
        auto s = scene::SceneForDevice(d, &error);
        EXPECT_TRUE(s) << error;
        scene::RenderSetup setup;
        setup.camera = camid == Vyx::CameraID_Right ? &d->right : &d->left;
        setup.projector = &d->projector;
        setup.reference_distance = (d->workingdist_near_mm + d->workingdist_far_mm) / 2000.0;
        scene::Frame f;
        EXPECT_TRUE(scene::Render(*s, setup, &f));
        if (sc) *sc = s;
        return f;
    }

    static int ObjectIndex(const scene::Scene& s, const char* name) {
        for (std::size_t i = 0; i < s.objects.size(); ++i) {
            if (s.objects[i].name == name) return static_cast<int>(i);
        }
        return -1;
    }

    // Documented depth noise at depth z: k_mode z^2 / (fx B) / sqrt(n).
    static double Sigma(const char* serial, Vyx::CameraID camid, Vyx::CaptureMode mode, int scans, double z) {
        auto d = FindDeviceBySerial(serial);
        const CameraModel& c = camid == Vyx::CameraID_Right ? d->right : d->left;
        const double b = (scene::CameraCentre(d->projector) - scene::CameraCentre(c)).norm();
        return cam::Mode(mode).disparity_sigma_px * z * z / (c.fx * b) / std::sqrt(scans);
    }

    static std::size_t Pixels(const Vyx::Size& s) { return static_cast<std::size_t>(s.width) * s.height; }
};

// Depth errors against the ground truth, divided by the documented sigma,
// over the pixels of one object.
struct NoiseStats {
    double mean = 0.0, std = 0.0;
    std::size_t n = 0;
};

NoiseStats NormalisedErrors(const double* depth, const scene::Frame& truth, int object, double sigma_at_1m) {
    double sum = 0.0, sum2 = 0.0;
    std::size_t n = 0;
    for (std::size_t k = 0; k < truth.Size(); ++k) {
        if (truth.object[k] != object + 1 || std::isnan(depth[k])) continue;
        const double z = truth.depth[k];
        const double e = (depth[k] - z) / (sigma_at_1m * z * z);
        sum += e;
        sum2 += e * e;
        ++n;
    }
    NoiseStats s;
    s.n = n;
    if (n > 1) {
        s.mean = sum / n;
        s.std = std::sqrt(sum2 / n - s.mean * s.mean);
    }
    return s;
}

// ---------------------------------------------------------------------------
// Geometry and noise.

TEST_F(X1Test, TablePlaneIsMeasuredWithinTheDocumentedNoise) {
    X1 cam = Open(kGrey);
    ASSERT_TRUE(cam.Capture(Opts()));
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kGrey, Vyx::CameraID_Left, &sc);
    const int table = ObjectIndex(*sc, "table");
    ASSERT_GE(table, 0);
    Vyx::PointMap pm = cam.GetPointMap();
    ASSERT_TRUE(pm.IsValid());
    ASSERT_EQ(pm.GetSize().width, truth.width);
    const double* p = pm.GetPointDataPtr();

    // Fit a plane to the measured table points.
    std::vector<Eigen::Vector3d> pts;
    double sigma_sum = 0.0;
    const double s1 = Sigma(kGrey, Vyx::CameraID_Left, Vyx::CaptureMode_Normal, 1, 1.0);
    for (std::size_t k = 0; k < truth.Size(); ++k) {
        if (truth.object[k] != table + 1 || std::isnan(p[3 * k])) continue;
        pts.emplace_back(p[3 * k], p[3 * k + 1], p[3 * k + 2]);
        sigma_sum += s1 * p[3 * k + 2] * p[3 * k + 2];
    }
    ASSERT_GT(pts.size(), 300000u);
    Eigen::Vector3d centre = Eigen::Vector3d::Zero();
    for (const auto& q : pts) centre += q;
    centre /= static_cast<double>(pts.size());
    Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
    for (const auto& q : pts) cov += (q - centre) * (q - centre).transpose();
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eig(cov);
    Eigen::Vector3d normal = eig.eigenvectors().col(0);
    const double rms = std::sqrt(eig.eigenvalues()(0) / pts.size());

    // The table's true plane, in the left camera's frame (= device frame).
    const scene::Object& t = sc->objects[static_cast<std::size_t>(table)];
    Eigen::Vector3d true_normal = t.pose.R.col(2);
    if (normal.dot(true_normal) < 0) normal = -normal;
    const double angle_deg = std::acos(std::min(1.0, normal.dot(true_normal))) * 180.0 / M_PI;
    EXPECT_LT(angle_deg, 0.01);
    EXPECT_LT(std::abs((t.pose.t - centre).dot(true_normal)), 2e-5);
    // Noise along the rays, seen across the plane: below the mean sigma and
    // well above nothing.
    const double mean_sigma = sigma_sum / pts.size();
    EXPECT_LT(rms, mean_sigma);
    EXPECT_GT(rms, 0.5 * mean_sigma);
}

// The measured depth noise matches sigma_z = k_mode z^2 / (fx B) / sqrt(n).
TEST_F(X1Test, DepthNoiseFollowsModeAndScanTimes) {
    X1 cam = Open(kGrey);
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kGrey, Vyx::CameraID_Left, &sc);
    const int table = ObjectIndex(*sc, "table");
    struct Case {
        Vyx::CaptureMode mode;
        int scans;
    } cases[] = {{Vyx::CaptureMode_Fast, 1},
                 {Vyx::CaptureMode_Normal, 1},
                 {Vyx::CaptureMode_Normal, 4},
                 {Vyx::CaptureMode_Ultra, 1},
                 {Vyx::CaptureMode_Robust, 8}};
    double previous_normal_1 = 0.0;
    for (const Case& c : cases) {
        Opts o;
        o.capture_mode = c.mode;
        o.scan_times = c.scans;
        ASSERT_TRUE(cam.Capture(o)) << Vyx::GetLastErrorMessage();
        const double s1 = Sigma(kGrey, Vyx::CameraID_Left, c.mode, c.scans, 1.0);
        const NoiseStats st = NormalisedErrors(cam.GetDepthMap().GetDataPtr(), truth, table, s1);
        ASSERT_GT(st.n, 300000u);
        EXPECT_NEAR(st.std, 1.0, 0.03) << "mode " << c.mode << " scans " << c.scans;
        EXPECT_NEAR(st.mean, 0.0, 0.01) << "mode " << c.mode << " scans " << c.scans;
        if (c.mode == Vyx::CaptureMode_Normal && c.scans == 1) previous_normal_1 = s1;
        if (c.mode == Vyx::CaptureMode_Normal && c.scans == 4) {
            EXPECT_NEAR(s1 / previous_normal_1, 0.5, 1e-12);
        }
    }
}

// Projecting a returned point with the returned calibration lands on its
// pixel, whichever frame the points come in.
TEST_F(X1Test, ReturnedPointsProjectOntoTheirPixels) {
    for (Vyx::CameraID camid : {Vyx::CameraID_Left, Vyx::CameraID_Right}) {
        for (int frame = 0; frame < 3; ++frame) {
            SCOPED_TRACE("camera " + std::to_string(camid) + " frame " + std::to_string(frame));
            X1 cam = Open(kGrey, camid);
            float k9[9], d5[5], e16[16];
            ASSERT_TRUE(cam.GetIntrinsicParameters(k9, d5));
            ASSERT_TRUE(cam.GetExtrinsicMatrix(e16));
            EXPECT_EQ(k9[1], 0.0f);
            EXPECT_EQ(k9[8], 1.0f);
            Eigen::Matrix4d E;
            for (int i = 0; i < 16; ++i) E(i / 4, i % 4) = e16[i];
            EXPECT_NEAR(E(0, 3), camid == Vyx::CameraID_Right ? 0.1 : 0.0, 1e-7);
            // The frame the points come in, and the way back to the camera.
            Opts o;
            Eigen::Matrix4d to_camera = Eigen::Matrix4d::Identity();
            if (frame == 1) {
                o.transform_to_camera = false;
                to_camera = E.inverse();
            } else if (frame == 2) {
                X1::CustomTransformOptions ct;
                ct.coordinate_select = X1::CustomTransformOptions::CoordinateSelect_Camera;
                Eigen::Matrix4d T = Eigen::Matrix4d::Identity();
                T.block<3, 3>(0, 0) = scene::RotationFromDegrees(20, -35, 50);
                T.block<3, 1>(0, 3) = Eigen::Vector3d(0.3, -0.2, 1.5);
                for (int i = 0; i < 16; ++i) ct.transform[i] = T(i / 4, i % 4);
                ASSERT_TRUE(cam.SetCustomTransformation(ct));
                to_camera = T.inverse();
            }
            ASSERT_TRUE(cam.Capture(o));
            Vyx::PointMap pm = cam.GetPointMap();
            const Vyx::Size sz = pm.GetSize();
            const double* p = pm.GetPointDataPtr();
            double worst = 0.0;
            std::size_t n = 0;
            for (int v = 0; v < sz.height; ++v) {
                for (int u = 0; u < sz.width; ++u) {
                    const std::size_t k = static_cast<std::size_t>(v) * sz.width + u;
                    if (std::isnan(p[3 * k])) continue;
                    const Eigen::Vector4d q = to_camera * Eigen::Vector4d(p[3 * k], p[3 * k + 1], p[3 * k + 2], 1.0);
                    // OpenCV's model with the returned values.
                    const double x = q.x() / q.z(), y = q.y() / q.z(), r2 = x * x + y * y;
                    const double radial = 1 + d5[0] * r2 + d5[1] * r2 * r2 + d5[4] * r2 * r2 * r2;
                    const double xd = x * radial + 2 * d5[2] * x * y + d5[3] * (r2 + 2 * x * x);
                    const double yd = y * radial + d5[2] * (r2 + 2 * y * y) + 2 * d5[3] * x * y;
                    const double pu = k9[0] * xd + k9[1] * yd + k9[2], pv = k9[4] * yd + k9[5];
                    worst = std::max(worst, std::hypot(pu - u, pv - v));
                    ++n;
                }
            }
            EXPECT_GT(n, Pixels(sz) * 9 / 10);
            EXPECT_LT(worst, 0.5);
            if (frame == 2) {
                X1::CustomTransformOptions off;
                ASSERT_TRUE(cam.SetCustomTransformation(off));
            }
            cam.Close();
            X1::Destroy(cam);
        }
    }
}

TEST_F(X1Test, CalibrationBoardFrameTakesTheBoardToZZero) {
    X1 cam = Open(kGrey);
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kGrey, Vyx::CameraID_Left, &sc);
    scene::BoardTruth board;
    ASSERT_TRUE(scene::BoardGroundTruth(*sc, &board));
    X1::CustomTransformOptions ct;
    ct.coordinate_select = X1::CustomTransformOptions::CoordinateSelect_CaliBoard;
    ct.transform[11] = 0.25;  // then 25 cm along z
    ASSERT_TRUE(cam.SetCustomTransformation(ct));
    Opts o;
    o.scan_times = 8;
    ASSERT_TRUE(cam.Capture(o));
    const double* p = cam.GetPointMap().GetPointDataPtr();
    std::size_t n = 0;
    double worst = 0.0;
    auto rays = scene::RaysFor(Model(kGrey, Vyx::CameraID_Left));
    const Eigen::Matrix4d to_board = board.pose.inverse();
    for (std::size_t k = 0; k < truth.Size(); ++k) {
        if (truth.object[k] != board.object + 1 || std::isnan(p[3 * k])) continue;
        // Only the front face (the board's edges are 6 mm deep).
        const Eigen::Vector3d t = truth.depth[k] * Eigen::Vector3d(rays->x[k], rays->y[k], 1.0);
        if ((to_board * t.homogeneous()).z() > 1e-6) continue;
        worst = std::max(worst, std::abs(p[3 * k + 2] - 0.25));
        EXPECT_LE(std::abs(p[3 * k]), board.width / 2 + 1e-3);
        ++n;
    }
    EXPECT_GT(n, 20000u);
    EXPECT_LT(worst, 6.0 * Sigma(kGrey, Vyx::CameraID_Left, Vyx::CaptureMode_Normal, 8, 0.7));
}

TEST_F(X1Test, RoiTruncationAndConfidenceThresholdLeaveNaNOutside) {
    X1 cam = Open(kGrey);
    struct Case {
        const char* what;
        Opts o;
    };
    std::vector<Case> cases(3);
    cases[0].what = "roi";
    cases[0].o.roi = Vyx::ROI(200, 160, 400, 300);
    cases[1].what = "truncation";
    cases[1].o.truncate_z_min = 600.0;
    cases[1].o.truncate_z_max = 700.0;
    cases[2].what = "confidence";
    cases[2].o.confidence_threshold = 0.8;
    ASSERT_TRUE(cam.Capture(Opts()));
    std::size_t all_valid = 0;
    {
        const double* z = cam.GetDepthMap().GetDataPtr();
        for (std::size_t k = 0; k < 1280u * 1024u; ++k) all_valid += !std::isnan(z[k]);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(cam.Capture(c.o)) << Vyx::GetLastErrorMessage();
        const double* p = cam.GetPointMap().GetPointDataPtr();
        const double* z = cam.GetDepthMap().GetDataPtr();
        const double* conf = cam.GetConfidenceMap().GetDataPtr();
        std::size_t valid = 0, inside = 0;
        for (int v = 0; v < 1024; ++v) {
            for (int u = 0; u < 1280; ++u) {
                const std::size_t k = static_cast<std::size_t>(v) * 1280 + u;
                const bool ok = !std::isnan(p[3 * k + 2]);
                // Invalid points: every coordinate NaN, depth NaN, confidence 0.
                EXPECT_EQ(ok, !std::isnan(p[3 * k]));
                EXPECT_EQ(ok, !std::isnan(z[k]));
                if (!ok) {
                    ASSERT_EQ(conf[k], 0.0);
                    continue;
                }
                ++valid;
                ASSERT_GT(conf[k], 0.0);
                if (c.o.roi.width > 0) {
                    const bool in = u >= 200 && u < 600 && v >= 160 && v < 460;
                    ASSERT_TRUE(in) << u << "," << v;
                    ++inside;
                }
                ASSERT_GE(p[3 * k + 2] * 1000.0, c.o.truncate_z_min);
                ASSERT_LE(p[3 * k + 2] * 1000.0, c.o.truncate_z_max);
                ASSERT_GE(conf[k], c.o.confidence_threshold);
            }
        }
        EXPECT_GT(valid, all_valid / 20);
        EXPECT_LT(valid, all_valid * 95 / 100);
        if (c.o.roi.width > 0) {
            EXPECT_GT(inside, 400u * 300u * 9 / 10);
        }
    }
}

// Angular errors (degrees) of the normals of one object's pixels against
// the truth, after `R` turned them.
std::vector<double> NormalErrors(const Vyx::PointMap& pm, const scene::Frame& truth, const scene::RayTable& rays,
                                 const scene::Scene& sc, int object, const Eigen::Matrix3d& R) {
    const double* nrm = pm.GetNormalDataPtr();
    const double* pts = pm.GetPointDataPtr();
    const scene::Object& o = sc.objects[static_cast<std::size_t>(object)];
    std::vector<double> errors;
    for (std::size_t k = 0; k < truth.Size(); k += 3) {
        if (truth.object[k] != object + 1 || std::isnan(pts[3 * k])) continue;
        const Eigen::Vector3d pt = truth.depth[k] * Eigen::Vector3d(rays.x[k], rays.y[k], 1.0);
        const Eigen::Vector3d expect =
            R * (o.shape == scene::Shape::Sphere ? Eigen::Vector3d((pt - o.pose.t).normalized())
                                                 : Eigen::Vector3d(-o.pose.R.col(2)));
        const Eigen::Vector3d got(nrm[3 * k], nrm[3 * k + 1], nrm[3 * k + 2]);
        EXPECT_NEAR(got.norm(), 1.0, 1e-9);
        errors.push_back(std::acos(std::clamp(got.dot(expect), -1.0, 1.0)) * 180.0 / M_PI);
    }
    std::sort(errors.begin(), errors.end());
    return errors;
}

TEST_F(X1Test, NormalsFollowTheSphereAndThePlane) {
    X1 cam = Open(kGrey);
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kGrey, Vyx::CameraID_Left, &sc);
    const int sphere = ObjectIndex(*sc, "sphere");
    const int table = ObjectIndex(*sc, "table");
    auto rays = scene::RaysFor(Model(kGrey, Vyx::CameraID_Left));
    // Normals in the camera frame, and in a rotated custom frame.
    for (bool rotated : {false, true}) {
        SCOPED_TRACE(rotated ? "rotated frame" : "camera frame");
        Eigen::Matrix3d R = Eigen::Matrix3d::Identity();
        X1::CustomTransformOptions ct;
        if (rotated) {
            R = scene::RotationFromDegrees(30, 40, -60);
            ct.coordinate_select = X1::CustomTransformOptions::CoordinateSelect_Camera;
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 3; ++k) ct.transform[r * 4 + k] = R(r, k);
            }
        }
        ASSERT_TRUE(cam.SetCustomTransformation(ct));
        Opts o;
        o.calc_normal = true;  // radius 5
        ASSERT_TRUE(cam.Capture(o));
        Vyx::PointMap pm = cam.GetPointMap();
        ASSERT_NE(pm.GetNormalDataPtr(), nullptr);
        for (int object : {sphere, table}) {
            const std::vector<double> errors = NormalErrors(pm, truth, *rays, *sc, object, R);
            ASSERT_GT(errors.size(), 1000u);
            EXPECT_LT(errors[errors.size() / 2], 3.5) << "median angle, object " << object;
            EXPECT_LT(errors[errors.size() * 9 / 10], 9.0) << "90th percentile, object " << object;
        }
    }
    // A wider radius averages more points: the noise of the normals falls
    // with the square of the radius.
    ASSERT_TRUE(cam.SetCustomTransformation(X1::CustomTransformOptions()));
    double median[2];
    for (int i = 0; i < 2; ++i) {
        Opts o;
        o.calc_normal = true;
        o.calc_normal_radius = i == 0 ? 2 : 8;
        ASSERT_TRUE(cam.Capture(o));
        const auto errors = NormalErrors(cam.GetPointMap(), truth, *rays, *sc, table, Eigen::Matrix3d::Identity());
        median[i] = errors[errors.size() / 2];
    }
    EXPECT_LT(median[1], 0.12 * median[0]) << median[0] << " " << median[1];
    // Without calc_normal the point map has no normals.
    ASSERT_TRUE(cam.Capture(Opts()));
    EXPECT_EQ(cam.GetPointMap().GetNormalDataPtr(), nullptr);
}

// The same sequence of captures gives the same data; another seed other data.
TEST_F(X1Test, NoiseIsSeededAndReproducible) {
    auto depth_of_second_capture = [&] {
        Reset();
        EXPECT_TRUE(Vyx::SystemInit());
        X1 cam = Open(kGrey);
        Opts o;
        o.roi = Vyx::ROI(300, 300, 200, 100);
        EXPECT_TRUE(cam.Capture(o));
        EXPECT_TRUE(cam.Capture(o));
        const double* z = cam.GetDepthMap().GetDataPtr();
        std::vector<double> out;
        for (int v = 300; v < 400; ++v) out.insert(out.end(), z + v * 1280 + 300, z + v * 1280 + 500);
        return out;
    };
    const char* old = std::getenv("VYX_SIM_SEED");
    const std::string saved = old ? old : "";
    unsetenv("VYX_SIM_SEED");
    const std::vector<double> a = depth_of_second_capture();
    const std::vector<double> b = depth_of_second_capture();
    setenv("VYX_SIM_SEED", "12345", 1);
    const std::vector<double> c = depth_of_second_capture();
    const std::vector<double> d = depth_of_second_capture();
    if (old) {
        setenv("VYX_SIM_SEED", saved.c_str(), 1);
    } else {
        unsetenv("VYX_SIM_SEED");
    }
    ASSERT_EQ(a.size(), 20000u);
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(c.data(), d.data(), c.size() * sizeof(double)), 0);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differ += a[i] != c[i];
    EXPECT_GT(differ, a.size() * 9 / 10);
}

// Confidence grows with the light the pattern brings back: projector
// brightness, albedo, and the angle the surface is seen and lit at.
TEST_F(X1Test, ConfidenceFollowsBrightnessAlbedoAndAngle) {
    X1 cam = Open(kGrey);
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kGrey, Vyx::CameraID_Left, &sc);
    const int table = ObjectIndex(*sc, "table");
    const int sphere = ObjectIndex(*sc, "sphere");
    scene::BoardTruth board;
    ASSERT_TRUE(scene::BoardGroundTruth(*sc, &board));
    auto mean_conf = [&](const Opts& o, int object, std::function<bool(std::size_t)> pick) {
        EXPECT_TRUE(cam.Capture(o));
        const double* c = cam.GetConfidenceMap().GetDataPtr();
        double sum = 0.0;
        std::size_t n = 0;
        for (std::size_t k = 0; k < truth.Size(); ++k) {
            if (truth.object[k] != object + 1 || truth.irradiance[k] <= 0 || !pick(k)) continue;
            sum += c[k];
            ++n;
        }
        EXPECT_GT(n, 100u);
        return sum / n;
    };
    auto all = [](std::size_t) { return true; };
    Opts full, dim;
    dim.projector_brightness = 40;
    const double table_full = mean_conf(full, table, all);
    EXPECT_LT(mean_conf(dim, table, all), 0.6 * table_full);
    // The dark grid circles against the white board.
    auto dark = [&](std::size_t k) { return truth.albedo[3 * k] < 60; };
    auto white = [&](std::size_t k) { return truth.albedo[3 * k] > 200; };
    EXPECT_LT(mean_conf(full, board.object, dark), 0.5 * mean_conf(full, board.object, white));
    // The sphere's rim, seen and lit at grazing angles, against its middle.
    auto rim = [&](std::size_t k) { return truth.view_cos[k] < 80; };
    auto middle = [&](std::size_t k) { return truth.view_cos[k] > 230; };
    EXPECT_LT(mean_conf(full, sphere, rim), 0.7 * mean_conf(full, sphere, middle));
}

// A capture with several HDR exposures keeps, per pixel, the best one.
TEST_F(X1Test, HdrCombinesExposures) {
    X1 cam = Open(kGrey);
    auto conf_of = [&](const Opts& o) {
        EXPECT_TRUE(cam.Capture(o)) << Vyx::GetLastErrorMessage();
        const Vyx::ConfidenceMap cm = cam.GetConfidenceMap();
        return std::vector<double>(cm.GetDataPtr(), cm.GetDataPtr() + Pixels(cm.GetSize()));
    };
    Opts bright, dark, hdr;
    bright.exposure_time_3d = 100;
    dark.exposure_time_3d = 3;
    hdr.exposure_time_3d = 50;  // not used: the tables are
    hdr.hdr_exposure_times = 2;
    hdr.hdr_exposure_time_content[0] = 100;
    hdr.hdr_exposure_time_content[1] = 3;
    const auto a = conf_of(bright), b = conf_of(dark), h = conf_of(hdr);
    std::size_t va = 0, vb = 0, vh = 0;
    for (std::size_t k = 0; k < h.size(); ++k) {
        va += a[k] > 0;
        vb += b[k] > 0;
        vh += h[k] > 0;
        ASSERT_DOUBLE_EQ(h[k], std::max(a[k], b[k])) << k;
    }
    EXPECT_GT(vh, va);
    EXPECT_GT(vh, vb);
    EXPECT_LT(va, h.size() * 8 / 10) << "100 ms saturates much of the scene";
}

// ---------------------------------------------------------------------------
// 2D images.

TEST_F(X1Test, ImageFollowsExposureGainGammaAndSaturates) {
    X1 cam = Open(kGrey);
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kGrey, Vyx::CameraID_Left, &sc);
    const int table = ObjectIndex(*sc, "table");
    const int board = ObjectIndex(*sc, "board");
    // Mean grey of the lit table, and the share of saturated board pixels.
    auto measure = [&](const Opts& o, bool capture_2d, double* saturated) {
        EXPECT_TRUE(capture_2d ? cam.Capture2D(o) : cam.Capture(o)) << Vyx::GetLastErrorMessage();
        Vyx::Image img = cam.GetImage();
        EXPECT_EQ(img.GetType(), Vyx::ImageType::Mono8);
        const uint8_t* px = img.GetDataPtr();
        double sum = 0.0;
        std::size_t n = 0, sat = 0, on_board = 0;
        for (std::size_t k = 0; k < truth.Size(); ++k) {
            if (truth.object[k] == table + 1 && truth.irradiance[k] > 0) {
                sum += px[k];
                ++n;
            }
            if (truth.object[k] == board + 1) {
                ++on_board;
                sat += px[k] == 255;
            }
        }
        if (saturated) *saturated = static_cast<double>(sat) / on_board;
        return sum / n;
    };
    Opts base;
    double sat = 0.0;
    const double m0 = measure(base, true, &sat);
    EXPECT_GT(m0, 30.0);
    EXPECT_LT(m0, 120.0);
    EXPECT_EQ(sat, 0.0);
    Opts longer = base;
    longer.exposure_time_2d = 22;
    EXPECT_NEAR(measure(longer, true, nullptr) / m0, 2.0, 0.03);
    Opts gain = base;
    gain.gain_2d = 6.0206f;  // twice, in dB
    EXPECT_NEAR(measure(gain, false, nullptr) / m0, 2.0, 0.03);
    Opts gamma = base;
    gamma.gamma_2d = 2.0f;
    EXPECT_NEAR(measure(gamma, true, nullptr), 255.0 * std::sqrt(m0 / 255.0), 4.0);
    Opts ambient_only = base;
    ambient_only.use_projector_capturing_2d_image = false;
    const double ma = measure(ambient_only, true, nullptr);
    EXPECT_LT(ma, 0.4 * m0);
    EXPECT_GT(ma, 2.0);
    Opts dimmer = base;
    dimmer.projector_brightness = 120;
    const double md = measure(dimmer, true, nullptr);
    EXPECT_LT(md, 0.8 * m0);
    EXPECT_GT(md, ma);
    Opts saturate = base;
    saturate.exposure_time_2d = 100;
    measure(saturate, true, &sat);
    EXPECT_GT(sat, 0.7) << "the white board saturates at 100 ms";
}

TEST_F(X1Test, ColourDeviceGivesBalancedBgrImages) {
    X1 cam = Open(kColour);
    std::shared_ptr<const scene::Scene> sc;
    const scene::Frame truth = Truth(kColour, Vyx::CameraID_Left, &sc);
    const int box = ObjectIndex(*sc, "box_a");  // reddish
    ASSERT_TRUE(cam.Capture2D(Opts()));
    Vyx::Image img = cam.GetImage();
    ASSERT_EQ(img.GetType(), Vyx::ImageType::BGR8);
    ASSERT_EQ(img.GetSize().width, 1920);
    const uint8_t* px = img.GetDataPtr();
    double bgr[3] = {0, 0, 0};
    std::size_t n = 0;
    for (std::size_t k = 0; k < truth.Size(); ++k) {
        if (truth.object[k] != box + 1 || truth.irradiance[k] <= 0) continue;
        for (int c = 0; c < 3; ++c) bgr[c] += px[3 * k + c];
        ++n;
    }
    ASSERT_GT(n, 1000u);
    // The box's albedo is (0.7, 0.35, 0.25): red twice green, blue lowest.
    EXPECT_GT(bgr[2], 1.6 * bgr[1]);
    EXPECT_LT(bgr[0], bgr[1]);
}

// ---------------------------------------------------------------------------
// Results and their lifetime.

TEST_F(X1Test, GettersWantACaptureOfTheirKind) {
    X1 cam = Open(kGrey);
    auto expect_missing = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(cam.GetImage().IsValid());
        EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    };
    EXPECT_FALSE(cam.GetPointMap().IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("no capture"), std::string::npos);
    EXPECT_FALSE(cam.GetDepthMap().IsValid());
    EXPECT_FALSE(cam.GetConfidenceMap().IsValid());
    EXPECT_FALSE(cam.GetMesh().IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    expect_missing("before any capture");
    EXPECT_FALSE(cam.SaveEncodedImagesData("/tmp/vyx-never"));
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);

    Opts no_2d;
    no_2d.enable_2d_in_capture = false;
    ASSERT_TRUE(cam.Capture(no_2d));
    EXPECT_TRUE(cam.GetPointMap().IsValid());
    expect_missing("3D capture without 2D");

    ASSERT_TRUE(cam.Capture2D(Opts()));
    EXPECT_TRUE(cam.GetImage().IsValid());
    EXPECT_FALSE(cam.GetPointMap().IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("2D capture"), std::string::npos);
}

TEST_F(X1Test, NextCaptureReleasesResultsAndDestroyReleasesAll) {
    X1 cam = Open(kGrey);
    const std::size_t with_camera = LiveObjects();
    ASSERT_TRUE(cam.Capture(Opts()));
    Vyx::PointMap pm = cam.GetPointMap();
    Vyx::Image img = cam.GetImage();
    Vyx::DepthMap dm = cam.GetDepthMap();
    Vyx::ConfidenceMap cm = cam.GetConfidenceMap();
    Vyx::Mesh mesh = cam.GetMesh();
    ASSERT_TRUE(pm.IsValid() && img.IsValid() && dm.IsValid() && cm.IsValid() && mesh.IsValid());
    // The same handles while no capture intervenes.
    EXPECT_EQ(WordsOf(cam.GetPointMap()), WordsOf(pm));
    EXPECT_EQ(WordsOf(cam.GetMesh()), WordsOf(mesh));
    EXPECT_GT(mesh.GetSize().width, 100000);
    EXPECT_GT(mesh.GetSize().height, mesh.GetSize().width);  // about two triangles per point
    EXPECT_EQ(pm.GetTimestamp() > 0, true);
    const uint64_t t0 = pm.GetTimestamp();

    // A handle the caller destroyed comes back as a new handle to the same data.
    const double* data = pm.GetPointDataPtr();
    Vyx::PointMap::Destroy(pm);
    EXPECT_FALSE(pm.IsValid());
    Vyx::PointMap again = cam.GetPointMap();
    EXPECT_TRUE(again.IsValid());
    EXPECT_EQ(again.GetPointDataPtr(), data);

    ASSERT_TRUE(cam.Capture(Opts()));
    EXPECT_FALSE(again.IsValid());
    EXPECT_FALSE(img.IsValid());
    EXPECT_FALSE(dm.IsValid());
    EXPECT_FALSE(cm.IsValid());
    EXPECT_FALSE(mesh.IsValid());
    Vyx::PointMap next = cam.GetPointMap();
    EXPECT_TRUE(next.IsValid());
    EXPECT_GT(next.GetTimestamp(), t0);
    // A failed capture leaves the results in place.
    Opts bad;
    bad.exposure_time_3d = 1000;
    EXPECT_FALSE(cam.Capture(bad));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("exposure_time_3d"), std::string::npos);
    EXPECT_TRUE(next.IsValid());

    X1::Destroy(cam);
    EXPECT_FALSE(cam.IsValid());
    EXPECT_EQ(WordsOf(cam), (std::pair<uint32_t, uint32_t>(0, 0)));
    EXPECT_FALSE(next.IsValid());
    EXPECT_EQ(LiveObjects(), with_camera - 1);
}

// ---------------------------------------------------------------------------
// Stored options and the trace.

TEST_F(X1Test, CaptureWithoutOptionsUsesTheStoredOnes) {
    X1 cam = Open(kGrey);
    Opts loaded;
    loaded.exposure_time_3d = 77;
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(loaded));
    EXPECT_EQ(loaded.exposure_time_3d, 11) << "defaults at first";
    ASSERT_TRUE(cam.Capture());
    EXPECT_EQ(cam.GetPointMap().GetNormalDataPtr(), nullptr);

    Opts stored;
    stored.calc_normal = true;
    stored.exposure_time_3d = 20;
    stored.roi = Vyx::ROI(0, 0, 640, 512);
    ASSERT_TRUE(cam.SaveCaptureOptionParameters(stored));
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(loaded));
    EXPECT_EQ(OptionsTrace(loaded), OptionsTrace(stored));
    ASSERT_TRUE(cam.Capture());
    Vyx::PointMap pm = cam.GetPointMap();
    EXPECT_NE(pm.GetNormalDataPtr(), nullptr);
    EXPECT_TRUE(std::isnan(pm.GetPointDataPtr()[3 * (700 * 1280 + 900) + 2])) << "outside the stored ROI";
    ASSERT_TRUE(cam.Capture2D());

    // Options are stored per user set.
    ASSERT_TRUE(cam.SetCurrentUserSet(3));
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(loaded));
    EXPECT_EQ(loaded.exposure_time_3d, 11);
    ASSERT_TRUE(cam.SetCurrentUserSet(0));
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(loaded));
    EXPECT_EQ(loaded.exposure_time_3d, 20);

    // Invalid options are not stored.
    Opts bad = stored;
    bad.scan_times = 9;
    EXPECT_FALSE(cam.SaveCaptureOptionParameters(bad));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    ASSERT_TRUE(cam.LoadCaptureOptionParameters(loaded));
    EXPECT_EQ(loaded.scan_times, 1);
}

TEST_F(X1Test, TraceTellsTheCaptureOverloadsApart) {
    X1 cam = Open(kGrey);
    SetTraceEnabled(true);
    TakeTrace();
    Opts o;
    o.calc_normal = true;
    o.exposure_time_3d = 20;
    o.roi = Vyx::ROI(0, 0, 640, 512);
    ASSERT_TRUE(cam.Capture());
    ASSERT_TRUE(cam.Capture(o));
    ASSERT_TRUE(cam.Capture(Opts()));
    ASSERT_TRUE(cam.Capture2D());
    ASSERT_TRUE(cam.Capture2D(o));
    const std::vector<std::string> lines = TakeTrace();
    SetTraceEnabled(false);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind("X1::Capture(", 0), 0u);
    EXPECT_EQ(lines[0].find("options"), std::string::npos);
    EXPECT_NE(lines[1].find("options=\"calc_normal=true,exposure_time_3d=20,roi=[0 0 640 512]\""), std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("options=\"default\""), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3].rfind("X1::Capture2D(", 0), 0u);
    EXPECT_EQ(lines[3].find("options"), std::string::npos);
    EXPECT_NE(lines[4].find("options=\"calc_normal"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Lifecycle.

TEST_F(X1Test, CreateChecksDeviceCameraAndConnection) {
    const Vyx::Device dev = Vyx::SystemFindDevice(kGrey);
    struct Case {
        Vyx::Device device;
        Vyx::CameraID camid;
        int error;
    } cases[] = {
        {Vyx::Device(), Vyx::CameraID_Left, kInvalidHandle},
        {Vyx::HandleAccess::Make<Vyx::Device>(Words{77, 9}), Vyx::CameraID_Left, kInvalidHandle},
        {dev, Vyx::CameraID_Both, kInvalidArgument},
        {dev, Vyx::CameraID_NONE, kInvalidArgument},
        {dev, Vyx::CameraID_Extra, kInvalidArgument},
    };
    for (const Case& c : cases) {
        X1 cam = X1::Create(c.device, c.camid);
        EXPECT_FALSE(cam.IsValid());
        EXPECT_EQ(Vyx::GetLastError(), c.error) << Vyx::GetLastErrorMessage();
    }
    ASSERT_TRUE(Unplug(kGrey));
    EXPECT_FALSE(X1::Create(dev, Vyx::CameraID_Left).IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(kGrey), std::string::npos);
    ASSERT_TRUE(Replug(kGrey));
    EXPECT_TRUE(X1::Create(dev, Vyx::CameraID_Right).IsValid());
}

TEST_F(X1Test, OneHandleOpensADeviceAtATime) {
    X1 left = Open(kGrey, Vyx::CameraID_Left);
    X1 right = X1::Create(Vyx::SystemFindDevice(kGrey), Vyx::CameraID_Right);
    EXPECT_FALSE(right.Open());
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    EXPECT_FALSE(right.IsOpen());
    EXPECT_FALSE(right.Capture(Opts()));
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
    EXPECT_TRUE(left.Open()) << "opening again is harmless";
    left.Close();
    EXPECT_FALSE(left.IsOpen());
    EXPECT_FALSE(left.Capture(Opts()));
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
    ASSERT_TRUE(right.Open());
    EXPECT_TRUE(right.Capture(Opts()));
    // Destroying the open camera frees the device.
    X1::Destroy(right);
    EXPECT_TRUE(left.Open());
    // Another device is independent.
    X1 other = Open(kColour);
    EXPECT_TRUE(other.IsOpen());
}

TEST_F(X1Test, DestroyedAndForeignHandlesFailCleanly) {
    X1 cam = Open(kGrey);
    X1 copy = cam;
    X1::Destroy(cam);
    const X1 zero;
    const X1 foreign = Vyx::HandleAccess::Make<X1>(Vyx::HandleAccess::Get(Vyx::SystemFindDevice(kGrey)));
    for (X1 h : {copy, X1(zero), X1(foreign)}) {
        EXPECT_FALSE(h.IsValid());
        EXPECT_FALSE(h.Open());
        EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
        EXPECT_FALSE(h.Capture(Opts()));
        EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
        EXPECT_FALSE(h.GetPointMap().IsValid());
        Vyx::Size size{5, 5};
        EXPECT_FALSE(h.GetCameraResolution(size));
        EXPECT_EQ(size.width, 5);
        float k9[9] = {0}, d5[5] = {0};
        EXPECT_FALSE(h.GetIntrinsicParameters(k9, d5));
        EXPECT_EQ(k9[0], 0.0f);
        h.Close();
        EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
    }
    X1::Destroy(copy);
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
    EXPECT_FALSE(copy.IsValid());
}

TEST_F(X1Test, UnplugFailsCapturesAndReplugLetsOpenAgain) {
    X1 cam = Open(kGrey);
    ASSERT_TRUE(cam.Capture(Opts()));
    Vyx::PointMap before = cam.GetPointMap();
    ASSERT_TRUE(Unplug(kGrey));
    EXPECT_FALSE(cam.IsPhysicallyConnected());
    EXPECT_FALSE(cam.Capture(Opts()));
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    const std::string msg = Vyx::GetLastErrorMessage();
    EXPECT_NE(msg.find("X1::Capture"), std::string::npos) << msg;
    EXPECT_NE(msg.find(kGrey), std::string::npos) << msg;
    EXPECT_NE(msg.find("unplugged"), std::string::npos) << msg;
    EXPECT_FALSE(cam.IsOpen());
    EXPECT_FALSE(cam.Open());
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    EXPECT_TRUE(before.IsValid()) << "results of earlier captures stay";
    ASSERT_TRUE(Replug(kGrey));
    EXPECT_TRUE(cam.IsPhysicallyConnected());
    EXPECT_FALSE(cam.Capture(Opts()));
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
    ASSERT_TRUE(cam.Open());
    EXPECT_TRUE(cam.Capture(Opts()));
}

// ---------------------------------------------------------------------------
// Threads.

class X1Threads : public X1Test {};

// Two devices capture at once (real mode): both captures wait out a long
// latency at the same time, which they could not if one device's capture held
// up the other's. Lowering the latency then ends both waits.
TEST_F(X1Threads, CaptureFromTwoDevicesInParallel) {
    X1 a = Open(kGrey);
    X1 c = Open(kColour);
    Opts small;
    small.roi = Vyx::ROI(0, 0, 256, 256);
    SetCaptureLatencyMs(10 * 60 * 1000);
    std::atomic<int> ok{0};
    std::thread t1([&] { ok += a.Capture(small); });
    std::thread t2([&] { ok += c.Capture(small); });
    const bool both_waited = WaitForLatencyWaiters(2);
    SetCaptureLatencyMs(0);
    t1.join();
    t2.join();
    EXPECT_TRUE(both_waited) << CapturesWaiting() << " capture(s) waiting";
    EXPECT_EQ(ok.load(), 2);
    EXPECT_EQ(CapturesWaiting(), 0);
}

TEST_F(X1Threads, ShareOneCameraSafely) {
    X1 cam = Open(kGrey);
    const std::size_t with_camera = LiveObjects();
    Opts small;
    small.roi = Vyx::ROI(0, 0, 128, 128);
    small.calc_normal = true;
    std::atomic<int> captures{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) {
                if (t % 2 == 0) {
                    captures += cam.Capture(small);
                } else {
                    captures += cam.Capture2D(small);
                }
                // Whatever capture came last, the getters answer consistently. A
                // handle may already be released again by another thread's capture
                // when IsValid asks (the getter itself then succeeded: last error 0).
                Vyx::PointMap pm = cam.GetPointMap();
                if (!pm.IsValid() && Vyx::GetLastError() != kWrongState && Vyx::GetLastError() != kOk) ++bad;
                Vyx::Mesh m = cam.GetMesh();
                if (!m.IsValid() && Vyx::GetLastError() != kWrongState && Vyx::GetLastError() != kOk) ++bad;
                float temp = 0;
                if (!cam.GetProjectorTemperature(temp)) ++bad;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(captures.load(), 12);
    EXPECT_EQ(bad.load(), 0);
    X1::Destroy(cam);
    EXPECT_EQ(LiveObjects(), with_camera - 1);
}

// ---------------------------------------------------------------------------
// Pattern images.

TEST_F(X1Test, EncodedImagesAreThePatternsOfTheLastCapture) {
    X1 cam = Open(kGrey);
    const std::string dir = ::testing::TempDir() + "vyx_encoded_" + std::to_string(::getpid()) + "/nested";
    std::filesystem::remove_all(dir);
    Opts o;
    o.capture_mode = Vyx::CaptureMode_Fast;
    ASSERT_TRUE(cam.Capture(o));
    ASSERT_TRUE(cam.SaveEncodedImagesData(dir.c_str())) << Vyx::GetLastErrorMessage();
    const cam::ModeInfo mode = cam::Mode(Vyx::CaptureMode_Fast);
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, static_cast<std::size_t>(mode.PatternCount()));
    auto load = [&](const std::string& name) {
        return Vyx::Image::CreateFromFile((dir + "/" + name).c_str());
    };
    Vyx::Image white = load("pattern_00_white.png");
    Vyx::Image black = load("pattern_01_black.png");
    Vyx::Image gray0 = load("pattern_02_gray0.png");
    ASSERT_TRUE(white.IsValid() && black.IsValid() && gray0.IsValid()) << Vyx::GetLastErrorMessage();
    EXPECT_EQ(white.GetSize().width, 1280);
    EXPECT_EQ(white.GetType(), Vyx::ImageType::Mono8);
    // The coarsest Gray-code bit splits the projector in two halves: every
    // lit pixel shows either the white or the black pattern's value.
    const uint8_t* w = white.GetDataPtr();
    const uint8_t* b = black.GetDataPtr();
    const uint8_t* g = gray0.GetDataPtr();
    std::size_t bright = 0, dark = 0;
    for (std::size_t k = 0; k < 1280u * 1024u; k += 13) {
        if (w[k] < b[k] + 40) continue;
        if (g[k] == w[k]) ++bright;
        else if (g[k] == b[k]) ++dark;
        else ADD_FAILURE() << "pixel " << k << " neither white nor black";
    }
    EXPECT_GT(bright, 1000u);
    EXPECT_GT(dark, 1000u);
    // A path that is a file cannot become the directory.
    const std::string file = dir + "/pattern_00_white.png";
    EXPECT_FALSE(cam.SaveEncodedImagesData(file.c_str()));
    EXPECT_EQ(Vyx::GetLastError(), kIoError);
    EXPECT_FALSE(cam.SaveEncodedImagesData(nullptr));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    std::filesystem::remove_all(::testing::TempDir() + "vyx_encoded_" + std::to_string(::getpid()));
}

}  // namespace
}  // namespace vyxsim
