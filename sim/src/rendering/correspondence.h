// Stereo correspondence: where another camera sees what one camera sees.
#pragma once

#include "core/devices.h"
#include "rendering/render.h"
#include "scene/scene.h"

namespace vyxsim::scene {

// For every pixel of `frame` (what camera `from` sees of `scene`), the
// sub-pixel position (column, row) in camera `to` of the surface point seen
// there, when `to` sees that same point: lit by the projector, in front of
// `to`, inside its image (pixel centres at integers, so -0.5 .. width - 0.5)
// and with nothing in between. NaN in both values otherwise. `uv` receives
// two values per frame pixel.
void MapIntoCamera(const scene::Scene& scene, const CameraModel& from, const scene::Frame& frame,
                   const CameraModel& to, double* uv);

}  // namespace vyxsim::scene
