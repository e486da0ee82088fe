// Point map functions and the PointMap class with its point view.
#include <pybind11/pybind11.h>

#include "data/normal_data.h"
#include "module/binding.h"
#include "module/buffer_view.h"
#include "module/view_pins.h"
#include "vyx/data.h"

namespace pyvyx {

namespace {

constexpr auto kMove = py::return_value_policy::move;

// The points as float64 (rows, cols, 3): x, y, z of each grid cell.
py::buffer_info PointView(const Vyx::PointMap& map) {
    return PinnedView(map, [&map] {
        const bool valid = map.IsValid();
        return GridBufferView(valid, map.GetPointDataPtr(), map.GetSize(), 3);
    });
}

// A snapshot of the normal storage: whether there is one, the size, the
// pointer. It does not follow later changes of the point map.
NormalData NormalsOf(const Vyx::PointMap& map) {
    NormalData normals;
    normals.valid = map.GetNormalDataPtr() != nullptr;
    normals.size = map.GetSize();
    normals.data = map.GetNormalDataPtr();
    normals.source = map;
    return normals;
}

void DestroyPointMap(Vyx::PointMap map) { Vyx::PointMap::Destroy(map, true); }

}  // namespace

void RegisterPointMap(py::module_& m) {
    m.def("PointMapTypeToString", &Vyx::PointMapType::ToString, ReleaseGil());
    m.def(
        "PointMapCreate",
        [](Vyx::PointMapType::Enum type, Vyx::Size size) {
            return Vyx::PointMap::Create(type, size, nullptr, true);
        },
        kMove, ReleaseGil());
    m.def("PointMapDestroy", &DestroyPointMap, ReleaseGil());

    py::class_<Vyx::PointMap>(m, "PointMap", py::buffer_protocol())
        .def(py::init<>(), ReleaseGil())
        .def_static("CreateFromFile", TextArgs(&Vyx::PointMap::CreateFromFile), kMove, ReleaseGil())
        .def_static("Destroy", &DestroyPointMap, ReleaseGil())
        .def("IsValid", &Vyx::PointMap::IsValid, ReleaseGil())
        .def("GetSize", &Vyx::PointMap::GetSize, kMove, ReleaseGil())
        .def("Clone", &Vyx::PointMap::Clone, kMove, ReleaseGil())
        .def("GetNormalDataPtr", &NormalsOf, kMove, ReleaseGil())
        .def(
            "Save",
            [](const Vyx::PointMap& map, const CText& filename, Vyx::PointMapUnit::Enum unit,
               bool isBinary) { return map.Save(filename, unit, isBinary, Vyx::Image()); },
            py::arg("filename"), py::arg("unit") = Vyx::PointMapUnit::Millimeter,
            py::arg("isBinary") = true, ReleaseGil())
        .def(
            "SaveWithImage",
            [](const Vyx::PointMap& map, const CText& filename, const Vyx::Image& image,
               Vyx::PointMapUnit::Enum unit,
               bool isBinary) { return map.Save(filename, unit, isBinary, image); },
            py::arg("filename"), py::arg("image"), py::arg("unit") = Vyx::PointMapUnit::Millimeter,
            py::arg("isBinary") = true, ReleaseGil())
        .def("GetTimestamp", &Vyx::PointMap::GetTimestamp, ReleaseGil())
        .def("SetTimestamp", &Vyx::PointMap::SetTimestamp, ReleaseGil())
        .def_buffer(&PointView);
    CarryViewPins(m.attr("PointMap"));
}

}  // namespace pyvyx
