// Fourth batch of enumerations: what a point map holds. Its `None` member
// replaces ImageTypeEnum's as the module attribute of that name.
#include "module/binding.h"
#include "vyx/types.h"

namespace pyvyx {

void RegisterPointMapEnums(py::module_& m) {
    py::enum_<Vyx::PointMapType::Enum>(m, "PointMapTypeEnum")
        .value("None", Vyx::PointMapType::None)
        .value("PointsOnly", Vyx::PointMapType::PointsOnly)
        .value("PointsNormals", Vyx::PointMapType::PointsNormals)
        .export_values();
}

}  // namespace pyvyx
