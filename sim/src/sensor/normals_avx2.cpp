// The normals kernel for AVX2 with FMA, 4 pixels per block.
#define VYXSIM_NORMAL_LANES 4
#include "sensor/normal_blocks.h"

namespace vyxsim::cam {

void NormalsAvx2(const NormalsJob& job) { NormalBlocks(job); }

}  // namespace vyxsim::cam
