// Ray against plane, box, sphere and capped cylinder, in closed form.
#include "rendering/tracer.h"

#include <cmath>
#include <limits>

#include "scene/surface.h"

namespace vyxsim::scene {

namespace {
constexpr double kTiny = 1e-15;
}

Tracer::Tracer(const Scene& scene, const Eigen::Matrix4d& device_to_frame) : scene_(scene) {
    const Eigen::Matrix3d A = device_to_frame.block<3, 3>(0, 0);
    const Eigen::Vector3d b = device_to_frame.block<3, 1>(0, 3);
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const Object& o = scene.objects[i];
        Prim p;
        p.shape = o.shape;
        p.object = static_cast<int>(i);
        const Eigen::Matrix3d R = A * o.pose.R;  // local to frame
        p.Rt = R.transpose();
        p.origin = A * o.pose.t + b;
        switch (o.shape) {
            case Shape::Plane:
                p.hi = {o.size.x() / 2.0, o.size.y() / 2.0, 0.0};
                p.lo = -p.hi;
                p.bounded = o.size.x() > 0.0 && o.size.y() > 0.0;
                if (!p.bounded) {
                    // Unbounded in both directions unless one extent is given.
                    if (o.size.x() <= 0.0) p.hi.x() = std::numeric_limits<double>::infinity();
                    if (o.size.y() <= 0.0) p.hi.y() = std::numeric_limits<double>::infinity();
                    p.lo = -p.hi;
                }
                p.bcentre = p.origin;
                p.bradius2 = p.hi.head<2>().squaredNorm();
                break;
            case Shape::Box:
                p.hi = o.size / 2.0;
                p.lo = -p.hi;
                p.bcentre = p.origin;
                p.bradius2 = p.hi.squaredNorm();
                break;
            case Shape::Board:
                p.lo = {-o.size.x() / 2.0, -o.size.y() / 2.0, 0.0};
                p.hi = {o.size.x() / 2.0, o.size.y() / 2.0, o.size.z()};
                p.bcentre = p.origin + R * ((p.lo + p.hi) / 2.0);
                p.bradius2 = ((p.hi - p.lo) / 2.0).squaredNorm();
                p.textured_front = true;
                break;
            case Shape::Sphere:
                p.radius = o.radius;
                p.bcentre = p.origin;
                p.bradius2 = o.radius * o.radius;
                break;
            case Shape::Cylinder:
                p.radius = o.radius;
                p.half_height = o.height / 2.0;
                p.bcentre = p.origin;
                p.bradius2 = o.radius * o.radius + p.half_height * p.half_height;
                break;
        }
        prims_.push_back(p);
    }
}

bool Tracer::HitPrim(const Prim& p, const Eigen::Vector3d& o, const Eigen::Vector3d& d, double tmin,
                     double tmax, Hit* hit) const {
    if (p.bounded) {
        // Reject rays that pass outside the bounding sphere.
        const Eigen::Vector3d oc = p.bcentre - o;
        const double dd = d.squaredNorm();
        const double tc = oc.dot(d) / dd;
        const double dist2 = oc.squaredNorm() - tc * tc * dd;
        if (dist2 > p.bradius2 * (1.0 + 1e-9)) return false;
    }
    if (p.shape == Shape::Sphere) {
        const Eigen::Vector3d oc = o - p.origin;
        const double a = d.squaredNorm();
        const double b = oc.dot(d);
        const double c = oc.squaredNorm() - p.radius * p.radius;
        const double disc = b * b - a * c;
        if (disc < 0.0) return false;
        const double sq = std::sqrt(disc);
        double t = (-b - sq) / a;
        if (!(t > tmin && t < tmax)) {
            t = (-b + sq) / a;
            if (!(t > tmin && t < tmax)) return false;
        }
        hit->t = t;
        hit->normal = (o + t * d - p.origin) / p.radius;
        hit->object = p.object;
        hit->textured = false;
        return true;
    }

    const Eigen::Vector3d ol = p.Rt * (o - p.origin);
    const Eigen::Vector3d dl = p.Rt * d;

    if (p.shape == Shape::Plane) {
        if (std::abs(dl.z()) < kTiny) return false;
        const double t = -ol.z() / dl.z();
        if (!(t > tmin && t < tmax)) return false;
        const Eigen::Vector3d q = ol + t * dl;
        if (std::abs(q.x()) > p.hi.x() || std::abs(q.y()) > p.hi.y()) return false;
        hit->t = t;
        // Two-sided: the normal faces where the ray comes from.
        hit->normal = p.Rt.row(2).transpose() * (dl.z() > 0.0 ? -1.0 : 1.0);
        hit->object = p.object;
        hit->textured = true;
        hit->uv = q.head<2>();
        return true;
    }

    if (p.shape == Shape::Box || p.shape == Shape::Board) {
        double tnear = -std::numeric_limits<double>::infinity();
        double tfar = std::numeric_limits<double>::infinity();
        int near_axis = -1, far_axis = -1;
        double near_sign = 0.0, far_sign = 0.0;
        for (int i = 0; i < 3; ++i) {
            if (std::abs(dl[i]) < kTiny) {
                if (ol[i] < p.lo[i] || ol[i] > p.hi[i]) return false;
                continue;
            }
            double t1 = (p.lo[i] - ol[i]) / dl[i];
            double t2 = (p.hi[i] - ol[i]) / dl[i];
            double s1 = -1.0, s2 = 1.0;  // outward normal sign of the lo and hi faces
            if (t1 > t2) {
                std::swap(t1, t2);
                std::swap(s1, s2);
            }
            if (t1 > tnear) {
                tnear = t1;
                near_axis = i;
                near_sign = s1;
            }
            if (t2 < tfar) {
                tfar = t2;
                far_axis = i;
                far_sign = s2;
            }
            if (tnear > tfar) return false;
        }
        double t;
        int axis;
        double sign;
        if (tnear > tmin && tnear < tmax) {
            t = tnear;
            axis = near_axis;
            sign = near_sign;
        } else if (tfar > tmin && tfar < tmax) {
            t = tfar;
            axis = far_axis;
            sign = far_sign;
        } else {
            return false;
        }
        if (axis < 0) return false;
        hit->t = t;
        hit->normal = p.Rt.row(axis).transpose() * sign;
        hit->object = p.object;
        hit->textured = p.textured_front && axis == 2 && sign < 0.0;
        if (hit->textured) hit->uv = (ol + t * dl).head<2>();
        return true;
    }

    // Capped cylinder along local z.
    double best = tmax;
    Eigen::Vector3d best_n_local;
    bool found = false;
    const double a = dl.x() * dl.x() + dl.y() * dl.y();
    const double r2 = p.radius * p.radius;
    if (a > kTiny) {
        const double b = ol.x() * dl.x() + ol.y() * dl.y();
        const double c = ol.x() * ol.x() + ol.y() * ol.y() - r2;
        const double disc = b * b - a * c;
        if (disc >= 0.0) {
            const double sq = std::sqrt(disc);
            for (double t : {(-b - sq) / a, (-b + sq) / a}) {
                if (t > tmin && t < best) {
                    const double z = ol.z() + t * dl.z();
                    if (std::abs(z) <= p.half_height) {
                        best = t;
                        best_n_local = {(ol.x() + t * dl.x()) / p.radius, (ol.y() + t * dl.y()) / p.radius, 0.0};
                        found = true;
                    }
                }
            }
        }
    }
    if (std::abs(dl.z()) > kTiny) {
        for (double zc : {-p.half_height, p.half_height}) {
            const double t = (zc - ol.z()) / dl.z();
            if (t > tmin && t < best) {
                const double x = ol.x() + t * dl.x(), y = ol.y() + t * dl.y();
                if (x * x + y * y <= r2) {
                    best = t;
                    best_n_local = {0.0, 0.0, zc > 0.0 ? 1.0 : -1.0};
                    found = true;
                }
            }
        }
    }
    if (!found) return false;
    hit->t = best;
    hit->normal = p.Rt.transpose() * best_n_local;
    hit->object = p.object;
    hit->textured = false;
    return true;
}

bool Tracer::Intersect(const Eigen::Vector3d& o, const Eigen::Vector3d& d, double tmin, double tmax,
                       Hit* hit) const {
    Hit h;
    bool found = false;
    for (const Prim& p : prims_) {
        if (HitPrim(p, o, d, tmin, tmax, &h)) {
            found = true;
            tmax = h.t;
            if (hit) *hit = h;
        }
    }
    return found;
}

bool Tracer::Occluded(const Eigen::Vector3d& o, const Eigen::Vector3d& d, double tmin, double tmax) const {
    Hit h;
    for (const Prim& p : prims_) {
        if (HitPrim(p, o, d, tmin, tmax, &h)) return true;
    }
    return false;
}

Rgb Tracer::Albedo(const Hit& hit, double footprint) const {
    if (hit.object < 0) return {};
    const Object& o = scene_.objects[static_cast<std::size_t>(hit.object)];
    if (!hit.textured) return o.albedo;
    return SurfaceAlbedo(scene_, o, hit.uv, footprint);
}

}  // namespace vyxsim::scene
