// Version and last-error functions. They may be called at any time, before
// SystemInit too; each runs its SDK call without the interpreter lock.
#include "module/binding.h"
#include "vyx/system.h"

namespace pyvyx {

void RegisterStatusFunctions(py::module_& m) {
    // A null version becomes None.
    m.def("GetVersion", &Vyx::GetVersion, ReleaseGil());
    m.def("GetLastError", &Vyx::GetLastError, ReleaseGil());
    // The message lives in SDK storage that the thread's next failing call
    // replaces: copy it before the lock is taken back.
    m.def(
        "GetLastErrorMessage", [] { return CopyText(Vyx::GetLastErrorMessage()); }, ReleaseGil());
}

}  // namespace pyvyx
