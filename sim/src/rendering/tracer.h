// Exact ray casting against the objects of a scene.
//
// A Tracer holds the scene's objects placed in one frame (usually a camera's),
// so that rays can start at that frame's origin. Rays are o + t d with any
// non-zero d; t is in units of |d| (with d = (x/z, y/z, 1) in a camera frame,
// t is the depth z).
#pragma once

#include <vector>

#include <Eigen/Core>

#include "scene/scene.h"

namespace vyxsim::scene {

struct Hit {
    double t = 0.0;
    Eigen::Vector3d normal;   // unit, pointing out of the surface hit
    int object = -1;          // index in Scene::objects
    bool textured = false;    // a plane or a board's front face: `uv` is set
    Eigen::Vector2d uv;       // the point in the surface frame (metres)
};

class Tracer {
public:
    // `device_to_frame` maps device coordinates to the frame rays are given in.
    Tracer(const Scene& scene, const Eigen::Matrix4d& device_to_frame);

    // The nearest hit with tmin < t < tmax.
    bool Intersect(const Eigen::Vector3d& o, const Eigen::Vector3d& d, double tmin, double tmax,
                   Hit* hit) const;
    // True when anything lies on the ray with tmin < t < tmax.
    bool Occluded(const Eigen::Vector3d& o, const Eigen::Vector3d& d, double tmin, double tmax) const;

    // Reflectance at a hit, averaged over a footprint of radius `footprint`
    // (metres on the surface).
    Rgb Albedo(const Hit& hit, double footprint) const;

    const Scene& scene() const { return scene_; }

private:
    struct Prim {
        Shape shape;
        int object;
        Eigen::Matrix3d Rt;       // frame to local rotation
        Eigen::Vector3d origin;   // local origin in the frame
        Eigen::Vector3d lo, hi;   // local bounds (boxes, boards, bounded planes)
        double radius = 0.0, half_height = 0.0;
        bool bounded = true;      // has a bounding sphere
        Eigen::Vector3d bcentre;  // bounding sphere in the frame
        double bradius2 = 0.0;
        bool textured_front = false;
    };
    // Intersection with one primitive within (tmin, tmax); fills `hit`.
    bool HitPrim(const Prim& p, const Eigen::Vector3d& o, const Eigen::Vector3d& d, double tmin,
                 double tmax, Hit* hit) const;

    const Scene& scene_;
    std::vector<Prim> prims_;
};

}  // namespace vyxsim::scene
