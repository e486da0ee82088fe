// Capture options: one field list per record drives the JSON form, the
// trace text and the comparison with the defaults.
#include "camera/options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/error.h"

using nlohmann::json;

namespace vyxsim {

namespace {

// Calls f(name, field) for every field of the record, in declaration order.
template <class O, class F>
void VisitX1(O& o, F&& f) {
    f("calc_normal", o.calc_normal);
    f("transform_to_camera", o.transform_to_camera);
    f("filter_range", o.filter_range);
    f("use_auto_noise_removal", o.use_auto_noise_removal);
    f("noise_removal_distance", o.noise_removal_distance);
    f("noise_removal_point_number", o.noise_removal_point_number);
    f("light_contrast_threshold", o.light_contrast_threshold);
    f("phase_filter_range", o.phase_filter_range);
    f("exposure_time_2d", o.exposure_time_2d);
    f("exposure_time_3d", o.exposure_time_3d);
    f("projector_brightness", o.projector_brightness);
    f("gain_2d", o.gain_2d);
    f("gain_3d", o.gain_3d);
    f("hdr_exposure_times", o.hdr_exposure_times);
    f("hdr_exposure_time_content", o.hdr_exposure_time_content);
    f("hdr_gain_content", o.hdr_gain_content);
    f("hdr_scan_times_content", o.hdr_scan_times_content);
    f("hdr_projector_brightness_content", o.hdr_projector_brightness_content);
    f("calc_normal_radius", o.calc_normal_radius);
    f("gamma_2d", o.gamma_2d);
    f("gamma_3d", o.gamma_3d);
    f("use_projector_capturing_2d_image", o.use_projector_capturing_2d_image);
    f("smoothness", o.smoothness);
    f("downsample_distance", o.downsample_distance);
    f("capture_mode", o.capture_mode);
    f("confidence_threshold", o.confidence_threshold);
    f("roi", o.roi);
    f("truncate_z_min", o.truncate_z_min);
    f("truncate_z_max", o.truncate_z_max);
    f("bilateral_filter_kernal_size", o.bilateral_filter_kernal_size);
    f("bilateral_filter_depth_sigma", o.bilateral_filter_depth_sigma);
    f("bilateral_filter_space_sigma", o.bilateral_filter_space_sigma);
    f("scan_times", o.scan_times);
    f("use_auto_bilateral_filter", o.use_auto_bilateral_filter);
    f("reflection_filter_threshold", o.reflection_filter_threshold);
    f("smooth_sigma", o.smooth_sigma);
    f("enable_2d_in_capture", o.enable_2d_in_capture);
}

template <class O, class F>
void VisitX2(O& o, F&& f) {
    f("transform_to_camera", o.transform_to_camera);
    f("projector_brightness", o.projector_brightness);
    f("calc_normal", o.calc_normal);
    f("calc_normal_radius", o.calc_normal_radius);
    f("light_contrast_threshold", o.light_contrast_threshold);
    f("edge_noise_reduction_threshold", o.edge_noise_reduction_threshold);
    f("exposure_time_2d", o.exposure_time_2d);
    f("exposure_time_3d", o.exposure_time_3d);
    f("gain_2d", o.gain_2d);
    f("gain_3d", o.gain_3d);
    f("hdr_exposure_times", o.hdr_exposure_times);
    f("hdr_exposure_time_content", o.hdr_exposure_time_content);
    f("hdr_gain_content", o.hdr_gain_content);
    f("hdr_projector_brightness_content", o.hdr_projector_brightness_content);
    f("gamma_2d", o.gamma_2d);
    f("gamma_3d", o.gamma_3d);
    f("projector_color", o.projector_color);
    f("use_projector_capturing_2d_image", o.use_projector_capturing_2d_image);
    f("smoothness", o.smoothness);
    f("use_auto_noise_removal", o.use_auto_noise_removal);
    f("noise_removal_distance", o.noise_removal_distance);
    f("noise_removal_point_number", o.noise_removal_point_number);
    f("downsample_distance", o.downsample_distance);
    f("capture_mode", o.capture_mode);
    f("confidence_threshold", o.confidence_threshold);
    f("scan_times", o.scan_times);
    f("hdr_scan_times_content", o.hdr_scan_times_content);
    f("bilateral_filter_kernal_size", o.bilateral_filter_kernal_size);
    f("bilateral_filter_depth_sigma", o.bilateral_filter_depth_sigma);
    f("bilateral_filter_space_sigma", o.bilateral_filter_space_sigma);
    f("line_scanner_scan_time_ms", o.line_scanner_scan_time_ms);
    f("line_scanner_exposure_time_us", o.line_scanner_exposure_time_us);
    f("line_scanner_min_distance", o.line_scanner_min_distance);
    f("line_scanner_max_distance", o.line_scanner_max_distance);
    f("correspond2d", o.correspond2d);
    f("line_scanner_laser_position", o.line_scanner_laser_position);
    f("use_auto_bilateral_filter", o.use_auto_bilateral_filter);
    f("reflection_filter_threshold", o.reflection_filter_threshold);
    f("smooth_sigma", o.smooth_sigma);
    f("roi", o.roi);
    f("enable_2d_in_capture", o.enable_2d_in_capture);
    f("pointcloud_completion", o.pointcloud_completion);
    f("line_scanner_brightness_threshold", o.line_scanner_brightness_threshold);
    f("trigger_mode", o.trigger_mode);
    f("encoder_trigger_interval", o.encoder_trigger_interval);
    f("truncate_z_min", o.truncate_z_min);
    f("truncate_z_max", o.truncate_z_max);
    f("line_scanner_confidence", o.line_scanner_confidence);
    f("fixed_rate", o.fixed_rate);
    f("auto_set_fixed_rate", o.auto_set_fixed_rate);
    f("enable_transfer_control", o.enable_transfer_control);
}

// ---------------------------------------------------------------------------
// Text of one value.

std::string Text(bool v) { return v ? "true" : "false"; }

std::string Text(double v) {
    char buf[40];
    for (int prec = 6; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (std::strtod(buf, nullptr) == v || std::isnan(v)) break;
    }
    return buf;
}

std::string Text(float v) {
    char buf[40];
    for (int prec = 6; prec <= 9; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, static_cast<double>(v));
        if (std::strtof(buf, nullptr) == v || std::isnan(v)) break;
    }
    return buf;
}

template <class T>
std::string Text(const T& v) {
    if constexpr (std::is_enum_v<T>) {
        return std::to_string(static_cast<long long>(v));
    } else if constexpr (std::is_integral_v<T>) {
        return std::to_string(v);
    } else if constexpr (std::is_same_v<T, Vyx::ROI>) {
        return "[" + std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.width) + " " +
               std::to_string(v.height) + "]";
    } else {  // arrays of three
        return "[" + Text(v[0]) + " " + Text(v[1]) + " " + Text(v[2]) + "]";
    }
}

struct Collect {
    std::vector<std::pair<const char*, std::string>>* out;
    template <class T>
    void operator()(const char* name, const T& v) const {
        out->emplace_back(name, Text(v));
    }
};

template <class O, class V>
std::string TraceOf(const O& o, V visit) {
    std::vector<std::pair<const char*, std::string>> mine, defaults;
    O def{};
    visit(o, Collect{&mine});
    visit(def, Collect{&defaults});
    std::string s;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (mine[i].second == defaults[i].second) continue;
        if (!s.empty()) s += ",";
        s += mine[i].first;
        s += "=";
        s += mine[i].second;
    }
    return s.empty() ? "default" : s;
}

// ---------------------------------------------------------------------------
// JSON.

template <class T>
json ToJson(const T& v) {
    if constexpr (std::is_enum_v<T>) {
        return static_cast<int64_t>(v);
    } else if constexpr (std::is_same_v<T, bool> || std::is_arithmetic_v<T>) {
        return v;
    } else if constexpr (std::is_same_v<T, Vyx::ROI>) {
        return json::array({v.x, v.y, v.width, v.height});
    } else {
        return json::array({v[0], v[1], v[2]});
    }
}

struct Write {
    json* out;
    template <class T>
    void operator()(const char* name, const T& v) const {
        (*out)[name] = ToJson(v);
    }
};

struct Bad : std::runtime_error {
    using std::runtime_error::runtime_error;
};

template <class T>
void FromJson(const json& j, const std::string& where, T* out) {
    if constexpr (std::is_same_v<T, bool>) {
        if (!j.is_boolean()) throw Bad(where + " must be true or false");
        *out = j.get<bool>();
    } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
        using U = std::conditional_t<std::is_enum_v<T>, int32_t, T>;
        if (!j.is_number_integer()) throw Bad(where + " must be an integer");
        if (j.is_number_unsigned()) {
            uint64_t u = j.get<uint64_t>();
            if (u > static_cast<uint64_t>(std::numeric_limits<U>::max())) throw Bad(where + " is out of range");
            *out = static_cast<T>(static_cast<U>(u));
        } else {
            int64_t i = j.get<int64_t>();
            if (i < static_cast<int64_t>(std::numeric_limits<U>::min()) ||
                i > static_cast<int64_t>(std::numeric_limits<U>::max())) {
                throw Bad(where + " is out of range");
            }
            *out = static_cast<T>(static_cast<U>(i));
        }
    } else if constexpr (std::is_floating_point_v<T>) {
        if (!j.is_number()) throw Bad(where + " must be a number");
        double d = j.get<double>();
        if (!std::isfinite(d)) throw Bad(where + " must be finite");
        *out = static_cast<T>(d);
    } else if constexpr (std::is_same_v<T, Vyx::ROI>) {
        if (!j.is_array() || j.size() != 4) throw Bad(where + " must be [x, y, width, height]");
        FromJson(j[0], where + "[0]", &out->x);
        FromJson(j[1], where + "[1]", &out->y);
        FromJson(j[2], where + "[2]", &out->width);
        FromJson(j[3], where + "[3]", &out->height);
    } else {
        if (!j.is_array() || j.size() != 3) throw Bad(where + " must be an array of 3 values");
        for (std::size_t i = 0; i < 3; ++i) FromJson(j[i], where + "[" + std::to_string(i) + "]", &(*out)[i]);
    }
}

struct Read {
    const json* in;
    const std::string* path;
    template <class T>
    void operator()(const char* name, T& v) const {
        auto it = in->find(name);
        if (it == in->end()) throw Bad(*path + "." + name + " is missing");
        FromJson(*it, *path + "." + name, &v);
    }
};

template <class O, class V>
bool ReadRecord(const json& j, const std::string& path, O* out, std::string* error, V visit) {
    try {
        if (!j.is_object()) throw Bad(path + " must be an object");
        O o{};
        visit(o, Read{&j, &path});
        *out = o;
        return true;
    } catch (const Bad& b) {
        if (error) *error = b.what();
        return false;
    }
}

constexpr auto kVisitX1 = [](auto& o, auto&& f) { VisitX1(o, f); };
constexpr auto kVisitX2 = [](auto& o, auto&& f) { VisitX2(o, f); };

}  // namespace

std::string OptionsTrace(const Vyx::X1::CaptureOptions& o) { return TraceOf(o, kVisitX1); }
std::string OptionsTrace(const Vyx::X2::CaptureOptions& o) { return TraceOf(o, kVisitX2); }

std::string MatrixTrace(const double* m16) {
    std::string s;
    char buf[32];
    for (int i = 0; i < 16; ++i) {
        const auto r = std::to_chars(buf, buf + sizeof buf, m16[i]);
        if (i) s += ' ';
        s.append(buf, r.ptr);
    }
    return s;
}

json OptionsToJson(const Vyx::X1::CaptureOptions& o) {
    json j = json::object();
    VisitX1(o, Write{&j});
    return j;
}

json OptionsToJson(const Vyx::X2::CaptureOptions& o) {
    json j = json::object();
    VisitX2(o, Write{&j});
    return j;
}

bool OptionsFromJson(const json& j, const std::string& path, Vyx::X1::CaptureOptions* out, std::string* error) {
    return ReadRecord(j, path, out, error, kVisitX1);
}

bool OptionsFromJson(const json& j, const std::string& path, Vyx::X2::CaptureOptions* out, std::string* error) {
    return ReadRecord(j, path, out, error, kVisitX2);
}

// ---------------------------------------------------------------------------
// Validation.

namespace {

bool InRange(double v, double lo, double hi) { return v >= lo && v <= hi; }

std::string Range(const char* name, double value, double lo, double hi) {
    return std::string(name) + " = " + Text(value) + " is outside " + Text(lo) + " .. " + Text(hi);
}

}  // namespace

bool ValidateOptions(const Vyx::X1::CaptureOptions& o, const DeviceRecord& d, const CameraModel& cam,
                     std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    if (!InRange(o.exposure_time_3d, kExposureMin, kExposureMax)) {
        return fail(Range("exposure_time_3d", o.exposure_time_3d, kExposureMin, kExposureMax) + " (milliseconds)");
    }
    if (!InRange(o.exposure_time_2d, kExposureMin, kExposureMax)) {
        return fail(Range("exposure_time_2d", o.exposure_time_2d, kExposureMin, kExposureMax) + " (milliseconds)");
    }
    if (!InRange(o.gain_2d, kGainMin, kGainMax)) return fail(Range("gain_2d", o.gain_2d, kGainMin, kGainMax) + " (dB)");
    if (!InRange(o.gain_3d, kGainMin, kGainMax)) return fail(Range("gain_3d", o.gain_3d, kGainMin, kGainMax) + " (dB)");
    if (!InRange(o.gamma_2d, kGammaMin, kGammaMax)) return fail(Range("gamma_2d", o.gamma_2d, kGammaMin, kGammaMax));
    if (!InRange(o.gamma_3d, kGammaMin, kGammaMax)) return fail(Range("gamma_3d", o.gamma_3d, kGammaMin, kGammaMax));
    if (!InRange(o.projector_brightness, kBrightnessMin, kBrightnessMax)) {
        return fail(Range("projector_brightness", o.projector_brightness, kBrightnessMin, kBrightnessMax));
    }
    if (!InRange(o.scan_times, kScanTimesMin, kScanTimesMax)) {
        return fail(Range("scan_times", o.scan_times, kScanTimesMin, kScanTimesMax));
    }
    if (!InRange(o.hdr_exposure_times, 0, 3)) return fail(Range("hdr_exposure_times", o.hdr_exposure_times, 0, 3));
    for (int i = 0; i < o.hdr_exposure_times; ++i) {
        std::string at = "[" + std::to_string(i) + "]";
        if (!InRange(o.hdr_exposure_time_content[i], kExposureMin, kExposureMax)) {
            return fail(Range(("hdr_exposure_time_content" + at).c_str(), o.hdr_exposure_time_content[i], kExposureMin, kExposureMax));
        }
        if (!InRange(o.hdr_gain_content[i], kGainMin, kGainMax)) {
            return fail(Range(("hdr_gain_content" + at).c_str(), o.hdr_gain_content[i], kGainMin, kGainMax));
        }
        if (!InRange(o.hdr_scan_times_content[i], kScanTimesMin, kScanTimesMax)) {
            return fail(Range(("hdr_scan_times_content" + at).c_str(), o.hdr_scan_times_content[i], kScanTimesMin, kScanTimesMax));
        }
        if (!InRange(o.hdr_projector_brightness_content[i], kBrightnessMin, kBrightnessMax)) {
            return fail(Range(("hdr_projector_brightness_content" + at).c_str(), o.hdr_projector_brightness_content[i],
                              kBrightnessMin, kBrightnessMax));
        }
    }
    if (o.calc_normal && !InRange(o.calc_normal_radius, 1, kNormalRadiusMax)) {
        return fail(Range("calc_normal_radius", o.calc_normal_radius, 1, kNormalRadiusMax) + " (pixels)");
    }
    if (!InRange(o.confidence_threshold, 0.0, 1.0)) {
        return fail(Range("confidence_threshold", o.confidence_threshold, 0.0, 1.0));
    }
    if (!InRange(o.light_contrast_threshold, 0, 255)) {
        return fail(Range("light_contrast_threshold", o.light_contrast_threshold, 0, 255) + " (grey levels)");
    }
    if (std::isnan(o.truncate_z_min) || std::isnan(o.truncate_z_max)) {
        return fail("truncate_z_min and truncate_z_max must be numbers (millimetres)");
    }
    switch (o.smoothness) {
        case Vyx::SmoothnessLevel_Off:
        case Vyx::SmoothnessLevel_Weak:
        case Vyx::SmoothnessLevel_Normal:
        case Vyx::SmoothnessLevel_Strong: break;
        default: return fail("smoothness = " + std::to_string(static_cast<int>(o.smoothness)) + " is not a SmoothnessLevel");
    }
    switch (o.capture_mode) {
        case Vyx::CaptureMode_Fast:
        case Vyx::CaptureMode_Normal:
        case Vyx::CaptureMode_Ultra:
        case Vyx::CaptureMode_Robust:
        case Vyx::CaptureMode_AntiInterReflection:
            if ((d.capture_modes & o.capture_mode) == 0) {
                return fail("capture_mode " + std::to_string(static_cast<int>(o.capture_mode)) +
                            " is not supported by device '" + Printable(d.serial, 40) + "'");
            }
            break;
        case Vyx::CaptureMode_SwingLineScan:
        case Vyx::CaptureMode_FixedLineScan:
        case Vyx::CaptureMode_LineArrayShift:
            return fail("capture_mode " + std::to_string(static_cast<int>(o.capture_mode)) +
                        " is a line-scan mode, which an X1 cannot use");
        default:
            return fail("capture_mode = " + std::to_string(static_cast<int>(o.capture_mode)) + " is not a CaptureMode");
    }
    const Vyx::ROI& r = o.roi;
    if (!(r.width == 0 && r.height == 0)) {
        if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0 ||
            static_cast<int64_t>(r.x) + r.width > cam.width || static_cast<int64_t>(r.y) + r.height > cam.height) {
            return fail("roi " + Text(r) + " does not lie inside the " + std::to_string(cam.width) + " x " +
                        std::to_string(cam.height) + " image (width and height 0 select the whole image)");
        }
    }
    return true;
}

}  // namespace vyxsim
