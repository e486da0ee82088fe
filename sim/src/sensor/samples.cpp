// Samples and percentiles for automatic settings.
#include "sensor/samples.h"

#include <algorithm>

#include "sensor/exposure.h"
#include "sensor/image.h"

namespace vyxsim::cam {

Samples CollectSamples(const scene::Frame& f, const Vyx::ROI& roi, double gain_db_3d, int brightness,
                       const Params2D& params2d, const Sensor& sensor) {
    Samples out;
    Params2D per_ms = params2d;
    per_ms.time_ms = 1;
    const double signal_scale = brightness / 255.0 / kReferenceExposureMs * GainFactor(gain_db_3d) * kSensitivity;
    for (int j = 0; j < f.height; ++j) {
        for (int i = 0; i < f.width; ++i) {
            if (!InRoi(roi, i * f.step, j * f.step)) continue;
            const std::size_t k = static_cast<std::size_t>(j) * f.width + i;
            if (!(f.depth[k] > 0.0f)) continue;
            out.depth.push_back(f.depth[k]);
            const std::array<double, 3> raw = RawResponse(f, k, per_ms, sensor);
            double v = raw[0];
            if (sensor.color) {
                v = 0.0;
                for (int c = 0; c < 3; ++c) v = std::max(v, raw[c] * sensor.balance[c]);
            }
            out.image_per_ms.push_back(v);
            if (f.irradiance[k] > 0.0f) {
                out.signal_per_ms.push_back(GreyAlbedo(&f.albedo[3 * k]) * f.irradiance[k] * signal_scale);
            }
        }
    }
    return out;
}

double Percentile(std::vector<double> v, double fraction) {
    if (v.empty()) return 0.0;
    const std::size_t idx = std::min(v.size() - 1, static_cast<std::size_t>(std::clamp(fraction, 0.0, 1.0) * (v.size() - 1)));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(idx), v.end());
    return v[idx];
}

}  // namespace vyxsim::cam
