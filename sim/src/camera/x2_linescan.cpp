// The fixed line scan of an X2: trigger timing, the profiles and the entry
// points that start, read and stop a scan.
#include "camera/x2_linescan.h"
#include "camera/replay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "camera/capture.h"
#include "camera/cover.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/options.h"
#include "camera/stored_options.h"
#include "camera/x2_camera.h"
#include "rendering/projection.h"
#include "scene/device_scenes.h"

namespace vyxsim {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Laser signal (full scale 1) per unit of albedo and irradiance at 300 us and
// brightness 240.
constexpr double kLaserSensitivity = 0.9;
constexpr double kReferenceLineExposureUs = 300.0;

double EncoderRatePerMs(int interval) {
    return kConveyorMetresPerSecond / 1000.0 / (kEncoderMetresPerTick * std::max(interval, 1));
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

}  // namespace

double MaxLineRatePerMs(int exposure_us) { return 1000.0 / (std::max(exposure_us, 0) + kLineReadoutUs); }

double LineRatePerMs(const Vyx::X2::CaptureOptions& o) {
    switch (o.trigger_mode) {
        case Vyx::TriggerMode_FixedRate:
            return o.auto_set_fixed_rate ? MaxLineRatePerMs(o.line_scanner_exposure_time_us) : o.fixed_rate;
        case Vyx::TriggerMode_HardWare: return EncoderRatePerMs(o.encoder_trigger_interval);
        default: return 0.0;
    }
}

bool ValidateLineScan(const Vyx::X2::CaptureOptions& o, const DeviceRecord&, std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    auto range = [](const char* name, double v, double lo, double hi, const char* unit) {
        return std::string(name) + " = " + Num(v) + " is outside " + Num(lo) + " .. " + Num(hi) + unit;
    };
    if (o.line_scanner_scan_time_ms < 1 || o.line_scanner_scan_time_ms > kLineScanTimeMaxMs) {
        return fail(range("line_scanner_scan_time_ms", o.line_scanner_scan_time_ms, 1, kLineScanTimeMaxMs, " (milliseconds)"));
    }
    if (o.line_scanner_exposure_time_us < kLineExposureMinUs || o.line_scanner_exposure_time_us > kLineExposureMaxUs) {
        return fail(range("line_scanner_exposure_time_us", o.line_scanner_exposure_time_us, kLineExposureMinUs,
                          kLineExposureMaxUs, " (microseconds)"));
    }
    if (o.projector_brightness < kBrightnessMin || o.projector_brightness > kBrightnessMax) {
        return fail(range("projector_brightness", o.projector_brightness, kBrightnessMin, kBrightnessMax, ""));
    }
    if (o.line_scanner_min_distance < 0 || o.line_scanner_max_distance < 0) {
        return fail("line_scanner_min_distance and line_scanner_max_distance must not be negative (millimetres)");
    }
    if (o.line_scanner_max_distance > 0 && o.line_scanner_max_distance <= o.line_scanner_min_distance) {
        return fail("line_scanner_max_distance = " + std::to_string(o.line_scanner_max_distance) +
                    " must exceed line_scanner_min_distance = " + std::to_string(o.line_scanner_min_distance) +
                    " (0 sets no upper limit)");
    }
    if (o.line_scanner_brightness_threshold < 0 || o.line_scanner_brightness_threshold > 255) {
        return fail(range("line_scanner_brightness_threshold", o.line_scanner_brightness_threshold, 0, 255, " (grey levels)"));
    }
    if (!(o.line_scanner_confidence >= 0.0 && o.line_scanner_confidence <= 1.0)) {
        return fail("line_scanner_confidence = " + Num(o.line_scanner_confidence) + " is outside 0 .. 1");
    }
    const double max_rate = MaxLineRatePerMs(o.line_scanner_exposure_time_us);
    switch (o.trigger_mode) {
        case Vyx::TriggerMode_SoftWare: return true;
        case Vyx::TriggerMode_FixedRate:
            if (!o.auto_set_fixed_rate && !(o.fixed_rate > 0.0 && o.fixed_rate <= max_rate)) {
                return fail("fixed_rate = " + Num(o.fixed_rate) + " is outside 0 .. " + Num(max_rate) +
                            " (profiles per millisecond; the exposure of " +
                            std::to_string(o.line_scanner_exposure_time_us) + " us allows at most that)");
            }
            break;
        case Vyx::TriggerMode_HardWare:
            if (o.encoder_trigger_interval < 1) {
                return fail("encoder_trigger_interval = " + std::to_string(o.encoder_trigger_interval) +
                            " must be at least 1 (encoder ticks)");
            }
            if (EncoderRatePerMs(o.encoder_trigger_interval) > max_rate) {
                return fail("encoder_trigger_interval = " + std::to_string(o.encoder_trigger_interval) + " triggers " +
                            Num(EncoderRatePerMs(o.encoder_trigger_interval)) +
                            " profiles per millisecond, more than the exposure allows (" + Num(max_rate) + ")");
            }
            break;
        default:
            return fail("trigger_mode = " + std::to_string(static_cast<int>(o.trigger_mode)) + " is not a TriggerMode");
    }
    const double rows = std::floor(o.line_scanner_scan_time_ms * LineRatePerMs(o));
    if (rows > kMaxScanRows) {
        return fail("line_scanner_scan_time_ms = " + std::to_string(o.line_scanner_scan_time_ms) + " at " +
                    Num(LineRatePerMs(o)) + " profiles per millisecond makes " + Num(rows) + " profiles; a scan holds at most " +
                    std::to_string(kMaxScanRows));
    }
    return true;
}

namespace {

// When a timed trigger takes profile `row`: row / rate after the start,
// rounded to the nanosecond.
ModelClock::duration RowTime(const X2Scan& s, int row) {
    return ModelClock::duration{static_cast<ModelClock::rep>(std::llround(row * 1e6 / s.rows_per_ms))};
}

// Acquires the profiles due by now; with `trigger` (software trigger) one
// profile now. The camera's mutex is held.
void Advance(X2Obj& c, X2Scan& s, bool trigger) {
    ModelClock::time_point now, opened_at;
    ModelClock::duration simulated;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        now = c.state->Now();
        opened_at = c.state->opened_at;
        simulated = c.state->simulated;
    }
    const ModelClock::duration elapsed = std::max(now - s.start, ModelClock::duration{0});
    const ModelClock::duration scan_time = std::chrono::milliseconds(static_cast<int64_t>(s.scan_ms));
    std::vector<ModelClock::duration> due;  // acquisition times of the new profiles, since the start
    if (s.rows_per_ms <= 0.0) {
        if (trigger && elapsed < scan_time && s.Rows() < s.max_rows) due.push_back(elapsed);
    } else {
        for (int r = s.Rows(); r < s.max_rows && RowTime(s, r) <= elapsed; ++r) due.push_back(RowTime(s, r));
    }
    if (due.empty()) return;
    const std::size_t row_values = static_cast<std::size_t>(s.Width()) * 3;
    if (!s.queue) s.points.resize(s.points.size() + due.size() * row_values);
    for (ModelClock::duration t : due) {
        const int row = s.Rows();
        // A timed scan's queue has the profile (or computes it now); a
        // software trigger's profile is computed here.
        if (s.queue) {
            s.queue->Row(row);
        } else {
            cam::ComputeProfile(*s.model, row, std::chrono::duration<double, std::milli>(t).count(),
                                s.points.data() + static_cast<std::size_t>(row) * row_values);
        }
        s.row_clock_us.push_back(cam::DeviceClockUsAt(opened_at, simulated, s.start + t));
    }
}

bool NoScan(const char* op, const X2Obj& c) {
    return Fail(false, kWrongState,
                std::string(op) + ": no fixed line scan is running on " + cam::DeviceText(*c.device) +
                    " (StartFixedLineScan starts one)");
}

// The profiles so far, brought up to date (the caller holds the mutex).
bool CurrentProfiles(X2Obj& c, const char* op) {
    if (!c.scan) return NoScan(op, c);
    Advance(c, *c.scan, true);
    if (c.scan->Rows() == 0) {
        return Fail(false, kNoResult, std::string(op) + ": the scan time ran out before the first software trigger");
    }
    return true;
}

// Writes the scan's profiles into `m` (at least as many rows; the rest and
// all normals NaN) with the time of the last profile.
void WriteProfiles(const X2Scan& s, PointMapObj& m) {
    const std::size_t n = static_cast<std::size_t>(m.size.width) * static_cast<std::size_t>(m.size.height);
    const std::size_t row_values = static_cast<std::size_t>(s.Width()) * 3;
    for (int r = 0; r < s.Rows(); ++r) {
        const double* row = s.queue ? s.queue->Row(r) : s.points.data() + static_cast<std::size_t>(r) * row_values;
        std::copy(row, row + row_values, m.points + static_cast<std::size_t>(r) * row_values);
    }
    std::fill(m.points + static_cast<std::size_t>(s.Rows()) * row_values, m.points + 3 * n, kNaN);
    if (m.normals) std::fill(m.normals, m.normals + 3 * n, kNaN);
    m.timestamp.store(s.row_clock_us.back());
}

bool StartScan(X2Obj& c, const Vyx::X2::CaptureOptions& o, const char* op) {
    if (!cam::NeedsScene(op, *c.device)) return false;
    std::lock_guard<std::mutex> lock(c.mutex);
    if (c.destroyed) return Fail(false, kInvalidHandle, std::string(op) + ": the X2 was destroyed");
    if (c.scan) {
        return Fail(false, kWrongState, std::string(op) + ": a fixed line scan is already running on " +
                                            cam::DeviceText(*c.device) + "; stop it first");
    }
    if ((c.device->capture_modes & Vyx::CaptureMode_FixedLineScan) == 0) {
        return Fail(false, kUnsupported, std::string(op) + ": " + cam::DeviceText(*c.device) + " cannot make fixed line scans");
    }
    std::string why;
    if (!ValidateX2(o, X2Use::LineScan, *c.device, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency([&c] { return Interrupted(c); });
    auto sc = scene::SceneForDevice(c.device, &why);
    if (!sc) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    auto s = std::make_shared<X2Scan>();
    s->options = o;
    auto model = std::make_shared<cam::LineScanModel>();
    model->scene = sc;
    model->tracer = std::make_unique<scene::Tracer>(*sc, Eigen::Matrix4d::Identity());
    const int measuring = MeasuringCamera(o.transform_to_camera);
    model->measuring = c.Model(measuring);
    model->other = c.Model(measuring == kLeftCam ? kRightCam : kLeftCam);
    model->width = model->measuring.width;
    model->reference_distance = cam::ReferenceDistance(*c.device);
    model->conveyor_metres_per_second = kConveyorMetresPerSecond;
    model->k_sigma = kLineDisparitySigmaPx / (model->measuring.fx * std::max(StereoBaseline(*c.device), 1e-6));
    model->scale = o.projector_brightness / 240.0 * o.line_scanner_exposure_time_us / kReferenceLineExposureUs *
                   kLaserSensitivity;
    model->min_mm = o.line_scanner_min_distance;
    model->max_mm = o.line_scanner_max_distance;
    model->brightness_threshold = o.line_scanner_brightness_threshold;
    model->confidence_threshold = o.line_scanner_confidence;
    s->rows_per_ms = LineRatePerMs(o);
    s->scan_ms = o.line_scanner_scan_time_ms;
    s->max_rows = s->rows_per_ms > 0.0 ? std::max(1, static_cast<int>(std::floor(s->scan_ms * s->rows_per_ms)))
                                       : kMaxScanRows;
    // The laser sheet: projector row `laser_position` (0 .. 65535 across the
    // projector's rows), sampled at `width` points across its columns.
    const CameraModel& proj = c.device->projector;
    const Eigen::Matrix4d proj_to_dev = scene::CameraToDevice(proj);
    const double row = o.line_scanner_laser_position / 65535.0 * (proj.height - 1);
    model->laser_origin = scene::CameraCentre(proj);
    model->laser_dirs.resize(static_cast<std::size_t>(model->width));
    for (int i = 0; i < model->width; ++i) {
        const double col = (i + 0.5) * proj.width / model->width - 0.5;
        const Eigen::Vector2d n = scene::Undistort(proj, {(col - proj.cx) / proj.fx, (row - proj.cy) / proj.fy});
        model->laser_dirs[static_cast<std::size_t>(i)] = proj_to_dev.block<3, 3>(0, 0) * Eigen::Vector3d(n.x(), n.y(), 1.0);
    }
    Vyx::X2::CustomTransformOptions ct;
    {
        std::lock_guard<std::mutex> slock(c.state->mutex);
        s->capture_index = ++c.state->captures;
        ct = c.state->settings.x2_transform;
        s->start = c.state->Now();
    }
    model->noise = cam::MakeNoiseStream(c.device->serial, measuring, s->capture_index, kX2NoiseScan);
    if (!DeviceToOutput(op, c, o.transform_to_camera, ct, *sc, &model->output)) return false;
    s->model = model;
    if (s->rows_per_ms > 0.0) {
        // Timed triggers: every profile's time is known now.
        std::vector<double> times_ms(static_cast<std::size_t>(s->max_rows));
        for (int r = 0; r < s->max_rows; ++r) {
            times_ms[static_cast<std::size_t>(r)] = std::chrono::duration<double, std::milli>(RowTime(*s, r)).count();
        }
        s->queue = std::make_unique<cam::ProfileQueue>(model, std::move(times_ms));
    }
    if (!StillCurrent(c, op)) return false;
    c.scan = std::move(s);
    return true;
}

}  // namespace

void EndScan(X2Obj& c) { c.scan.reset(); }

}  // namespace vyxsim

// ===========================================================================
// Entry points.

namespace Vyx {

using vyxsim::Fail;
using vyxsim::RunX2;
using vyxsim::X2Need;
using vyxsim::X2Obj;

bool X2::StartFixedLineScan(const CaptureOptions& options) try {
    static const char* const op = "X2::StartFixedLineScan";
    const std::string text = vyxsim::OptionsTrace(options);
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"options", text.c_str()}}, X2Need::Open,
                 [&options](X2Obj& c) { return vyxsim::StartScan(c, options, op); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::StartFixedLineScan() try {
    static const char* const op = "X2::StartFixedLineScan";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open,
                 [](X2Obj& c) { return vyxsim::StartScan(c, vyxsim::StoredOptions(c), op); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

PointMap X2::GetFixedLineScanPointMap() try {
    static const char* const op = "X2::GetFixedLineScanPointMap";
    return vyxsim::RunX2Handle<PointMap>(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open,
                                         [](X2Obj& c, vyxsim::Words* w) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!vyxsim::CurrentProfiles(c, op)) return false;
        const vyxsim::X2Scan& s = *c.scan;
        std::shared_ptr<vyxsim::PointMapObj> m;
        *w = vyxsim::NewPointMap(PointMapType::PointsOnly, {s.Width(), s.Rows()}, &m);
        if (w->IsZero()) return false;
        if (!vyxsim::StillCurrent(c, op)) {
            vyxsim::RemoveObject(vyxsim::Kind::PointMap, *w);
            *w = vyxsim::Words{};
            return false;
        }
        vyxsim::WriteProfiles(s, *m);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(PointMap());
}

bool X2::GetFixedLineScanPointMap(PointMap& map) try {
    static const char* const op = "X2::GetFixedLineScanPointMap";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"map", HandleAccess::Get(map)}}, X2Need::Open,
                 [&map](X2Obj& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!vyxsim::CurrentProfiles(c, op)) return false;
        vyxsim::X2Scan& s = *c.scan;
        const vyxsim::Words old = HandleAccess::Get(map);
        auto given = vyxsim::Find<vyxsim::PointMapObj>(vyxsim::Kind::PointMap, old);
        if (given && given->size.width == s.Width() && given->size.height >= s.Rows()) {
            if (!vyxsim::StillCurrent(c, op)) return false;
            vyxsim::WriteProfiles(s, *given);
            return true;
        }
        std::shared_ptr<vyxsim::PointMapObj> m;
        const vyxsim::Words w = vyxsim::NewPointMap(PointMapType::PointsOnly, {s.Width(), s.Rows()}, &m);
        if (w.IsZero()) return false;
        if (!vyxsim::StillCurrent(c, op)) {
            vyxsim::RemoveObject(vyxsim::Kind::PointMap, w);
            return false;
        }
        vyxsim::WriteProfiles(s, *m);
        HandleAccess::Set(map, w);
        // A map this scan made for an earlier call is replaced, not kept.
        auto mine = std::find_if(s.filled.begin(), s.filled.end(),
                                 [&old](const vyxsim::Words& f) { return f.a == old.a && f.b == old.b; });
        if (mine != s.filled.end()) {
            vyxsim::RemoveObject(vyxsim::Kind::PointMap, old);
            s.filled.erase(mine);
        }
        s.filled.push_back(w);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::StopFixedLineScan() try {
    static const char* const op = "X2::StopFixedLineScan";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open, [](X2Obj& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!c.scan) return vyxsim::NoScan(op, c);
        // The laser was on for the time the scan acquired.
        double seconds;
        {
            std::lock_guard<std::mutex> slock(c.state->mutex);
            seconds = std::chrono::duration<double>(c.state->Now() - c.scan->start).count();
            seconds = std::clamp(seconds, 0.0, c.scan->scan_ms / 1000.0);
            vyxsim::AddCaptureHeat(*c.state, seconds, c.scan->options.projector_brightness);
        }
        vyxsim::EndScan(c);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

}  // namespace Vyx
