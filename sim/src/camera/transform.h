// Checks of a custom transformation's matrix, as SetCustomTransformation
// (X1 and X2) and settings files apply them, and the frame of the scene's
// calibration board that board-relative transformations start from.
#pragma once

#include <string>

#include <Eigen/Core>

#include "core/devices.h"
#include "scene/scene.h"

namespace vyxsim::cam {

// A custom transformation's matrix: finite, and (when `invertible`) with a
// non-singular 3 x 3 part. Fails with kInvalidArgument naming `op`.
bool CheckTransformMatrix(const char* op, const double* transform16, bool invertible = true);
// The same check, saying in `why` what is wrong.
bool TransformMatrixOk(const double* transform16, bool invertible, std::string* why);

// The matrix of a custom transformation's 16 row-major values.
inline Eigen::Matrix4d TransformMatrix(const double* transform16) {
    Eigen::Matrix4d m;
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) m(r, k) = transform16[r * 4 + k];
    }
    return m;
}

// Device frame to the frame of the calibration board of `scene` (what
// `device` sees). Fails with kNoResult naming `op` when the scene has no
// board.
bool DeviceToBoard(const char* op, const DeviceRecord& device, const scene::Scene& scene, Eigen::Matrix4d* out);

}  // namespace vyxsim::cam
