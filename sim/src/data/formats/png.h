// PNG codec over memory buffers (libpng).
//
// DecodePng gives 8-bit pixels: grey and grey+alpha files give 1 channel,
// colour, colour+alpha and palette files give 3 channels (B, G, R). Alpha is
// dropped (not composited), 16-bit samples are scaled to 8 bits
// (v * 255 / 65535, rounded), 1/2/4-bit samples are expanded, gamma chunks
// are ignored so that stored values come back as they are.
// DecodePngGray16 reads only 16-bit grey files and gives the samples as
// stored.
// Images larger than kMaxRasterPixels, or whose declared size could not fit
// the file's compressed data, are refused before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/formats/raster.h"

namespace vyxsim::fmt {

bool DecodePng(const uint8_t* data, std::size_t size, Raster* out, std::string* error);
bool DecodePngGray16(const uint8_t* data, std::size_t size, int* width, int* height,
                     std::vector<uint16_t>* values, std::string* error);

// 8-bit grey (1 channel) or RGB colour (3 channels, reordered from BGR as
// the view says).
bool EncodePng(const RasterView& image, std::vector<uint8_t>* out, std::string* error);
// 16-bit grey from host-order samples.
bool EncodePngGray16(int width, int height, const uint16_t* values, std::vector<uint8_t>* out,
                     std::string* error);

}  // namespace vyxsim::fmt
