// The registration body: every area in the order that fixes which
// same-named enumeration constant wins at module level and how help texts
// name types. One pass, no conditions.
#include "module/register_all.h"

#include "module/registration.h"

namespace pyvyx {

void RegisterAll(py::module_& m) {
    RegisterStatusFunctions(m);
    RegisterGeometryRecords(m);
    RegisterDeviceEnums(m);
    RegisterDevice(m);
    RegisterDiscoveryEnums(m);
    RegisterDiscovery(m);
    RegisterImageEnums(m);
    RegisterImage(m);
    RegisterResultMaps(m);
    RegisterPointMapEnums(m);
    RegisterPointMap(m);
    RegisterMeshAndNormals(m);
    RegisterLifecycle(m);
    RegisterX1Options(m);
    RegisterCaptureEnums(m);
    RegisterX1(m);
    RegisterX2(m);
    RegisterCompensator(m);
    RegisterExternalCamera(m);
    RegisterCircleMarkers(m);
    RegisterTransformAndAccuracy(m);
}

}  // namespace pyvyx
