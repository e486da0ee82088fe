// Capture options records: validation, JSON form and the trace text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "core/devices.h"
#include "core/error.h"
#include "sensor/model.h"
#include "vyx/x1.h"
#include "vyx/x2.h"

namespace vyxsim {

// The fields that differ from the record's defaults, as
// "name=value,name=value" (arrays as [a b c], ROI as [x y w h]), or "default".
std::string OptionsTrace(const Vyx::X1::CaptureOptions& options);
std::string OptionsTrace(const Vyx::X2::CaptureOptions& options);
// A row-major 4 x 4 matrix for the trace: its 16 values, separated by spaces,
// each in the shortest form that reads back to the same double.
std::string MatrixTrace(const double* m16);

// Every field by its name; enumerations as their integer values.
nlohmann::json OptionsToJson(const Vyx::X1::CaptureOptions& options);
nlohmann::json OptionsToJson(const Vyx::X2::CaptureOptions& options);
// Reads a record written by OptionsToJson: every field must be present with a
// value of its type. `path` names the record in error messages.
bool OptionsFromJson(const nlohmann::json& j, const std::string& path, Vyx::X1::CaptureOptions* out,
                     std::string* error);
bool OptionsFromJson(const nlohmann::json& j, const std::string& path, Vyx::X2::CaptureOptions* out,
                     std::string* error);

// The sensor's records for a capture with X1 or X2 options: both option
// records name these fields alike.
template <class Options>
cam::Params3D Params3DFrom(const Options& o) {
    cam::Params3D p;
    if (o.hdr_exposure_times > 0) {
        for (int i = 0; i < std::min(o.hdr_exposure_times, 3); ++i) {
            p.exposures.push_back({o.hdr_exposure_time_content[i], o.hdr_gain_content[i],
                                   o.hdr_projector_brightness_content[i], o.hdr_scan_times_content[i]});
        }
    } else {
        p.exposures.push_back({o.exposure_time_3d, o.gain_3d, o.projector_brightness, o.scan_times});
    }
    p.mode = o.capture_mode;
    p.light_contrast_threshold = o.light_contrast_threshold;
    p.confidence_threshold = o.confidence_threshold;
    p.roi = o.roi;
    p.truncate_min_mm = o.truncate_z_min;
    p.truncate_max_mm = o.truncate_z_max;
    p.calc_normal = o.calc_normal;
    p.normal_radius = static_cast<int>(std::clamp<uint32_t>(o.calc_normal_radius, 1u, 1000u));
    p.smoothness = o.smoothness;
    p.gamma = o.gamma_3d;
    return p;
}

template <class Options>
cam::Params2D Params2DFrom(const Options& o) {
    cam::Params2D p;
    p.time_ms = o.exposure_time_2d;
    p.gain_db = o.gain_2d;
    p.gamma = o.gamma_2d;
    p.brightness = o.projector_brightness;
    p.use_projector = o.use_projector_capturing_2d_image;
    return p;
}

// Ranges a device accepts.
constexpr int kExposureMin = 3, kExposureMax = 100;       // milliseconds
constexpr float kGainMin = 0.0f, kGainMax = 20.0f;        // decibels
constexpr float kGammaMin = 0.1f, kGammaMax = 4.0f;
constexpr int kBrightnessMin = 1, kBrightnessMax = 240;
constexpr int kScanTimesMin = 1, kScanTimesMax = 8;
constexpr int kNormalRadiusMax = 50;

// Checks the values a capture with `options` uses against what `device`
// supports; on failure `error` names the field and its range.
bool ValidateOptions(const Vyx::X1::CaptureOptions& options, const DeviceRecord& device,
                     const CameraModel& camera, std::string* error);

namespace cam {

// The 2D fields of a capture-options record (X1 or X2): exposure, gain,
// gamma and projector brightness. Fails with kInvalidArgument naming `op`
// and the field.
template <class O>
bool Validate2DFields(const char* op, const O& o) {
    auto bad = [&](const std::string& what) { return Fail(false, kInvalidArgument, std::string(op) + ": " + what); };
    if (o.exposure_time_2d < kExposureMin || o.exposure_time_2d > kExposureMax) {
        return bad("exposure_time_2d = " + std::to_string(o.exposure_time_2d) + " is outside 3 .. 100 (milliseconds)");
    }
    if (!(o.gain_2d >= kGainMin && o.gain_2d <= kGainMax)) return bad("gain_2d is outside 0 .. 20 (dB)");
    if (!(o.gamma_2d >= kGammaMin && o.gamma_2d <= kGammaMax)) return bad("gamma_2d is outside 0.1 .. 4");
    if (o.projector_brightness < kBrightnessMin || o.projector_brightness > kBrightnessMax) {
        return bad("projector_brightness = " + std::to_string(o.projector_brightness) + " is outside 1 .. 240");
    }
    return true;
}

}  // namespace cam

}  // namespace vyxsim
