#include "module/registration.h"

namespace pyvyx {

void RegisterTransformAndAccuracy(py::module_& /*m*/) {}

}  // namespace pyvyx
