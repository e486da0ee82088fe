// X2: a device used with both cameras and the projector. Every method is one
// SDK call made without the interpreter lock; arguments and results are
// converted with it held.
#include <cstdint>

#include "module/camera_common.h"
#include "module/registration.h"
#include "vyx/x2.h"
#include "x2/options.h"

namespace pyvyx {

namespace {

using Cam = Vyx::X2;
using Opts = Vyx::X2::CaptureOptions;

// A timestamp the SDK did not write reads as 0.
constexpr uint64_t kUnreadTimestamp = 0;

auto Timestamp(const Cam& cam) {
    return ResultTuple([&](uint64_t& stamp) { return cam.GetTimestamp(stamp); }, kUnreadTimestamp);
}

}  // namespace

void RegisterX2(py::module_& m) {
    RegisterX2Options(m);

    // Default arguments are converted once, here, and reused by every call
    // that omits them.
    py::class_<Cam> cls(m, "X2");
    cls.def(py::init<>(), ReleaseGil())
        .def_static("Create", &Cam::Create, py::arg("device"), ReleaseGil());
    DefLifecycleAndCapture(cls);
    // StartFixedLineScan: the options form first, with a private copy.
    cls.def("StartFixedLineScan", &CallWithOptionsCopy<Cam, &Cam::StartFixedLineScan>,
            ReleaseGil())
        .def("StartFixedLineScan", static_cast<bool (Cam::*)()>(&Cam::StartFixedLineScan),
             ReleaseGil())
        // Without an argument: a new PointMap. With one: the SDK fills the
        // caller's PointMap in place and only the flag comes back.
        .def("GetFixedLineScanPointMap",
             static_cast<Vyx::PointMap (Cam::*)()>(&Cam::GetFixedLineScanPointMap), ReleaseGil())
        .def("GetFixedLineScanPointMap",
             static_cast<bool (Cam::*)(Vyx::PointMap&)>(&Cam::GetFixedLineScanPointMap),
             ReleaseGil())
        .def("StopFixedLineScan", &Cam::StopFixedLineScan, ReleaseGil())
        // Capture2D hands the SDK the caller's record. Its first form has a
        // default, so it takes every call and the second form is never chosen.
        .def("Capture2D", static_cast<bool (Cam::*)(Vyx::CameraID, const Opts&)>(&Cam::Capture2D),
             py::arg("cid"), py::arg("opts") = Opts(), ReleaseGil())
        .def("Capture2D", static_cast<bool (Cam::*)(Vyx::CameraID)>(&Cam::Capture2D),
             py::arg("cid"), ReleaseGil())
        .def("SetBandwidth", &Cam::SetBandwidth, ReleaseGil())
        .def("SetCustomTransformation", &SetCustomTransformationCopy<Cam>, ReleaseGil())
        .def("GetCustomTransformation", &CustomTransformation<Cam>, ReleaseGil())
        .def("GetCameraResolution", &CameraResolution<Cam>, ReleaseGil())
        .def("GetTimestamp", &Timestamp, ReleaseGil())
        .def("ResetTimestamp", &Cam::ResetTimestamp, ReleaseGil())
        .def("GetProjectorTemperature", &ProjectorTemperature<Cam>, ReleaseGil())
        .def("GetImage", &Cam::GetImage, ReleaseGil())
        .def("GetPointMap", &Cam::GetPointMap, ReleaseGil())
        .def("GetMesh", &Cam::GetMesh, ReleaseGil())
        .def("GetConfidenceMap", &Cam::GetConfidenceMap, ReleaseGil())
        .def("GetCorrespondMap", &Cam::GetCorrespondMap, ReleaseGil())
        // A directory path as a UTF-8 C string; None becomes a null pointer,
        // which the SDK refuses.
        .def("SaveEncodedImagesData", TextArgs(&Cam::SaveEncodedImagesData), ReleaseGil())
        .def("GetDepthMap", &Cam::GetDepthMap, ReleaseGil())
        .def("AutoWhiteBalance", &Cam::AutoWhiteBalance, ReleaseGil())
        // Both calibration reads start from zeros.
        .def("GetExtrinsicMatrix", &ExtrinsicMatrixRead<MatrixStart::Zeros, Cam, Vyx::CameraID>,
             ReleaseGil())
        .def("GetIntrinsicParameters", &IntrinsicParametersRead<Cam, Vyx::CameraID>, ReleaseGil())
        .def("GetExposureTimeRange", &ExposureTimeRange<Cam>, ReleaseGil())
        .def("GetGainRange", &GainRange<Cam>, ReleaseGil())
        .def("GetGammaRange", &GammaRange<Cam>, ReleaseGil())
        .def("GetCameraTemperature",
             &CameraTemperatureRead<Cam, Vyx::CameraID, Vyx::CameraTempSelector>, ReleaseGil());
    DefSettingsMethods(cls);
}

}  // namespace pyvyx
