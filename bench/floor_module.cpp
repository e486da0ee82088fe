// The binding library's own floor: pybind11 functions and a record that do
// no work, built with the same flags as PyVyx, so that bench_calls.py can set
// the cost of a PyVyx call beside the least any pybind11 call of that shape
// costs.
#include <tuple>

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace {

struct Record {
    int field = 0;
};

}  // namespace

PYBIND11_MODULE(pyvyx_floor, m) {
    m.doc() = "pybind11 calls that do nothing (benchmark floor)";
    m.def("flag_released", [] { return true; }, py::call_guard<py::gil_scoped_release>());
    py::class_<Record>(m, "Record")
        .def(py::init<>())
        .def_readwrite("field", &Record::field)
        .def("flag", [](const Record&) { return true; }, py::call_guard<py::gil_scoped_release>())
        .def("pair", [](const Record&) { return std::make_tuple(true, 0.0f); },
             py::call_guard<py::gil_scoped_release>());
}
