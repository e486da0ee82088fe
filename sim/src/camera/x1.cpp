// Vyx::X1: one camera of a virtual device with its projector.
//
// Each X1 handle names an X1Obj. Its mutex serialises the captures of that
// camera and guards its results; no lock of wider reach is held while a
// capture renders, so cameras of different devices capture in parallel.
// Device-wide state (settings, cover, user sets, who has the device open)
// lives in the device's CameraState.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

#include "camera/camera_state.h"
#include "camera/capture.h"
#include "camera/maintenance.h"
#include "camera/options.h"
#include "camera/pipeline.h"
#include "core/call.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "data/formats/png.h"
#include "scene/render.h"
#include "scene/scene.h"
#include "vyx/x1.h"

namespace vyxsim {

namespace {

// Noise stream purposes.
constexpr uint64_t kNoise3D = 1, kNoise2D = 2, kNoiseBalance = 100;

}  // namespace

struct X1Obj : Object {
    uint64_t id = cam::NewSessionId();
    std::shared_ptr<DeviceRecord> device;
    std::shared_ptr<CameraState> state;
    Vyx::CameraID camid = Vyx::CameraID_Left;
    int camera_index = 0;  // 0 left, 1 right
    std::atomic<bool> open{false};

    std::mutex mutex;  // captures and everything below
    bool destroyed = false;
    struct Results {
        bool captured = false;       // a capture succeeded
        bool last_was_2d = false;    // the last capture was Capture2D
        Words image, depth, confidence, points, mesh;
        std::shared_ptr<ImageObj> image_obj;
        std::shared_ptr<MapObj> depth_obj, confidence_obj;
        std::shared_ptr<PointMapObj> points_obj;
        std::shared_ptr<MeshObj> mesh_obj;
        // What the pattern images of the last 3D capture are made from.
        std::shared_ptr<const scene::Frame> frame;
        cam::Params3D params;
        double ambient = 0.0;
    } results;

    const CameraModel& Model() const { return camera_index == 0 ? device->left : device->right; }

    // Gives up the device (if this camera holds it).
    void DropSession() {
        open.store(false);
        cam::ReleaseDevice(*state, id);
    }

    ~X1Obj() override {
        // Only the device state is touched here, never the registry: the
        // registry may be releasing this object.
        if (state) cam::ReleaseDevice(*state, id);
    }
};

namespace {

std::string Dev(const X1Obj& c) { return "device '" + Printable(c.device->serial, 40) + "'"; }

std::shared_ptr<X1Obj> Lookup(const Vyx::X1& h, const char* op) {
    auto cam = Find<X1Obj>(Kind::X1, Vyx::HandleAccess::Get(h));
    if (!cam) Fail(0, kInvalidHandle, std::string(op) + ": the camera handle names no camera (never created, or destroyed)");
    return cam;
}

bool Connected(X1Obj& c, const char* op) {
    if (c.device->connected.load()) return true;
    c.DropSession();
    return cam::DisconnectedError(op, *c.device);
}

// Open and connected.
bool Ready(X1Obj& c, const char* op) {
    if (!Connected(c, op)) return false;
    if (!c.open.load()) return Fail(false, kNotOpen, std::string(op) + ": the camera of " + Dev(c) + " is not open");
    return true;
}

std::string RoiText(const Vyx::ROI& r) {
    return "[" + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
           std::to_string(r.height) + "]";
}

// Releases the results of the last capture.
void ReleaseResults(X1Obj::Results& r) {
    if (!r.image.IsZero()) RemoveObject(Kind::Image, r.image);
    if (!r.depth.IsZero()) RemoveObject(Kind::DepthMap, r.depth);
    if (!r.confidence.IsZero()) RemoveObject(Kind::ConfidenceMap, r.confidence);
    if (!r.points.IsZero()) RemoveObject(Kind::PointMap, r.points);
    if (!r.mesh.IsZero()) RemoveObject(Kind::Mesh, r.mesh);
    r = X1Obj::Results{};
}

// Camera frame to the frame of the returned points.
bool OutputTransform(const char* op, const X1Obj& c, bool transform_to_camera,
                     const Vyx::X1::CustomTransformOptions& ct, const scene::Scene& sc, Eigen::Matrix4d* out) {
    const Eigen::Matrix4d cam_to_dev = scene::CameraToDevice(c.Model());
    Eigen::Matrix4d T;
    for (int r = 0; r < 4; ++r) {
        for (int k = 0; k < 4; ++k) T(r, k) = ct.transform[r * 4 + k];
    }
    switch (ct.coordinate_select) {
        case Vyx::X1::CustomTransformOptions::CoordinateSelect_Camera:
            *out = T;
            return true;
        case Vyx::X1::CustomTransformOptions::CoordinateSelect_CaliBoard: {
            scene::BoardTruth board;
            if (!scene::BoardGroundTruth(sc, &board)) {
                return Fail(false, kNoResult,
                            std::string(op) + ": the custom transformation is relative to the calibration board, and the scene of " +
                                Dev(c) + " has none");
            }
            *out = T * board.pose.inverse() * cam_to_dev;
            return true;
        }
        default:
            *out = transform_to_camera ? Eigen::Matrix4d::Identity() : cam_to_dev;
            return true;
    }
}

// Registers (again, if the caller destroyed it) a result object.
template <class O>
Words Handle(Kind kind, Words* words, const std::shared_ptr<O>& obj) {
    if (!words->IsZero() && FindObject(kind, *words) == obj) return *words;
    *words = RegisterObject(kind, obj);
    return *words;
}

bool Validate2D(const char* op, const Vyx::X1::CaptureOptions& o) {
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

// ---------------------------------------------------------------------------
// Captures. The camera's mutex is held by the caller.

bool Capture3D(X1Obj& c, const Vyx::X1::CaptureOptions& o, const char* op) {
    if (!Ready(c, op)) return false;
    std::string why;
    if (!ValidateOptions(o, *c.device, c.Model(), &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency();

    auto frame = std::make_shared<scene::Frame>();
    std::shared_ptr<const scene::Scene> sc;
    if (!cam::RenderCamera(op, c.device, c.Model(), 1, frame.get(), &sc)) return false;

    uint64_t capture_index;
    std::array<float, 3> balance;
    Vyx::X1::CustomTransformOptions ct;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        capture_index = ++c.state->captures;
        balance = c.state->settings.balance;
        ct = c.state->settings.x1_transform;
    }
    cam::Params3D p3 = cam::Params3DFrom(o);
    if (!OutputTransform(op, c, o.transform_to_camera, ct, *sc, &p3.output)) return false;
    const cam::Params2D p2 = cam::Params2DFrom(o);

    const Vyx::Size size{frame->width, frame->height};
    X1Obj::Results r;
    r.points = NewPointMap(o.calc_normal ? Vyx::PointMapType::PointsNormals : Vyx::PointMapType::PointsOnly, size,
                           &r.points_obj);
    if (!r.points.IsZero()) r.depth = NewMap(Kind::DepthMap, size, &r.depth_obj);
    if (!r.depth.IsZero()) r.confidence = NewMap(Kind::ConfidenceMap, size, &r.confidence_obj);
    const Vyx::ImageType::Enum itype = c.device->color ? Vyx::ImageType::BGR8 : Vyx::ImageType::Mono8;
    if (!r.confidence.IsZero() && o.enable_2d_in_capture) r.image = NewImage(itype, size, &r.image_obj);
    if (r.points.IsZero() || r.depth.IsZero() || r.confidence.IsZero() || (o.enable_2d_in_capture && r.image.IsZero())) {
        ReleaseResults(r);  // the factory has set the last error
        return false;
    }

    auto rays = scene::RaysFor(c.Model());
    const std::string& serial = c.device->serial;
    cam::Out3D out;
    out.points = r.points_obj->points;
    out.normals = r.points_obj->normals;
    out.depth = r.depth_obj->data;
    out.confidence = r.confidence_obj->data;
    cam::Compute3D(*frame, cam::OpticsFor(*c.device, c.Model(), rays.get()), p3,
                   cam::MakeNoiseStream(serial, c.camera_index, capture_index, kNoise3D), out);
    if (r.image_obj) {
        cam::Shade2D(*frame, p2, cam::SensorFor(*c.device, *sc, balance),
                     cam::MakeNoiseStream(serial, c.camera_index, capture_index, kNoise2D), r.image_obj->data);
    }

    const double bps = cam::LinkBytesPerSecond(*c.device, *c.state);
    double seconds = cam::Acquisition3DSeconds(p3, frame->Size(), bps);
    if (o.enable_2d_in_capture) seconds += cam::Acquisition2DSeconds(p2, frame->Size() * (c.device->color ? 3 : 1), bps);
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        int brightness = 0;
        for (const cam::Exposure& e : p3.exposures) brightness = std::max(brightness, e.brightness);
        AddCaptureHeat(*c.state, seconds, brightness);
        c.state->simulated_us += seconds * 1e6;
        r.points_obj->timestamp.store(cam::DeviceClockUs(*c.state));
    }

    r.captured = true;
    r.last_was_2d = false;
    r.frame = frame;
    r.params = p3;
    r.ambient = sc->ambient * scene::Luminance(sc->ambient_color);
    ReleaseResults(c.results);
    c.results = std::move(r);
    return true;
}

bool Capture2DOnly(X1Obj& c, const Vyx::X1::CaptureOptions& o, const char* op) {
    if (!Ready(c, op)) return false;
    if (!Validate2D(op, o)) return false;
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency();

    scene::Frame frame;
    std::shared_ptr<const scene::Scene> sc;
    if (!cam::RenderCamera(op, c.device, c.Model(), 1, &frame, &sc)) return false;
    uint64_t capture_index;
    std::array<float, 3> balance;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        capture_index = ++c.state->captures;
        balance = c.state->settings.balance;
    }
    const cam::Params2D p2 = cam::Params2DFrom(o);
    X1Obj::Results r;
    r.image = NewImage(c.device->color ? Vyx::ImageType::BGR8 : Vyx::ImageType::Mono8, {frame.width, frame.height},
                       &r.image_obj);
    if (r.image.IsZero()) return false;
    cam::Shade2D(frame, p2, cam::SensorFor(*c.device, *sc, balance),
                 cam::MakeNoiseStream(c.device->serial, c.camera_index, capture_index, kNoise2D), r.image_obj->data);
    const double seconds = cam::Acquisition2DSeconds(p2, frame.Size() * (c.device->color ? 3 : 1),
                                                     cam::LinkBytesPerSecond(*c.device, *c.state));
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        AddCaptureHeat(*c.state, seconds, p2.use_projector ? p2.brightness : 0);
        c.state->simulated_us += seconds * 1e6;
    }
    r.captured = true;
    r.last_was_2d = true;
    ReleaseResults(c.results);
    c.results = std::move(r);
    return true;
}

bool StoredOptions(X1Obj& c, Vyx::X1::CaptureOptions* o) {
    std::lock_guard<std::mutex> lock(c.state->mutex);
    *o = c.state->settings.user_sets[static_cast<std::size_t>(c.state->settings.current_user_set)].x1;
    return true;
}

// Why a result is missing.
template <class H>
H NoResult(const char* op, const X1Obj::Results& r, const char* what) {
    std::string why;
    if (!r.captured) {
        why = "no capture has been made yet";
    } else if (r.last_was_2d) {
        why = std::string("the last capture was a 2D capture, which makes no ") + what;
    } else {
        why = std::string("the last capture made no ") + what + " (enable_2d_in_capture was false)";
    }
    return Fail(H(), kWrongState, std::string(op) + ": " + why);
}

// A quick, coarse view for the automatic settings.
constexpr int kQuickStep = 4;

bool QuickSamples(X1Obj& c, const char* op, const Vyx::X1::CaptureOptions& o, const Vyx::ROI& roi,
                  cam::Samples* samples) {
    std::string why;
    if (!cam::RoiInsideImage(c.Model(), roi, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    scene::Frame frame;
    std::shared_ptr<const scene::Scene> sc;
    if (!cam::RenderCamera(op, c.device, c.Model(), kQuickStep, &frame, &sc)) return false;
    std::array<float, 3> balance;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        balance = c.state->settings.balance;
    }
    *samples = cam::CollectSamples(frame, roi, o.gain_3d, o.projector_brightness, cam::Params2DFrom(o),
                                   cam::SensorFor(*c.device, *sc, balance));
    if (samples->depth.empty()) {
        return Fail(false, kNoResult, std::string(op) + ": the camera sees nothing inside the region of interest");
    }
    return true;
}

int ClampExposure(double ms) {
    if (!std::isfinite(ms)) return kExposureMax;
    return static_cast<int>(std::lround(std::clamp(ms, static_cast<double>(kExposureMin), static_cast<double>(kExposureMax))));
}

// Exposure (ms) that puts `value_per_ms` at `target`.
int ExposureFor(double value_per_ms, double target) {
    if (!(value_per_ms > 0.0)) return kExposureMax;
    return ClampExposure(target / value_per_ms);
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
using vyxsim::X1Obj;

X1 X1::Create(const Device& device, CameraID camid) {
    static const char* const op = "X1::Create";
    const Gate g = Enter(op, {{"device", HandleAccess::Get(device)}, {"camid", static_cast<int>(camid)}});
    if (g == Gate::Fail) return X1();
    auto rec = vyxsim::DeviceFromHandle(HandleAccess::Get(device), op);
    if (!rec) return X1();
    if (camid != CameraID_Left && camid != CameraID_Right) {
        return Fail(X1(), vyxsim::kInvalidArgument,
                    std::string(op) + ": camid " + std::to_string(static_cast<int>(camid)) +
                        " is not CameraID_Left (1) or CameraID_Right (2)");
    }
    if (!rec->support_x1) {
        return Fail(X1(), vyxsim::kUnsupported,
                    std::string(op) + ": device '" + vyxsim::Printable(rec->serial, 40) + "' cannot be used as an X1");
    }
    if (!rec->connected.load()) {
        return Fail(X1(), vyxsim::kDisconnected,
                    std::string(op) + ": device '" + vyxsim::Printable(rec->serial, 40) + "' is disconnected");
    }
    auto obj = std::make_shared<X1Obj>();
    obj->device = rec;
    obj->state = vyxsim::StateOf(*rec);
    obj->camid = camid;
    obj->camera_index = camid == CameraID_Right ? 1 : 0;
    const vyxsim::Words w = vyxsim::RegisterObject(vyxsim::Kind::X1, obj);
    if (w.IsZero()) return X1();
    X1 h = HandleAccess::Make<X1>(w);
    if (g == Gate::FailAfterWork) {
        vyxsim::RemoveObject(vyxsim::Kind::X1, w);
        return FailInjected(X1(), op);
    }
    return h;
}

void X1::Destroy(X1& camera) {
    static const char* const op = "X1::Destroy";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(camera)}});
    if (g == Gate::Fail) return;
    auto obj = std::static_pointer_cast<X1Obj>(vyxsim::RemoveObject(vyxsim::Kind::X1, HandleAccess::Get(camera)));
    HandleAccess::Set(camera, vyxsim::Words{});
    if (!obj) {
        vyxsim::SetLastError(vyxsim::kInvalidHandle, std::string(op) + ": the camera handle names no camera");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(obj->mutex);  // waits for a capture in progress
        obj->destroyed = true;
        vyxsim::ReleaseResults(obj->results);
    }
    obj->DropSession();
    if (g == Gate::FailAfterWork) FailInjected(0, op);
}

bool X1::Open() {
    static const char* const op = "X1::Open";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    if (!vyxsim::Connected(*c, op)) return false;
    if (!vyxsim::cam::AcquireDevice(op, *c->device, *c->state, c->id)) return false;
    c->open.store(true);
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::IsOpen() const {
    static const char* const op = "X1::IsOpen";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    if (!c->device->connected.load()) c->DropSession();
    const bool open = c->open.load();
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return open;
}

void X1::Close() {
    static const char* const op = "X1::Close";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return;
    c->DropSession();
    if (g == Gate::FailAfterWork) FailInjected(0, op);
}

bool X1::IsValid() const {
    static const char* const op = "X1::IsValid";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    const bool valid = vyxsim::FindObject(vyxsim::Kind::X1, HandleAccess::Get(*this)) != nullptr;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return valid;
}

bool X1::IsPhysicallyConnected() const {
    static const char* const op = "X1::IsPhysicallyConnected";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    const bool connected = c->device->connected.load();
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return connected;
}

// ---------------------------------------------------------------------------
// Captures.

bool X1::Capture(const CaptureOptions& options) {
    static const char* const op = "X1::Capture";
    const std::string text = vyxsim::OptionsTrace(options);
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"options", text.c_str()}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    std::lock_guard<std::mutex> lock(c->mutex);
    if (c->destroyed) return Fail(false, vyxsim::kInvalidHandle, std::string(op) + ": the camera was destroyed");
    if (!vyxsim::Capture3D(*c, options, op)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::Capture() {
    static const char* const op = "X1::Capture";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    CaptureOptions options;
    vyxsim::StoredOptions(*c, &options);
    std::lock_guard<std::mutex> lock(c->mutex);
    if (c->destroyed) return Fail(false, vyxsim::kInvalidHandle, std::string(op) + ": the camera was destroyed");
    if (!vyxsim::Capture3D(*c, options, op)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::Capture2D(const CaptureOptions& options) {
    static const char* const op = "X1::Capture2D";
    const std::string text = vyxsim::OptionsTrace(options);
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"options", text.c_str()}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    std::lock_guard<std::mutex> lock(c->mutex);
    if (c->destroyed) return Fail(false, vyxsim::kInvalidHandle, std::string(op) + ": the camera was destroyed");
    if (!vyxsim::Capture2DOnly(*c, options, op)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::Capture2D() {
    static const char* const op = "X1::Capture2D";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    CaptureOptions options;
    vyxsim::StoredOptions(*c, &options);
    std::lock_guard<std::mutex> lock(c->mutex);
    if (c->destroyed) return Fail(false, vyxsim::kInvalidHandle, std::string(op) + ": the camera was destroyed");
    if (!vyxsim::Capture2DOnly(*c, options, op)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// ---------------------------------------------------------------------------
// Results.

Image X1::GetImage() {
    static const char* const op = "X1::GetImage";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return Image();
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return Image();
    std::lock_guard<std::mutex> lock(c->mutex);
    auto& r = c->results;
    if (!r.image_obj) return vyxsim::NoResult<Image>(op, r, "2D image");
    const vyxsim::Words w = vyxsim::Handle(vyxsim::Kind::Image, &r.image, r.image_obj);
    if (g == Gate::FailAfterWork) return FailInjected(Image(), op);
    return HandleAccess::Make<Image>(w);
}

DepthMap X1::GetDepthMap() {
    static const char* const op = "X1::GetDepthMap";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return DepthMap();
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return DepthMap();
    std::lock_guard<std::mutex> lock(c->mutex);
    auto& r = c->results;
    if (!r.depth_obj) return vyxsim::NoResult<DepthMap>(op, r, "depth map");
    const vyxsim::Words w = vyxsim::Handle(vyxsim::Kind::DepthMap, &r.depth, r.depth_obj);
    if (g == Gate::FailAfterWork) return FailInjected(DepthMap(), op);
    return HandleAccess::Make<DepthMap>(w);
}

PointMap X1::GetPointMap() {
    static const char* const op = "X1::GetPointMap";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return PointMap();
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return PointMap();
    std::lock_guard<std::mutex> lock(c->mutex);
    auto& r = c->results;
    if (!r.points_obj) return vyxsim::NoResult<PointMap>(op, r, "point map");
    const vyxsim::Words w = vyxsim::Handle(vyxsim::Kind::PointMap, &r.points, r.points_obj);
    if (g == Gate::FailAfterWork) return FailInjected(PointMap(), op);
    return HandleAccess::Make<PointMap>(w);
}

ConfidenceMap X1::GetConfidenceMap() {
    static const char* const op = "X1::GetConfidenceMap";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return ConfidenceMap();
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return ConfidenceMap();
    std::lock_guard<std::mutex> lock(c->mutex);
    auto& r = c->results;
    if (!r.confidence_obj) return vyxsim::NoResult<ConfidenceMap>(op, r, "confidence map");
    const vyxsim::Words w = vyxsim::Handle(vyxsim::Kind::ConfidenceMap, &r.confidence, r.confidence_obj);
    if (g == Gate::FailAfterWork) return FailInjected(ConfidenceMap(), op);
    return HandleAccess::Make<ConfidenceMap>(w);
}

Mesh X1::GetMesh() {
    static const char* const op = "X1::GetMesh";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return Mesh();
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return Mesh();
    std::lock_guard<std::mutex> lock(c->mutex);
    auto& r = c->results;
    if (!r.points_obj) return vyxsim::NoResult<Mesh>(op, r, "point map to build a mesh from");
    if (!r.mesh_obj) {
        // Longest triangle edge: ten times the median distance between
        // horizontal neighbours, so that depth edges are not bridged.
        const Size sz = r.points_obj->size;
        const double* p = r.points_obj->points;
        std::vector<double> gaps;
        const int stride = std::max(1, sz.height / 64);
        for (int v = 0; v < sz.height; v += stride) {
            for (int u = 0; u + 1 < sz.width; ++u) {
                const double* a = p + 3 * (static_cast<std::size_t>(v) * sz.width + u);
                const double* b = a + 3;
                const double d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                           (a[2] - b[2]) * (a[2] - b[2]));
                if (std::isfinite(d)) gaps.push_back(d);
            }
        }
        const double max_edge = std::max(0.002, 10.0 * vyxsim::cam::Percentile(gaps, 0.5));
        r.mesh_obj = vyxsim::MeshFromGrid(sz, p, r.points_obj->normals, max_edge);
        if (!r.mesh_obj) return Mesh();  // the builder has set the last error
    }
    const vyxsim::Words w = vyxsim::Handle(vyxsim::Kind::Mesh, &r.mesh, r.mesh_obj);
    if (w.IsZero()) return Mesh();
    if (g == Gate::FailAfterWork) return FailInjected(Mesh(), op);
    return HandleAccess::Make<Mesh>(w);
}

bool X1::SaveEncodedImagesData(const char* path) {
    static const char* const op = "X1::SaveEncodedImagesData";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"path", path}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    if (!path || !*path) return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the directory path is null or empty");
    std::lock_guard<std::mutex> lock(c->mutex);
    const auto& r = c->results;
    if (!r.frame) {
        return Fail(false, vyxsim::kWrongState,
                    std::string(op) + ": " + (r.captured ? "the last capture was a 2D capture, which projects no patterns"
                                                         : "no 3D capture has been made yet"));
    }
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path, ec)) {
        return Fail(false, vyxsim::kIoError,
                    std::string(op) + ": cannot create the directory '" + vyxsim::Printable(path) + "'" +
                        (ec ? ": " + ec.message() : std::string(": a file of that name exists")));
    }
    const vyxsim::cam::ModeInfo mode = vyxsim::cam::Mode(r.params.mode);
    const vyxsim::scene::Frame& f = *r.frame;
    std::vector<uint8_t> pixels(f.Size());
    const std::size_t exposures = r.params.exposures.size();
    for (std::size_t e = 0; e < exposures; ++e) {
        for (int k = 0; k < mode.PatternCount(); ++k) {
            vyxsim::cam::ShadePattern(f, r.params, r.params.exposures[e], k, c->device->projector.width, r.ambient,
                                      pixels.data());
            char name[96];
            std::snprintf(name, sizeof name, "%spattern_%02d_%s.png",
                          exposures > 1 ? ("exposure" + std::to_string(e) + "_").c_str() : "", k,
                          vyxsim::cam::PatternName(mode, k).c_str());
            vyxsim::fmt::RasterView view;
            view.width = f.width;
            view.height = f.height;
            view.channels = 1;
            view.pixels = pixels.data();
            std::vector<uint8_t> png;
            std::string why;
            if (!vyxsim::fmt::EncodePng(view, &png, &why)) {
                return Fail(false, vyxsim::kIoError, std::string(op) + ": cannot encode " + name + ": " + why);
            }
            const std::string file = (std::filesystem::path(path) / name).string();
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
            out.close();
            if (!out) {
                return Fail(false, vyxsim::kIoError, std::string(op) + ": cannot write '" + vyxsim::Printable(file) + "'");
            }
        }
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// ---------------------------------------------------------------------------
// Device settings.

bool X1::SetBandwidth(float bandwidth) {
    static const char* const op = "X1::SetBandwidth";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"bandwidth", static_cast<double>(bandwidth)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::SetBandwidth(op, *c->state, bandwidth)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::SetCustomTransformation(const CustomTransformOptions& options) {
    static const char* const op = "X1::SetCustomTransformation";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)},
                              {"coordinate_select", static_cast<int>(options.coordinate_select)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    const int sel = options.coordinate_select;
    if (sel < CustomTransformOptions::CoordinateSelect_Disabled || sel > CustomTransformOptions::CoordinateSelect_CaliBoard) {
        return Fail(false, vyxsim::kInvalidArgument,
                    std::string(op) + ": coordinate_select " + std::to_string(sel) + " is not Disabled, Camera or CaliBoard");
    }
    Eigen::Matrix3d A;
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(options.transform[i])) {
            return Fail(false, vyxsim::kInvalidArgument,
                        std::string(op) + ": transform[" + std::to_string(i) + "] is not a finite number");
        }
    }
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) A(r, k) = options.transform[r * 4 + k];
    }
    if (sel != CustomTransformOptions::CoordinateSelect_Disabled && std::abs(A.determinant()) < 1e-12) {
        return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the transform's 3 x 3 part is singular");
    }
    {
        std::lock_guard<std::mutex> lock(c->state->mutex);
        c->state->settings.x1_transform = options;
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetCustomTransformation(CustomTransformOptions& options) const {
    static const char* const op = "X1::GetCustomTransformation";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    {
        std::lock_guard<std::mutex> lock(c->state->mutex);
        options = c->state->settings.x1_transform;
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetCameraResolution(Size& size) const {
    static const char* const op = "X1::GetCameraResolution";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    size = Size{c->Model().width, c->Model().height};
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetProjectorTemperature(float& celsius) const {
    static const char* const op = "X1::GetProjectorTemperature";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    {
        std::lock_guard<std::mutex> lock(c->state->mutex);
        celsius = vyxsim::ProjectorTemperature(*c->state);
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetCameraTemperature(CameraTempSelector selector, float& celsius) const {
    static const char* const op = "X1::GetCameraTemperature";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"selector", static_cast<int>(selector)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (selector < CameraTempSelector_Camera || selector > CameraTempSelector_SensorBoard) {
        return Fail(false, vyxsim::kInvalidArgument,
                    std::string(op) + ": selector " + std::to_string(static_cast<int>(selector)) + " is not a CameraTempSelector");
    }
    {
        std::lock_guard<std::mutex> lock(c->state->mutex);
        celsius = vyxsim::CameraTemperature(*c->state, c->camera_index, selector);
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

namespace {
template <class T>
bool WriteRange(const X1& self, const char* op, T* min, T* max, T lo, T hi) {
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(self)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(self, op);
    if (!c) return false;
    if (!min || !max) return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": an output pointer is null");
    *min = lo;
    *max = hi;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}
}  // namespace

bool X1::GetExposureTimeRange(int* min, int* max) const {
    return WriteRange(*this, "X1::GetExposureTimeRange", min, max, vyxsim::kExposureMin, vyxsim::kExposureMax);
}

bool X1::GetGainRange(float* min, float* max) const {
    return WriteRange(*this, "X1::GetGainRange", min, max, vyxsim::kGainMin, vyxsim::kGainMax);
}

bool X1::GetGammaRange(float* min, float* max) const {
    return WriteRange(*this, "X1::GetGammaRange", min, max, vyxsim::kGammaMin, vyxsim::kGammaMax);
}

// ---------------------------------------------------------------------------
// White balance.

bool X1::SetBalanceRatio(BalanceSelector selector, float ratio) {
    static const char* const op = "X1::SetBalanceRatio";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)},
                              {"selector", static_cast<int>(selector)},
                              {"ratio", static_cast<double>(ratio)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::SetBalance(op, *c->device, *c->state, selector, ratio)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetBalanceRatio(BalanceSelector selector, float& ratio) const {
    static const char* const op = "X1::GetBalanceRatio";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"selector", static_cast<int>(selector)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::GetBalance(op, *c->device, *c->state, selector, &ratio)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetBalanceRange(BalanceSelector selector, float& min, float& max) const {
    static const char* const op = "X1::GetBalanceRange";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"selector", static_cast<int>(selector)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    if (!vyxsim::cam::BalanceRange(op, *c->device, selector, &min, &max)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::AutoWhiteBalance(int frames, const CaptureOptions& options, const ROI& roi) {
    static const char* const op = "X1::AutoWhiteBalance";
    const std::string text = vyxsim::OptionsTrace(options);
    const std::string roi_text = vyxsim::RoiText(roi);
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)},
                              {"frames", frames},
                              {"options", text.c_str()},
                              {"roi", roi_text.c_str()}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    std::lock_guard<std::mutex> lock(c->mutex);
    if (!vyxsim::Ready(*c, op)) return false;
    if (!c->device->color) {
        return Fail(false, vyxsim::kUnsupported,
                    std::string(op) + ": " + vyxsim::Dev(*c) + " has grey cameras; white balance needs colour");
    }
    if (frames < 1 || frames > 100) {
        return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": frames " + std::to_string(frames) + " is outside 1 .. 100");
    }
    if (!vyxsim::Validate2D(op, options)) return false;
    std::string why;
    if (!vyxsim::cam::RoiInsideImage(c->Model(), roi, &why)) {
        return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": " + why);
    }
    if (!vyxsim::cam::CoverLetsCapture(op, *c->device, *c->state)) return false;
    vyxsim::scene::Frame frame;
    std::shared_ptr<const vyxsim::scene::Scene> sc;
    if (!vyxsim::cam::RenderCamera(op, c->device, c->Model(), 1, &frame, &sc)) return false;
    std::array<float, 3> current;
    uint64_t capture_index;
    {
        std::lock_guard<std::mutex> slock(c->state->mutex);
        current = c->state->settings.balance;
        capture_index = ++c->state->captures;
    }
    // Grey world: the mean of each raw channel over the ROI, leaving out
    // pixels that are saturated or nearly black in the image.
    const vyxsim::cam::Params2D p2 = vyxsim::cam::Params2DFrom(options);
    const vyxsim::cam::Sensor sensor = vyxsim::cam::SensorFor(*c->device, *sc, current);
    const double sigma = vyxsim::cam::kImageNoise * vyxsim::cam::GainFactor(p2.gain_db);
    double sum[3] = {0, 0, 0};
    std::size_t count = 0;
    for (int f = 0; f < frames; ++f) {
        const auto noise = vyxsim::cam::MakeNoiseStream(c->device->serial, c->camera_index, capture_index,
                                                        vyxsim::kNoiseBalance + static_cast<uint64_t>(f));
        for (int v = 0; v < frame.height; ++v) {
            for (int u = 0; u < frame.width; ++u) {
                if (!(roi.width == 0 && roi.height == 0) &&
                    (u < roi.x || v < roi.y || u >= roi.x + roi.width || v >= roi.y + roi.height)) {
                    continue;
                }
                const std::size_t k = static_cast<std::size_t>(v) * frame.width + u;
                const std::array<double, 3> raw = vyxsim::cam::RawResponse(frame, k, p2, sensor);
                double shown_max = 0.0, shown_min = 1e9, noisy[3];
                for (int ch = 0; ch < 3; ++ch) {
                    noisy[ch] = raw[ch] + sigma * vyxsim::cam::Gaussian(noise, 3 * k + ch);
                    shown_max = std::max(shown_max, noisy[ch] * current[ch]);
                    shown_min = std::min(shown_min, noisy[ch] * current[ch]);
                }
                if (shown_max >= 0.98 || shown_min < 0.02) continue;
                for (int ch = 0; ch < 3; ++ch) sum[ch] += noisy[ch];
                ++count;
            }
        }
    }
    if (count == 0 || sum[0] <= 0.0 || sum[2] <= 0.0) {
        return Fail(false, vyxsim::kNoResult,
                    std::string(op) + ": no pixel in the region of interest is neither saturated nor dark");
    }
    std::array<float, 3> ratios{static_cast<float>(sum[1] / sum[0]), 1.0f, static_cast<float>(sum[1] / sum[2])};
    for (float& r : ratios) r = std::clamp(r, vyxsim::kBalanceMin, vyxsim::kBalanceMax);
    {
        std::lock_guard<std::mutex> slock(c->state->mutex);
        c->state->settings.balance = ratios;
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// ---------------------------------------------------------------------------
// Calibration.

bool X1::GetExtrinsicMatrix(float* matrix16) const {
    static const char* const op = "X1::GetExtrinsicMatrix";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    if (!matrix16) return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the output array is null");
    for (int i = 0; i < 16; ++i) matrix16[i] = static_cast<float>(c->Model().pose[static_cast<std::size_t>(i)]);
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetIntrinsicParameters(float* camera_matrix9, float* distortion5) const {
    static const char* const op = "X1::GetIntrinsicParameters";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    if (!camera_matrix9 || !distortion5) {
        return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": an output array is null");
    }
    const vyxsim::CameraModel& m = c->Model();
    const double k[9] = {m.fx, 0.0, m.cx, 0.0, m.fy, m.cy, 0.0, 0.0, 1.0};
    for (int i = 0; i < 9; ++i) camera_matrix9[i] = static_cast<float>(k[i]);
    for (int i = 0; i < 5; ++i) distortion5[i] = static_cast<float>(m.distortion[static_cast<std::size_t>(i)]);
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// ---------------------------------------------------------------------------
// Capture options: stored and automatic.

bool X1::SaveCaptureOptionParameters(const CaptureOptions& options) {
    static const char* const op = "X1::SaveCaptureOptionParameters";
    const std::string text = vyxsim::OptionsTrace(options);
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"options", text.c_str()}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    std::string why;
    if (!vyxsim::ValidateOptions(options, *c->device, c->Model(), &why)) {
        return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": " + why);
    }
    {
        std::lock_guard<std::mutex> lock(c->state->mutex);
        auto& s = c->state->settings;
        s.user_sets[static_cast<std::size_t>(s.current_user_set)].x1 = options;
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::LoadCaptureOptionParameters(CaptureOptions& options) const {
    static const char* const op = "X1::LoadCaptureOptionParameters";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    vyxsim::StoredOptions(*c, &options);
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

namespace {

// Common frame of the four automatic settings: trace, lookup, open, samples.
template <class Work>
bool AutoSetting(const X1& self, const char* op, X1::CaptureOptions& options, const ROI& roi, Work work) {
    const std::string text = vyxsim::OptionsTrace(options);
    const std::string roi_text = vyxsim::RoiText(roi);
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(self)}, {"options", text.c_str()}, {"roi", roi_text.c_str()}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(self, op);
    if (!c) return false;
    std::lock_guard<std::mutex> lock(c->mutex);
    if (!vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::CoverLetsCapture(op, *c->device, *c->state)) return false;
    vyxsim::cam::Samples samples;
    if (!vyxsim::QuickSamples(*c, op, options, roi, &samples)) return false;
    X1::CaptureOptions result = options;
    if (!work(*c, samples, &result)) return false;
    options = result;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// Exposure for the 3D signal: the bright end of the scene at 85 % of full
// scale.
int Exposure3DFor(const vyxsim::cam::Samples& s) {
    return vyxsim::ExposureFor(vyxsim::cam::Percentile(s.signal_per_ms, 0.98), 0.85);
}

// Exposure for the 2D image: the bright end of the ROI at about 200 of 255.
int Exposure2DFor(const vyxsim::cam::Samples& s, double gamma) {
    const double target = std::pow(200.0 / 255.0, gamma);
    return vyxsim::ExposureFor(vyxsim::cam::Percentile(s.image_per_ms, 0.98), target);
}

bool NeedsLight(const char* op, const vyxsim::cam::Samples& s) {
    if (!s.signal_per_ms.empty()) return true;
    return Fail(false, vyxsim::kNoResult, std::string(op) + ": the projector lights nothing inside the region of interest");
}

}  // namespace

bool X1::GetAutoCaptureSetting(CaptureOptions& options, const ROI& roi) {
    static const char* const op = "X1::GetAutoCaptureSetting";
    return AutoSetting(*this, op, options, roi, [](X1Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        if (!NeedsLight(op, s)) return false;
        o->exposure_time_3d = Exposure3DFor(s);
        o->exposure_time_2d = Exposure2DFor(s, o->gamma_2d);
        o->hdr_exposure_times = 0;
        return true;
    });
}

bool X1::GetAutoHdrCaptureSetting(CaptureOptions& options, const ROI& roi) {
    static const char* const op = "X1::GetAutoHdrCaptureSetting";
    return AutoSetting(*this, op, options, roi, [](X1Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        if (!NeedsLight(op, s)) return false;
        // The bright end (98th percentile of the lit points) at 85 % of full
        // scale, the dark end (2nd percentile) at 50 %, where confidence is
        // full, and a middle exposure when they lie far apart.
        const int bright = vyxsim::ExposureFor(vyxsim::cam::Percentile(s.signal_per_ms, 0.98), 0.85);
        const int dark = vyxsim::ExposureFor(vyxsim::cam::Percentile(s.signal_per_ms, 0.02), 0.5);
        int times[3] = {bright, dark, dark};
        int n = 1;
        if (dark > bright * 1.5) {
            n = 2;
            if (dark > bright * 6) {
                n = 3;
                times[1] = vyxsim::ClampExposure(std::sqrt(static_cast<double>(bright) * dark));
                times[2] = dark;
            }
        }
        o->hdr_exposure_times = n;
        for (int i = 0; i < 3; ++i) {
            o->hdr_exposure_time_content[i] = times[i];
            o->hdr_gain_content[i] = o->gain_3d;
            o->hdr_projector_brightness_content[i] = o->projector_brightness;
            o->hdr_scan_times_content[i] = std::clamp(o->scan_times, vyxsim::kScanTimesMin, vyxsim::kScanTimesMax);
        }
        o->exposure_time_3d = bright;
        return true;
    });
}

bool X1::GetAutoNoiseRemovalSetting(CaptureOptions& options) {
    static const char* const op = "X1::GetAutoNoiseRemovalSetting";
    return AutoSetting(*this, op, options, ROI(0, 0, 0, 0), [](X1Obj& c, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        // Three times the spacing of neighbouring points at the median depth.
        const double z = vyxsim::cam::Percentile(s.depth, 0.5);
        const double spacing_mm = z / c.Model().fx * 1000.0;
        o->noise_removal_distance = std::round(3.0 * spacing_mm * 1000.0) / 1000.0;
        o->noise_removal_point_number = std::max(o->noise_removal_point_number, 1);
        return true;
    });
}

bool X1::GetAuto2DExposureTime(CaptureOptions& options, const ROI& roi) {
    static const char* const op = "X1::GetAuto2DExposureTime";
    return AutoSetting(*this, op, options, roi, [](X1Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        o->exposure_time_2d = Exposure2DFor(s, o->gamma_2d);
        return true;
    });
}

// ---------------------------------------------------------------------------
// Settings files.

bool X1::LoadSettingFromFile(const char* path) {
    static const char* const op = "X1::LoadSettingFromFile";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"path", path}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::LoadSettingsFile(op, path, *c->device)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::SaveSettingToFile(const char* path) const {
    static const char* const op = "X1::SaveSettingToFile";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"path", path}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::SaveSettingsFile(op, path, *c->device)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// ---------------------------------------------------------------------------
// Region of interest.

bool X1::CheckRoi(ROI roi) const {
    static const char* const op = "X1::CheckRoi";
    const std::string roi_text = vyxsim::RoiText(roi);
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"roi", roi_text.c_str()}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    std::string why;
    if (!vyxsim::cam::RoiFollowsRules(c->Model(), roi, &why)) {
        return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": " + why);
    }
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

ROI X1::AutoAdjustRoi(ROI roi) const {
    static const char* const op = "X1::AutoAdjustRoi";
    const std::string roi_text = vyxsim::RoiText(roi);
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"roi", roi_text.c_str()}});
    if (g == Gate::Fail) return ROI(0, 0, 0, 0);
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return ROI(0, 0, 0, 0);
    const ROI out = vyxsim::cam::AdjustRoi(c->Model(), roi);
    if (g == Gate::FailAfterWork) return FailInjected(ROI(0, 0, 0, 0), op);
    return out;
}

bool X1::GetRoiRange(ROIRange& range) const {
    static const char* const op = "X1::GetRoiRange";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c) return false;
    range = vyxsim::cam::RoiRange(c->Model());
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// ---------------------------------------------------------------------------
// Protective cover.

namespace {
template <class Work>
bool CoverCall(const X1& self, const char* op, Work work) {
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(self)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(self, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!work(*c)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}
}  // namespace

bool X1::OpenProtectiveCover() {
    static const char* const op = "X1::OpenProtectiveCover";
    return CoverCall(*this, op, [](X1Obj& c) { return vyxsim::cam::CoverOpen(op, *c.device, *c.state, false); });
}

bool X1::CloseProtectiveCover() {
    static const char* const op = "X1::CloseProtectiveCover";
    return CoverCall(*this, op, [](X1Obj& c) { return vyxsim::cam::CoverClose(op, *c.device, *c.state, false); });
}

bool X1::ResetProtectiveCover() {
    static const char* const op = "X1::ResetProtectiveCover";
    return CoverCall(*this, op, [](X1Obj& c) { return vyxsim::cam::CoverReset(op, *c.device, *c.state); });
}

bool X1::OpenProtectiveCoverAsync() {
    static const char* const op = "X1::OpenProtectiveCoverAsync";
    return CoverCall(*this, op, [](X1Obj& c) { return vyxsim::cam::CoverOpen(op, *c.device, *c.state, true); });
}

bool X1::CloseProtectiveCoverAsync() {
    static const char* const op = "X1::CloseProtectiveCoverAsync";
    return CoverCall(*this, op, [](X1Obj& c) { return vyxsim::cam::CoverClose(op, *c.device, *c.state, true); });
}

bool X1::GetProtectiveCoverStatus(ProtectiveCoverStatus& status) const {
    static const char* const op = "X1::GetProtectiveCoverStatus";
    return CoverCall(*this, op, [&status](X1Obj& c) {
        ProtectiveCoverStatus s = ProtectiveCoverStatus_Unknown;
        if (!vyxsim::cam::CoverStatus(op, *c.device, *c.state, &s)) return false;
        status = s;
        return true;
    });
}

// ---------------------------------------------------------------------------
// User sets.

bool X1::SetCurrentUserSet(const int& index) {
    static const char* const op = "X1::SetCurrentUserSet";
    const int i = index;
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"index", i}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::SetCurrentUserSet(op, *c->state, i)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetCurrentUserSet(int& index) const {
    static const char* const op = "X1::GetCurrentUserSet";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::GetCurrentUserSet(op, *c->state, &index)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::SetUserSetName(const int& index, const char* name) {
    static const char* const op = "X1::SetUserSetName";
    const int i = index;
    // The traced name is bounded: the caller's text may be longer than any
    // name, or not terminated within the name's capacity.
    std::string shown = name ? vyxsim::Printable(std::string(name, strnlen(name, kUserSetNameCapacity)), 80) : "";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"index", i}, {"name", name ? shown.c_str() : nullptr}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::SetUserSetName(op, *c->state, i, name)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

bool X1::GetUserSetName(const int& index, char* name) const {
    static const char* const op = "X1::GetUserSetName";
    const int i = index;
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(*this)}, {"index", i}});
    if (g == Gate::Fail) return false;
    auto c = vyxsim::Lookup(*this, op);
    if (!c || !vyxsim::Ready(*c, op)) return false;
    if (!vyxsim::cam::GetUserSetName(op, *c->state, i, name)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

}  // namespace Vyx
