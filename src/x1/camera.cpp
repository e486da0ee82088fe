#include "module/registration.h"

namespace pyvyx {

void RegisterX1(py::module_& /*m*/) {}

}  // namespace pyvyx
