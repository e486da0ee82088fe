// Third batch of enumerations: pixel formats and the protective cover.
// The cover's members stay on their type only; every other member is also a
// module attribute (ImageTypeEnum's `None` until PointMapTypeEnum replaces it).
#include "module/binding.h"
#include "vyx/types.h"

namespace pyvyx {

void RegisterImageEnums(py::module_& m) {
    py::enum_<Vyx::ImageType::Enum>(m, "ImageTypeEnum")
        .value("None", Vyx::ImageType::None)
        .value("Mono8", Vyx::ImageType::Mono8)
        .value("RGB8", Vyx::ImageType::RGB8)
        .value("BGR8", Vyx::ImageType::BGR8)
        .export_values();

    py::enum_<Vyx::ProtectiveCoverStatus>(m, "ProtectiveCoverStatus")
        .value("ProtectiveCoverStatus_Unknown", Vyx::ProtectiveCoverStatus_Unknown)
        .value("ProtectiveCoverStatus_Closed", Vyx::ProtectiveCoverStatus_Closed)
        .value("ProtectiveCoverStatus_Closing", Vyx::ProtectiveCoverStatus_Closing)
        .value("ProtectiveCoverStatus_Open", Vyx::ProtectiveCoverStatus_Open)
        .value("ProtectiveCoverStatus_Opening", Vyx::ProtectiveCoverStatus_Opening);
}

}  // namespace pyvyx
