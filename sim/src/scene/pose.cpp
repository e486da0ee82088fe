// Poses and rotations given as angles.
#include "scene/scene.h"

#include <algorithm>
#include <cmath>

namespace vyxsim::scene {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

Eigen::Matrix4d Pose::Matrix() const {
    Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
    m.block<3, 3>(0, 0) = R;
    m.block<3, 1>(0, 3) = t;
    return m;
}

Eigen::Matrix3d RotationFromDegrees(double rx, double ry, double rz) {
    const double k = kPi / 180.0;
    return (Eigen::AngleAxisd(rz * k, Eigen::Vector3d::UnitZ()) *
            Eigen::AngleAxisd(ry * k, Eigen::Vector3d::UnitY()) *
            Eigen::AngleAxisd(rx * k, Eigen::Vector3d::UnitX()))
        .toRotationMatrix();
}

Eigen::Vector3d DegreesFromRotation(const Eigen::Matrix3d& R) {
    const double k = 180.0 / kPi;
    double sy = std::clamp(-R(2, 0), -1.0, 1.0);
    double ry = std::asin(sy);
    double rx, rz;
    if (std::abs(sy) < 1.0 - 1e-9) {
        rx = std::atan2(R(2, 1), R(2, 2));
        rz = std::atan2(R(1, 0), R(0, 0));
    } else {  // gimbal lock: put the whole turn about z
        rx = 0.0;
        rz = std::atan2(-R(0, 1), R(1, 1));
    }
    return {rx * k, ry * k, rz * k};
}

}  // namespace vyxsim::scene
