// What automatic settings measure: per-pixel signal, image response and
// depth samples of a quick frame, and their percentiles.
#pragma once

#include <vector>

#include "rendering/render.h"
#include "sensor/model.h"
#include "vyx/types.h"

namespace vyxsim::cam {

// Samples for automatic settings: the per-pixel values inside the ROI (frame
// coordinates are camera pixels divided by the frame's step) of the lit
// points seen, as s for 1 ms (3D signal per millisecond at `gain_db` and
// `brightness`), and of the 2D raw response per millisecond.
struct Samples {
    std::vector<double> signal_per_ms;
    std::vector<double> image_per_ms;
    std::vector<double> depth;
};
Samples CollectSamples(const scene::Frame& frame, const Vyx::ROI& roi, double gain_db_3d, int brightness,
                       const Params2D& params2d, const Sensor& sensor);
// The value below which `fraction` of the values lie (0 for none).
double Percentile(std::vector<double> values, double fraction);

}  // namespace vyxsim::cam
