// Dropping the points of a frame the other camera does not match.
#include "camera/x2_stereo.h"

#include <cmath>

namespace vyxsim::cam {

void KeepMatched(const double* uv, scene::Frame* frame) {
    const std::size_t n = frame->Size();
    for (std::size_t k = 0; k < n; ++k) {
        if (std::isnan(uv[2 * k])) frame->irradiance[k] = 0.0f;
    }
}

}  // namespace vyxsim::cam
