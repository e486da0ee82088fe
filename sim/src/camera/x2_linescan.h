// The fixed line scan of an X2: a conveyor carries the scene past a laser
// line that the projector draws; each trigger measures one profile (one row
// of points) where the laser meets the surface and both cameras see it.
//
// The conveyor moves the scene at kConveyorMetresPerSecond along the
// device's -y axis, so row r sees the scene shifted by s_r = v t_r: the
// points of every row are given where they lie on the part at the start of
// the scan, so the rows together are a height map of the part.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "camera/camera_state.h"
#include "core/devices.h"
#include "core/handles.h"
#include "rendering/tracer.h"
#include "scene/scene.h"
#include "sensor/line_scan.h"
#include "vyx/x2.h"

namespace vyxsim {

constexpr double kConveyorMetresPerSecond = 0.1;
constexpr double kEncoderMetresPerTick = 1e-5;      // 100 ticks per millimetre
constexpr double kLineReadoutUs = 100.0;            // per profile, after the exposure
constexpr double kLineDisparitySigmaPx = 0.05;      // precision of the laser line's position
constexpr int kMaxScanRows = 10000;
constexpr int kLineExposureMinUs = 10, kLineExposureMaxUs = 10000;
constexpr int kLineScanTimeMaxMs = 60000;

// The fastest line rate (profiles per millisecond) an exposure allows.
double MaxLineRatePerMs(int exposure_us);
// Profiles per millisecond of a time- or encoder-triggered scan; 0 for the
// software trigger (one profile per GetFixedLineScanPointMap call).
double LineRatePerMs(const Vyx::X2::CaptureOptions& options);

// Checks the line-scan fields; `error` names the field and its range.
bool ValidateLineScan(const Vyx::X2::CaptureOptions& options, const DeviceRecord& device, std::string* error);

struct X2Scan {
    Vyx::X2::CaptureOptions options;
    std::shared_ptr<const cam::LineScanModel> model;
    std::unique_ptr<cam::ProfileQueue> queue;  // timed scans: the profiles, computed ahead
    double rows_per_ms = 0.0;                  // 0: software trigger
    int max_rows = 0;
    double scan_ms = 0.0;                      // how long the scan acquires
    ModelClock::time_point start{};
    uint64_t capture_index = 0;

    std::vector<double> points;           // software trigger: the profiles so far, width x 3 each
    std::vector<uint64_t> row_clock_us;   // device clock at each profile
    std::vector<Words> filled;            // point maps made for the filling form

    int Rows() const { return static_cast<int>(row_clock_us.size()); }
    int Width() const { return model->width; }
};

}  // namespace vyxsim
