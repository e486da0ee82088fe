// Image functions and the Image class with its pixel view.
#include <pybind11/pybind11.h>

#include "module/binding.h"
#include "module/buffer_view.h"
#include "module/view_pins.h"
#include "vyx/data.h"

namespace pyvyx {

namespace {

constexpr auto kMove = py::return_value_policy::move;

// The pixels as uint8: (rows, cols) for Mono8, (rows, cols, 3) for the colour
// types, whose three bytes per pixel are adjacent. Anything else, or an image
// without pixels, is the empty description.
py::buffer_info ImageDescription(const Vyx::Image& img) {
    const bool valid = img.IsValid();
    const Vyx::Size size = img.GetSize();
    const Vyx::ImageType::Enum type = img.GetType();
    int channels = -1;
    switch (type) {
        case Vyx::ImageType::Mono8:
            channels = 0;
            break;
        case Vyx::ImageType::RGB8:
        case Vyx::ImageType::BGR8:
            channels = 3;
            break;
        default:
            return EmptyBufferView();
    }
    return GridBufferView(valid, img.GetDataPtr(), size, channels);
}

py::buffer_info ImageView(const Vyx::Image& img) {
    return PinnedView(img, [&img] { return ImageDescription(img); });
}

}  // namespace

void RegisterImage(py::module_& m) {
    m.def("ImageTypeToString", &Vyx::ImageType::ToString, ReleaseGil());
    m.def("ImageTypeGetPixelSize", &Vyx::ImageType::GetPixelSize, ReleaseGil());
    m.def(
        "ImageCreate",
        [](Vyx::ImageType::Enum type, Vyx::Size size) {
            return Vyx::Image::Create(type, size, nullptr, true);
        },
        kMove, ReleaseGil());
    m.def(
        "ImageDestroy", [](Vyx::Image img, bool no_reuse) { Vyx::Image::Destroy(img, no_reuse); },
        "Destroy the image", py::arg("img"), py::arg("no_reuse") = true, ReleaseGil());

    py::class_<Vyx::Image>(m, "Image", py::buffer_protocol())
        .def(py::init<>(), ReleaseGil())
        .def_static("CreateFromFile", TextArgs(&Vyx::Image::CreateFromFile), kMove, ReleaseGil())
        .def_static(
            "Destroy", [](Vyx::Image img) { Vyx::Image::Destroy(img, true); }, ReleaseGil())
        .def("IsValid", &Vyx::Image::IsValid, ReleaseGil())
        .def("GetSize", &Vyx::Image::GetSize, kMove, ReleaseGil())
        .def("SaveImage", TextArgs(&Vyx::Image::SaveImage), ReleaseGil())
        .def("GetType", &Vyx::Image::GetType, kMove, ReleaseGil())
        .def("Clone", &Vyx::Image::Clone, kMove, ReleaseGil())
        .def_buffer(&ImageView);
    CarryViewPins(m.attr("Image"));
}

}  // namespace pyvyx
