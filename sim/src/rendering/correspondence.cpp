// Stereo correspondence by projection and a visibility ray.
#include "rendering/correspondence.h"

#include <cmath>
#include <limits>

#include "rendering/projection.h"
#include "rendering/tracer.h"

namespace vyxsim::scene {

namespace {
// The visibility ray stops this far (relative) before the point, so that the
// surface the point lies on does not hide it.
constexpr double kVisibilityMargin = 5e-5;
}  // namespace

void MapIntoCamera(const scene::Scene& scene, const CameraModel& from, const scene::Frame& frame,
                   const CameraModel& to, double* uv) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::size_t n = frame.Size();
    for (std::size_t k = 0; k < 2 * n; ++k) uv[k] = nan;
    auto rays = scene::RaysFor(from);
    if (!rays) return;
    const Eigen::Matrix4d from_to = scene::DeviceToCamera(to) * scene::CameraToDevice(from);
    const Eigen::Matrix3d R = from_to.block<3, 3>(0, 0);
    const Eigen::Vector3d t = from_to.block<3, 1>(0, 3);
    // Rays start at the centre of `to`.
    const scene::Tracer tracer(scene, scene::DeviceToCamera(to));
    const int step = frame.step;
    for (int j = 0; j < frame.height; ++j) {
        for (int i = 0; i < frame.width; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * frame.width + i;
            const float z = frame.depth[k];
            if (!(z > 0.0f) || !(frame.irradiance[k] > 0.0f)) continue;
            const std::size_t r = static_cast<std::size_t>(j * step) * rays->width + static_cast<std::size_t>(i * step);
            const Eigen::Vector3d p_to = R * Eigen::Vector3d(z * rays->x[r], z * rays->y[r], z) + t;
            Eigen::Vector2d px;
            if (!scene::ProjectCamera(to, p_to, &px)) continue;
            if (!(px.x() >= -0.5 && px.y() >= -0.5 && px.x() <= to.width - 0.5 && px.y() <= to.height - 0.5)) continue;
            if (tracer.Occluded(Eigen::Vector3d::Zero(), p_to, 1e-9, 1.0 - kVisibilityMargin)) continue;
            uv[2 * k] = px.x();
            uv[2 * k + 1] = px.y();
        }
    }
}

}  // namespace vyxsim::scene
