// Vyx::X2 settings, calibration and maintenance: bandwidth, custom
// transformation, white balance, calibration of each camera, ranges,
// temperatures, stored and automatic capture options, settings files, the
// region of interest, the protective cover and user sets. The device-wide
// rules are those X1 follows (camera/maintenance.h, camera/camera_state.h).
#include <algorithm>
#include <cmath>
#include <string>

#include "camera/capture.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/maintenance.h"
#include "camera/options.h"
#include "camera/x2_camera.h"

namespace vyxsim {

namespace {

// The frame of the automatic settings: open camera, cover, samples, then
// `work` on a copy that replaces `options` only on success.
template <class Work>
bool AutoSetting(const Vyx::X2& self, const char* op, Vyx::X2::CaptureOptions& options, const Vyx::ROI& roi, Work work) {
    const std::string text = OptionsTrace(options);
    const std::string roi_text = cam::RoiText(roi);
    return RunX2(op, self, {{"x2", Vyx::HandleAccess::Get(self)}, {"options", text.c_str()}, {"roi", roi_text.c_str()}},
                 X2Need::Handle, [&](X2Obj& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!X2Ready(c, op)) return false;
        if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
        cam::Samples samples;
        if (!cam::QuickSamples(op, c.device, *c.state, c.Model(MeasuringCamera(options.transform_to_camera)),
                               options.gain_3d, options.projector_brightness, Params2DFrom(SharedFields(options)),
                               roi, &samples)) {
            return false;
        }
        Vyx::X2::CaptureOptions result = options;
        if (!work(c, samples, &result)) return false;
        if (!StillCurrent(c, op)) return false;
        options = result;
        return true;
    });
}

}  // namespace

}  // namespace vyxsim

namespace Vyx {

using vyxsim::Fail;
using vyxsim::RunX2;
using vyxsim::X2Need;
using vyxsim::X2Obj;

// ---------------------------------------------------------------------------
// Device settings.

bool X2::SetCustomTransformation(const CustomTransformOptions& options) try {
    static const char* const op = "X2::SetCustomTransformation";
    const std::string matrix = vyxsim::MatrixTrace(options.transform);
    return RunX2(op, *this,
                 {{"x2", HandleAccess::Get(*this)},
                  {"coordinate_select", static_cast<int>(options.coordinate_select)},
                  {"transform", matrix.c_str()}},
                 X2Need::Open, [&options](X2Obj& c) {
        const int sel = options.coordinate_select;
        if (sel < CustomTransformOptions::CoordinateSelect_Disabled || sel > CustomTransformOptions::CoordinateSelect_CameraExtra) {
            return Fail(false, vyxsim::kInvalidArgument,
                        std::string(op) + ": coordinate_select " + std::to_string(sel) +
                            " is not Disabled, CameraLeft, CameraRight, CaliBoard or CameraExtra");
        }
        if (sel == CustomTransformOptions::CoordinateSelect_CameraExtra && !c.device->extra_camera) {
            return Fail(false, vyxsim::kUnsupported, std::string(op) + ": " + vyxsim::cam::DeviceText(*c.device) + " has no extra camera");
        }
        if (!vyxsim::cam::CheckTransformMatrix(op, options.transform)) return false;
        std::lock_guard<std::mutex> lock(c.state->mutex);
        c.state->settings.x2_transform = options;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetCustomTransformation(CustomTransformOptions& options) const try {
    static const char* const op = "X2::GetCustomTransformation";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open, [&options](X2Obj& c) {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        options = c.state->settings.x2_transform;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetCameraResolution(Size& size) const try {
    static const char* const op = "X2::GetCameraResolution";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Handle, [&size](X2Obj& c) {
        size = Size{c.Model(vyxsim::kLeftCam).width, c.Model(vyxsim::kLeftCam).height};
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetCameraTemperature(CameraID camera, CameraTempSelector selector, float& celsius) const try {
    static const char* const op = "X2::GetCameraTemperature";
    return RunX2(op, *this,
                 {{"x2", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}, {"selector", static_cast<int>(selector)}},
                 X2Need::Open, [&](X2Obj& c) {
        const int index = vyxsim::CameraIndex(c, camera, op);
        if (index < 0) return false;
        if (selector < CameraTempSelector_Camera || selector > CameraTempSelector_SensorBoard) {
            return Fail(false, vyxsim::kInvalidArgument,
                        std::string(op) + ": selector " + std::to_string(static_cast<int>(selector)) + " is not a CameraTempSelector");
        }
        std::lock_guard<std::mutex> lock(c.state->mutex);
        celsius = vyxsim::CameraTemperature(*c.state, index, selector);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// White balance and calibration.

bool X2::AutoWhiteBalance(int frames, const CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X2::AutoWhiteBalance";
    const std::string text = vyxsim::OptionsTrace(options);
    const std::string roi_text = vyxsim::cam::RoiText(roi);
    return RunX2(op, *this,
                 {{"x2", HandleAccess::Get(*this)}, {"frames", frames}, {"options", text.c_str()}, {"roi", roi_text.c_str()}},
                 X2Need::Handle, [&](X2Obj& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!vyxsim::X2Ready(c, op)) return false;
        if (!vyxsim::cam::WhiteBalanceArgs(op, *c.device, frames, options, c.Model(vyxsim::kLeftCam), roi)) return false;
        if (!vyxsim::cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
        // Grey world over both cameras' views.
        std::array<std::shared_ptr<const vyxsim::scene::Frame>, 2> views;
        std::shared_ptr<const vyxsim::scene::Scene> sc;
        for (int i = 0; i < 2; ++i) {
            views[i] = vyxsim::cam::RenderCamera(op, c.device, c.Model(i), 1, &sc);
            if (!views[i]) return false;
        }
        std::array<float, 3> current, ratios;
        uint64_t capture_index;
        {
            std::lock_guard<std::mutex> slock(c.state->mutex);
            current = c.state->settings.balance;
            capture_index = ++c.state->captures;
        }
        if (!vyxsim::cam::GreyWorldBalance(op, {{views[0].get(), vyxsim::kLeftCam}, {views[1].get(), vyxsim::kRightCam}},
                                           c.device->serial, capture_index, vyxsim::kX2NoiseBalance, frames,
                                           vyxsim::Params2DFrom(vyxsim::SharedFields(options)),
                                           vyxsim::cam::SensorFor(*c.device, *sc, current), roi, &ratios)) {
            return false;
        }
        if (!vyxsim::StillCurrent(c, op)) return false;
        std::lock_guard<std::mutex> slock(c.state->mutex);
        c.state->settings.balance = ratios;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetExtrinsicMatrix(CameraID camera, float* matrix16) const try {
    static const char* const op = "X2::GetExtrinsicMatrix";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, X2Need::Handle,
                 [&](X2Obj& c) {
        const int index = vyxsim::CameraIndex(c, camera, op);
        if (index < 0) return false;
        if (!matrix16) return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the output array is null");
        for (int i = 0; i < 16; ++i) matrix16[i] = static_cast<float>(c.Model(index).pose[static_cast<std::size_t>(i)]);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetIntrinsicParameters(CameraID camera, float* camera_matrix9, float* distortion5) const try {
    static const char* const op = "X2::GetIntrinsicParameters";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, X2Need::Handle,
                 [&](X2Obj& c) {
        const int index = vyxsim::CameraIndex(c, camera, op);
        if (index < 0) return false;
        if (!camera_matrix9 || !distortion5) {
            return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": an output array is null");
        }
        const vyxsim::CameraModel& m = c.Model(index);
        const double k[9] = {m.fx, 0.0, m.cx, 0.0, m.fy, m.cy, 0.0, 0.0, 1.0};
        for (int i = 0; i < 9; ++i) camera_matrix9[i] = static_cast<float>(k[i]);
        for (int i = 0; i < 5; ++i) distortion5[i] = static_cast<float>(m.distortion[static_cast<std::size_t>(i)]);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Capture options: stored and automatic.

bool X2::SaveCaptureOptionParameters(const CaptureOptions& options) try {
    static const char* const op = "X2::SaveCaptureOptionParameters";
    const std::string text = vyxsim::OptionsTrace(options);
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"options", text.c_str()}}, X2Need::Open,
                 [&options](X2Obj& c) {
        std::string why;
        if (!vyxsim::ValidateX2(options, vyxsim::X2Use::Store, *c.device, &why)) {
            return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": " + why);
        }
        std::lock_guard<std::mutex> lock(c.state->mutex);
        auto& s = c.state->settings;
        s.user_sets[static_cast<std::size_t>(s.current_user_set)].x2 = options;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::LoadCaptureOptionParameters(CaptureOptions& options) const try {
    static const char* const op = "X2::LoadCaptureOptionParameters";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open, [&options](X2Obj& c) {
        options = vyxsim::StoredX2Options(c);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetAutoCaptureSetting(CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X2::GetAutoCaptureSetting";
    return vyxsim::AutoSetting(*this, op, options, roi, [](X2Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        if (!vyxsim::cam::NeedsLight(op, s)) return false;
        o->exposure_time_3d = vyxsim::cam::AutoExposure3D(s);
        o->exposure_time_2d = vyxsim::cam::AutoExposure2D(s, o->gamma_2d);
        o->hdr_exposure_times = 0;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetAutoHdrCaptureSetting(CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X2::GetAutoHdrCaptureSetting";
    return vyxsim::AutoSetting(*this, op, options, roi, [](X2Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        if (!vyxsim::cam::NeedsLight(op, s)) return false;
        vyxsim::cam::ApplyAutoHdr(s, o);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetAutoNoiseRemovalSetting(CaptureOptions& options) try {
    static const char* const op = "X2::GetAutoNoiseRemovalSetting";
    return vyxsim::AutoSetting(*this, op, options, ROI(0, 0, 0, 0), [](X2Obj& c, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        o->noise_removal_distance =
            vyxsim::cam::AutoNoiseRemovalDistance(s, c.Model(vyxsim::MeasuringCamera(o->transform_to_camera)).fx);
        o->noise_removal_point_number = std::max(o->noise_removal_point_number, 1);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::GetAuto2DExposureTime(CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X2::GetAuto2DExposureTime";
    return vyxsim::AutoSetting(*this, op, options, roi, [](X2Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        o->exposure_time_2d = vyxsim::cam::AutoExposure2D(s, o->gamma_2d);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Validity, connection, bandwidth, temperatures and ranges, settings files,
// region of interest, protective cover and user sets: as for every camera
// handle.

VYXSIM_DEFINE_DEVICE_CALLS(X2)

}  // namespace Vyx
