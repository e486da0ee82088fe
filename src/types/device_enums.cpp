// First batch of enumerations: device identity, temperatures, colours,
// white balance, network and the two custom-transformation coordinates.
// Every member is also set as a module attribute; the X2 coordinates come
// last, so the shared names CoordinateSelect_Disabled and
// CoordinateSelect_CaliBoard end up as X2's at module level.
#include "module/binding.h"
#include "vyx/types.h"
#include "vyx/x1.h"
#include "vyx/x2.h"

namespace pyvyx {

void RegisterDeviceEnums(py::module_& m) {
    // Aliases follow the bit members they reuse, so a value prints under the
    // bit name (CameraID_Left is named CameraID_0).
    py::enum_<Vyx::CameraID>(m, "CameraID")
        .value("CameraID_NONE", Vyx::CameraID_NONE)
        .value("CameraID_0", Vyx::CameraID_0)
        .value("CameraID_1", Vyx::CameraID_1)
        .value("CameraID_2", Vyx::CameraID_2)
        .value("CameraID_3", Vyx::CameraID_3)
        .value("CameraID_Left", Vyx::CameraID_Left)
        .value("CameraID_Right", Vyx::CameraID_Right)
        .value("CameraID_Both", Vyx::CameraID_Both)
        .value("CameraID_Extra", Vyx::CameraID_Extra)
        .export_values();

    py::enum_<Vyx::PortType>(m, "PortType")
        .value("PortType_NONE", Vyx::PortType_NONE)
        .value("PortType_USB", Vyx::PortType_USB)
        .value("PortType_GIGE", Vyx::PortType_GIGE)
        .export_values();

    py::enum_<Vyx::CameraTempSelector>(m, "CameraTempSelector")
        .value("CameraTempSelector_Camera", Vyx::CameraTempSelector_Camera)
        .value("CameraTempSelector_CoreBoard", Vyx::CameraTempSelector_CoreBoard)
        .value("CameraTempSelector_FpgaCore", Vyx::CameraTempSelector_FpgaCore)
        .value("CameraTempSelector_Framegrabberboard", Vyx::CameraTempSelector_Framegrabberboard)
        .value("CameraTempSelector_Sensor", Vyx::CameraTempSelector_Sensor)
        .value("CameraTempSelector_SensorBoard", Vyx::CameraTempSelector_SensorBoard)
        .export_values();

    py::enum_<Vyx::ProjectorColor>(m, "ProjectorColor")
        .value("ProjectorColor_None", Vyx::ProjectorColor_None)
        .value("ProjectorColor_Red", Vyx::ProjectorColor_Red)
        .value("ProjectorColor_Green", Vyx::ProjectorColor_Green)
        .value("ProjectorColor_Blue", Vyx::ProjectorColor_Blue)
        .value("ProjectorColor_White", Vyx::ProjectorColor_White)
        .export_values();

    py::enum_<Vyx::BalanceSelector>(m, "BalanceSelector")
        .value("BalanceSelector_None", Vyx::BalanceSelector_None)
        .value("BalanceSelector_Red", Vyx::BalanceSelector_Red)
        .value("BalanceSelector_Green", Vyx::BalanceSelector_Green)
        .value("BalanceSelector_Blue", Vyx::BalanceSelector_Blue)
        .export_values();

    py::enum_<Vyx::NetworkType>(m, "NetworkType")
        .value("NetworkType_DHCP", Vyx::NetworkType_DHCP)
        .value("NetworkType_STATIC", Vyx::NetworkType_STATIC)
        .export_values();

    py::enum_<Vyx::NetworkDevice>(m, "NetworkDevice")
        .value("NetworkDevice_LightMachine", Vyx::NetworkDevice_LightMachine)
        .value("NetworkDevice_LeftCamera", Vyx::NetworkDevice_LeftCamera)
        .value("NetworkDevice_RightCamera", Vyx::NetworkDevice_RightCamera)
        .value("NetworkDevice_ExtraCamera", Vyx::NetworkDevice_ExtraCamera)
        .export_values();

    using X1Coordinate = Vyx::X1::CustomTransformOptions::CoordinateSelect;
    py::enum_<X1Coordinate>(m, "X1CustomTransformCoordinate")
        .value("CoordinateSelect_Disabled", X1Coordinate::CoordinateSelect_Disabled)
        .value("CoordinateSelect_Camera", X1Coordinate::CoordinateSelect_Camera)
        .value("CoordinateSelect_CaliBoard", X1Coordinate::CoordinateSelect_CaliBoard)
        .export_values();

    using X2Coordinate = Vyx::X2::CustomTransformOptions::CoordinateSelect;
    py::enum_<X2Coordinate>(m, "X2CustomTransformCoordinate")
        .value("CoordinateSelect_Disabled", X2Coordinate::CoordinateSelect_Disabled)
        .value("CoordinateSelect_CameraLeft", X2Coordinate::CoordinateSelect_CameraLeft)
        .value("CoordinateSelect_CameraRight", X2Coordinate::CoordinateSelect_CameraRight)
        .value("CoordinateSelect_CaliBoard", X2Coordinate::CoordinateSelect_CaliBoard)
        .value("CoordinateSelect_CameraExtra", X2Coordinate::CoordinateSelect_CameraExtra)
        .export_values();
}

}  // namespace pyvyx
