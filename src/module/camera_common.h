// Pieces the X1 and X2 bindings share: the HDR table accessors of the two
// capture-options records, the adapters that turn the cameras' output
// parameters into result tuples (with determinate starting values), the
// automatic-setting calls on private copies, the bounded SetTransform copy,
// the user-set name buffer, and the runs of methods both camera classes
// register in the same order.
//
// Everything is templated on the SDK record or camera type, so both cameras
// use the same code. The camera adapters are plain functions meant to be
// registered with `ReleaseGil`: pybind11 converts the arguments before the
// guard releases the interpreter lock and converts the result after it takes
// the lock back, so only the SDK call and plain C++ work run without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <pybind11/numpy.h>

#include "module/binding.h"
#include "vyx/types.h"
#include "vyx/x1.h"

namespace pyvyx {

// ---------------------------------------------------------------------------
// HDR tables of the capture-options records: three entries each, reached
// only through bounded accessors that run inside the module.

constexpr uint32_t kHdrTableSize = 3;

// Bounds both cameras share (inclusive). The scan-count bounds differ per
// camera and live with each camera's options.
constexpr int32_t kHdrExposureTimeMin = 3;
constexpr int32_t kHdrExposureTimeMax = 100;
constexpr int32_t kHdrProjectorBrightnessMin = 1;
constexpr int32_t kHdrProjectorBrightnessMax = 240;
constexpr float kHdrGainMin = 0.0f;
constexpr float kHdrGainMax = 20.0f;

// Sentinels the getters return for an index outside the table.
constexpr int kHdrBadIndex = -1;
constexpr double kHdrGainBadIndex = -1.0;

// An index is valid when, read as an unsigned 32-bit number, it lies inside
// the table: every negative index is then far out of range.
inline bool HdrIndexValid(int index) {
    return static_cast<uint32_t>(index) < kHdrTableSize;
}

// lo <= value <= hi, checked as one unsigned comparison of (value - lo)
// against (hi - lo): values below lo wrap around to large numbers and fail.
inline bool InInclusiveRange(int32_t value, int32_t lo, int32_t hi) {
    return static_cast<uint32_t>(value) - static_cast<uint32_t>(lo) <=
           static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo);
}

// The record type of a pointer to a data member.
template <class T>
struct MemberOf;
template <class R, class M>
struct MemberOf<M R::*> {
    using Record = R;
};
template <auto Table>
using RecordOf = typename MemberOf<decltype(Table)>::Record;

// Getter of an int32 table: the entry, or -1 for a bad index.
template <auto Table>
int HdrGetInt(const RecordOf<Table>& rec, int index) {
    return HdrIndexValid(index) ? (rec.*Table)[index] : kHdrBadIndex;
}

// Setter of an int32 table: writes only when the index and the value (Lo to
// Hi, inclusive) both pass; otherwise changes nothing and returns false.
template <auto Table, int32_t Lo, int32_t Hi>
bool HdrSetInt(RecordOf<Table>& rec, int index, int value) {
    static_assert(Lo <= Hi, "empty range");
    if (!HdrIndexValid(index) || !InInclusiveRange(value, Lo, Hi)) return false;
    (rec.*Table)[index] = value;
    return true;
}

// Getter of the float32 gain table, widened; -1.0 for a bad index.
template <auto Table>
double HdrGetGain(const RecordOf<Table>& rec, int index) {
    return HdrIndexValid(index) ? static_cast<double>((rec.*Table)[index]) : kHdrGainBadIndex;
}

// Setter of the gain table. The value arrives already narrowed to float32
// (pybind11's float conversion), so the bounds are compared in float32:
// 20.0000001 narrows to 20.0f and passes. NaN fails both comparisons; -0.0
// equals 0.0 and passes.
template <auto Table>
bool HdrSetGain(RecordOf<Table>& rec, int index, float value) {
    if (!HdrIndexValid(index) || !(value >= kHdrGainMin && value <= kHdrGainMax)) return false;
    (rec.*Table)[index] = value;
    return true;
}

// ---------------------------------------------------------------------------
// Starting values of outputs the SDK may leave unwritten on failure. A value
// next to a False flag carries no meaning; these make it determinate.

// Temperatures: NaN, because 0.0 would read as a plausible temperature.
constexpr float kUnreadTemperature = std::numeric_limits<float>::quiet_NaN();
// Exposure, gain, gamma and balance ranges, and the balance ratio: 0.
constexpr int kUnreadIntRange = 0;
constexpr float kUnreadFloat = 0.0f;
// Current user set: -1, which names no user set (0 is a valid one).
constexpr int kUnreadUserSet = -1;

// ---------------------------------------------------------------------------
// Result-tuple adapters common to both cameras: (SDK flag, outputs...).

template <class Camera>
auto ProjectorTemperature(const Camera& cam) {
    return ResultTuple([&](float& celsius) { return cam.GetProjectorTemperature(celsius); },
                       kUnreadTemperature);
}

// A camera temperature, named by the arguments before the output (the
// selector on an X1; the camera and the selector on an X2).
template <class Camera, class... Which>
auto CameraTemperatureRead(const Camera& cam, Which... which) {
    return ResultTuple([&](float& celsius) { return cam.GetCameraTemperature(which..., celsius); },
                       kUnreadTemperature);
}

template <class Camera>
auto ExposureTimeRange(const Camera& cam) {
    return ResultTuple([&](int& first, int& second) { return cam.GetExposureTimeRange(&first, &second); },
                       kUnreadIntRange, kUnreadIntRange);
}

template <class Camera>
auto GainRange(const Camera& cam) {
    return ResultTuple([&](float& first, float& second) { return cam.GetGainRange(&first, &second); },
                       kUnreadFloat, kUnreadFloat);
}

template <class Camera>
auto GammaRange(const Camera& cam) {
    return ResultTuple([&](float& first, float& second) { return cam.GetGammaRange(&first, &second); },
                       kUnreadFloat, kUnreadFloat);
}

// The camera's custom transformation, read into a default record (disabled,
// identity), which is what a failure that writes nothing returns.
template <class Camera>
auto CustomTransformation(const Camera& cam) {
    using Record = typename Camera::CustomTransformOptions;
    return ResultTuple([&](Record& out) { return cam.GetCustomTransformation(out); }, Record{});
}

// The resolution, read into a 0 x 0 Size.
template <class Camera>
auto CameraResolution(const Camera& cam) {
    return ResultTuple([&](Vyx::Size& size) { return cam.GetCameraResolution(size); }, Vyx::Size{});
}

// Stored capture options, read into a record with the record's defaults.
template <class Camera>
auto LoadCaptureOptions(const Camera& cam) {
    using Record = typename Camera::CaptureOptions;
    return ResultTuple([&](Record& out) { return cam.LoadCaptureOptionParameters(out); }, Record{});
}

// The region-of-interest range, read into an all-zero ROIRange.
template <class Camera>
auto RoiRange(const Camera& cam) {
    return ResultTuple([&](Vyx::ROIRange& range) { return cam.GetRoiRange(range); },
                       Vyx::ROIRange{});
}

// The cover status, starting as ProtectiveCoverStatus_Unknown.
template <class Camera>
auto ProtectiveCoverStatus(const Camera& cam) {
    return ResultTuple(
        [&](Vyx::ProtectiveCoverStatus& status) { return cam.GetProtectiveCoverStatus(status); },
        Vyx::ProtectiveCoverStatus_Unknown);
}

template <class Camera>
auto CurrentUserSet(const Camera& cam) {
    return ResultTuple([&](int& index) { return cam.GetCurrentUserSet(index); }, kUnreadUserSet);
}

// The user set's name: the SDK fills a zeroed buffer of the documented
// capacity, and only that buffer is read, up to its first NUL. The buffer
// becomes a str when the result is converted, with the interpreter lock held
// (strict UTF-8: undecodable bytes raise UnicodeDecodeError).
using UserSetNameBuffer = StrBuffer<static_cast<std::size_t>(Vyx::kUserSetNameCapacity)>;

template <class Camera>
auto UserSetName(const Camera& cam, int index) {
    return ResultTuple(
        [&](UserSetNameBuffer& name) { return cam.GetUserSetName(index, name.data()); },
        UserSetNameBuffer{});
}

// ---------------------------------------------------------------------------
// Calls that take a record the SDK must not change in the caller's object.

// A capture (3D or line scan) with a private copy of the options.
template <class Camera, bool (Camera::*Fn)(const typename Camera::CaptureOptions&)>
bool CallWithOptionsCopy(Camera& cam, const typename Camera::CaptureOptions& opts) {
    const typename Camera::CaptureOptions copy = opts;
    return (cam.*Fn)(copy);
}

template <class Camera>
bool SetCustomTransformationCopy(Camera& cam, const typename Camera::CustomTransformOptions& opts) {
    const typename Camera::CustomTransformOptions copy = opts;
    return cam.SetCustomTransformation(copy);
}

// Automatic settings: the SDK rewrites a private copy of the options, which
// is returned whatever the flag; the caller's record never changes.
template <class Camera, bool (Camera::*Fn)(typename Camera::CaptureOptions&, const Vyx::ROI&)>
std::tuple<bool, typename Camera::CaptureOptions> AutoSettingWithRoi(
    Camera& cam, const typename Camera::CaptureOptions& opts, const Vyx::ROI& roi) {
    typename Camera::CaptureOptions copy = opts;
    const Vyx::ROI region = roi;
    const bool ok = (cam.*Fn)(copy, region);
    return {ok, copy};
}

template <class Camera, bool (Camera::*Fn)(typename Camera::CaptureOptions&)>
std::tuple<bool, typename Camera::CaptureOptions> AutoSetting(
    Camera& cam, const typename Camera::CaptureOptions& opts) {
    typename Camera::CaptureOptions copy = opts;
    const bool ok = (cam.*Fn)(copy);
    return {ok, copy};
}

// ---------------------------------------------------------------------------
// Calibration outputs.

constexpr std::size_t kExtrinsicSize = 16;
constexpr std::size_t kCameraMatrixSize = 9;
constexpr std::size_t kDistortionSize = 5;

// The 4 x 4 identity, row-major.
inline std::vector<float> IdentityMatrix4() {
    std::vector<float> m(kExtrinsicSize, 0.0f);
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return m;
}

// What the extrinsic array holds before the SDK writes it.
enum class MatrixStart { Identity, Zeros };

// The calibration reads of either camera, the camera being named by the
// arguments that come before the output arrays (none on an X1, a CameraID on
// an X2). The SDK fills arrays of the fixed sizes above, which become lists
// of exactly that length whatever the flag.
template <MatrixStart Start, class Camera, class... Which>
auto ExtrinsicMatrixRead(const Camera& cam, Which... which) {
    return ResultTuple(
        [&](std::vector<float>& matrix) { return cam.GetExtrinsicMatrix(which..., matrix.data()); },
        Start == MatrixStart::Identity ? IdentityMatrix4() : std::vector<float>(kExtrinsicSize, 0.0f));
}

// Both intrinsic arrays start as zeros.
template <class Camera, class... Which>
auto IntrinsicParametersRead(const Camera& cam, Which... which) {
    return ResultTuple(
        [&](std::vector<float>& camera_matrix, std::vector<float>& distortion) {
            return cam.GetIntrinsicParameters(which..., camera_matrix.data(), distortion.data());
        },
        std::vector<float>(kCameraMatrixSize, 0.0f), std::vector<float>(kDistortionSize, 0.0f));
}


// ---------------------------------------------------------------------------
// SetTransform of the custom-transform records.

// Any array of exactly 16 numbers (shape (4, 4), (16,), ...), converted to
// float64 and made C-contiguous by pybind11 where needed.
using TransformArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Copies the 16 values in C order into `transform`; coordinate_select is
// untouched. Any other element count raises ValueError and changes nothing,
// so the copy never reads past the array.
template <class Record>
void SetTransformFromArray(Record& rec, const TransformArray& matrix) {
    constexpr std::size_t kCount = sizeof(rec.transform) / sizeof(rec.transform[0]);
    static_assert(kCount == 16, "a 4 x 4 matrix");
    const auto size = static_cast<std::size_t>(matrix.size());
    if (size != kCount) {
        throw py::value_error("SetTransform: expected 16 values (a 4 x 4 matrix), got " +
                              std::to_string(size));
    }
    std::memcpy(rec.transform, matrix.data(), sizeof(rec.transform));
}

// ---------------------------------------------------------------------------
// Runs of methods that X1 and X2 register in the same order and bind the same
// way, each SDK call made without the interpreter lock.

// Destroy (static), Open, IsOpen, Close, IsValid, IsPhysicallyConnected and
// the two forms of Capture. Destroy clears the handle inside the Python
// object given to it. The options form of Capture comes first and hands the
// SDK a private copy of the record; a call without arguments falls through to
// the SDK form without options.
template <class Camera>
void DefLifecycleAndCapture(py::class_<Camera>& cls) {
    cls.def_static("Destroy", &Camera::Destroy, ReleaseGil())
        .def("Open", &Camera::Open, ReleaseGil())
        .def("IsOpen", &Camera::IsOpen, ReleaseGil())
        .def("Close", &Camera::Close, ReleaseGil())
        .def("IsValid", &Camera::IsValid, ReleaseGil())
        .def("IsPhysicallyConnected", &Camera::IsPhysicallyConnected, ReleaseGil())
        .def("Capture", &CallWithOptionsCopy<Camera, &Camera::Capture>, ReleaseGil())
        .def("Capture", static_cast<bool (Camera::*)()>(&Camera::Capture), ReleaseGil());
}

// SaveCaptureOptionParameters through GetUserSetName: stored and automatic
// capture options, settings files, region of interest, protective cover and
// user sets. The `opts` / `roi` defaults are built here, once per method, and
// reused by every call that omits them; the automatic settings work on copies,
// so the defaults never change. Paths and names pass through as UTF-8 C
// strings; None becomes a null pointer, which the SDK refuses. A user-set
// name longer than its capacity is refused by the SDK, never cut.
template <class Camera>
void DefSettingsMethods(py::class_<Camera>& cls) {
    using Opts = typename Camera::CaptureOptions;
    cls.def("SaveCaptureOptionParameters", &Camera::SaveCaptureOptionParameters, ReleaseGil())
        .def("LoadCaptureOptionParameters", &LoadCaptureOptions<Camera>, ReleaseGil())
        .def("GetAutoCaptureSetting", &AutoSettingWithRoi<Camera, &Camera::GetAutoCaptureSetting>,
             py::arg("opts") = Opts(), py::arg("roi") = Vyx::ROI(), ReleaseGil())
        .def("GetAutoHdrCaptureSetting",
             &AutoSettingWithRoi<Camera, &Camera::GetAutoHdrCaptureSetting>,
             py::arg("opts") = Opts(), py::arg("roi") = Vyx::ROI(), ReleaseGil())
        .def("GetAutoNoiseRemovalSetting",
             &AutoSetting<Camera, &Camera::GetAutoNoiseRemovalSetting>, ReleaseGil())
        .def("LoadSettingFromFile", TextArgs(&Camera::LoadSettingFromFile), ReleaseGil())
        .def("SaveSettingToFile", TextArgs(&Camera::SaveSettingToFile), ReleaseGil())
        .def("CheckRoi", &Camera::CheckRoi, ReleaseGil())
        .def("AutoAdjustRoi", &Camera::AutoAdjustRoi, ReleaseGil())
        .def("GetRoiRange", &RoiRange<Camera>, ReleaseGil())
        .def("OpenProtectiveCover", &Camera::OpenProtectiveCover, ReleaseGil())
        .def("CloseProtectiveCover", &Camera::CloseProtectiveCover, ReleaseGil())
        .def("ResetProtectiveCover", &Camera::ResetProtectiveCover, ReleaseGil())
        .def("OpenProtectiveCoverAsync", &Camera::OpenProtectiveCoverAsync, ReleaseGil())
        .def("CloseProtectiveCoverAsync", &Camera::CloseProtectiveCoverAsync, ReleaseGil())
        .def("GetProtectiveCoverStatus", &ProtectiveCoverStatus<Camera>, ReleaseGil())
        .def("GetAuto2DExposureTime", &AutoSettingWithRoi<Camera, &Camera::GetAuto2DExposureTime>,
             py::arg("opts") = Opts(), py::arg("roi") = Vyx::ROI(), ReleaseGil())
        .def("SetCurrentUserSet", &Camera::SetCurrentUserSet, ReleaseGil())
        .def("GetCurrentUserSet", &CurrentUserSet<Camera>, ReleaseGil())
        .def("SetUserSetName", TextArgs(&Camera::SetUserSetName), ReleaseGil())
        .def("GetUserSetName", &UserSetName<Camera>, ReleaseGil());
}

}  // namespace pyvyx
