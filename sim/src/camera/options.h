// Capture options records: validation, JSON form and the trace text.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "core/devices.h"
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

}  // namespace vyxsim
