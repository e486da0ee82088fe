// The 2D sensor's images: the image of a capture and the pattern images of
// a 3D capture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "rendering/render.h"
#include "sensor/model.h"
#include "sensor/noise.h"

namespace vyxsim::cam {

// Linear response (full scale 1) per channel before balance and noise:
// red, green, blue; for grey sensors all three hold the grey value.
std::array<double, 3> RawResponse(const scene::Frame& frame, std::size_t k, const Params2D& params,
                                  const Sensor& sensor);
// Mono8 (grey sensor) or BGR8 (colour sensor) image of the frame.
void Shade2D(const scene::Frame& frame, const Params2D& params, const Sensor& sensor,
             const NoiseStream& noise, uint8_t* out);
// Mono8 image of pattern k of a 3D capture with `exposure`.
void ShadePattern(const scene::Frame& frame, const Params3D& params, const Exposure& exposure,
                  int k, int projector_width, double ambient, uint8_t* out);

}  // namespace vyxsim::cam
