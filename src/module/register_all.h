// The module's registration body, run once by the entry point.
#pragma once

#include <pybind11/pybind11.h>

namespace pyvyx {

// Registers every class, enumeration and function of the module on `m`, in
// the fixed order of registration.h. Errors propagate as exceptions.
void RegisterAll(pybind11::module_& m);

}  // namespace pyvyx
