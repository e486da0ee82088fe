// Camera models: frames, pinhole projection and lens distortion.
//
// Camera frames follow the pinhole convention: x right, y down, z along the
// optical axis; pixel (u, v) has its centre at column u, row v. A camera
// model's pose maps its frame into the device frame. Distortion (k1, k2, p1,
// p2, k3, Brown-Conrady as OpenCV has it) acts on normalised coordinates.
#pragma once

#include <memory>
#include <vector>

#include <Eigen/Core>

#include "core/devices.h"

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

}  // namespace vyxsim::scene
