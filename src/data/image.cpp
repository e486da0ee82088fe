#include "module/registration.h"

namespace pyvyx {

void RegisterImage(py::module_& /*m*/) {}

}  // namespace pyvyx
