// One normals computation as plain data, and its kernels: the same code
// (sensor/normal_blocks.h) compiled for AVX-512, for AVX2 with FMA, and for
// the baseline instruction set, each in its own file with its own compiler
// flags. EstimateNormals picks the widest the processor has.
//
// The kernels' files see no standard-library or Eigen types: an inline
// function compiled there for AVX-512 could otherwise be the copy the linker
// keeps for the whole library, and run on a processor without it.
#pragma once

#include <cstddef>

namespace vyxsim::cam {

struct NormalsJob {
    const double* z = nullptr;  // w x h frame depths, NaN: no point
    int w = 0, h = 0;
    int step = 1;               // frame pixel (i, j) is camera pixel (i * step, j * step)
    int r = 1;                  // window radius in frame pixels
    const float* ray_x = nullptr;  // camera-pixel ray tables, ray_width per row
    const float* ray_y = nullptr;
    std::size_t ray_width = 0;
    double map[9] = {};         // row-major normal map
    bool identity = true;       // map is the identity: not applied
    bool rotation_only = true;  // map keeps lengths: no renormalising
    // Scratch, all zeros: 10 planes of `stride` doubles, each with r + 1
    // before column 0 and at least r + 8 after column w - 1.
    double* columns = nullptr;
    std::size_t stride = 0;
    double* normals = nullptr;  // 3 * w * h output values
};

void NormalsAvx512(const NormalsJob& job);
void NormalsAvx2(const NormalsJob& job);
void NormalsBaseline(const NormalsJob& job);

}  // namespace vyxsim::cam
