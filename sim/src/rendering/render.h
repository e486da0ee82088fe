// Rendering a scene through one camera model with the projector's light.
//
// Pixels and camera frames are as in projection.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/devices.h"
#include "scene/scene.h"

namespace vyxsim::scene {

// What a camera sees, per pixel (row-major). With a step s > 1 the frame
// holds every s-th pixel of every s-th row: frame pixel (i, j) is camera
// pixel (i * s, j * s).
struct Frame {
    int width = 0, height = 0, step = 1;
    std::vector<float> depth;       // z in the camera frame (metres); NaN: nothing seen
    // Projector light arriving at the point, relative to a surface facing the
    // projector at the reference distance: cos(incidence) * (d_ref / d)^2;
    // 0 where the projector does not reach the point (outside its field,
    // facing away, or shadowed).
    std::vector<float> irradiance;
    std::vector<float> proj_u, proj_v;  // projector pixel of the point; NaN when unlit
    std::vector<uint8_t> albedo;        // 3 per pixel: linear r, g, b * 255
    std::vector<uint8_t> view_cos;      // cos(angle between ray and normal) * 255
    std::vector<uint16_t> object;       // index + 1 of the object seen; 0 for none

    std::size_t Size() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};

struct RenderSetup {
    const CameraModel* camera = nullptr;
    const CameraModel* projector = nullptr;  // null: lit everywhere with irradiance 1
    double reference_distance = 0.6;        // metres
    int step = 1;
    // Camera rows to render, [row_begin, row_end); the rest of the frame
    // stays empty. row_end < 0: to the last row.
    int row_begin = 0, row_end = -1;
};

// Casts one ray per pixel (and one shadow ray toward the projector per point
// seen). False when the camera model is unusable.
bool Render(const Scene& scene, const RenderSetup& setup, Frame* out);

}  // namespace vyxsim::scene
