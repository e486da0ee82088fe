// Shared by the X2 tests: a fixture with an initialised system, the devices,
// the noise-free view of a camera, the returned calibration and its
// projection, and the model clock (manual in these tests) moved forward.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <string>

#include <Eigen/Dense>

#include "camera/camera_state.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/handles.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/device_scenes.h"
#include "scene/ground_truth.h"
#include "scene/scene.h"
#include "vyx/system.h"
#include "vyx/x2.h"
#include "vyxsim/control.h"

namespace vyxsim::x2test {

using Vyx::X2;
using Opts = Vyx::X2::CaptureOptions;

constexpr const char* kGrey = "VX1300001";
constexpr const char* kColour = "VX2300002";
// A small device whose right camera has optics of its own, with an extra
// camera.
constexpr const char* kOdd = "VXODD0007";
constexpr const char* kOddDevice = R"json({
  "name": "Vyx odd stereo", "serial": "VXODD0007", "port": "USB",
  "capabilities": {"x1": true, "x2": true, "extra_camera": true,
                   "capture_modes": ["Normal", "FixedLineScan"]},
  "resolution": [640, 512], "focal_length_px": [760.0, 765.0], "principal_point": [318.0, 259.0],
  "distortion": [-0.03, 0.01, 0.0008, -0.0006, 0.002],
  "right_camera": {"focal_length_px": [790.0, 785.0], "principal_point": [326.0, 250.0],
                   "distortion": [0.02, -0.004, -0.0005, 0.0004, 0.0]},
  "baseline_mm": 120.0, "working_distance_mm": [400, 800]
})json";

inline std::shared_ptr<DeviceRecord> Device(const char* serial) { return FindDeviceBySerial(serial); }

// Moves the model clock (device clock, cover, heat, line scan) forward by
// whole microseconds.
inline void ShiftTime(double ms) { ASSERT_TRUE(AdvanceClockUs(std::llround(ms * 1000.0))); }

// What `camera` of a device sees, without noise.
inline scene::Frame Truth(const char* serial, const CameraModel& camera,
                          std::shared_ptr<const scene::Scene>* sc = nullptr) {
    auto d = Device(serial);
    std::string error;
    auto s = scene::SceneForDevice(d, &error);
    EXPECT_TRUE(s) << error;
    scene::RenderSetup setup;
    setup.camera = &camera;
    setup.projector = &d->projector;
    setup.reference_distance = (d->workingdist_near_mm + d->workingdist_far_mm) / 2000.0;
    scene::Frame f;
    EXPECT_TRUE(scene::Render(*s, setup, &f));
    if (sc) *sc = s;
    return f;
}

// A camera's calibration as GetIntrinsicParameters and GetExtrinsicMatrix
// return it.
struct Calibration {
    float k[9] = {0};
    float d[5] = {0};
    Eigen::Matrix4d pose = Eigen::Matrix4d::Zero();  // camera to device

    // OpenCV's pinhole model with these values; `p` in the camera frame.
    Eigen::Vector2d Project(const Eigen::Vector3d& p) const {
        const double x = p.x() / p.z(), y = p.y() / p.z(), r2 = x * x + y * y;
        const double radial = 1 + d[0] * r2 + d[1] * r2 * r2 + d[4] * r2 * r2 * r2;
        const double xd = x * radial + 2 * d[2] * x * y + d[3] * (r2 + 2 * x * x);
        const double yd = y * radial + d[2] * (r2 + 2 * y * y) + 2 * d[3] * x * y;
        return {k[0] * xd + k[1] * yd + k[2], k[4] * yd + k[5]};
    }
    // `p` in the device frame.
    Eigen::Vector2d ProjectDevice(const Eigen::Vector3d& p) const {
        return Project((pose.inverse() * p.homogeneous()).head<3>());
    }
};

inline Calibration CalibrationOf(const X2& cam, Vyx::CameraID id) {
    Calibration c;
    float e[16];
    EXPECT_TRUE(cam.GetIntrinsicParameters(id, c.k, c.d)) << Vyx::GetLastErrorMessage();
    EXPECT_TRUE(cam.GetExtrinsicMatrix(id, e)) << Vyx::GetLastErrorMessage();
    for (int i = 0; i < 16; ++i) c.pose(i / 4, i % 4) = e[i];
    return c;
}

inline Eigen::Matrix4d MatrixOf(const double* m) {
    Eigen::Matrix4d out;
    for (int i = 0; i < 16; ++i) out(i / 4, i % 4) = m[i];
    return out;
}

inline bool Nan3(const double* p) { return std::isnan(p[0]) && std::isnan(p[1]) && std::isnan(p[2]); }

class X2Fixture : public ::testing::Test {
protected:
    // The clock stands still unless a test moves it, so times are exact.
    void SetUp() override {
        Reset();
        SetClockManual(true);
        ASSERT_TRUE(Vyx::SystemInit());
    }
    void TearDown() override { Reset(); }

    static X2 OpenX2(const char* serial) {
        X2 cam = X2::Create(Vyx::SystemFindDevice(serial));
        EXPECT_TRUE(cam.IsValid()) << Vyx::GetLastErrorMessage();
        EXPECT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
        return cam;
    }

    static void AddOddDevice() {
        std::string error;
        ASSERT_TRUE(AddDevice(kOddDevice, &error)) << error;
    }

    static std::size_t Pixels(const Vyx::Size& s) { return static_cast<std::size_t>(s.width) * s.height; }
};

}  // namespace vyxsim::x2test
