// 8-bit rasters as the image codecs exchange them.
#pragma once

#include <cstdint>
#include <vector>

namespace vyxsim::fmt {

// A decoded image: packed rows, 1 channel (grey) or 3 channels in B, G, R
// order.
struct Raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;
};

// Pixels to encode: packed rows of `channels` bytes per pixel (1 or 3); with
// 3, `bgr` tells whether the bytes of a pixel are B, G, R (else R, G, B).
struct RasterView {
    int width = 0;
    int height = 0;
    int channels = 0;
    bool bgr = true;
    const uint8_t* pixels = nullptr;
};

// Decoders refuse images with more pixels than this (a 16k x 16k picture).
constexpr int64_t kMaxRasterPixels = int64_t{1} << 28;

}  // namespace vyxsim::fmt
