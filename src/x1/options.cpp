#include "module/registration.h"

namespace pyvyx {

void RegisterX1Options(py::module_& /*m*/) {}

}  // namespace pyvyx
