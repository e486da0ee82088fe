// What an exposure yields: the gain, the capture modes' patterns and
// precision, the confidence of a signal, and how long acquisitions take.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "sensor/model.h"
#include "vyx/types.h"

namespace vyxsim::cam {

double GainFactor(double gain_db);

// What a capture mode projects and how precise it is.
struct ModeInfo {
    double disparity_sigma_px;  // k_mode
    int gray_bits;              // Gray-code images
    bool complements;           // each Gray-code image also inverted
    int phase_steps;            // phase-shift images
    int PatternCount() const { return 2 + gray_bits * (complements ? 2 : 1) + phase_steps; }
};
ModeInfo Mode(Vyx::CaptureMode mode);
// Name of pattern image k of a mode (white, black, grayN, grayN_inverse, phaseN).
std::string PatternName(const ModeInfo& mode, int k);

// Confidence (0 to 1) of a measurement with signal `s` seen at `view_cos`:
// full from 40 % of full scale, falling to 0 at 1.5 x full scale, weighted
// by the viewing angle. Inline: a capture asks once per pixel and exposure.
inline double Confidence(double s, double view_cos) {
    const double c = s <= 1.0 ? std::min(1.0, s * 2.5) : std::max(0.0, 1.0 - (s - 1.0) * 2.0);
    return c * (0.25 + 0.75 * std::clamp(view_cos, 0.0, 1.0));
}

// Simulated acquisition time of a 3D capture, seconds (transfer included:
// `bytes_per_second` of the link).
double Acquisition3DSeconds(const Params3D& params, std::size_t pixels, double bytes_per_second);
double Acquisition2DSeconds(const Params2D& params, std::size_t bytes, double bytes_per_second);

}  // namespace vyxsim::cam
