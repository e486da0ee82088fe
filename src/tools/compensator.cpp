// The fixed-marker compensator: the one class whose Python object owns an SDK
// object with a constructor and a destructor. pybind11's default holder owns
// the native object, so collecting the Python object runs the SDK destructor
// exactly once (with the interpreter lock held).
#include <tuple>

#include <pybind11/pybind11.h>

#include "module/binding.h"
#include "vyx/data.h"
#include "vyx/tools.h"

namespace pyvyx {

namespace {

using Compensator = Vyx::Compensator_FixedMarkers;

// Update's drift output starts at 0.0, so a call that writes nothing reports
// a determinate value.
constexpr double kUnwrittenDrift = 0.0;

std::tuple<bool, double> Update(Compensator& self, const Vyx::PointMap& map,
                                const Vyx::Image& image) {
    double drift = kUnwrittenDrift;
    const int status = self.Update(map, image, drift);
    return {status != 0, drift};
}

// The point map is compensated in place; the returned PointMap is a new
// Python object holding the handle the argument holds after the call, so both
// name the same SDK point map.
std::tuple<bool, Vyx::PointMap> Apply(Compensator& self, Vyx::PointMap& map) {
    const int status = self.Apply(map);
    return {status != 0, map};
}

}  // namespace

void RegisterCompensator(py::module_& m) {
    py::class_<Compensator>(m, "Compensator_FixedMarkers")
        .def(py::init<>(), ReleaseGil())
        .def("Initialize", &Compensator::Initialize, ReleaseGil())
        .def("Update", &Update, ReleaseGil())
        .def("Apply", &Apply, ReleaseGil());
}

}  // namespace pyvyx
