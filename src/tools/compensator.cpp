#include "module/registration.h"

namespace pyvyx {

void RegisterCompensator(py::module_& /*m*/) {}

}  // namespace pyvyx
