// Vyx::X2: both cameras of a virtual device with its projector. Lifecycle,
// stereo 3D captures, 2D captures, results and the device clock.
//
// A 3D capture renders each camera from its own pose. The camera that
// measures (the left one, or the right one for transform_to_camera Right)
// keeps a point only where the other camera sees the same lit surface point;
// the depth noise is the one-camera model's with the stereo baseline. The
// correspondence map holds, for every left pixel, where the right camera sees
// the surface point of that pixel.
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/capture.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/maintenance.h"
#include "camera/options.h"
#include "camera/x2_camera.h"
#include "camera/x2_linescan.h"
#include "core/clock.h"
#include "rendering/frame_cache.h"
#include "core/device_registry.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/ground_truth.h"

namespace vyxsim {

namespace {

// X2 session ids count from 2^63, so that they never meet the ids X1
// handles take from their own counter (which starts at 1).
std::atomic<uint64_t> g_next_x2_id{(uint64_t{1} << 63) + 1};

}  // namespace

// ---------------------------------------------------------------------------
// The camera object.

X2Obj::X2Obj() : id(g_next_x2_id.fetch_add(1)) {}

X2Obj::~X2Obj() {
    // Only the device state is touched here, never the registry: the
    // registry may be releasing this object.
    if (state) {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->open_owner == id) state->open_owner = 0;
    }
}

const CameraModel& X2Obj::Model(int index) const {
    if (index == kRightCam) return device->right;
    if (index == kExtraCam) return extra;
    return device->left;
}

void X2Obj::DropSession() {
    open.store(false);
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->open_owner == id) state->open_owner = 0;
}

// ---------------------------------------------------------------------------
// Session checks.

const char* CameraName(int index) {
    switch (index) {
        case kLeftCam: return "left";
        case kRightCam: return "right";
        default: return "extra";
    }
}

int CameraIndex(const X2Obj& c, Vyx::CameraID id, const char* op) {
    switch (id) {
        case Vyx::CameraID_Left: return kLeftCam;
        case Vyx::CameraID_Right: return kRightCam;
        case Vyx::CameraID_Extra:
            if (c.device->extra_camera) return kExtraCam;
            return Fail(-1, kUnsupported, std::string(op) + ": " + cam::DeviceText(*c.device) + " has no extra camera");
        default:
            return Fail(-1, kInvalidArgument,
                        std::string(op) + ": camera " + std::to_string(static_cast<int>(id)) +
                            " is not CameraID_Left (1), CameraID_Right (2) or CameraID_Extra (4)");
    }
}

CameraModel ExtraCameraModel(const DeviceRecord& d) {
    CameraModel m = d.left;
    m.pose = d.projector.pose;
    m.pose[7] -= 0.035;
    return m;
}

double StereoBaseline(const DeviceRecord& d) {
    return (scene::CameraCentre(d.right) - scene::CameraCentre(d.left)).norm();
}

// ---------------------------------------------------------------------------
// Options.

Vyx::X1::CaptureOptions SharedFields(const Vyx::X2::CaptureOptions& o) {
    Vyx::X1::CaptureOptions s;
    s.calc_normal = o.calc_normal;
    s.use_auto_noise_removal = o.use_auto_noise_removal;
    s.noise_removal_distance = o.noise_removal_distance;
    s.noise_removal_point_number = o.noise_removal_point_number;
    s.light_contrast_threshold = o.light_contrast_threshold;
    s.exposure_time_2d = o.exposure_time_2d;
    s.exposure_time_3d = o.exposure_time_3d;
    s.projector_brightness = o.projector_brightness;
    s.gain_2d = o.gain_2d;
    s.gain_3d = o.gain_3d;
    s.hdr_exposure_times = o.hdr_exposure_times;
    for (int i = 0; i < 3; ++i) {
        s.hdr_exposure_time_content[i] = o.hdr_exposure_time_content[i];
        s.hdr_gain_content[i] = o.hdr_gain_content[i];
        s.hdr_scan_times_content[i] = o.hdr_scan_times_content[i];
        s.hdr_projector_brightness_content[i] = o.hdr_projector_brightness_content[i];
    }
    s.calc_normal_radius = o.calc_normal_radius;
    s.gamma_2d = o.gamma_2d;
    s.gamma_3d = o.gamma_3d;
    s.use_projector_capturing_2d_image = o.use_projector_capturing_2d_image;
    s.smoothness = o.smoothness;
    s.downsample_distance = o.downsample_distance;
    s.capture_mode = o.capture_mode;
    s.confidence_threshold = o.confidence_threshold;
    s.roi = o.roi;
    s.truncate_z_min = o.truncate_z_min;
    s.truncate_z_max = o.truncate_z_max;
    s.bilateral_filter_kernal_size = o.bilateral_filter_kernal_size;
    s.bilateral_filter_depth_sigma = o.bilateral_filter_depth_sigma;
    s.bilateral_filter_space_sigma = o.bilateral_filter_space_sigma;
    s.scan_times = o.scan_times;
    s.use_auto_bilateral_filter = o.use_auto_bilateral_filter;
    s.reflection_filter_threshold = o.reflection_filter_threshold;
    s.smooth_sigma = o.smooth_sigma;
    s.enable_2d_in_capture = o.enable_2d_in_capture;
    return s;
}

namespace {

bool IsLineScanMode(Vyx::CaptureMode m) {
    return m == Vyx::CaptureMode_SwingLineScan || m == Vyx::CaptureMode_FixedLineScan ||
           m == Vyx::CaptureMode_LineArrayShift;
}

}  // namespace

bool ValidateX2(const Vyx::X2::CaptureOptions& o, X2Use use, const DeviceRecord& d, std::string* error) {
    const int t = o.transform_to_camera;
    if (!(t == Vyx::CameraID_Left || t == Vyx::CameraID_Right || (t == Vyx::CameraID_Extra && d.extra_camera))) {
        if (error) {
            *error = "transform_to_camera = " + std::to_string(t) + " is not CameraID_Left (1), CameraID_Right (2)" +
                     (d.extra_camera ? " or CameraID_Extra (4)" : " (" + cam::DeviceText(d) + " has no extra camera)");
        }
        return false;
    }
    if (use == X2Use::LineScan) return ValidateLineScan(o, d, error);
    Vyx::X1::CaptureOptions shared = SharedFields(o);
    if (IsLineScanMode(o.capture_mode)) {
        if (use == X2Use::Capture) {
            if (error) {
                *error = "capture_mode " + std::to_string(static_cast<int>(o.capture_mode)) +
                         " is a line-scan mode; X2::StartFixedLineScan makes line scans";
            }
            return false;
        }
        if ((d.capture_modes & o.capture_mode) == 0) {
            if (error) {
                *error = "capture_mode " + std::to_string(static_cast<int>(o.capture_mode)) + " is not supported by " +
                         cam::DeviceText(d);
            }
            return false;
        }
        // The other fields as a capture in an area mode of the device reads them.
        shared.capture_mode = Vyx::CaptureMode_Normal;
        for (int bit = 1; bit <= Vyx::CaptureMode_AntiInterReflection; bit <<= 1) {
            if (d.capture_modes & bit) {
                shared.capture_mode = static_cast<Vyx::CaptureMode>(bit);
                break;
            }
        }
    }
    return ValidateOptions(shared, d, MeasuringCamera(o.transform_to_camera) == kRightCam ? d.right : d.left, error);
}

int MeasuringCamera(Vyx::CameraID t) { return t == Vyx::CameraID_Right ? kRightCam : kLeftCam; }

bool DeviceToOutput(const char* op, const X2Obj& c, Vyx::CameraID tcam, const Vyx::X2::CustomTransformOptions& ct,
                    const scene::Scene& sc, Eigen::Matrix4d* out) {
    using CT = Vyx::X2::CustomTransformOptions;
    Eigen::Matrix4d T;
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) T(r, k) = ct.transform[r * 4 + k];
    }
    switch (ct.coordinate_select) {
        case CT::CoordinateSelect_CameraLeft:
            *out = T * scene::DeviceToCamera(c.Model(kLeftCam));
            return true;
        case CT::CoordinateSelect_CameraRight:
            *out = T * scene::DeviceToCamera(c.Model(kRightCam));
            return true;
        case CT::CoordinateSelect_CameraExtra:
            if (!c.device->extra_camera) {
                return Fail(false, kUnsupported,
                            std::string(op) + ": the custom transformation is relative to the extra camera, and " +
                                cam::DeviceText(*c.device) + " has none");
            }
            *out = T * scene::DeviceToCamera(c.Model(kExtraCam));
            return true;
        case CT::CoordinateSelect_CaliBoard: {
            scene::BoardTruth board;
            if (!scene::BoardGroundTruth(sc, &board)) {
                return Fail(false, kNoResult,
                            std::string(op) + ": the custom transformation is relative to the calibration board, and the scene of " +
                                cam::DeviceText(*c.device) + " has none");
            }
            *out = T * board.pose.inverse();
            return true;
        }
        default: {
            const int index = tcam == Vyx::CameraID_Right ? kRightCam : tcam == Vyx::CameraID_Extra ? kExtraCam : kLeftCam;
            *out = scene::DeviceToCamera(c.Model(index));
            return true;
        }
    }
}

Vyx::X2::CaptureOptions StoredX2Options(X2Obj& c) {
    std::lock_guard<std::mutex> lock(c.state->mutex);
    return c.state->settings.user_sets[static_cast<std::size_t>(c.state->settings.current_user_set)].x2;
}

// ---------------------------------------------------------------------------
// Results.

void ReleaseX2Results(X2Obj::Results& r) {
    for (int i = 0; i < 3; ++i) {
        if (!r.image[i].IsZero()) RemoveObject(Kind::Image, r.image[i]);
    }
    if (!r.depth.IsZero()) RemoveObject(Kind::DepthMap, r.depth);
    if (!r.confidence.IsZero()) RemoveObject(Kind::ConfidenceMap, r.confidence);
    if (!r.correspond.IsZero()) RemoveObject(Kind::CorrespondMap, r.correspond);
    if (!r.points.IsZero()) RemoveObject(Kind::PointMap, r.points);
    if (!r.mesh.IsZero()) RemoveObject(Kind::Mesh, r.mesh);
    r = X2Obj::Results{};
}

namespace {

// Releases the 3D results and keeps the images.
void Release3D(X2Obj::Results& r) {
    X2Obj::Results kept;
    kept.captured = r.captured;
    kept.last_was_2d = r.last_was_2d;
    for (int i = 0; i < 3; ++i) {
        kept.image[i] = r.image[i];
        kept.image_obj[i] = r.image_obj[i];
        r.image[i] = Words{};
        r.image_obj[i] = nullptr;
    }
    ReleaseX2Results(r);
    r = std::move(kept);
}

Vyx::ImageType::Enum ImageTypeOf(const DeviceRecord& d) { return d.color ? Vyx::ImageType::BGR8 : Vyx::ImageType::Mono8; }

// Refuses a capture while a line scan runs (the caller holds the mutex).
bool NoScanRunning(const X2Obj& c, const char* op) {
    if (!c.scan) return true;
    return Fail(false, kWrongState, std::string(op) + ": a fixed line scan is running on " + cam::DeviceText(*c.device) +
                                        "; stop it first");
}

// Adds an acquisition of `seconds` to the device clock and heat; returns the
// clock after it.
uint64_t Acquired(X2Obj& c, double seconds, int brightness) {
    std::lock_guard<std::mutex> lock(c.state->mutex);
    AddCaptureHeat(*c.state, seconds, brightness);
    c.state->simulated += ClockSeconds(seconds);
    return cam::DeviceClockUs(*c.state);
}

// ---------------------------------------------------------------------------
// Captures. The camera's mutex is held by the caller.

bool Capture3D(X2Obj& c, const Vyx::X2::CaptureOptions& o, const char* op) {
    if (!X2Ready(c, op) || !NoScanRunning(c, op)) return false;
    std::string why;
    if (!ValidateX2(o, X2Use::Capture, *c.device, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency([&c] { return Interrupted(c); });

    std::array<std::shared_ptr<const scene::Frame>, 2> frames;
    std::shared_ptr<const scene::Scene> sc;
    for (int i = 0; i < 2; ++i) {
        frames[i] = cam::RenderCamera(op, c.device, c.Model(i), 1, &sc);
        if (!frames[i]) return false;
    }
    uint64_t capture_index;
    std::array<float, 3> balance;
    Vyx::X2::CustomTransformOptions ct;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        capture_index = ++c.state->captures;
        balance = c.state->settings.balance;
        ct = c.state->settings.x2_transform;
    }
    const int m = MeasuringCamera(o.transform_to_camera);
    cam::Params3D p3 = Params3DFrom(o);
    if (!DeviceToOutput(op, c, o.transform_to_camera, ct, *sc, &p3.output)) return false;
    p3.output = p3.output * scene::CameraToDevice(c.Model(m));
    const cam::Params2D p2 = Params2DFrom(o);

    const scene::Frame& left = *frames[kLeftCam];
    const scene::Frame& measured = *frames[m];
    X2Obj::Results r;
    const Vyx::Size size{measured.width, measured.height};
    r.points = NewPointMap(o.calc_normal ? Vyx::PointMapType::PointsNormals : Vyx::PointMapType::PointsOnly, size,
                           &r.points_obj);
    if (!r.points.IsZero()) r.depth = NewMap(Kind::DepthMap, size, &r.depth_obj);
    if (!r.depth.IsZero()) r.confidence = NewMap(Kind::ConfidenceMap, size, &r.confidence_obj);
    if (!r.confidence.IsZero()) r.correspond = NewMap(Kind::CorrespondMap, {left.width, left.height}, &r.correspond_obj);
    bool ok = !r.correspond.IsZero();
    for (int i = 0; i < 2 && ok && o.enable_2d_in_capture; ++i) {
        r.image[i] = NewImage(ImageTypeOf(*c.device), {frames[i]->width, frames[i]->height}, &r.image_obj[i]);
        ok = !r.image[i].IsZero();
    }
    if (!ok) {
        ReleaseX2Results(r);  // the factory has set the last error
        return false;
    }

    // Where the right camera sees each left pixel's point; and, when the
    // right camera measures, where the left one sees each right pixel's.
    // A pixel of the measuring camera has a point only where the other
    // camera sees it too.
    const auto correspond = scene::CorrespondenceCached(*sc, c.Model(kLeftCam), frames[kLeftCam], c.Model(kRightCam));
    std::copy(correspond->begin(), correspond->end(), r.correspond_obj->data);
    const auto matched = m == kLeftCam ? correspond
                                       : scene::CorrespondenceCached(*sc, c.Model(kRightCam), frames[kRightCam],
                                                                     c.Model(kLeftCam));

    auto rays = scene::RaysFor(c.Model(m));
    cam::Optics optics = cam::OpticsFor(*c.device, c.Model(m), rays.get());
    optics.baseline = StereoBaseline(*c.device);
    cam::Out3D out;
    out.points = r.points_obj->points;
    out.normals = r.points_obj->normals;
    out.depth = r.depth_obj->data;
    out.confidence = r.confidence_obj->data;
    const std::string& serial = c.device->serial;
    cam::Compute3D(measured, optics, p3, cam::MakeNoiseStream(serial, m, capture_index, kX2Noise3D), out,
                   matched->data());
    if (o.enable_2d_in_capture) {
        const cam::Sensor sensor = cam::SensorFor(*c.device, *sc, balance);
        for (int i = 0; i < 2; ++i) {
            cam::Shade2D(*frames[i], p2, sensor, cam::MakeNoiseStream(serial, i, capture_index, kX2Noise2D),
                         r.image_obj[i]->data);
        }
    }

    // Both cameras take the patterns at once; both send their data.
    const double bps = cam::LinkBytesPerSecond(*c.device, *c.state);
    double seconds = cam::Acquisition3DSeconds(p3, left.Size() + frames[kRightCam]->Size(), bps);
    if (o.enable_2d_in_capture) {
        const std::size_t bytes = (left.Size() + frames[kRightCam]->Size()) * (c.device->color ? 3 : 1);
        seconds += cam::Acquisition2DSeconds(p2, bytes, bps);
    }
    int brightness = 0;
    for (const cam::Exposure& e : p3.exposures) brightness = std::max(brightness, e.brightness);
    r.points_obj->timestamp.store(Acquired(c, seconds, brightness));

    if (!StillCurrent(c, op)) {
        ReleaseX2Results(r);
        return false;
    }
    r.captured = true;
    r.last_was_2d = false;
    r.frames = {frames[kLeftCam], frames[kRightCam]};
    r.params = p3;
    r.ambient = sc->ambient * scene::Luminance(sc->ambient_color);
    ReleaseX2Results(c.results);
    c.results = std::move(r);
    return true;
}

// Captures the image of camera `index`, or of both stereo cameras for
// CameraID_Both (index -1).
bool Capture2DOnly(X2Obj& c, int index, const Vyx::X2::CaptureOptions& o, const char* op) {
    if (!X2Ready(c, op) || !NoScanRunning(c, op)) return false;
    if (!cam::Validate2DFields(op, o)) return false;
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency([&c] { return Interrupted(c); });

    std::vector<int> cams;
    if (index < 0) {
        cams = {kLeftCam, kRightCam};
    } else {
        cams = {index};
    }
    uint64_t capture_index;
    std::array<float, 3> balance;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        capture_index = ++c.state->captures;
        balance = c.state->settings.balance;
    }
    const cam::Params2D p2 = Params2DFrom(o);
    std::array<Words, 3> words;
    std::array<std::shared_ptr<ImageObj>, 3> objs;
    std::size_t bytes = 0;
    for (int i : cams) {
        std::shared_ptr<const scene::Scene> sc;
        const auto rendered = cam::RenderCamera(op, c.device, c.Model(i), 1, &sc);
        bool ok = rendered != nullptr;
        if (ok) {
            words[i] = NewImage(ImageTypeOf(*c.device), {rendered->width, rendered->height}, &objs[i]);
            ok = !words[i].IsZero();
        }
        if (!ok) {
            for (const Words& w : words) {
                if (!w.IsZero()) RemoveObject(Kind::Image, w);
            }
            return false;
        }
        cam::Shade2D(*rendered, p2, cam::SensorFor(*c.device, *sc, balance),
                     cam::MakeNoiseStream(c.device->serial, i, capture_index, kX2Noise2D), objs[i]->data);
        bytes += rendered->Size() * (c.device->color ? 3 : 1);
    }
    // The cameras expose together; their images share the link.
    Acquired(c, cam::Acquisition2DSeconds(p2, bytes, cam::LinkBytesPerSecond(*c.device, *c.state)),
             p2.use_projector ? p2.brightness : 0);
    if (!StillCurrent(c, op)) {
        for (const Words& w : words) {
            if (!w.IsZero()) RemoveObject(Kind::Image, w);
        }
        return false;
    }

    X2Obj::Results& r = c.results;
    Release3D(r);
    for (int i : cams) {
        if (!r.image[i].IsZero()) RemoveObject(Kind::Image, r.image[i]);
        r.image[i] = words[i];
        r.image_obj[i] = objs[i];
    }
    r.captured = true;
    r.last_was_2d = true;
    return true;
}

// A result map or point map of the last 3D capture.
template <class H, class O>
H Result3D(const Vyx::X2& self, const char* op, Kind kind, Words X2Obj::Results::*words,
           std::shared_ptr<O> X2Obj::Results::*obj, const char* what) {
    return RunX2Handle<H>(op, self, {{"x2", Vyx::HandleAccess::Get(self)}}, X2Need::Handle, [&](X2Obj& c, Words* w) {
        return Locked(c, op, [&] {
            return HandOutCurrent(c, op, kind, w, [&](Words* out) {
                return HandOutResult(op, c.results, kind, words, obj, what, out);
            });
        });
    });
}

}  // namespace

}  // namespace vyxsim

// ===========================================================================
// Entry points.

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Fail;
using vyxsim::FailInjected;
using vyxsim::Gate;
using vyxsim::RunX2;
using vyxsim::X2Need;
using vyxsim::X2Obj;

X2 X2::Create(const Device& device) try {
    static const char* const op = "X2::Create";
    const Gate g = Enter(op, {{"device", HandleAccess::Get(device)}});
    if (g == Gate::Fail) return X2();
    uint64_t epoch = 0;
    if (!vyxsim::CallEpoch(op, &epoch)) return X2();
    auto rec = vyxsim::DeviceFromHandle(HandleAccess::Get(device), op);
    if (!rec) return X2();
    if (!rec->support_x2) {
        return Fail(X2(), vyxsim::kUnsupported, std::string(op) + ": " + vyxsim::cam::DeviceText(*rec) + " cannot be used as an X2");
    }
    if (!rec->connected.load()) {
        return Fail(X2(), vyxsim::kDisconnected, std::string(op) + ": " + vyxsim::cam::DeviceText(*rec) + " is disconnected");
    }
    auto obj = std::make_shared<X2Obj>();
    obj->device = rec;
    obj->state = vyxsim::StateOf(*rec);
    if (rec->extra_camera) obj->extra = vyxsim::ExtraCameraModel(*rec);
    obj->epoch = epoch;
    const vyxsim::Words w = vyxsim::RegisterObject(vyxsim::Kind::X2, obj);
    if (w.IsZero()) return X2();
    if (!vyxsim::SameEpoch(op, epoch)) {  // a shutdown came in between
        vyxsim::RemoveObject(vyxsim::Kind::X2, w);
        return X2();
    }
    if (g == Gate::FailAfterWork) {
        vyxsim::RemoveObject(vyxsim::Kind::X2, w);
        return FailInjected(X2(), op);
    }
    return HandleAccess::Make<X2>(w);
} catch (...) {
    return vyxsim::FailUnexpected(X2());
}

void X2::Destroy(X2& camera) try {
    static const char* const op = "X2::Destroy";
    const Gate g = Enter(op, {{"x2", HandleAccess::Get(camera)}});
    if (g == Gate::Fail) return;
    auto obj = std::static_pointer_cast<X2Obj>(vyxsim::RemoveObject(vyxsim::Kind::X2, HandleAccess::Get(camera)));
    HandleAccess::Set(camera, vyxsim::Words{});
    if (!obj) {
        vyxsim::SetLastError(vyxsim::kInvalidHandle, std::string(op) + ": the X2 handle names no camera");
        return;
    }
    // A capture in progress stops waiting out its latency and fails; the
    // mutex then waits only for the rest of it.
    obj->destroyed.store(true);
    vyxsim::WakeLatencyWaiters();
    {
        std::lock_guard<std::mutex> lock(obj->mutex);
        vyxsim::EndScan(*obj);
        vyxsim::ReleaseX2Results(obj->results);
    }
    obj->DropSession();
    if (g == Gate::FailAfterWork) FailInjected(0, op);
} catch (...) {
    vyxsim::FailUnexpected();
}

bool X2::Open() try {
    static const char* const op = "X2::Open";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Handle, [](X2Obj& c) {
        if (!vyxsim::cam::SessionConnected(c, op)) return false;
        if (!c.device->firmware_match) {
            return Fail(false, vyxsim::kFirmwareMismatch,
                        std::string(op) + ": the firmware of " + vyxsim::cam::DeviceText(*c.device) + " does not match this SDK");
        }
        {
            std::lock_guard<std::mutex> lock(c.mutex);
            std::lock_guard<std::mutex> slock(c.state->mutex);
            if (c.state->open_owner != 0 && c.state->open_owner != c.id) {
                return Fail(false, vyxsim::kWrongState,
                            std::string(op) + ": " + vyxsim::cam::DeviceText(*c.device) +
                                " is already open through another X1 or X2 handle; close that first");
            }
            if (c.state->open_owner != c.id) {
                c.state->open_owner = c.id;
                c.state->opened_at = c.state->Now();
                c.state->simulated = vyxsim::ModelClock::duration{0};
                // A scan left over from a lost connection ends with the session.
                c.scan.reset();
            }
        }
        c.open.store(true);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

void X2::Close() try {
    static const char* const op = "X2::Close";
    RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Handle, [](X2Obj& c) {
        {
            std::lock_guard<std::mutex> lock(c.mutex);
            vyxsim::EndScan(c);
        }
        c.DropSession();
        return true;
    });
} catch (...) {
    vyxsim::FailUnexpected();
}

// ---------------------------------------------------------------------------
// Captures.

bool X2::Capture(const CaptureOptions& options) try {
    static const char* const op = "X2::Capture";
    const std::string text = vyxsim::OptionsTrace(options);
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"options", text.c_str()}}, X2Need::Handle,
                 [&options](X2Obj& c) { return vyxsim::Locked(c, op, [&] { return vyxsim::Capture3D(c, options, op); }); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::Capture() try {
    static const char* const op = "X2::Capture";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Handle, [](X2Obj& c) {
        const CaptureOptions options = vyxsim::StoredX2Options(c);
        return vyxsim::Locked(c, op, [&] { return vyxsim::Capture3D(c, options, op); });
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

namespace {

bool Capture2DOf(X2Obj& c, CameraID camera, const X2::CaptureOptions& options, const char* op) {
    int index = -1;
    if (camera != CameraID_Both) {
        index = vyxsim::CameraIndex(c, camera, op);
        if (index < 0) return false;
    }
    return vyxsim::Locked(c, op, [&] { return vyxsim::Capture2DOnly(c, index, options, op); });
}

}  // namespace

bool X2::Capture2D(CameraID camera, const CaptureOptions& options) try {
    static const char* const op = "X2::Capture2D";
    const std::string text = vyxsim::OptionsTrace(options);
    return RunX2(op, *this,
                 {{"x2", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}, {"options", text.c_str()}},
                 X2Need::Handle, [&](X2Obj& c) { return Capture2DOf(c, camera, options, op); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::Capture2D(CameraID camera) try {
    static const char* const op = "X2::Capture2D";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, X2Need::Handle,
                 [&](X2Obj& c) { return Capture2DOf(c, camera, vyxsim::StoredX2Options(c), op); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Device clock.

bool X2::GetTimestamp(uint64_t& timestamp) const try {
    static const char* const op = "X2::GetTimestamp";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open, [&timestamp](X2Obj& c) {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        timestamp = vyxsim::cam::DeviceClockUs(*c.state);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X2::ResetTimestamp() try {
    static const char* const op = "X2::ResetTimestamp";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open, [](X2Obj& c) {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        c.state->opened_at = c.state->Now();
        c.state->simulated = vyxsim::ModelClock::duration{0};
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Results.

Image X2::GetImage(CameraID camera) try {
    static const char* const op = "X2::GetImage";
    return vyxsim::RunX2Handle<Image>(
        op, *this, {{"x2", HandleAccess::Get(*this)}, {"camera", static_cast<int>(camera)}}, X2Need::Handle,
        [camera](X2Obj& c, vyxsim::Words* w) {
            const int index = vyxsim::CameraIndex(c, camera, op);
            if (index < 0) return false;
            return vyxsim::Locked(c, op, [&] {
                auto& r = c.results;
                if (!r.image_obj[index]) {
                    return vyxsim::cam::NoResultYet(op, r.captured, r.last_was_2d, std::string("image of the ") + vyxsim::CameraName(index) + " camera");
                }
                return vyxsim::HandOutCurrent(c, op, vyxsim::Kind::Image, w, [&](vyxsim::Words* out) {
                    *out = vyxsim::ResultHandle(vyxsim::Kind::Image, &r.image[index], r.image_obj[index]);
                    return !out->IsZero();
                });
            });
        });
} catch (...) {
    return vyxsim::FailUnexpected(Image());
}

PointMap X2::GetPointMap() try {
    return vyxsim::Result3D<PointMap>(*this, "X2::GetPointMap", vyxsim::Kind::PointMap, &X2Obj::Results::points,
                                      &X2Obj::Results::points_obj, "point map");
} catch (...) {
    return vyxsim::FailUnexpected(PointMap());
}

DepthMap X2::GetDepthMap() try {
    return vyxsim::Result3D<DepthMap>(*this, "X2::GetDepthMap", vyxsim::Kind::DepthMap, &X2Obj::Results::depth,
                                      &X2Obj::Results::depth_obj, "depth map");
} catch (...) {
    return vyxsim::FailUnexpected(DepthMap());
}

ConfidenceMap X2::GetConfidenceMap() try {
    return vyxsim::Result3D<ConfidenceMap>(*this, "X2::GetConfidenceMap", vyxsim::Kind::ConfidenceMap,
                                           &X2Obj::Results::confidence, &X2Obj::Results::confidence_obj,
                                           "confidence map");
} catch (...) {
    return vyxsim::FailUnexpected(ConfidenceMap());
}

CorrespondMap X2::GetCorrespondMap() try {
    return vyxsim::Result3D<CorrespondMap>(*this, "X2::GetCorrespondMap", vyxsim::Kind::CorrespondMap,
                                           &X2Obj::Results::correspond, &X2Obj::Results::correspond_obj,
                                           "correspondence map");
} catch (...) {
    return vyxsim::FailUnexpected(CorrespondMap());
}

Mesh X2::GetMesh() try {
    static const char* const op = "X2::GetMesh";
    return vyxsim::RunX2Handle<Mesh>(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Handle,
                                     [](X2Obj& c, vyxsim::Words* w) {
        return vyxsim::Locked(c, op, [&] {
            return vyxsim::HandOutCurrent(c, op, vyxsim::Kind::Mesh, w,
                                          [&](vyxsim::Words* out) { return vyxsim::HandOutMesh(op, c.results, out); });
        });
    });
} catch (...) {
    return vyxsim::FailUnexpected(Mesh());
}

bool X2::SaveEncodedImagesData(const char* path) try {
    static const char* const op = "X2::SaveEncodedImagesData";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}, {"path", path}}, X2Need::Handle, [path](X2Obj& c) {
        if (!path || !*path) {
            return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the directory path is null or empty");
        }
        return vyxsim::Locked(c, op, [&] {
            const auto& r = c.results;
            if (!r.frames[0]) {
                return Fail(false, vyxsim::kWrongState,
                            std::string(op) + ": " +
                                (r.captured ? "the last capture was a 2D capture, which projects no patterns"
                                            : "no 3D capture has been made yet"));
            }
            if (!vyxsim::cam::MakeDirectory(op, path)) return false;
            for (int i = 0; i < 2; ++i) {
                if (!vyxsim::cam::WritePatternImages(op, path, std::string(vyxsim::CameraName(i)) + "_", *r.frames[i], r.params,
                                           c.device->projector.width, r.ambient)) {
                    return false;
                }
            }
            return true;
        });
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

}  // namespace Vyx
