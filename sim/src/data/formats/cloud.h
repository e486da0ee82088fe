// Point clouds as the PLY and PCD codecs exchange them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/formats/buffer.h"

namespace vyxsim::fmt {

// A decoded cloud, values as the file holds them (no unit conversion).
struct CloudData {
    std::size_t count = 0;
    bool has_normals = false;
    bool has_colors = false;
    // count x 3 point coordinates, followed by count x 3 normal components
    // when has_normals: the layout of a point map's storage.
    DoubleBuffer values;
    std::vector<uint8_t> colors;  // count x 3 (R, G, B) when has_colors
    // The grid the file declares (PLY comment, PCD WIDTH/HEIGHT with HEIGHT
    // above 1); width x height equals count.
    bool has_grid = false;
    int32_t grid_width = 0;
    int32_t grid_height = 0;
    bool has_timestamp = false;
    uint64_t timestamp = 0;
    // PLY faces split into triangles, when asked for.
    std::vector<std::array<uint32_t, 3>> triangles;
};

// Per-point colours taken from an image of the cloud's grid size.
struct ColorSource {
    const uint8_t* pixels = nullptr;  // null: no colours
    int channels = 0;                 // 1 (grey, replicated) or 3
    bool bgr = false;                 // with 3 channels: B, G, R bytes
};

// An organised cloud to encode. Points are multiplied by `scale` (the unit
// conversion); normals are written as they are.
struct CloudView {
    int32_t width = 0;
    int32_t height = 0;
    const double* points = nullptr;
    const double* normals = nullptr;  // null: none
    ColorSource colors;
    double scale = 1.0;
    uint64_t timestamp = 0;
    const char* unit_name = "meter";
};

// Limits on what a header may declare before any body is read.
constexpr std::size_t kMaxHeaderBytes = std::size_t{1} << 20;

}  // namespace vyxsim::fmt
