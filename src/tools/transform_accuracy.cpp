// Point-cloud transform and the accuracy test.
//
// Both hand the SDK bare pointers; the module checks every length first
// (ValueError otherwise), so the SDK never reads or writes past what it got:
//   - TransformPointCloud: a rotation of 9 values (3 x 3, row-major) and a
//     translation of 3, as packed float64;
//   - TestAccuracy: for a grid of a x b circles (n = a * b), reference lists
//     of 2n and 3n values (or empty, meaning none) and output buffers of 2n
//     and 3n values.
#include <cstddef>
#include <cstdint>
#include <limits>
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

// Arrays of any numeric type, lists and nested sequences become float64 in
// packed C order (a copy where needed, so the caller's arrays never change).
using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

constexpr py::ssize_t kRotationValues = 9;
constexpr py::ssize_t kTranslationValues = 3;

void CheckArraySize(const char* what, const DoubleArray& values, py::ssize_t expected) {
    if (values.size() != expected) {
        throw py::value_error(std::string("TransformPointCloud: the ") + what + " needs " +
                              std::to_string(expected) + " values, got " +
                              std::to_string(values.size()));
    }
}

// The point map is the Python object's own value, passed by reference: what
// the SDK changes in it is what that object holds afterwards.
void Transform(const DoubleArray& rotation, const DoubleArray& translation, Vyx::PointMap& map) {
    CheckArraySize("rotation (3 x 3)", rotation, kRotationValues);
    CheckArraySize("translation", translation, kTranslationValues);
    const double* r = rotation.data();
    const double* t = translation.data();
    py::gil_scoped_release release;
    Vyx::TransformPointCloud(r, t, map);
}

using AccuracyResult = std::tuple<int, std::vector<float>, std::vector<float>, float, float>;

// n = a * b, the number of grid points. Negative extents, and grids whose
// 3n values do not fit the SDK's 32-bit counts, are refused.
std::size_t GridPoints(int a, int b) {
    if (a < 0 || b < 0) {
        throw py::value_error("TestAccuracy: the grid extents must not be negative, got " +
                              std::to_string(a) + " x " + std::to_string(b));
    }
    const int64_t n = static_cast<int64_t>(a) * static_cast<int64_t>(b);
    if (n > std::numeric_limits<int32_t>::max() / 3) {
        throw py::value_error("TestAccuracy: a grid of " + std::to_string(a) + " x " +
                              std::to_string(b) + " points is too large");
    }
    return static_cast<std::size_t>(n);
}

void CheckReference(const char* what, const std::vector<float>& values, std::size_t expected) {
    if (!values.empty() && values.size() != expected) {
        throw py::value_error(std::string("TestAccuracy: the ") + what + " needs " +
                              std::to_string(expected) + " values (or none), got " +
                              std::to_string(values.size()));
    }
}

// An empty vector is passed as a null pointer.
template <class T>
T* DataOrNull(std::vector<T>& values) {
    return values.empty() ? nullptr : values.data();
}
template <class T>
const T* DataOrNull(const std::vector<T>& values) {
    return values.empty() ? nullptr : values.data();
}

// Runs with the interpreter lock released (ReleaseGil); the checks come
// before the SDK call. Output lists are always 2n and 3n long.
AccuracyResult AccuracyWithReference(const Vyx::Image& image, const Vyx::PointMap& map,
                                     const std::vector<float>& reference2d,
                                     const std::vector<float>& reference3d, int a, int b,
                                     float spacing) {
    const std::size_t n = GridPoints(a, b);
    CheckReference("2D reference list", reference2d, 2 * n);
    CheckReference("3D reference list", reference3d, 3 * n);
    AccuracyResult result{0, std::vector<float>(2 * n, 0.0f), std::vector<float>(3 * n, 0.0f),
                          0.0f, 0.0f};
    auto& [code, centers2d, centers3d, mean_error, flatness] = result;
    code = Vyx::TestAccuracy(image, map, DataOrNull(reference2d), DataOrNull(reference3d), a, b,
                             spacing, DataOrNull(centers2d), DataOrNull(centers3d), mean_error,
                             flatness);
    return result;
}

AccuracyResult Accuracy(const Vyx::Image& image, const Vyx::PointMap& map, int a, int b,
                        float spacing) {
    return AccuracyWithReference(image, map, {}, {}, a, b, spacing);
}

}  // namespace

void RegisterTransformAndAccuracy(py::module_& m) {
    m.def("TransformPointCloud", &Transform);
    m.def("TestAccuracy", &Accuracy, ReleaseGil());
    m.def("TestAccuracy", &AccuracyWithReference, ReleaseGil());
}

}  // namespace pyvyx
