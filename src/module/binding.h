// What every registration area includes: pybind11, the registration
// functions, and the module's small shared helpers (text conversion, result
// tuples, the interpreter-lock guard).
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "module/outputs.h"
#include "module/registration.h"
#include "module/text.h"
