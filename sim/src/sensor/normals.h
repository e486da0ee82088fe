// Surface normals of a measured depth map: the least-squares plane of the
// valid points in a square window around each point.
#pragma once

#include <Eigen/Core>
#include <vector>

#include "rendering/projection.h"
#include "rendering/render.h"

namespace vyxsim::cam {

// `z` holds the depth of each frame pixel (NaN: no point) of a w x h frame
// whose pixel (i, j) is camera pixel (i * step, j * step) with the ray of
// `rays`. Writes, per pixel, the unit normal of the plane through the
// points of the (2r+1) x (2r+1) window around it (r = radius / step, at least
// 1), oriented toward the camera and turned by `normal_map` (the inverse
// transpose of the output transformation's 3 x 3 part); NaN for pixels
// without a point or with fewer than 3 neighbours, or whose window's points
// lie on a line.
void EstimateNormals(const double* z, int w, int h, int step, const scene::RayTable& rays, int radius,
                     const Eigen::Matrix3d& normal_map, double* normals);

// The instruction sets with a kernel of their own. EstimateNormals runs the
// widest this processor supports; the overload runs the one given (one of
// SupportedNormalsKernels()), so that tests reach each.
enum class NormalsKernel { kBaseline, kAvx2, kAvx512 };
std::vector<NormalsKernel> SupportedNormalsKernels();
const char* NormalsKernelName(NormalsKernel kernel);  // "Avx512", "Avx2", "Baseline"
void EstimateNormals(const double* z, int w, int h, int step, const scene::RayTable& rays, int radius,
                     const Eigen::Matrix3d& normal_map, double* normals, NormalsKernel kernel);

}  // namespace vyxsim::cam
