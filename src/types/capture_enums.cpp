// Fifth batch of enumerations: capture smoothing, modes and triggering.
// Registered after the X1 option records, whose help texts therefore name
// these types by their SDK names.
#include "module/binding.h"
#include "vyx/types.h"

namespace pyvyx {

void RegisterCaptureEnums(py::module_& m) {
    py::enum_<Vyx::SmoothnessLevel>(m, "SmoothnessLevel")
        .value("SmoothnessLevel_Off", Vyx::SmoothnessLevel_Off)
        .value("SmoothnessLevel_Weak", Vyx::SmoothnessLevel_Weak)
        .value("SmoothnessLevel_Normal", Vyx::SmoothnessLevel_Normal)
        .value("SmoothnessLevel_Strong", Vyx::SmoothnessLevel_Strong)
        .export_values();

    // A bit set without a 0 member: combined values print as "???".
    py::enum_<Vyx::CaptureMode>(m, "CaptureMode")
        .value("CaptureMode_Fast", Vyx::CaptureMode_Fast)
        .value("CaptureMode_Normal", Vyx::CaptureMode_Normal)
        .value("CaptureMode_Ultra", Vyx::CaptureMode_Ultra)
        .value("CaptureMode_Robust", Vyx::CaptureMode_Robust)
        .value("CaptureMode_AntiInterReflection", Vyx::CaptureMode_AntiInterReflection)
        .value("CaptureMode_SwingLineScan", Vyx::CaptureMode_SwingLineScan)
        .value("CaptureMode_FixedLineScan", Vyx::CaptureMode_FixedLineScan)
        .value("CaptureMode_LineArrayShift", Vyx::CaptureMode_LineArrayShift)
        .export_values();

    py::enum_<Vyx::TriggerMode>(m, "TriggerMode")
        .value("TriggerMode_SoftWare", Vyx::TriggerMode_SoftWare)
        .value("TriggerMode_HardWare", Vyx::TriggerMode_HardWare)
        .value("TriggerMode_FixedRate", Vyx::TriggerMode_FixedRate)
        .export_values();
}

}  // namespace pyvyx
