#include "module/registration.h"

namespace pyvyx {

void RegisterResultMaps(py::module_& /*m*/) {}

}  // namespace pyvyx
