#include "module/registration.h"

namespace pyvyx {

void RegisterCircleMarkers(py::module_& /*m*/) {}

}  // namespace pyvyx
