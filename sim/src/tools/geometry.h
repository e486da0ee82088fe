// 3D geometry for the measurement tools: points from an organised point map
// at sub-pixel positions, rigid transforms between point sets (with outlier
// rejection), planes, and the pose of a pinhole camera from 2D-3D
// correspondences.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <Eigen/Core>

namespace vyxsim::tools {

// An organised point map: width x height points of three doubles (metres),
// NaN where there is none.
struct PointGrid {
    int width = 0;
    int height = 0;
    const double* points = nullptr;
};

// The surface point seen at sub-pixel `pixel`: each coordinate is fitted as
// an affine function of the pixel offset over the valid points within
// `radius` pixels (twice dropping points more than 3 robust sigmas off the
// fit) and evaluated at `pixel`. False with fewer than 8 usable points or
// when they do not span an area.
bool LiftPixel(const PointGrid& grid, const Eigen::Vector2d& pixel, double radius, Eigen::Vector3d* out);

struct Rigid {
    Eigen::Matrix3d R = Eigen::Matrix3d::Identity();
    Eigen::Vector3d t = Eigen::Vector3d::Zero();
    Eigen::Vector3d Apply(const Eigen::Vector3d& p) const { return R * p + t; }
    Rigid Inverse() const;
};

// Least-squares rigid transform (Kabsch) with dst ~ R src + t. False for
// fewer than 3 pairs or sizes that differ.
bool FitRigid(const std::vector<Eigen::Vector3d>& src, const std::vector<Eigen::Vector3d>& dst, Rigid* out);

// Spread of points across their main direction: the square root of the
// middle eigenvalue of their covariance (0 for collinear points).
double LateralSpread(const std::vector<Eigen::Vector3d>& points);

struct RobustRigid {
    Rigid transform;
    std::vector<bool> inlier;
    int inliers = 0;
    double rms = 0.0;  // of the inliers' residuals, metres
};

// Rigid transform from pairs that may contain wrong ones: every (or, for
// many pairs, 2000 pseudo-random) well-shaped triple proposes a transform,
// the one with the most pairs within `threshold` metres wins, and the
// inliers are refitted until they no longer change. False with fewer than 3
// inliers or inliers that lie on a line (spread under `threshold`).
bool FitRigidRobust(const std::vector<Eigen::Vector3d>& src, const std::vector<Eigen::Vector3d>& dst,
                    double threshold, RobustRigid* out);

// Least-squares plane n . p = d (unit n).
struct Plane {
    Eigen::Vector3d normal = Eigen::Vector3d::UnitZ();
    double d = 0.0;
    double Distance(const Eigen::Vector3d& p) const { return normal.dot(p) - d; }
};
bool FitPlane(const std::vector<Eigen::Vector3d>& points, Plane* out);

// Pinhole camera with Brown-Conrady distortion (k1, k2, p1, p2, k3) on
// normalised coordinates, pixel centres at integer coordinates.
struct Pinhole {
    double fx = 1, fy = 1, cx = 0, cy = 0;
    std::array<double, 5> dist{};
    Eigen::Vector2d Distort(const Eigen::Vector2d& n) const;
    Eigen::Vector2d Undistort(const Eigen::Vector2d& d) const;
    // Pixel of a point in the camera frame; false behind the camera.
    bool Project(const Eigen::Vector3d& p, Eigen::Vector2d* pixel) const;
    // Undistorted normalised coordinates of a pixel.
    Eigen::Vector2d Normalised(const Eigen::Vector2d& pixel) const;
};

struct PoseResult {
    Rigid pose;  // object points to camera frame
    double rms_px = 0.0;
    std::vector<bool> inlier;
    int inliers = 0;
};

// Pose of a camera from object points and their pixels: a linear start
// (DLT for points in general position, a homography for coplanar ones), then
// Levenberg-Marquardt on the reprojection error; pairs more than
// max(3 px, 5 x the median error) off are dropped and the pose refined again.
// False with fewer than 6 pairs (or 4 coplanar ones) or no convergence.
bool SolvePnP(const std::vector<Eigen::Vector3d>& object, const std::vector<Eigen::Vector2d>& pixels,
              const Pinhole& camera, PoseResult* out);

}  // namespace vyxsim::tools
