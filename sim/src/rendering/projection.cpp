// Pinhole projection with lens distortion, and per-pixel ray tables.
#include "rendering/projection.h"

#include <mutex>
#include <utility>

namespace vyxsim::scene {

Eigen::Matrix4d CameraToDevice(const CameraModel& c) {
    Eigen::Matrix4d m;
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) m(r, k) = c.pose[static_cast<std::size_t>(r * 4 + k)];
    }
    return m;
}

Eigen::Matrix4d DeviceToCamera(const CameraModel& c) {
    const Eigen::Matrix4d m = CameraToDevice(c);
    Eigen::Matrix4d inv = Eigen::Matrix4d::Identity();
    // Poses are rigid: the inverse is the transposed rotation.
    const Eigen::Matrix3d Rt = m.block<3, 3>(0, 0).transpose();
    inv.block<3, 3>(0, 0) = Rt;
    inv.block<3, 1>(0, 3) = -Rt * m.block<3, 1>(0, 3);
    return inv;
}

Eigen::Vector3d CameraCentre(const CameraModel& c) { return {c.pose[3], c.pose[7], c.pose[11]}; }

namespace {

bool HasDistortion(const CameraModel& c) {
    for (double k : c.distortion) {
        if (k != 0.0) return true;
    }
    return false;
}

}  // namespace

Eigen::Vector2d Distort(const CameraModel& c, const Eigen::Vector2d& n) {
    const double k1 = c.distortion[0], k2 = c.distortion[1], p1 = c.distortion[2],
                 p2 = c.distortion[3], k3 = c.distortion[4];
    const double x = n.x(), y = n.y();
    const double r2 = x * x + y * y;
    const double radial = 1.0 + r2 * (k1 + r2 * (k2 + r2 * k3));
    return {x * radial + 2.0 * p1 * x * y + p2 * (r2 + 2.0 * x * x),
            y * radial + p1 * (r2 + 2.0 * y * y) + 2.0 * p2 * x * y};
}

Eigen::Vector2d Undistort(const CameraModel& c, const Eigen::Vector2d& d) {
    if (!HasDistortion(c)) return d;
    Eigen::Vector2d n = d;
    for (int i = 0; i < 50; ++i) {
        // Newton-like fixed point: move by the residual of the forward model.
        const Eigen::Vector2d err = Distort(c, n) - d;
        n -= err;
        if (err.squaredNorm() < 1e-26) break;
    }
    return n;
}

bool ProjectCamera(const CameraModel& c, const Eigen::Vector3d& p, Eigen::Vector2d* pixel) {
    if (!(p.z() > 0.0)) return false;
    const Eigen::Vector2d n(p.x() / p.z(), p.y() / p.z());
    const Eigen::Vector2d d = HasDistortion(c) ? Distort(c, n) : n;
    *pixel = {c.fx * d.x() + c.cx, c.fy * d.y() + c.cy};
    return true;
}

bool ProjectDevice(const CameraModel& c, const Eigen::Vector3d& p, Eigen::Vector2d* pixel) {
    const Eigen::Matrix4d m = DeviceToCamera(c);
    return ProjectCamera(c, m.block<3, 3>(0, 0) * p + m.block<3, 1>(0, 3), pixel);
}

// ---------------------------------------------------------------------------
// Ray tables.

namespace {

bool SameModel(const CameraModel& a, const CameraModel& b) {
    return a.width == b.width && a.height == b.height && a.fx == b.fx && a.fy == b.fy &&
           a.cx == b.cx && a.cy == b.cy && a.distortion == b.distortion;
}

struct TableCache {
    std::mutex mutex;
    std::vector<std::pair<CameraModel, std::shared_ptr<const RayTable>>> entries;  // newest last
};

TableCache& Cache() {
    static TableCache* cache = new TableCache();  // outlives every user at exit
    return *cache;
}

std::shared_ptr<const RayTable> BuildTable(const CameraModel& c) {
    auto t = std::make_shared<RayTable>();
    t->width = c.width;
    t->height = c.height;
    const std::size_t n = static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height);
    t->x.resize(n);
    t->y.resize(n);
    const bool distorted = HasDistortion(c);
    for (int v = 0; v < c.height; ++v) {
        for (int u = 0; u < c.width; ++u) {
            Eigen::Vector2d d((u - c.cx) / c.fx, (v - c.cy) / c.fy);
            if (distorted) d = Undistort(c, d);
            const std::size_t i = static_cast<std::size_t>(v) * static_cast<std::size_t>(c.width) + static_cast<std::size_t>(u);
            t->x[i] = static_cast<float>(d.x());
            t->y[i] = static_cast<float>(d.y());
        }
    }
    return t;
}

}  // namespace

std::shared_ptr<const RayTable> RaysFor(const CameraModel& c) {
    if (c.width <= 0 || c.height <= 0 || !(c.fx > 0.0) || !(c.fy > 0.0)) return nullptr;
    TableCache& cache = Cache();
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        for (auto& e : cache.entries) {
            if (SameModel(e.first, c)) return e.second;
        }
    }
    // Built outside the lock: two threads may build the same table once each.
    auto table = BuildTable(c);
    std::lock_guard<std::mutex> lock(cache.mutex);
    for (auto& e : cache.entries) {
        if (SameModel(e.first, c)) return e.second;
    }
    cache.entries.emplace_back(c, table);
    if (cache.entries.size() > 4) cache.entries.erase(cache.entries.begin());
    return table;
}

}  // namespace vyxsim::scene
