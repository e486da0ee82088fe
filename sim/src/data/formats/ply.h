// PLY (Stanford polygon file) codec for organised point clouds and meshes.
//
// Written point clouds: binary_little_endian or ascii; comments carry the
// grid ("comment organized width W height H"), the timestamp ("comment
// timestamp T") and the unit; vertex properties double x y z, then double
// nx ny nz with normals, then uchar red green blue with colours. Every grid
// cell is written, invalid points as NaN, so the vertex count is W x H.
//
// Read: ascii, binary_little_endian and binary_big_endian; any scalar type
// for x y z and nx ny nz (all three or none), uchar red green blue; other
// elements and properties (lists too) are skipped. Faces (list property
// vertex_indices or vertex_index) are read when asked and split into
// triangles as fans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/formats/cloud.h"
#include "data/formats/io.h"

namespace vyxsim::fmt {

bool DecodePly(const uint8_t* data, std::size_t size, CloudData* out, std::string* error,
               bool want_faces = false);
// The same for `size` bytes read through `reader` (a file, usually).
// Vertices in the layout the SDK writes (the first element; x y z and
// optionally nx ny nz, little-endian doubles) are read straight into the
// values, without a copy of the whole file; anything else is read whole and
// decoded by DecodePly. Point coordinates (not normals) are divided by
// `divisor` (the unit conversion). `read_failed` tells a failing reader (I/O)
// from a damaged file.
bool DecodePlyStream(ByteReader& reader, std::size_t size, double divisor, CloudData* out,
                     std::string* error, bool* read_failed);

bool EncodePly(const CloudView& cloud, bool binary, Sink& sink, std::string* error);

}  // namespace vyxsim::fmt
