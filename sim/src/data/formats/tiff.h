// 32-bit float TIFF (one sample per pixel) over memory buffers, through
// libtiff with per-file error handlers.
//
// Written: uncompressed, strips of about 64 KiB, little-endian, grey
// (min-is-black), sample format IEEE float. Read: the same layout in strips,
// uncompressed or LZW or Deflate compressed; tiles, other compressions and
// other sample types are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyxsim::fmt {

bool EncodeTiffFloat(int width, int height, const float* values, std::vector<uint8_t>* out,
                     std::string* error);
bool DecodeTiffFloat(const uint8_t* data, std::size_t size, int* width, int* height,
                     std::vector<float>* values, std::string* error);

}  // namespace vyxsim::fmt
