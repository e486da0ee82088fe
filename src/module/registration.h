// The registration functions of every area, in the order the entry point
// calls them. The order is part of the module's behaviour: it decides which
// same-named enumeration constant ends up at module level and how help texts
// name types that are registered later than a signature mentioning them.
#pragma once

#include <pybind11/pybind11.h>

namespace pyvyx {

namespace py = pybind11;

void RegisterStatusFunctions(py::module_& m);       // 1  version and last error
void RegisterGeometryRecords(py::module_& m);       // 2  Size, ROI, ROIRange
void RegisterDeviceEnums(py::module_& m);           // 3  CameraID ... X2CustomTransformCoordinate
void RegisterDevice(py::module_& m);                // 4  DeviceInfo, Device
void RegisterDiscoveryEnums(py::module_& m);        // 5  SystemListDeviceTypeEnum, PointMapUnitEnum
void RegisterDiscovery(py::module_& m);             // 6  SystemListDeviceTypeToString, SystemListDevices
void RegisterImageEnums(py::module_& m);            // 7  ImageTypeEnum, ProtectiveCoverStatus
void RegisterImage(py::module_& m);                 // 8  image functions, Image
void RegisterResultMaps(py::module_& m);            // 9  DepthMap, ConfidenceMap, CorrespondMap
void RegisterPointMapEnums(py::module_& m);         // 10 PointMapTypeEnum
void RegisterPointMap(py::module_& m);              // 11 point map functions, PointMap
void RegisterMeshAndNormals(py::module_& m);        // 12 Mesh, NormalData
void RegisterLifecycle(py::module_& m);             // 13 SystemInit ... SystemFindDevice
void RegisterX1Options(py::module_& m);             // 14 X1_CaptureOptions, X1_CustomTransformOptions
void RegisterCaptureEnums(py::module_& m);          // 15 SmoothnessLevel, CaptureMode, TriggerMode
void RegisterX1(py::module_& m);                    // 16 X1
void RegisterX2(py::module_& m);                    // 17 X2_CaptureOptions, X2_CustomTransformOptions, X2
void RegisterCompensator(py::module_& m);           // 18 Compensator_FixedMarkers
void RegisterExternalCamera(py::module_& m);        // 19 external camera functions
void RegisterCircleMarkers(py::module_& m);         // 20 marker records and detections
void RegisterTransformAndAccuracy(py::module_& m);  // 21 TransformPointCloud, TestAccuracy

}  // namespace pyvyx
