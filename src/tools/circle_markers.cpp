// Circle markers: the coded-marker records, coded and concentric marker
// detection, and the two-camera transform from coded markers.
//
// Every detection hands the SDK fixed buffers of the documented capacities
// (1000 markers, 2000 and 3000 values, 9 + 3 values) and converts them into
// Python results afterwards; values the SDK does not write keep their zeros.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

using Marker = Vyx::CodedCircleMarker;
using MarkerType = Vyx::CodedCircleMarkerType;

constexpr std::size_t kMarkerCapacity = static_cast<std::size_t>(Vyx::kMaxCodedCircleMarkers);
constexpr std::size_t k2dValues = static_cast<std::size_t>(Vyx::kConcentricMarker2dValues);
constexpr std::size_t k3dValues = static_cast<std::size_t>(Vyx::kConcentricMarker3dValues);

// The detection buffer: each entry built by the SDK's own constructor.
using MarkerBuffer = std::array<Marker, kMarkerCapacity>;

// The first `count` markers of the buffer. The SDK has room for
// kMarkerCapacity markers only, so a larger count is bounded to that, and a
// count of zero or less gives no markers.
std::vector<Marker> FirstMarkers(const MarkerBuffer& markers, int count) {
    const std::size_t n =
        count <= 0 ? 0 : std::min(static_cast<std::size_t>(count), kMarkerCapacity);
    return std::vector<Marker>(markers.begin(), markers.begin() + static_cast<std::ptrdiff_t>(n));
}

// Runs with the interpreter lock released (ReleaseGil).
std::vector<Marker> DetectInImage(const Vyx::Image& image, const MarkerType& type) {
    MarkerBuffer markers;
    int count = 0;
    Vyx::DetectCodedCircleMarker(image, type, &count, markers.data());
    return FirstMarkers(markers, count);
}

// Pixel arrays: other dtypes are cast to uint8 and strided arrays copied into
// packed C order, which is what an SDK image over caller memory reads.
using PixelArray = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>;

// Releases the temporary SDK image made over a pixel array, whatever way the
// detection ends. A handle that is all zero names nothing and is left alone.
class TemporaryImage {
public:
    explicit TemporaryImage(Vyx::Image image) : image_(image) {}
    TemporaryImage(const TemporaryImage&) = delete;
    TemporaryImage& operator=(const TemporaryImage&) = delete;
    ~TemporaryImage() {
        const Vyx::Image none;
        if (std::memcmp(&image_, &none, sizeof(Vyx::Image)) != 0) {
            Vyx::Image::Destroy(image_, true);
        }
    }
    const Vyx::Image& get() const { return image_; }

private:
    Vyx::Image image_;
};

// A (rows, cols) array is a Mono8 image; (rows, cols, 1) Mono8 and
// (rows, cols, 3) BGR8. Anything else cannot be read as packed pixels of one
// of these types and is refused, as is an empty array or one whose extents do
// not fit the SDK's 32-bit sizes.
Vyx::ImageType::Enum PixelArrayType(const PixelArray& pixels) {
    const py::ssize_t ndim = pixels.ndim();
    const bool shape_ok = ndim == 2 || (ndim == 3 && (pixels.shape(2) == 1 || pixels.shape(2) == 3));
    if (!shape_ok) {
        std::string shape = "(";
        for (py::ssize_t d = 0; d < ndim; ++d) {
            shape += (d > 0 ? ", " : "") + std::to_string(pixels.shape(d));
        }
        shape += ndim == 1 ? ",)" : ")";
        throw py::value_error("DetectCodedCircleMarker: expected an image array of shape "
                              "(rows, cols), (rows, cols, 1) or (rows, cols, 3), got shape " +
                              shape);
    }
    if (pixels.size() == 0) {
        throw py::value_error("DetectCodedCircleMarker: the image array is empty");
    }
    constexpr py::ssize_t kMaxExtent = std::numeric_limits<int32_t>::max();
    if (pixels.shape(0) > kMaxExtent || pixels.shape(1) > kMaxExtent) {
        throw py::value_error("DetectCodedCircleMarker: the image array is too large");
    }
    return ndim == 2 || pixels.shape(2) == 1 ? Vyx::ImageType::Mono8 : Vyx::ImageType::BGR8;
}

// Holds the interpreter lock while it checks the array and creates the SDK
// image over the array's memory, and releases it only around the detection.
// The temporary image is destroyed before the call returns (the array's
// memory is the caller's and stays untouched); the array argument stays
// referenced by the call until then.
std::vector<Marker> DetectInArray(const PixelArray& pixels, const MarkerType& type) {
    const Vyx::ImageType::Enum image_type = PixelArrayType(pixels);
    const Vyx::Size size{static_cast<int32_t>(pixels.shape(1)), static_cast<int32_t>(pixels.shape(0))};
    // The SDK only reads the pixels; the non-const pointer is its interface.
    auto* data = const_cast<uint8_t*>(pixels.data());
    const TemporaryImage image(Vyx::Image::Create(image_type, size, data, false));

    MarkerBuffer markers;
    int count = 0;
    {
        py::gil_scoped_release release;
        Vyx::DetectCodedCircleMarker(image.get(), type, &count, markers.data());
    }
    return FirstMarkers(markers, count);
}

// The concentric detections: (result code, count, full-length value lists).
// Both run with the interpreter lock released (ReleaseGil).
std::tuple<int, int, std::vector<double>> Concentric2d(const Vyx::Image& image) {
    std::vector<double> values2d(k2dValues, 0.0);
    int count = 0;
    const int code = Vyx::DetectConcentricCircleMarker2d(image, &count, values2d.data());
    return {code, count, std::move(values2d)};
}

std::tuple<int, int, std::vector<double>, std::vector<double>> Concentric3d(
    const Vyx::Image& image, const Vyx::PointMap& map) {
    std::vector<double> values2d(k2dValues, 0.0);
    std::vector<double> values3d(k3dValues, 0.0);
    int count = 0;
    const int code =
        Vyx::DetectConcentricCircleMarker3d(image, map, &count, values2d.data(), values3d.data());
    return {code, count, std::move(values2d), std::move(values3d)};
}

// The rotation comes back as a new C-contiguous (3, 3) float64 array (value k
// at row k / 3, column k % 3), the translation as a new (3,) array; both zero
// where the SDK wrote nothing. The arrays are made with the lock held.
using Float64Array = py::array_t<double, py::array::c_style>;

std::tuple<int, Float64Array, Float64Array> TwoCameraTransform(const Vyx::PointMap& map1,
                                                                const Vyx::Image& image1,
                                                                const Vyx::PointMap& map2,
                                                                const Vyx::Image& image2,
                                                                const MarkerType& type) {
    std::array<double, 9> rotation{};
    std::array<double, 3> translation{};
    int code = 0;
    {
        py::gil_scoped_release release;
        code = Vyx::GetTwoCameraTransformByCodedCircleMarker(map1, image1, map2, image2, type,
                                                             rotation.data(), translation.data());
    }
    Float64Array r({py::ssize_t{3}, py::ssize_t{3}});
    std::copy(rotation.begin(), rotation.end(), r.mutable_data());
    Float64Array t(py::ssize_t{3});
    std::copy(translation.begin(), translation.end(), t.mutable_data());
    return {code, std::move(r), std::move(t)};
}

}  // namespace

void RegisterCircleMarkers(py::module_& m) {
    py::class_<MarkerType>(m, "CodedCircleMarkerType")
        .def(py::init<>(), ReleaseGil())
        .def_readwrite("N", &MarkerType::N)
        .def_readwrite("r1_to_r0_ratio", &MarkerType::r1_to_r0_ratio)
        .def_readwrite("r2_to_r0_ratio", &MarkerType::r2_to_r0_ratio);

    // From Python a marker starts all zero, whatever the SDK's constructor
    // leaves in it.
    py::class_<Marker>(m, "CodedCircleMarker")
        .def(py::init([] { return Zeroed<Marker>(); }), ReleaseGil())
        .def_readwrite("x", &Marker::x)
        .def_readwrite("y", &Marker::y)
        .def_readwrite("code", &Marker::code);

    m.def("DetectCodedCircleMarker", &DetectInImage, ReleaseGil());
    m.def("DetectCodedCircleMarker", &DetectInArray);
    m.def("DetectConcentricCircleMarker2d", &Concentric2d, ReleaseGil());
    m.def("DetectConcentricCircleMarker3d", &Concentric3d, ReleaseGil());
    m.def("GetTwoCameraTransformByCodedCircleMarker", &TwoCameraTransform);
}

}  // namespace pyvyx
