// The Mesh class, and NormalData with its normal view.
#include <cstdint>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "data/normal_data.h"
#include "module/binding.h"
#include "module/buffer_view.h"
#include "module/view_pins.h"
#include "vyx/data.h"

namespace pyvyx {

namespace {

constexpr auto kMove = py::return_value_policy::move;

// Point data as the SDK reads it: C-ordered float64, converted (and made
// contiguous) from whatever array-like the caller gives.
using PointArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Builds a mesh from size.height x size.width points of three doubles. The
// array must hold exactly that many values, so the SDK never reads past the
// caller's data; its shape may be (rows, cols, 3) or any other with the same
// count in C order.
Vyx::Mesh MeshFromPointData(Vyx::Size size, const PointArray& points, double max_edge) {
    const int64_t expected =
        static_cast<int64_t>(size.height) * static_cast<int64_t>(size.width) * 3;
    const int64_t actual = static_cast<int64_t>(points.size());
    if (expected != actual) {
        throw py::value_error("CreateFromPointMapData: a grid of " + std::to_string(size.height) +
                              " rows x " + std::to_string(size.width) +
                              " columns needs " + std::to_string(expected) +
                              " float64 values (rows x columns x 3), got " +
                              std::to_string(actual));
    }
    const double* data = points.data();
    py::gil_scoped_release release;
    return Vyx::Mesh::CreateFromPointMapData(size, data, max_edge);
}

// The normals as float64 (rows, cols, 3), over the point map's storage, as
// long as the SDK still reports that storage for the point map of the same
// size; a record whose point map was destroyed gives the empty description.
// The view pins the point map, whose storage holds the normals.
py::buffer_info NormalView(const NormalData& normals) {
    if (!normals.valid || normals.data == nullptr) {
        return EmptyBufferView();
    }
    return PinnedView(normals.source, [&normals] {
        const Vyx::Size now = normals.source.GetSize();
        const bool current = normals.source.GetNormalDataPtr() == normals.data &&
                             now.width == normals.size.width && now.height == normals.size.height;
        return GridBufferView(current, normals.data, normals.size, 3);
    });
}

}  // namespace

void RegisterMeshAndNormals(py::module_& m) {
    // Registered with the buffer protocol like the other data classes, but a
    // mesh has no view: a buffer request fails with BufferError.
    py::class_<Vyx::Mesh>(m, "Mesh", py::buffer_protocol())
        .def(py::init<>(), ReleaseGil())
        // The interpreter lock is released inside, once the array is checked.
        .def_static("CreateFromPointMapData", &MeshFromPointData, kMove)
        .def_static("CreateFromPointMap", &Vyx::Mesh::CreateFromPointMap, kMove, ReleaseGil())
        .def_static(
            "Destroy", [](Vyx::Mesh mesh) { Vyx::Mesh::Destroy(mesh, true); }, ReleaseGil())
        .def("IsValid", &Vyx::Mesh::IsValid, ReleaseGil())
        .def("GetSize", &Vyx::Mesh::GetSize, kMove, ReleaseGil())
        .def("Clone", &Vyx::Mesh::Clone, kMove, ReleaseGil())
        .def("Save", TextArgs(&Vyx::Mesh::Save), ReleaseGil());

    py::class_<NormalData>(m, "NormalData", py::buffer_protocol())
        .def(py::init<>(), ReleaseGil())
        .def("IsValid", &NormalData::IsValid, ReleaseGil())
        .def("GetSize", &NormalData::GetSize, kMove, ReleaseGil())
        .def_buffer(&NormalView);
    CarryViewPins(m.attr("NormalData"));
}

}  // namespace pyvyx
