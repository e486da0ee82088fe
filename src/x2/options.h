// The X2 records, registered by RegisterX2 before the X2 class itself.
#pragma once

#include <pybind11/pybind11.h>

namespace pyvyx {

// X2_CaptureOptions, then X2_CustomTransformOptions.
void RegisterX2Options(pybind11::module_& m);

}  // namespace pyvyx
