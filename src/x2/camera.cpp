#include "module/registration.h"

namespace pyvyx {

void RegisterX2(py::module_& /*m*/) {}

}  // namespace pyvyx
