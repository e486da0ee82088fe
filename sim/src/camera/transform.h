// Checks of a custom transformation's matrix, as SetCustomTransformation
// (X1 and X2) and settings files apply them.
#pragma once

#include <string>

namespace vyxsim::cam {

// A custom transformation's matrix: finite, and (when `invertible`) with a
// non-singular 3 x 3 part. Fails with kInvalidArgument naming `op`.
bool CheckTransformMatrix(const char* op, const double* transform16, bool invertible = true);
// The same check, saying in `why` what is wrong.
bool TransformMatrixOk(const double* transform16, bool invertible, std::string* why);

}  // namespace vyxsim::cam
