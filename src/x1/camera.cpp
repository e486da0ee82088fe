// X1: one camera of a device together with its projector. Every method is
// one SDK call made without the interpreter lock; arguments and results are
// converted with it held.
#include "module/camera_common.h"
#include "module/registration.h"
#include "vyx/x1.h"

namespace pyvyx {

namespace {

using Cam = Vyx::X1;
using Opts = Vyx::X1::CaptureOptions;

auto BalanceRatio(const Cam& cam, Vyx::BalanceSelector selector) {
    return ResultTuple([&](float& ratio) { return cam.GetBalanceRatio(selector, ratio); },
                       kUnreadFloat);
}

auto BalanceRange(const Cam& cam, Vyx::BalanceSelector selector) {
    return ResultTuple(
        [&](float& first, float& second) { return cam.GetBalanceRange(selector, first, second); },
        kUnreadFloat, kUnreadFloat);
}

}  // namespace

void RegisterX1(py::module_& m) {
    // Default arguments are converted once, here, and reused by every call
    // that omits them. Each method with an `opts` / `roi` pair gets its own
    // pair (DefSettingsMethods); the regions come from the SDK's exported ROI
    // constructor.
    py::class_<Cam> cls(m, "X1");
    cls.def(py::init<>(), ReleaseGil())
        .def_static("Create", &Cam::Create, py::arg("device"), py::arg("camid") = Vyx::CameraID_Left,
                    ReleaseGil());
    DefLifecycleAndCapture(cls);
    // Capture2D hands the SDK the caller's record. Its first form has a
    // default, so it takes every call and the second form is never chosen.
    cls.def("Capture2D", static_cast<bool (Cam::*)(const Opts&)>(&Cam::Capture2D),
            py::arg("opts") = Opts(), ReleaseGil())
        .def("Capture2D", static_cast<bool (Cam::*)()>(&Cam::Capture2D), ReleaseGil())
        .def("SetBandwidth", &Cam::SetBandwidth, ReleaseGil())
        .def("SetCustomTransformation", &SetCustomTransformationCopy<Cam>, ReleaseGil())
        .def("GetCustomTransformation", &CustomTransformation<Cam>, ReleaseGil())
        .def("GetCameraResolution", &CameraResolution<Cam>, ReleaseGil())
        .def("GetProjectorTemperature", &ProjectorTemperature<Cam>, ReleaseGil())
        .def("GetImage", &Cam::GetImage, ReleaseGil())
        .def("GetExposureTimeRange", &ExposureTimeRange<Cam>, ReleaseGil())
        .def("GetGainRange", &GainRange<Cam>, ReleaseGil())
        .def("GetGammaRange", &GammaRange<Cam>, ReleaseGil())
        .def("GetCameraTemperature", &CameraTemperatureRead<Cam, Vyx::CameraTempSelector>,
             ReleaseGil())
        .def("GetDepthMap", &Cam::GetDepthMap, ReleaseGil())
        .def("GetPointMap", &Cam::GetPointMap, ReleaseGil())
        .def("GetMesh", &Cam::GetMesh, ReleaseGil())
        .def("GetConfidenceMap", &Cam::GetConfidenceMap, ReleaseGil())
        // The path passes through as a UTF-8 C string; None becomes a null
        // pointer, which the SDK refuses.
        .def("SaveEncodedImagesData", TextArgs(&Cam::SaveEncodedImagesData), ReleaseGil())
        .def("SetBalanceRatio", &Cam::SetBalanceRatio, ReleaseGil())
        .def("GetBalanceRatio", &BalanceRatio, ReleaseGil())
        .def("GetBalanceRange", &BalanceRange, ReleaseGil())
        .def("AutoWhiteBalance", &Cam::AutoWhiteBalance, ReleaseGil())
        // The extrinsic matrix starts as the identity, the intrinsic arrays as
        // zeros: what a failure that writes nothing returns.
        .def("GetExtrinsicMatrix", &ExtrinsicMatrixRead<MatrixStart::Identity, Cam>, ReleaseGil())
        .def("GetIntrinsicParameters", &IntrinsicParametersRead<Cam>, ReleaseGil());
    DefSettingsMethods(cls);
}

}  // namespace pyvyx
