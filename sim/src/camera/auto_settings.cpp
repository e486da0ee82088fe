// The automatic settings' quick view of the scene and the values computed
// from it (auto_settings.h).
#include "camera/auto_settings.h"

#include <algorithm>
#include <cmath>

#include "camera/capture.h"
#include "camera/roi.h"
#include "core/error.h"

namespace vyxsim::cam {

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

}  // namespace vyxsim::cam
