// Size, ROI and ROIRange: SDK records of 32-bit integers, passed by value.
#include "module/binding.h"
#include "vyx/types.h"

namespace pyvyx {

void RegisterGeometryRecords(py::module_& m) {
    // `cols` and `rows` are second names for the storage of width and height.
    py::class_<Vyx::Size>(m, "Size")
        .def(py::init<>(), ReleaseGil())
        .def(py::init<int32_t, int32_t>(), ReleaseGil())
        .def_readwrite("width", &Vyx::Size::width)
        .def_readwrite("height", &Vyx::Size::height)
        .def_readwrite("cols", &Vyx::Size::width)
        .def_readwrite("rows", &Vyx::Size::height);

    // ROI() is the SDK's own exported constructor.
    py::class_<Vyx::ROI>(m, "ROI")
        .def(py::init<>(), ReleaseGil())
        .def(py::init<int32_t, int32_t, int32_t, int32_t>(), ReleaseGil())
        .def_readwrite("x", &Vyx::ROI::x)
        .def_readwrite("y", &Vyx::ROI::y)
        .def_readwrite("width", &Vyx::ROI::width)
        .def_readwrite("height", &Vyx::ROI::height);

    py::class_<Vyx::ROIRange>(m, "ROIRange")
        .def(py::init<>(), ReleaseGil())
        .def_readwrite("x_step", &Vyx::ROIRange::x_step)
        .def_readwrite("y_step", &Vyx::ROIRange::y_step)
        .def_readwrite("width_step", &Vyx::ROIRange::width_step)
        .def_readwrite("height_step", &Vyx::ROIRange::height_step)
        .def_readwrite("width_min", &Vyx::ROIRange::width_min)
        .def_readwrite("height_min", &Vyx::ROIRange::height_min)
        .def_readwrite("width_max", &Vyx::ROIRange::width_max)
        .def_readwrite("height_max", &Vyx::ROIRange::height_max);
}

}  // namespace pyvyx
