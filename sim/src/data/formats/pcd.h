// PCD (Point Cloud Data, version 0.7) codec for organised point clouds.
//
// Written: "# .PCD v0.7" header with a "# timestamp T" and "# unit" comment,
// FIELDS x y z [normal_x normal_y normal_z] [rgb], x y z and normals as F 8,
// rgb as F 4 holding the packed 0x00RRGGBB bits (the common convention),
// WIDTH and HEIGHT of the grid, DATA ascii or binary; every grid cell is
// written, invalid points as NaN.
//
// Read: DATA ascii and binary (binary_compressed is refused); fields of
// types F (4, 8 bytes), I and U (1, 2, 4, 8 bytes), any COUNT; x y z
// required, normals used when all three are there, rgb/rgba of 4 bytes;
// other fields skipped. HEIGHT above 1 marks an organised grid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/formats/cloud.h"
#include "data/formats/io.h"

namespace vyxsim::fmt {

bool DecodePcd(const uint8_t* data, std::size_t size, CloudData* out, std::string* error);
bool EncodePcd(const CloudView& cloud, bool binary, Sink& sink, std::string* error);

}  // namespace vyxsim::fmt
