// Stereo matching of an X2: keeping only the points both cameras see.
#pragma once

#include "rendering/render.h"

namespace vyxsim::cam {

// Takes the projector's light from the pixels of `frame` that `uv` (as
// MapIntoCamera writes it) leaves without a match, so that a measurement
// finds no point there.
void KeepMatched(const double* uv, scene::Frame* frame);

}  // namespace vyxsim::cam
