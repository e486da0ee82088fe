// The normals kernel for AVX-512 (F, DQ, VL) with FMA, 8 pixels per block.
#define VYXSIM_NORMAL_LANES 8
#include "sensor/normal_blocks.h"

namespace vyxsim::cam {

void NormalsAvx512(const NormalsJob& job) { NormalBlocks(job); }

}  // namespace vyxsim::cam
