// Exposure, capture modes, confidence and acquisition time.
#include "sensor/exposure.h"

#include <algorithm>
#include <cmath>

namespace vyxsim::cam {

double GainFactor(double gain_db) { return std::pow(10.0, gain_db / 20.0); }

ModeInfo Mode(Vyx::CaptureMode mode) {
    switch (mode) {
        case Vyx::CaptureMode_Fast: return {0.12, 5, false, 4};
        case Vyx::CaptureMode_Ultra: return {0.045, 7, false, 8};
        case Vyx::CaptureMode_Robust: return {0.09, 7, true, 4};
        case Vyx::CaptureMode_AntiInterReflection: return {0.08, 7, true, 8};
        case Vyx::CaptureMode_Normal:
        default: return {0.07, 7, false, 4};
    }
}

std::string PatternName(const ModeInfo& m, int k) {
    if (k == 0) return "white";
    if (k == 1) return "black";
    int g = k - 2;
    const int per = m.complements ? 2 : 1;
    if (g < m.gray_bits * per) {
        std::string s = "gray" + std::to_string(g / per);
        if (m.complements && g % 2 == 1) s += "_inverse";
        return s;
    }
    return "phase" + std::to_string(g - m.gray_bits * per);
}

double Acquisition3DSeconds(const Params3D& p, std::size_t pixels, double bytes_per_second) {
    const int patterns = Mode(p.mode).PatternCount();
    double s = 0.0;
    for (const Exposure& e : p.exposures) s += e.scan_times * patterns * (e.time_ms + kReadoutMs) / 1000.0;
    return s + static_cast<double>(pixels) * 12.0 / std::max(bytes_per_second, 1.0);
}

double Acquisition2DSeconds(const Params2D& p, std::size_t bytes, double bytes_per_second) {
    return (p.time_ms + kReadoutMs) / 1000.0 + static_cast<double>(bytes) / std::max(bytes_per_second, 1.0);
}

}  // namespace vyxsim::cam
