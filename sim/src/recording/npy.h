// The header of a NumPy .npy file (format 1.0 and 2.0), parsed strictly and
// without reading past the bytes given: the magic, the version, the header
// length and the header's Python dictionary literal with `descr`,
// `fortran_order` and `shape`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyxsim::rec {

struct NpyHeader {
    int major = 0, minor = 0;
    std::string descr;           // e.g. "<f8"
    bool fortran_order = false;
    std::vector<int64_t> shape;  // each 0 .. 2^31
    std::size_t data_offset = 0;  // where the values start
};

// Headers longer than this are refused (NumPy writes a few dozen bytes).
constexpr std::size_t kMaxNpyHeaderBytes = 64 * 1024;

// Parses the header at the start of `data` (`size` bytes, which may be just
// the file's first bytes). False with the reason in `error`.
bool ParseNpyHeader(const uint8_t* data, std::size_t size, NpyHeader* out, std::string* error);

// "(512, 640)" as NumPy prints a shape.
std::string ShapeText(const std::vector<int64_t>& shape);

}  // namespace vyxsim::rec
