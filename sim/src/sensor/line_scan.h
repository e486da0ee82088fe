// The profiles of a fixed line scan: where the laser sheet meets the part
// that the conveyor carries, as both cameras see it, with the laser line's
// measurement noise.
//
// A timed scan knows when each of its profiles is taken, so a ProfileQueue
// computes them as the scan runs, in a thread of its own, ahead of the
// clock; reading the profiles that are due then only copies them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <Eigen/Core>

#include "core/devices.h"
#include "scene/scene.h"
#include "rendering/tracer.h"
#include "sensor/noise.h"

namespace vyxsim::cam {

// Everything a profile depends on, fixed when the scan starts.
struct LineScanModel {
    std::shared_ptr<const scene::Scene> scene;
    std::unique_ptr<scene::Tracer> tracer;  // rays in the device frame
    CameraModel measuring, other;           // the camera whose depth counts, and the other one
    Eigen::Matrix4d output;                 // device frame to the frame of the points
    int width = 0;                          // points per profile
    double reference_distance = 0.6;        // where the laser's irradiance is 1
    // The laser: its origin and one direction per point of a profile.
    Eigen::Vector3d laser_origin;
    std::vector<Eigen::Vector3d> laser_dirs;
    double conveyor_metres_per_second = 0.1;
    double k_sigma = 0.0;  // depth noise per z^2 (1 / m)
    double scale = 1.0;    // laser signal per unit of albedo and irradiance
    double min_mm = 0.0, max_mm = 0.0;  // depth limits of the measuring camera (max 0: none)
    int brightness_threshold = 0;       // grey levels
    double confidence_threshold = 0.0;
    NoiseStream noise;
};

// Profile `row`, taken `t_ms` after the start of the scan, into `out`
// (width x 3 values; NaN where there is no point).
void ComputeProfile(const LineScanModel& model, int row, double t_ms, double* out);

// The profiles of a timed scan, computed in order by a worker thread from
// construction on. Row(r) gives profile r, waiting for it (and computing
// rows itself meanwhile) when the worker has not got there yet. The
// destructor stops the worker.
class ProfileQueue {
public:
    // `times_ms[r]`: when profile r is taken.
    ProfileQueue(std::shared_ptr<const LineScanModel> model, std::vector<double> times_ms);
    ~ProfileQueue();
    ProfileQueue(const ProfileQueue&) = delete;
    ProfileQueue& operator=(const ProfileQueue&) = delete;

    int Rows() const { return static_cast<int>(times_ms_.size()); }
    // Profile r (0 <= r < Rows()), width x 3 values.
    const double* Row(int r);
    // Profiles finished so far (by the worker or by Row).
    int Finished();

private:
    // Claims the next row and computes it; false when none is left.
    bool ComputeNext();

    const std::shared_ptr<const LineScanModel> model_;
    const std::vector<double> times_ms_;
    const std::size_t row_values_;
    std::unique_ptr<double[]> data_;  // Rows() x row_values_, written once per row
    std::atomic<int> next_{0};        // the next row to claim
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable finished_cv_;
    std::vector<uint8_t> finished_;  // per row, guarded by mutex_
    int finished_count_ = 0;         // guarded by mutex_
    std::thread worker_;
};

}  // namespace vyxsim::cam
