// Second batch of enumerations: the kinds of port a listing covers and the
// units of point-map files. Their members reach module level under their
// short names (USB, GigE, All, Meter, Millimeter).
#include "module/binding.h"
#include "vyx/types.h"

namespace pyvyx {

void RegisterDiscoveryEnums(py::module_& m) {
    py::enum_<Vyx::SystemListDeviceType::Enum>(m, "SystemListDeviceTypeEnum")
        .value("USB", Vyx::SystemListDeviceType::USB)
        .value("GigE", Vyx::SystemListDeviceType::GigE)
        .value("All", Vyx::SystemListDeviceType::All)
        .export_values();

    py::enum_<Vyx::PointMapUnit::Enum>(m, "PointMapUnitEnum")
        .value("Meter", Vyx::PointMapUnit::Meter)
        .value("Millimeter", Vyx::PointMapUnit::Millimeter)
        .export_values();
}

}  // namespace pyvyx
