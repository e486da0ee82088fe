// Depth, confidence and correspondence maps with their float64 views.
#include <pybind11/pybind11.h>

#include "module/binding.h"
#include "module/buffer_view.h"
#include "module/view_pins.h"
#include "vyx/data.h"

namespace pyvyx {

namespace {

constexpr auto kMove = py::return_value_policy::move;

// `channels` 0: one double per pixel, (rows, cols); otherwise (rows, cols, k).
template <class Map>
py::buffer_info MapView(const Map& map, int channels) {
    return PinnedView(map, [&map, channels] {
        const bool valid = map.IsValid();
        return GridBufferView(valid, map.GetDataPtr(), map.GetSize(), channels);
    });
}

}  // namespace

void RegisterResultMaps(py::module_& m) {
    py::class_<Vyx::DepthMap>(m, "DepthMap", py::buffer_protocol())
        .def(py::init<>(), ReleaseGil())
        .def("IsValid", &Vyx::DepthMap::IsValid, ReleaseGil())
        .def("GetSize", &Vyx::DepthMap::GetSize, kMove, ReleaseGil())
        .def("SaveDepthMap", TextArgs(&Vyx::DepthMap::SaveDepthMap), ReleaseGil())
        .def_buffer([](const Vyx::DepthMap& map) { return MapView(map, 0); });

    // These two hold the interpreter lock in every call.
    py::class_<Vyx::ConfidenceMap>(m, "ConfidenceMap", py::buffer_protocol())
        .def(py::init<>())
        .def("IsValid", &Vyx::ConfidenceMap::IsValid)
        .def("GetSize", &Vyx::ConfidenceMap::GetSize, kMove)
        .def_buffer([](const Vyx::ConfidenceMap& map) { return MapView(map, 0); });

    py::class_<Vyx::CorrespondMap>(m, "CorrespondMap", py::buffer_protocol())
        .def(py::init<>())
        .def("IsValid", &Vyx::CorrespondMap::IsValid)
        .def("GetSize", &Vyx::CorrespondMap::GetSize, kMove)
        .def_buffer([](const Vyx::CorrespondMap& map) { return MapView(map, 2); });

    CarryViewPins(m.attr("DepthMap"));
    CarryViewPins(m.attr("ConfidenceMap"));
    CarryViewPins(m.attr("CorrespondMap"));
}

}  // namespace pyvyx
