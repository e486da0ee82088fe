// Helpers for the measurement-tool tests: scenes rendered straight through
// a camera model into an SDK image and point map (no projector, optional
// seeded noise), and ground truth in a camera's frame.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "core/device_registry.h"
#include "core/devices.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/default_scene.h"
#include "scene/ground_truth.h"
#include "scene/scene.h"
#include "vyx/data.h"
#include "vyx/system.h"
#include "vyx/tools.h"
#include "core/error.h"
#include "vyxsim/control.h"

namespace vyxtest {

using vyxsim::CameraModel;
using vyxsim::scene::Scene;

// A pinhole camera of `width` x `height` with focal length `f` (pixels),
// principal point at the centre, placed by `pose` (camera to device).
inline CameraModel MakeCamera(int width, int height, double f,
                              const Eigen::Matrix4d& pose = Eigen::Matrix4d::Identity()) {
    CameraModel c;
    c.width = width;
    c.height = height;
    c.fx = c.fy = f;
    c.cx = (width - 1) / 2.0;
    c.cy = (height - 1) / 2.0;
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) c.pose[static_cast<std::size_t>(r * 4 + k)] = pose(r, k);
    }
    return c;
}

// Camera-to-device pose looking from `eye` at `target` (camera y roughly
// along the device's +y).
inline Eigen::Matrix4d LookAt(const Eigen::Vector3d& eye, const Eigen::Vector3d& target) {
    const Eigen::Vector3d z = (target - eye).normalized();
    const Eigen::Vector3d x = Eigen::Vector3d::UnitY().cross(z).normalized();
    const Eigen::Vector3d y = z.cross(x);
    Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
    m.block<3, 1>(0, 0) = x;
    m.block<3, 1>(0, 1) = y;
    m.block<3, 1>(0, 2) = z;
    m.block<3, 1>(0, 3) = eye;
    return m;
}

// A stereo device record: two `width` x `height` cameras of focal length
// `f` (pixels), `baseline` metres apart, the projector half way between.
inline vyxsim::DeviceRecord* StereoDevice(int width, int height, double f, double baseline, int near_mm,
                                          int far_mm) {
    auto* r = new vyxsim::DeviceRecord();
    r->left = MakeCamera(width, height, f);
    r->right = r->left;
    r->right.pose[3] = baseline;
    r->projector = r->left;
    r->projector.pose[3] = baseline / 2;
    r->workingdist_near_mm = near_mm;
    r->workingdist_far_mm = far_mm;
    return r;
}

// A device record whose default scene has a 15 mm circle grid (the colour
// device's geometry).
inline vyxsim::DeviceRecord& ColourDevice() {
    static vyxsim::DeviceRecord* d = StereoDevice(1920, 1200, 2200.0, 0.15, 500, 1000);
    return *d;
}

// The grey device's geometry (1280 x 1024, 12.5 mm grid).
inline vyxsim::DeviceRecord& GreyDevice() {
    static vyxsim::DeviceRecord* d = StereoDevice(1280, 1024, 1500.0, 0.1, 400, 800);
    return *d;
}

struct Noise {
    double grey = 0.0;   // standard deviation of image noise, grey levels
    double depth = 0.0;  // standard deviation along z, metres
    uint32_t seed = 1;
};

// What a camera sees of a scene: grey values 230 * luminance (colour images
// carry the albedo's channels), points in the camera frame.
struct Rendered {
    CameraModel camera;
    std::vector<uint8_t> grey;     // width * height
    std::vector<uint8_t> rgb;      // 3 per pixel, r g b
    std::vector<double> points;    // 3 per pixel, NaN where nothing is seen
};

inline Rendered RenderScene(const Scene& scene, const CameraModel& camera, const Noise& noise = {}) {
    Rendered out;
    out.camera = camera;
    vyxsim::scene::RenderSetup setup;
    setup.camera = &camera;
    vyxsim::scene::Frame f;
    EXPECT_TRUE(vyxsim::scene::Render(scene, setup, &f));
    auto rays = vyxsim::scene::RaysFor(camera);
    const std::size_t n = f.Size();
    out.grey.resize(n);
    out.rgb.resize(3 * n);
    out.points.assign(3 * n, std::nan(""));
    std::mt19937 rng(noise.seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (std::size_t k = 0; k < n; ++k) {
        const uint8_t* a = &f.albedo[3 * k];
        const double lum = (0.299 * a[0] + 0.587 * a[1] + 0.114 * a[2]) / 255.0;
        const double ng = noise.grey > 0.0 ? noise.grey * gauss(rng) : 0.0;
        out.grey[k] = static_cast<uint8_t>(std::clamp(std::lround(230.0 * lum + ng), 0L, 255L));
        for (int c = 0; c < 3; ++c) {
            out.rgb[3 * k + static_cast<std::size_t>(c)] =
                static_cast<uint8_t>(std::clamp(std::lround(230.0 * a[c] / 255.0 + ng), 0L, 255L));
        }
        if (!(f.depth[k] > 0.0f)) continue;
        const double z = f.depth[k] + (noise.depth > 0.0 ? noise.depth * gauss(rng) : 0.0);
        out.points[3 * k] = z * rays->x[k];
        out.points[3 * k + 1] = z * rays->y[k];
        out.points[3 * k + 2] = z;
    }
    return out;
}

// SDK objects holding a rendering (the system must be initialised).
inline Vyx::Image MakeImage(const Rendered& r, Vyx::ImageType::Enum type = Vyx::ImageType::Mono8) {
    const Vyx::Size size{r.camera.width, r.camera.height};
    Vyx::Image img = Vyx::Image::Create(type, size);
    EXPECT_TRUE(img.IsValid()) << Vyx::GetLastErrorMessage();
    uint8_t* d = img.GetDataPtr();
    const std::size_t n = r.grey.size();
    for (std::size_t k = 0; k < n; ++k) {
        if (type == Vyx::ImageType::Mono8) {
            d[k] = r.grey[k];
        } else if (type == Vyx::ImageType::RGB8) {
            std::memcpy(d + 3 * k, &r.rgb[3 * k], 3);
        } else {
            d[3 * k] = r.rgb[3 * k + 2];
            d[3 * k + 1] = r.rgb[3 * k + 1];
            d[3 * k + 2] = r.rgb[3 * k];
        }
    }
    return img;
}

inline Vyx::PointMap MakePointMap(const Rendered& r) {
    Vyx::PointMap m = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {r.camera.width, r.camera.height});
    EXPECT_TRUE(m.IsValid()) << Vyx::GetLastErrorMessage();
    std::memcpy(m.GetPointDataPtr(), r.points.data(), r.points.size() * sizeof(double));
    return m;
}

// A device-frame point in a camera's frame.
inline Eigen::Vector3d InCamera(const CameraModel& c, const Eigen::Vector3d& p) {
    const Eigen::Matrix4d m = vyxsim::scene::DeviceToCamera(c);
    return m.block<3, 3>(0, 0) * p + m.block<3, 1>(0, 3);
}

inline Eigen::Vector2d Pixel(const CameraModel& c, const Eigen::Vector3d& device_point) {
    Eigen::Vector2d px;
    EXPECT_TRUE(vyxsim::scene::ProjectDevice(c, device_point, &px));
    return px;
}

// Moves every object of the scene by the rigid motion M (device frame), as
// when the camera moves by its inverse.
inline Scene Moved(Scene s, const Eigen::Matrix4d& M) {
    for (auto& o : s.objects) {
        o.pose.R = M.block<3, 3>(0, 0) * o.pose.R;
        o.pose.t = M.block<3, 3>(0, 0) * o.pose.t + M.block<3, 1>(0, 3);
    }
    return s;
}

inline Eigen::Matrix4d Motion(double rx, double ry, double rz, const Eigen::Vector3d& pivot, const Eigen::Vector3d& shift) {
    Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
    const Eigen::Matrix3d R = vyxsim::scene::RotationFromDegrees(rx, ry, rz);
    m.block<3, 3>(0, 0) = R;
    m.block<3, 1>(0, 3) = pivot - R * pivot + shift;
    return m;
}

inline double AngleDeg(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
    return Eigen::AngleAxisd(a.transpose() * b).angle() * 180.0 / M_PI;
}

// SystemInit before each test, a clean stand-in state around it.
class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        vyxsim::Reset();
        ASSERT_TRUE(Vyx::SystemInit()) << Vyx::GetLastErrorMessage();
    }
    void TearDown() override { vyxsim::Reset(); }
};

}  // namespace vyxtest
