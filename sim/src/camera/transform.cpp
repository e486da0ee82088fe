// Checks of a custom transformation's matrix (transform.h).
#include "camera/transform.h"

#include <cmath>

#include <Eigen/LU>

#include "camera/session.h"
#include "core/error.h"
#include "scene/ground_truth.h"

namespace vyxsim::cam {

bool TransformMatrixOk(const double* m, bool invertible, std::string* why) {
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(m[i])) {
            *why = "transform[" + std::to_string(i) + "] is not a finite number";
            return false;
        }
    }
    if (!invertible) return true;
    Eigen::Matrix3d A;
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) A(r, k) = m[r * 4 + k];
    }
    if (std::abs(A.determinant()) < 1e-12) {
        *why = "the transform's 3 x 3 part is singular";
        return false;
    }
    return true;
}

bool CheckTransformMatrix(const char* op, const double* m, bool invertible) {
    std::string why;
    return TransformMatrixOk(m, invertible, &why) || Fail(false, kInvalidArgument, std::string(op) + ": " + why);
}

bool DeviceToBoard(const char* op, const DeviceRecord& device, const scene::Scene& sc, Eigen::Matrix4d* out) {
    scene::BoardTruth board;
    if (!scene::BoardGroundTruth(sc, &board)) {
        return Fail(false, kNoResult,
                    std::string(op) + ": the custom transformation is relative to the calibration board, and the scene of " +
                        DeviceText(device) + " has none");
    }
    *out = board.pose.inverse();
    return true;
}

}  // namespace vyxsim::cam
