// Profiles of a fixed line scan, and computing them ahead.
#include "sensor/line_scan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "rendering/projection.h"
#include "rendering/render.h"
#include "sensor/exposure.h"

namespace vyxsim::cam {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

void ComputeProfile(const LineScanModel& m, int row, double t_ms, double* out) {
    const scene::Tracer& tracer = *m.tracer;
    const Eigen::Vector3d shift(0.0, m.conveyor_metres_per_second * t_ms / 1000.0, 0.0);
    const Eigen::Vector3d o = m.laser_origin + shift;
    const CameraModel& meas = m.measuring;
    const Eigen::Matrix4d dev_to_meas = scene::DeviceToCamera(meas);
    const Eigen::Matrix4d dev_to_other = scene::DeviceToCamera(m.other);
    const double inf = std::numeric_limits<double>::infinity();
    for (int i = 0; i < m.width; ++i) {
        double* q = out + 3 * static_cast<std::size_t>(i);
        q[0] = q[1] = q[2] = kNaN;
        const Eigen::Vector3d& d = m.laser_dirs[static_cast<std::size_t>(i)];
        scene::Hit hit;
        if (!tracer.Intersect(o, d, 0.0, inf, &hit)) continue;
        Eigen::Vector3d p = o + hit.t * d;
        Eigen::Vector3d n = hit.normal;
        if (n.dot(d) > 0.0) n = -n;  // the side the laser lights
        const double dist = hit.t * d.norm();
        const double irradiance = -n.dot(d) / d.norm() * m.reference_distance * m.reference_distance / (dist * dist);
        // Both cameras see the lit side, inside their images, unobstructed.
        bool seen = true;
        double view_cos = 0.0;
        for (const CameraModel* c : {&meas, &m.other}) {
            const Eigen::Vector3d centre = scene::CameraCentre(*c) + shift;
            const Eigen::Vector3d to_cam = centre - p;
            const double facing = n.dot(to_cam) / to_cam.norm();
            const Eigen::Matrix4d& to_camera = c == &meas ? dev_to_meas : dev_to_other;
            const Eigen::Vector3d p_cam = to_camera.block<3, 3>(0, 0) * (p - shift) + to_camera.block<3, 1>(0, 3);
            Eigen::Vector2d px;
            if (!(facing > 0.0) || !scene::ProjectCamera(*c, p_cam, &px) || px.x() < -0.5 || px.y() < -0.5 ||
                px.x() > c->width - 0.5 || px.y() > c->height - 0.5) {
                seen = false;
                break;
            }
            const Eigen::Vector3d start = p + n * 1e-7;
            if (tracer.Occluded(start, centre - start, 1e-9, 1.0 - 1e-9)) {
                seen = false;
                break;
            }
            if (c == &meas) view_cos = facing;
        }
        if (!seen) continue;
        const Eigen::Vector4d in_meas = dev_to_meas * (p - shift).homogeneous();
        const double z = in_meas.z();
        if (z * 1000.0 < m.min_mm || (m.max_mm > 0.0 && z * 1000.0 > m.max_mm)) continue;
        const double signal = scene::Luminance(tracer.Albedo(hit, 0.5 * dist / meas.fx)) * irradiance * m.scale;
        if (255.0 * std::min(signal, 1.0) < m.brightness_threshold) continue;
        if (Confidence(signal, view_cos) < m.confidence_threshold) continue;
        const std::size_t k = static_cast<std::size_t>(row) * m.width + i;
        p += (m.k_sigma * z * z * Gaussian(m.noise, k)) * d.normalized();
        const Eigen::Vector4d po = m.output * p.homogeneous();
        q[0] = po.x() / po.w();
        q[1] = po.y() / po.w();
        q[2] = po.z() / po.w();
    }
}

ProfileQueue::ProfileQueue(std::shared_ptr<const LineScanModel> model, std::vector<double> times_ms)
    : model_(std::move(model)),
      times_ms_(std::move(times_ms)),
      row_values_(static_cast<std::size_t>(model_->width) * 3),
      // Not initialised: pages are touched only as rows are computed.
      data_(new double[std::max<std::size_t>(1, times_ms_.size() * row_values_)]),
      finished_(times_ms_.size(), 0) {
    worker_ = std::thread([this] {
        while (!stop_.load(std::memory_order_relaxed) && ComputeNext()) {
        }
    });
}

ProfileQueue::~ProfileQueue() {
    stop_.store(true);
    worker_.join();
}

bool ProfileQueue::ComputeNext() {
    const int r = next_.fetch_add(1);
    if (r >= Rows()) return false;
    ComputeProfile(*model_, r, times_ms_[static_cast<std::size_t>(r)], data_.get() + static_cast<std::size_t>(r) * row_values_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_[static_cast<std::size_t>(r)] = 1;
        ++finished_count_;
    }
    finished_cv_.notify_all();
    return true;
}

const double* ProfileQueue::Row(int r) {
    // Help while row r is still unclaimed; then wait for whoever has it.
    while (next_.load() <= r && ComputeNext()) {
    }
    std::unique_lock<std::mutex> lock(mutex_);
    finished_cv_.wait(lock, [&] { return finished_[static_cast<std::size_t>(r)] != 0; });
    return data_.get() + static_cast<std::size_t>(r) * row_values_;
}

int ProfileQueue::Finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_count_;
}

}  // namespace vyxsim::cam
