// Camera steps written for either camera object (X1 or X2) and either
// options record: session checks, result bookkeeping, pattern files, meshes,
// automatic settings and white balance. They report failures through the last
// error, naming `op`.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "camera/camera_state.h"
#include "camera/maintenance.h"
#include "camera/options.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/objects.h"
#include "rendering/render.h"
#include "vyx/types.h"

namespace vyxsim::cam {

// "device 'SERIAL'" for messages.
std::string DeviceText(const DeviceRecord& device);
// "[x y w h]".
std::string RoiText(const Vyx::ROI& roi);

// Session checks of a camera object `C` with `device` (a DeviceRecord
// pointer), `open` (atomic bool) and DropSession(). Connected: else the
// session is dropped and kDisconnected set. Ready: connected and open, else
// kNotOpen naming `what` ("camera", "X2").
template <class C>
bool SessionConnected(C& c, const char* op) {
    if (c.device->connected.load()) return true;
    c.DropSession();
    if (c.device->retired.load()) {
        return Fail(false, kDisconnected, std::string(op) + ": " + DeviceText(*c.device) + " is no longer configured");
    }
    return Fail(false, kDisconnected, std::string(op) + ": " + DeviceText(*c.device) + " is disconnected (unplugged)");
}

template <class C>
bool SessionReady(C& c, const char* op, const char* what) {
    if (!SessionConnected(c, op)) return false;
    if (c.open.load()) return true;
    return Fail(false, kNotOpen, std::string(op) + ": the " + what + " of " + DeviceText(*c.device) + " is not open");
}

// The 2D fields of a capture-options record: exposure, gain, gamma and
// projector brightness.
template <class O>
bool Validate2DFields(const char* op, const O& o) {
    auto bad = [&](const std::string& what) { return Fail(false, kInvalidArgument, std::string(op) + ": " + what); };
    if (o.exposure_time_2d < kExposureMin || o.exposure_time_2d > kExposureMax) {
        return bad("exposure_time_2d = " + std::to_string(o.exposure_time_2d) + " is outside 3 .. 100 (milliseconds)");
    }
    if (!(o.gain_2d >= kGainMin && o.gain_2d <= kGainMax)) return bad("gain_2d is outside 0 .. 20 (dB)");
    if (!(o.gamma_2d >= kGammaMin && o.gamma_2d <= kGammaMax)) return bad("gamma_2d is outside 0.1 .. 4");
    if (o.projector_brightness < kBrightnessMin || o.projector_brightness > kBrightnessMax) {
        return bad("projector_brightness = " + std::to_string(o.projector_brightness) + " is outside 1 .. 240");
    }
    return true;
}

// The arguments of an automatic white balance: a colour device, 1 to 100
// frames, valid 2D fields in `o`, and a region inside the image of `camera`.
template <class O>
bool WhiteBalanceArgs(const char* op, const DeviceRecord& device, int frames, const O& o, const CameraModel& camera,
                      const Vyx::ROI& roi) {
    if (!device.color) {
        return Fail(false, kUnsupported, std::string(op) + ": " + DeviceText(device) + " has grey cameras; white balance needs colour");
    }
    if (frames < 1 || frames > 100) {
        return Fail(false, kInvalidArgument, std::string(op) + ": frames " + std::to_string(frames) + " is outside 1 .. 100");
    }
    if (!Validate2DFields(op, o)) return false;
    std::string why;
    if (!RoiInsideImage(camera, roi, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    return true;
}

// Fails with kWrongState saying why a result (`what`) is missing.
bool NoResultYet(const char* op, bool captured, bool last_was_2d, const std::string& what);

// A custom transformation's matrix: finite, and (when `invertible`) with a
// non-singular 3 x 3 part.
bool CheckTransformMatrix(const char* op, const double* transform16, bool invertible = true);
// The same check, saying in `why` what is wrong.
bool TransformMatrixOk(const double* transform16, bool invertible, std::string* why);

// The mesh GetMesh hands out for a point map: triangles between neighbouring
// points, none with an edge longer than ten times the median distance
// between horizontal neighbours (at least 2 mm), so that depth edges are not
// bridged. Null with the last error set when the builder fails.
std::shared_ptr<MeshObj> MeshOfPointMap(const PointMapObj& points);

// Creates the directory `path` (and its parents) unless it exists.
bool MakeDirectory(const char* op, const char* path);
// Writes the pattern images of `frame` as a 3D capture with `params` took
// them: PNG files `prefix` + [exposureN_] pattern_KK_NAME.png in `dir`.
bool WritePatternImages(const char* op, const std::filesystem::path& dir, const std::string& prefix,
                        const scene::Frame& frame, const Params3D& params, int projector_width, double ambient);

// ---------------------------------------------------------------------------
// Automatic settings.

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

// White balance by grey world: the mean of each raw channel over `roi` in
// each of `views` (a frame and the camera index its noise belongs to),
// `repeats` noisy frames each, leaving out pixels that are saturated or
// nearly black in the image. The ratios make red and blue match green.
struct BalanceView {
    const scene::Frame* frame;
    int camera_index;
};
bool GreyWorldBalance(const char* op, const std::vector<BalanceView>& views, const std::string& serial,
                      uint64_t capture_index, uint64_t noise_purpose, int repeats, const Params2D& params2d,
                      const Sensor& sensor, const Vyx::ROI& roi, std::array<float, 3>* ratios);

}  // namespace vyxsim::cam
