#include "module/registration.h"

namespace pyvyx {

void RegisterPointMap(py::module_& /*m*/) {}

}  // namespace pyvyx
