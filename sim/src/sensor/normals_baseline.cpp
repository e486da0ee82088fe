// The normals kernel for the baseline instruction set (SSE2 on x86-64), 2 pixels per block.
#define VYXSIM_NORMAL_LANES 2
#include "sensor/normal_blocks.h"

namespace vyxsim::cam {

void NormalsBaseline(const NormalsJob& job) { NormalBlocks(job); }

}  // namespace vyxsim::cam
