// The SDK's global lifecycle and the search for one device. The module keeps
// no state of its own: it neither initialises the SDK itself nor checks
// that it is initialised before other calls.
#include "module/binding.h"
#include "vyx/system.h"

namespace pyvyx {

void RegisterLifecycle(py::module_& m) {
    m.def("SystemInit", &Vyx::SystemInit, "Initialize system.", ReleaseGil());
    m.def("SystemIsInited", &Vyx::SystemIsInited, "System Is Inited?", ReleaseGil());
    m.def("SystemShutdown", &Vyx::SystemShutdown, "Shut down the system.", ReleaseGil());
    // Always a Device; IsValid tells whether it names one. None passes a
    // null serial number.
    m.def("SystemFindDevice", TextArgs(&Vyx::SystemFindDevice), "Find the device with serial number.",
          py::arg("serialNumber"), ReleaseGil());
}

}  // namespace pyvyx
