// Windows bitmap (BMP) codec over memory buffers.
//
// Read: uncompressed 8-bit palette images, 24-bit BGR and 32-bit BGRX
// (BI_RGB), bottom-up or top-down rows, with any of the usual info headers
// (40, 52, 56, 108 or 124 bytes). An 8-bit image whose palette is all grey
// decodes to 1 channel, any other to 3 channels (B, G, R). Compressed, 1-,
// 4- and 16-bit bitmaps and OS/2 headers are refused.
// Written: 8-bit grey with a 256-entry grey palette, or 24-bit BGR; rows
// bottom-up (the common layout) unless asked otherwise, padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/formats/raster.h"

namespace vyxsim::fmt {

bool DecodeBmp(const uint8_t* data, std::size_t size, Raster* out, std::string* error);
bool EncodeBmp(const RasterView& image, std::vector<uint8_t>* out, std::string* error,
               bool top_down = false);

}  // namespace vyxsim::fmt
