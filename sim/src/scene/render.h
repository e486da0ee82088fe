// Rendering a scene through one camera model with the projector's light.
//
// Camera frames follow the pinhole convention: x right, y down, z along the
// optical axis; pixel (u, v) has its centre at column u, row v. A camera
// model's pose maps its frame into the device frame. Distortion (k1, k2, p1,
// p2, k3, Brown-Conrady as OpenCV has it) acts on normalised coordinates.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <Eigen/Core>

#include "core/devices.h"
#include "scene/scene.h"

namespace vyxsim::scene {

Eigen::Matrix4d CameraToDevice(const CameraModel& camera);
Eigen::Matrix4d DeviceToCamera(const CameraModel& camera);
Eigen::Vector3d CameraCentre(const CameraModel& camera);  // in the device frame

// Normalised coordinates (x/z, y/z) to distorted ones, and back.
Eigen::Vector2d Distort(const CameraModel& camera, const Eigen::Vector2d& normalised);
Eigen::Vector2d Undistort(const CameraModel& camera, const Eigen::Vector2d& distorted);
// Pixel of a point in the camera frame, or in the device frame; false when
// the point is not in front of the camera.
bool ProjectCamera(const CameraModel& camera, const Eigen::Vector3d& p_camera, Eigen::Vector2d* pixel);
bool ProjectDevice(const CameraModel& camera, const Eigen::Vector3d& p_device, Eigen::Vector2d* pixel);

// For every pixel the undistorted normalised coordinates of its ray: the
// ray is (x, y, 1) in the camera frame. Built once per camera model and
// shared (cached).
struct RayTable {
    int width = 0;
    int height = 0;
    std::vector<float> x, y;  // row-major, width * height each
};
std::shared_ptr<const RayTable> RaysFor(const CameraModel& camera);

// What a camera sees, per pixel (row-major). With a step s > 1 the frame
// holds every s-th pixel of every s-th row: frame pixel (i, j) is camera
// pixel (i * s, j * s).
struct Frame {
    int width = 0, height = 0, step = 1;
    std::vector<float> depth;       // z in the camera frame (metres); NaN: nothing seen
    // Projector light arriving at the point, relative to a surface facing the
    // projector at the reference distance: cos(incidence) * (d_ref / d)^2;
    // 0 where the projector does not reach the point (outside its field,
    // facing away, or shadowed).
    std::vector<float> irradiance;
    std::vector<float> proj_u, proj_v;  // projector pixel of the point; NaN when unlit
    std::vector<uint8_t> albedo;        // 3 per pixel: linear r, g, b * 255
    std::vector<uint8_t> view_cos;      // cos(angle between ray and normal) * 255
    std::vector<uint16_t> object;       // index + 1 of the object seen; 0 for none

    std::size_t Size() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};

struct RenderSetup {
    const CameraModel* camera = nullptr;
    const CameraModel* projector = nullptr;  // null: lit everywhere with irradiance 1
    double reference_distance = 0.6;        // metres
    int step = 1;
    // Camera rows to render, [row_begin, row_end); the rest of the frame
    // stays empty. row_end < 0: to the last row.
    int row_begin = 0, row_end = -1;
};

// Casts one ray per pixel (and one shadow ray toward the projector per point
// seen). False when the camera model is unusable.
bool Render(const Scene& scene, const RenderSetup& setup, Frame* out);

}  // namespace vyxsim::scene
