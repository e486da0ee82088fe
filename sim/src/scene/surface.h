// Surface appearance: the reflectance of textured surfaces.
#pragma once

#include <Eigen/Core>

#include "scene/scene.h"

namespace vyxsim::scene {

// Reflectance of a textured surface point (surface frame, metres), averaged
// over a footprint of radius `footprint` so edges come out anti-aliased.
Rgb SurfaceAlbedo(const Scene& scene, const Object& object, const Eigen::Vector2d& p,
                  double footprint);

}  // namespace vyxsim::scene
