// The X2 front: the entry points of Vyx::X2 (both cameras of a virtual device
// with its projector) but the fixed line scan's (x2_linescan.cpp). Here are
// the stereo 3D captures, the 2D captures, the results, the device clock,
// the custom transformation, white balance and calibration of each camera;
// lifecycle, stored and automatic options and the device calls forward to
// the session layer (session.h, stored_options.h, auto_settings.h,
// device_calls.h).
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

#include "camera/auto_settings.h"
#include "camera/bandwidth.h"
#include "camera/capture.h"
#include "camera/cover.h"
#include "camera/device_calls.h"
#include "camera/encoded_images.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/options.h"
#include "camera/session.h"
#include "camera/stored_options.h"
#include "camera/transform.h"
#include "camera/white_balance.h"
#include "camera/x2_camera.h"
#include "camera/replay.h"
#include "camera/x2_linescan.h"
#include "core/clock.h"
#include "rendering/frame_cache.h"
#include "core/device_registry.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/ground_truth.h"

namespace vyxsim {

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

using cam::ImageTypeOf;

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

// A replay device hands out the recorded frame at its cursor: the 3D maps,
// the correspondence and both images with `o`; without (Capture2D), the
// images of `cams` (bit 0 left, bit 1 right), which replace those cameras'
// images only, as a live 2D capture does.
bool ReplayCapture(X2Obj& c, const Vyx::X2::CaptureOptions* o, unsigned cams, const char* op) {
    cam::Params3D p3;
    cam::ReplayShot shot;
    if (!cam::ShootReplay(c, op, o, &DeviceSettings::x2_transform, cams, &p3, &shot)) return false;
    X2Obj::Results& r = c.results;
    if (o) {
        ReleaseX2Results(r);
        r = X2Obj::Results{};
        cam::Store3D(shot, &r);
        r.correspond = shot.correspond;
        r.correspond_obj = shot.correspond_obj;
        r.params = p3;
    } else {
        Release3D(r);
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (!shot.image_objs[i]) continue;
        if (!r.image[i].IsZero()) RemoveObject(Kind::Image, r.image[i]);
        r.image[i] = shot.images[i];
        r.image_obj[i] = shot.image_objs[i];
    }
    r.captured = true;
    r.last_was_2d = o == nullptr;
    cam::ReplayHandedOut(*c.device, shot);
    return true;
}

bool Capture3D(X2Obj& c, const Vyx::X2::CaptureOptions& o, const char* op) {
    if (!X2Ready(c, op) || !NoScanRunning(c, op)) return false;
    std::string why;
    if (!ValidateX2(o, X2Use::Capture, *c.device, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency([&c] { return Interrupted(c); });
    if (cam::IsReplay(*c.device)) return ReplayCapture(c, &o, 3u, op);

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
    // Compute3D writes every point, normal, depth and confidence, the
    // correspondence is copied whole, and Shade2D writes every image byte:
    // the results need no filling.
    r.points = NewPointMap(o.calc_normal ? Vyx::PointMapType::PointsNormals : Vyx::PointMapType::PointsOnly, size,
                           &r.points_obj, false);
    if (!r.points.IsZero()) r.depth = NewMap(Kind::DepthMap, size, &r.depth_obj, false);
    if (!r.depth.IsZero()) r.confidence = NewMap(Kind::ConfidenceMap, size, &r.confidence_obj, false);
    if (!r.confidence.IsZero()) {
        r.correspond = NewMap(Kind::CorrespondMap, {left.width, left.height}, &r.correspond_obj, false);
    }
    bool ok = !r.correspond.IsZero();
    for (int i = 0; i < 2 && ok && o.enable_2d_in_capture; ++i) {
        r.image[i] = NewImage(ImageTypeOf(*c.device), {frames[i]->width, frames[i]->height}, &r.image_obj[i], false);
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
    if (cam::IsReplay(*c.device)) {
        if (index == kExtraCam) return cam::NoExtraRecorded(op, *c.device);
        return ReplayCapture(c, nullptr, index < 0 ? 3u : (index == kLeftCam ? 1u : 2u), op);
    }

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
            words[i] = NewImage(ImageTypeOf(*c.device), {rendered->width, rendered->height}, &objs[i], false);
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

X2 X2::Create(const Device& device) {
    return vyxsim::CreateCamera<X2Obj>(
        "X2::Create", device, {{"device", HandleAccess::Get(device)}}, [](const char*) { return true; },
        [](X2Obj& obj) {
            if (obj.device->extra_camera) obj.extra = vyxsim::ExtraCameraModel(*obj.device);
        });
}

void X2::Destroy(X2& camera) { vyxsim::DestroyCamera<X2Obj>("X2::Destroy", camera); }

bool X2::Open() { return vyxsim::OpenCamera<X2Obj>(*this, "X2::Open"); }

void X2::Close() { vyxsim::CloseCamera<X2Obj>(*this, "X2::Close"); }

bool X2::IsValid() const { return vyxsim::IsValid<X2Obj>(*this, "X2::IsValid"); }

bool X2::IsOpen() const { return vyxsim::IsOpen<X2Obj>(*this, "X2::IsOpen"); }

bool X2::IsPhysicallyConnected() const {
    return vyxsim::IsPhysicallyConnected<X2Obj>(*this, "X2::IsPhysicallyConnected");
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
        const CaptureOptions options = vyxsim::StoredOptions(c);
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
                 [&](X2Obj& c) { return Capture2DOf(c, camera, vyxsim::StoredOptions(c), op); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Device clock.

bool X2::GetTimestamp(uint64_t& timestamp) const try {
    static const char* const op = "X2::GetTimestamp";
    return RunX2(op, *this, {{"x2", HandleAccess::Get(*this)}}, X2Need::Open, [&timestamp](X2Obj& c) {
        // A replay device's clock reads the recorded time of the frame it
        // handed out last.
        if (vyxsim::cam::LastReplayTimestamp(*c.device, &timestamp)) return true;
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
        if (!vyxsim::cam::NeedsScene(op, *c.device)) return false;
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
        if (!vyxsim::cam::NeedsScene(op, *c.device)) return false;
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
                                           vyxsim::Params2DFrom(options),
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
        vyxsim::cam::WriteCalibration(*c.device, index, c.Model(index), nullptr, nullptr, matrix16);
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
        vyxsim::cam::WriteCalibration(*c.device, index, c.Model(index), camera_matrix9, distortion5, nullptr);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Capture options: stored and automatic.

bool X2::SaveCaptureOptionParameters(const CaptureOptions& options) {
    return vyxsim::calls::SaveCaptureOptions<X2Obj>(*this, "X2::SaveCaptureOptionParameters", options);
}

bool X2::LoadCaptureOptionParameters(CaptureOptions& options) const {
    return vyxsim::calls::LoadCaptureOptions<X2Obj>(*this, "X2::LoadCaptureOptionParameters", options);
}

bool X2::GetAutoCaptureSetting(CaptureOptions& options, const ROI& roi) {
    return vyxsim::calls::AutoCaptureSetting<X2Obj>(*this, "X2::GetAutoCaptureSetting", options, roi);
}

bool X2::GetAutoHdrCaptureSetting(CaptureOptions& options, const ROI& roi) {
    return vyxsim::calls::AutoHdrCaptureSetting<X2Obj>(*this, "X2::GetAutoHdrCaptureSetting", options, roi);
}

bool X2::GetAutoNoiseRemovalSetting(CaptureOptions& options) {
    return vyxsim::calls::AutoNoiseRemovalSetting<X2Obj>(*this, "X2::GetAutoNoiseRemovalSetting", options);
}

bool X2::GetAuto2DExposureTime(CaptureOptions& options, const ROI& roi) {
    return vyxsim::calls::Auto2DExposureTime<X2Obj>(*this, "X2::GetAuto2DExposureTime", options, roi);
}

// ---------------------------------------------------------------------------
// Bandwidth, projector temperature and ranges, settings files, region of
// interest, protective cover and user sets: the device's, whichever handle
// names it (device_calls.h).

bool X2::SetBandwidth(float bandwidth) {
    return vyxsim::calls::SetBandwidth<X2Obj>(*this, "X2::SetBandwidth", bandwidth);
}

bool X2::GetProjectorTemperature(float& celsius) const {
    return vyxsim::calls::ProjectorTemperature<X2Obj>(*this, "X2::GetProjectorTemperature", celsius);
}

bool X2::GetExposureTimeRange(int* min, int* max) const {
    return vyxsim::calls::WriteRange<X2Obj>(*this, "X2::GetExposureTimeRange", min, max, vyxsim::kExposureMin,
                                           vyxsim::kExposureMax);
}

bool X2::GetGainRange(float* min, float* max) const {
    return vyxsim::calls::WriteRange<X2Obj>(*this, "X2::GetGainRange", min, max, vyxsim::kGainMin, vyxsim::kGainMax);
}

bool X2::GetGammaRange(float* min, float* max) const {
    return vyxsim::calls::WriteRange<X2Obj>(*this, "X2::GetGammaRange", min, max, vyxsim::kGammaMin, vyxsim::kGammaMax);
}

bool X2::LoadSettingFromFile(const char* path) {
    return vyxsim::calls::LoadSettings<X2Obj>(*this, "X2::LoadSettingFromFile", path);
}

bool X2::SaveSettingToFile(const char* path) const {
    return vyxsim::calls::SaveSettings<X2Obj>(*this, "X2::SaveSettingToFile", path);
}

bool X2::CheckRoi(ROI roi) const { return vyxsim::calls::CheckRoi<X2Obj>(*this, "X2::CheckRoi", roi); }

ROI X2::AutoAdjustRoi(ROI roi) const { return vyxsim::calls::AutoAdjustRoi<X2Obj>(*this, "X2::AutoAdjustRoi", roi); }

bool X2::GetRoiRange(ROIRange& range) const {
    return vyxsim::calls::RoiRange<X2Obj>(*this, "X2::GetRoiRange", range);
}

bool X2::OpenProtectiveCover() {
    return vyxsim::calls::OpenCover<X2Obj>(*this, "X2::OpenProtectiveCover", false);
}

bool X2::CloseProtectiveCover() {
    return vyxsim::calls::CloseCover<X2Obj>(*this, "X2::CloseProtectiveCover", false);
}

bool X2::ResetProtectiveCover() {
    return vyxsim::calls::ResetCover<X2Obj>(*this, "X2::ResetProtectiveCover");
}

bool X2::OpenProtectiveCoverAsync() {
    return vyxsim::calls::OpenCover<X2Obj>(*this, "X2::OpenProtectiveCoverAsync", true);
}

bool X2::CloseProtectiveCoverAsync() {
    return vyxsim::calls::CloseCover<X2Obj>(*this, "X2::CloseProtectiveCoverAsync", true);
}

bool X2::GetProtectiveCoverStatus(ProtectiveCoverStatus& status) const {
    return vyxsim::calls::CoverStatus<X2Obj>(*this, "X2::GetProtectiveCoverStatus", status);
}

bool X2::SetCurrentUserSet(const int& index) {
    return vyxsim::calls::SetCurrentUserSet<X2Obj>(*this, "X2::SetCurrentUserSet", index);
}

bool X2::GetCurrentUserSet(int& index) const {
    return vyxsim::calls::GetCurrentUserSet<X2Obj>(*this, "X2::GetCurrentUserSet", index);
}

bool X2::SetUserSetName(const int& index, const char* name) {
    return vyxsim::calls::SetUserSetName<X2Obj>(*this, "X2::SetUserSetName", index, name);
}

bool X2::GetUserSetName(const int& index, char* name) const {
    return vyxsim::calls::GetUserSetName<X2Obj>(*this, "X2::GetUserSetName", index, name);
}

}  // namespace Vyx
