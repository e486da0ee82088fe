#include "module/registration.h"

namespace pyvyx {

void RegisterExternalCamera(py::module_& /*m*/) {}

}  // namespace pyvyx
