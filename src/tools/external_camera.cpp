// Registration of an external camera against the 3D camera: the extrinsic
// matrix from three views, and a point map in the external camera's frame.
//
// The SDK takes masks and parameter lists as bare pointers. The module checks
// every length before the call (ValueError otherwise), so the SDK never reads
// past what Python handed over:
//   - camera matrix: 9 values (fx 0 cx 0 fy cy 0 0 1, row-major 3 x 3);
//   - distortion: 5 values (k1 k2 p1 p2 k3);
//   - extrinsic matrix: 16 values (row-major 4 x 4);
//   - each mask: the external camera's grey image of that view, one uint8
//     per pixel of the width x height the call names: shape (height, width)
//     or height * width values, packed in C order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "module/binding.h"
#include "vyx/data.h"
#include "vyx/tools.h"

namespace pyvyx {

namespace {

// Masks: other dtypes are cast to uint8 and strided arrays copied into packed
// C order, so the pointer the SDK gets addresses rows * cols packed bytes.
using MaskArray = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>;

constexpr std::size_t kCameraMatrixValues = 9;
constexpr std::size_t kDistortionValues = 5;
constexpr std::size_t kExtrinsicValues = 16;

// The reprojection error output starts at 0.0, so a call that writes nothing
// reports a determinate value.
constexpr double kUnwrittenReprojectionError = 0.0;

// (status != 0, the 16 matrix values, the reprojection error). The matrix is
// a vector of kExtrinsicValues entries, not a fixed-size array, so that the
// help text shows it as List[float] like every other list of the module.
using ExtrinsicResult = std::tuple<bool, std::vector<float>, double>;

void CheckListLength(const char* op, const char* what, const std::vector<float>& values,
                     std::size_t expected) {
    if (values.size() != expected) {
        throw py::value_error(std::string(op) + ": " + what + " needs " + std::to_string(expected) +
                              " values, got " + std::to_string(values.size()));
    }
}

std::string ShapeText(const py::array& a) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < a.ndim(); ++d) {
        if (d > 0) text += ", ";
        text += std::to_string(a.shape(d));
    }
    if (a.ndim() == 1) text += ",";
    return text + ")";
}

// A mask covers the external image pixel for pixel: shape (height, width),
// or any other shape of height * width values except a 2-D one of other
// extents (a transposed mask is refused rather than read in the wrong
// order). A size that is not positive is refused by the SDK before it reads
// any mask, so the masks are then not checked.
void CheckMask(const char* op, int which, const MaskArray& mask, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const auto rows = static_cast<py::ssize_t>(height);
    const auto cols = static_cast<py::ssize_t>(width);
    const bool count_ok = mask.size() == rows * cols;
    const bool shape_ok = mask.ndim() != 2 || (mask.shape(0) == rows && mask.shape(1) == cols);
    if (!count_ok || !shape_ok) {
        throw py::value_error(std::string(op) + ": mask " + std::to_string(which) + " has shape " +
                              ShapeText(mask) + ", expected (" + std::to_string(rows) + ", " +
                              std::to_string(cols) + "), the external image's height and width");
    }
}

// Runs with the interpreter lock held except around the SDK call: the masks'
// buffers are taken (and checked) while it is held.
ExtrinsicResult ExtrinsicMatrix(const Vyx::Image& image1, const Vyx::PointMap& map1,
                                const MaskArray& mask1, const Vyx::Image& image2,
                                const Vyx::PointMap& map2, const MaskArray& mask2,
                                const Vyx::Image& image3, const Vyx::PointMap& map3,
                                const MaskArray& mask3, int width, int height,
                                const std::vector<float>& camera_matrix,
                                const std::vector<float>& distortion) {
    static const char* const op = "GetExternalCameraExtrinsicMatrix";
    CheckListLength(op, "the camera matrix", camera_matrix, kCameraMatrixValues);
    CheckListLength(op, "the distortion", distortion, kDistortionValues);
    CheckMask(op, 1, mask1, width, height);
    CheckMask(op, 2, mask2, width, height);
    CheckMask(op, 3, mask3, width, height);

    ExtrinsicResult result{false, std::vector<float>(kExtrinsicValues, 0.0f),
                           kUnwrittenReprojectionError};
    auto& extrinsic = std::get<1>(result);
    {
        py::gil_scoped_release release;
        const int status = Vyx::GetExternalCameraExtrinsicMatrix(
            image1, map1, mask1.data(), image2, map2, mask2.data(), image3, map3, mask3.data(),
            width, height, camera_matrix.data(), distortion.data(), extrinsic.data(),
            std::get<2>(result));
        std::get<0>(result) = status != 0;
    }
    return result;
}

// Runs entirely with the interpreter lock released (ReleaseGil): nothing here
// touches Python.
Vyx::PointMap ExternalPointMap(const Vyx::PointMap& map, int width, int height,
                               const std::vector<float>& camera_matrix,
                               const std::vector<float>& distortion,
                               const std::vector<float>& extrinsic) {
    static const char* const op = "GetExternalCameraPointMap";
    CheckListLength(op, "the camera matrix", camera_matrix, kCameraMatrixValues);
    CheckListLength(op, "the distortion", distortion, kDistortionValues);
    CheckListLength(op, "the extrinsic matrix", extrinsic, kExtrinsicValues);
    return Vyx::GetExternalCameraPointMap(map, width, height, camera_matrix.data(),
                                          distortion.data(), extrinsic.data());
}

}  // namespace

void RegisterExternalCamera(py::module_& m) {
    m.def("GetExternalCameraExtrinsicMatrix", &ExtrinsicMatrix);
    m.def("GetExternalCameraPointMap", &ExternalPointMap, py::return_value_policy::move,
          ReleaseGil());
}

}  // namespace pyvyx
