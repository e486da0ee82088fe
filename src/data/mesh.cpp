#include "module/registration.h"

namespace pyvyx {

void RegisterMeshAndNormals(py::module_& /*m*/) {}

}  // namespace pyvyx
