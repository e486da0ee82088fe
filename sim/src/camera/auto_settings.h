// The automatic settings (GetAutoCaptureSetting, GetAutoHdrCaptureSetting,
// GetAutoNoiseRemovalSetting, GetAuto2DExposureTime) of X1 and X2: a quick,
// coarse view of the scene as the camera sees it now, the values computed
// from its samples, and the entry points written once for either camera
// object type C.
//
// Besides what session.h asks of C, the entry points use
//   const CameraModel& SamplingCamera(const Options&) const;
//                                 the camera a record's settings are for
//   static cam::Params2D Params2DOf(const Options&);
//                                 the 2D parameters of a record
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>

#include "camera/camera_state.h"
#include "camera/cover.h"
#include "camera/options.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/roi.h"
#include "camera/replay.h"
#include "camera/session.h"
#include "core/devices.h"
#include "vyx/types.h"

namespace vyxsim {

namespace cam {

// A quick, coarse view of `camera` for the automatic settings: the samples
// inside `roi` (which must lie inside the image).
bool QuickSamples(const char* op, const std::shared_ptr<DeviceRecord>& device, CameraState& state,
                  const CameraModel& camera, double gain_3d, int brightness, const Params2D& params2d,
                  const Vyx::ROI& roi, Samples* samples);

int ClampExposure(double ms);
// Exposure (ms) that puts `value_per_ms` at `target` of full scale.
int ExposureFor(double value_per_ms, double target);
// The 3D signal: the bright end of the scene (98th percentile) at 85 % of
// full scale. The 2D image: its bright end at about 200 of 255.
int AutoExposure3D(const Samples& s);
int AutoExposure2D(const Samples& s, double gamma);
// Fails with kNoResult when the projector lights nothing that was sampled.
bool NeedsLight(const char* op, const Samples& s);
// Noise removal distance (mm): three point spacings at the median depth of
// a camera of focal length `fx`.
double AutoNoiseRemovalDistance(const Samples& s, double fx);

// HDR exposures: the bright end at 85 % of full scale, the dark end (2nd
// percentile) at 50 %, where confidence is full, and a middle exposure when
// they lie far apart; gain, brightness and scan count as set for 3D.
template <class O>
void ApplyAutoHdr(const Samples& s, O* o) {
    const int bright = AutoExposure3D(s);
    const int dark = ExposureFor(Percentile(s.signal_per_ms, 0.02), 0.5);
    int times[3] = {bright, dark, dark};
    int n = 1;
    if (dark > bright * 1.5) {
        n = 2;
        if (dark > bright * 6) {
            n = 3;
            times[1] = ClampExposure(std::sqrt(static_cast<double>(bright) * dark));
        }
    }
    o->hdr_exposure_times = n;
    for (int i = 0; i < 3; ++i) {
        o->hdr_exposure_time_content[i] = times[i];
        o->hdr_gain_content[i] = o->gain_3d;
        o->hdr_projector_brightness_content[i] = o->projector_brightness;
        o->hdr_scan_times_content[i] = std::clamp(o->scan_times, kScanTimesMin, kScanTimesMax);
    }
    o->exposure_time_3d = bright;
}

}  // namespace cam

namespace calls {

// The frame of the automatic settings: open camera, cover, samples of the
// camera the record is for, then `work(c, samples, &copy)` on a copy that
// replaces `options` only on success.
template <class C, class Work>
bool AutoSetting(const HandleOf<C>& self, const char* op, typename C::Options& options, const Vyx::ROI& roi,
                 Work work) {
    const std::string text = OptionsTrace(options);
    const std::string roi_text = cam::RoiText(roi);
    return RunCamera<C>(op, self, {Self<C>(self), {"options", text.c_str()}, {"roi", roi_text.c_str()}}, Need::Handle,
                        [&](C& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!CameraReady(c, op)) return false;
        if (!cam::NeedsScene(op, *c.device)) return false;
        if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
        cam::Samples samples;
        if (!cam::QuickSamples(op, c.device, *c.state, c.SamplingCamera(options), options.gain_3d,
                               options.projector_brightness, C::Params2DOf(options), roi, &samples)) {
            return false;
        }
        typename C::Options result = options;
        if (!work(c, samples, &result)) return false;
        if (!StillCurrent(c, op)) return false;
        options = result;
        return true;
    });
}

// Each catches everything at its boundary and fails with kInternal then.

template <class C>
bool AutoCaptureSetting(const HandleOf<C>& self, const char* op, typename C::Options& options,
                        const Vyx::ROI& roi) try {
    return AutoSetting<C>(self, op, options, roi, [op](C&, const cam::Samples& s, typename C::Options* o) {
        if (!cam::NeedsLight(op, s)) return false;
        o->exposure_time_3d = cam::AutoExposure3D(s);
        o->exposure_time_2d = cam::AutoExposure2D(s, o->gamma_2d);
        o->hdr_exposure_times = 0;
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool AutoHdrCaptureSetting(const HandleOf<C>& self, const char* op, typename C::Options& options,
                           const Vyx::ROI& roi) try {
    return AutoSetting<C>(self, op, options, roi, [op](C&, const cam::Samples& s, typename C::Options* o) {
        if (!cam::NeedsLight(op, s)) return false;
        cam::ApplyAutoHdr(s, o);
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

// Over the whole image.
template <class C>
bool AutoNoiseRemovalSetting(const HandleOf<C>& self, const char* op, typename C::Options& options) try {
    return AutoSetting<C>(self, op, options, Vyx::ROI(0, 0, 0, 0),
                          [](C& c, const cam::Samples& s, typename C::Options* o) {
        o->noise_removal_distance = cam::AutoNoiseRemovalDistance(s, c.SamplingCamera(*o).fx);
        o->noise_removal_point_number = std::max(o->noise_removal_point_number, 1);
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool Auto2DExposureTime(const HandleOf<C>& self, const char* op, typename C::Options& options,
                        const Vyx::ROI& roi) try {
    return AutoSetting<C>(self, op, options, roi, [](C&, const cam::Samples& s, typename C::Options* o) {
        o->exposure_time_2d = cam::AutoExposure2D(s, o->gamma_2d);
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

}  // namespace calls

}  // namespace vyxsim
