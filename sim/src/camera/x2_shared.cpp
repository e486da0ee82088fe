// Camera steps for either camera object: results, files, meshes, automatic
// settings and white balance.
#include "camera/x2_shared.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/noise.h"
#include "sensor/samples.h"

#include <system_error>

#include <Eigen/LU>

#include "camera/capture.h"
#include "camera/maintenance.h"
#include "data/formats/io.h"
#include "data/formats/png.h"

namespace vyxsim::cam {

std::string DeviceText(const DeviceRecord& d) { return "device '" + Printable(d.serial, 40) + "'"; }

std::string RoiText(const Vyx::ROI& r) {
    return "[" + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
           std::to_string(r.height) + "]";
}

bool NoResultYet(const char* op, bool captured, bool last_was_2d, const std::string& what) {
    std::string why;
    if (!captured) {
        why = "no capture has been made yet";
    } else if (last_was_2d) {
        why = "the last capture was a 2D capture, which makes no " + what;
    } else {
        why = "the last capture made no " + what + " (enable_2d_in_capture was false)";
    }
    return Fail(false, kWrongState, std::string(op) + ": " + why);
}

bool TransformMatrixOk(const double* m, bool invertible, std::string* why) {
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(m[i])) {
            *why = "transform[" + std::to_string(i) + "] is not a finite number";
            return false;
        }
    }
    if (!invertible) return true;
    Eigen::Matrix3d A;
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) A(r, k) = m[r * 4 + k];
    }
    if (std::abs(A.determinant()) < 1e-12) {
        *why = "the transform's 3 x 3 part is singular";
        return false;
    }
    return true;
}

bool CheckTransformMatrix(const char* op, const double* m, bool invertible) {
    std::string why;
    return TransformMatrixOk(m, invertible, &why) || Fail(false, kInvalidArgument, std::string(op) + ": " + why);
}

std::shared_ptr<MeshObj> MeshOfPointMap(const PointMapObj& pm) {
    const Vyx::Size sz = pm.size;
    const double* p = pm.points;
    std::vector<double> gaps;
    const int stride = std::max(1, sz.height / 64);
    for (int v = 0; v < sz.height; v += stride) {
        for (int u = 0; u + 1 < sz.width; ++u) {
            const double* a = p + 3 * (static_cast<std::size_t>(v) * sz.width + u);
            const double* b = a + 3;
            const double d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                       (a[2] - b[2]) * (a[2] - b[2]));
            if (std::isfinite(d)) gaps.push_back(d);
        }
    }
    return MeshFromGrid(sz, p, pm.normals, std::max(0.002, 10.0 * Percentile(gaps, 0.5)));
}

bool MakeDirectory(const char* op, const char* path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path, ec)) {
        return Fail(false, kIoError,
                    std::string(op) + ": cannot create the directory '" + Printable(path) + "'" +
                        (ec ? ": " + ec.message() : std::string(": a file of that name exists")));
    }
    return true;
}

bool WritePatternImages(const char* op, const std::filesystem::path& dir, const std::string& prefix,
                        const scene::Frame& f, const Params3D& params, int projector_width, double ambient) {
    const ModeInfo mode = Mode(params.mode);
    std::vector<uint8_t> pixels(f.Size());
    const std::size_t exposures = params.exposures.size();
    for (std::size_t e = 0; e < exposures; ++e) {
        for (int k = 0; k < mode.PatternCount(); ++k) {
            ShadePattern(f, params, params.exposures[e], k, projector_width, ambient, pixels.data());
            const std::string name = prefix + (exposures > 1 ? "exposure" + std::to_string(e) + "_" : std::string()) +
                                     "pattern_" + (k < 10 ? "0" : "") + std::to_string(k) + "_" + PatternName(mode, k) +
                                     ".png";
            fmt::RasterView view;
            view.width = f.width;
            view.height = f.height;
            view.channels = 1;
            view.pixels = pixels.data();
            std::vector<uint8_t> png;
            std::string why;
            if (!fmt::EncodePng(view, &png, &why)) {
                return Fail(false, kIoError, std::string(op) + ": cannot encode " + name + ": " + why);
            }
            const std::string file = (dir / name).string();
            if (!fmt::WriteWholeFile(file.c_str(), png.data(), png.size(), &why)) {
                return Fail(false, kIoError, std::string(op) + ": cannot write '" + Printable(file) + "': " + why);
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Automatic settings.

namespace {
constexpr int kQuickStep = 4;
}

bool QuickSamples(const char* op, const std::shared_ptr<DeviceRecord>& device, CameraState& state,
                  const CameraModel& camera, double gain_3d, int brightness, const Params2D& params2d,
                  const Vyx::ROI& roi, Samples* samples) {
    std::string why;
    if (!RoiInsideImage(camera, roi, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    std::shared_ptr<const scene::Scene> sc;
    const auto rendered = RenderCamera(op, device, camera, kQuickStep, &sc);
    if (!rendered) return false;
    const scene::Frame& frame = *rendered;
    std::array<float, 3> balance;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        balance = state.settings.balance;
    }
    *samples = CollectSamples(frame, roi, gain_3d, brightness, params2d, SensorFor(*device, *sc, balance));
    if (samples->depth.empty()) {
        return Fail(false, kNoResult, std::string(op) + ": the camera sees nothing inside the region of interest");
    }
    return true;
}

int ClampExposure(double ms) {
    if (!std::isfinite(ms)) return kExposureMax;
    return static_cast<int>(std::lround(std::clamp(ms, static_cast<double>(kExposureMin), static_cast<double>(kExposureMax))));
}

int ExposureFor(double value_per_ms, double target) {
    if (!(value_per_ms > 0.0)) return kExposureMax;
    return ClampExposure(target / value_per_ms);
}

int AutoExposure3D(const Samples& s) { return ExposureFor(Percentile(s.signal_per_ms, 0.98), 0.85); }

int AutoExposure2D(const Samples& s, double gamma) {
    return ExposureFor(Percentile(s.image_per_ms, 0.98), std::pow(200.0 / 255.0, gamma));
}

bool NeedsLight(const char* op, const Samples& s) {
    if (!s.signal_per_ms.empty()) return true;
    return Fail(false, kNoResult, std::string(op) + ": the projector lights nothing inside the region of interest");
}

double AutoNoiseRemovalDistance(const Samples& s, double fx) {
    const double spacing_mm = Percentile(s.depth, 0.5) / fx * 1000.0;
    return std::round(3.0 * spacing_mm * 1000.0) / 1000.0;
}

// ---------------------------------------------------------------------------
// White balance.

bool GreyWorldBalance(const char* op, const std::vector<BalanceView>& views, const std::string& serial,
                      uint64_t capture_index, uint64_t noise_purpose, int repeats, const Params2D& p2,
                      const Sensor& sensor, const Vyx::ROI& roi, std::array<float, 3>* ratios) {
    const double sigma = kImageNoise * GainFactor(p2.gain_db);
    const std::array<float, 3>& current = sensor.balance;
    double sum[3] = {0, 0, 0};
    std::size_t count = 0;
    for (const BalanceView& view : views) {
        const scene::Frame& frame = *view.frame;
        for (int f = 0; f < repeats; ++f) {
            const NoiseStream noise =
                MakeNoiseStream(serial, view.camera_index, capture_index, noise_purpose + static_cast<uint64_t>(f));
            for (int v = 0; v < frame.height; ++v) {
                for (int u = 0; u < frame.width; ++u) {
                    if (!(roi.width == 0 && roi.height == 0) &&
                        (u < roi.x || v < roi.y || u >= roi.x + roi.width || v >= roi.y + roi.height)) {
                        continue;
                    }
                    const std::size_t k = static_cast<std::size_t>(v) * frame.width + u;
                    const std::array<double, 3> raw = RawResponse(frame, k, p2, sensor);
                    double shown_max = 0.0, shown_min = 1e9, noisy[3];
                    for (int ch = 0; ch < 3; ++ch) {
                        noisy[ch] = raw[ch] + sigma * Gaussian(noise, 3 * k + ch);
                        shown_max = std::max(shown_max, noisy[ch] * current[ch]);
                        shown_min = std::min(shown_min, noisy[ch] * current[ch]);
                    }
                    if (shown_max >= 0.98 || shown_min < 0.02) continue;
                    for (int ch = 0; ch < 3; ++ch) sum[ch] += noisy[ch];
                    ++count;
                }
            }
        }
    }
    if (count == 0 || sum[0] <= 0.0 || sum[2] <= 0.0) {
        return Fail(false, kNoResult, std::string(op) + ": no pixel in the region of interest is neither saturated nor dark");
    }
    *ratios = {static_cast<float>(sum[1] / sum[0]), 1.0f, static_cast<float>(sum[1] / sum[2])};
    for (float& r : *ratios) r = std::clamp(r, kBalanceMin, kBalanceMax);
    return true;
}

}  // namespace vyxsim::cam
