// Vyx::X1: one camera of a virtual device with its projector.
//
// Each X1 handle names an X1Obj. Its mutex serialises the captures of that
// camera and guards its results; no lock of wider reach is held while a
// capture renders, so cameras of different devices capture in parallel.
// Device-wide state (settings, cover, user sets, who has the device open)
// lives in the device's CameraState.
#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "camera/camera_calls.h"
#include "camera/camera_entry.h"
#include "camera/camera_state.h"
#include "camera/capture.h"
#include "camera/maintenance.h"
#include "camera/options.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/x2_shared.h"
#include "core/call.h"
#include "core/clock.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/ground_truth.h"
#include "scene/scene.h"
#include "vyx/x1.h"

namespace vyxsim {

namespace {

// Noise stream purposes.
constexpr uint64_t kNoise3D = 1, kNoise2D = 2, kNoiseBalance = 100;

}  // namespace

struct X1Obj : Object {
    using Handle = Vyx::X1;
    static constexpr Kind kKind = Kind::X1;
    static constexpr const char* kName = "camera";
    static constexpr const char* kTraceArg = "camera";

    uint64_t id = cam::NewSessionId();
    std::shared_ptr<DeviceRecord> device;
    std::shared_ptr<CameraState> state;
    Vyx::CameraID camid = Vyx::CameraID_Left;
    int camera_index = 0;  // 0 left, 1 right
    std::atomic<bool> open{false};
    uint64_t epoch = 0;  // the system generation the camera was created in
    // Set by Destroy before it waits for the mutex, so that a capture in
    // progress fails instead of storing results.
    std::atomic<bool> destroyed{false};

    std::mutex mutex;  // captures and everything below
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
    const CameraModel& RoiCamera() const { return Model(); }

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
                                cam::DeviceText(*c.device) + " has none");
            }
            *out = T * board.pose.inverse() * cam_to_dev;
            return true;
        }
        default:
            *out = transform_to_camera ? Eigen::Matrix4d::Identity() : cam_to_dev;
            return true;
    }
}

// ---------------------------------------------------------------------------
// Captures. The camera's mutex is held by the caller.

bool Capture3D(X1Obj& c, const Vyx::X1::CaptureOptions& o, const char* op) {
    if (!CameraReady(c, op)) return false;
    std::string why;
    if (!ValidateOptions(o, *c.device, c.Model(), &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency([&c] { return Interrupted(c); });

    std::shared_ptr<const scene::Scene> sc;
    const auto frame = cam::RenderCamera(op, c.device, c.Model(), 1, &sc);
    if (!frame) return false;

    uint64_t capture_index;
    std::array<float, 3> balance;
    Vyx::X1::CustomTransformOptions ct;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        capture_index = ++c.state->captures;
        balance = c.state->settings.balance;
        ct = c.state->settings.x1_transform;
    }
    cam::Params3D p3 = Params3DFrom(o);
    if (!OutputTransform(op, c, o.transform_to_camera, ct, *sc, &p3.output)) return false;
    const cam::Params2D p2 = Params2DFrom(o);

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
        c.state->simulated += ClockSeconds(seconds);
        r.points_obj->timestamp.store(cam::DeviceClockUs(*c.state));
    }

    if (!StillCurrent(c, op)) {
        ReleaseResults(r);
        return false;
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
    if (!CameraReady(c, op)) return false;
    if (!cam::Validate2DFields(op, o)) return false;
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency([&c] { return Interrupted(c); });

    std::shared_ptr<const scene::Scene> sc;
    const auto rendered = cam::RenderCamera(op, c.device, c.Model(), 1, &sc);
    if (!rendered) return false;
    const scene::Frame& frame = *rendered;
    uint64_t capture_index;
    std::array<float, 3> balance;
    {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        capture_index = ++c.state->captures;
        balance = c.state->settings.balance;
    }
    const cam::Params2D p2 = Params2DFrom(o);
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
        c.state->simulated += ClockSeconds(seconds);
    }
    if (!StillCurrent(c, op)) {
        ReleaseResults(r);
        return false;
    }
    r.captured = true;
    r.last_was_2d = true;
    ReleaseResults(c.results);
    c.results = std::move(r);
    return true;
}

// The options stored in the current user set.
Vyx::X1::CaptureOptions StoredX1Options(X1Obj& c) {
    std::lock_guard<std::mutex> lock(c.state->mutex);
    return c.state->settings.user_sets[static_cast<std::size_t>(c.state->settings.current_user_set)].x1;
}

// The frame of an X1 entry point (RunCamera).
template <class Work>
bool RunX1(const char* op, const Vyx::X1& self, std::initializer_list<TraceArg> args, Need need, Work&& work) {
    return RunCamera<X1Obj>(op, self, args, need, std::forward<Work>(work));
}

// A result of the last capture, handed out under the camera's mutex.
template <class H, class O>
H Result(const Vyx::X1& self, const char* op, Kind kind, Words X1Obj::Results::*words,
         std::shared_ptr<O> X1Obj::Results::*obj, const char* what) {
    return RunCameraHandle<H, X1Obj>(op, self, {{"camera", Vyx::HandleAccess::Get(self)}}, Need::Handle,
                                     [&](X1Obj& c, Words* w) {
        std::lock_guard<std::mutex> lock(c.mutex);
        return HandOutCurrent(c, op, kind, w, [&](Words* out) {
            return HandOutResult(op, c.results, kind, words, obj, what, out);
        });
    });
}

// The frame of the automatic settings: open camera, cover, samples, then
// `work` on a copy that replaces `options` only on success.
template <class Work>
bool AutoSetting(const Vyx::X1& self, const char* op, Vyx::X1::CaptureOptions& options, const Vyx::ROI& roi, Work work) {
    const std::string text = OptionsTrace(options);
    const std::string roi_text = cam::RoiText(roi);
    return RunX1(op, self, {{"camera", Vyx::HandleAccess::Get(self)}, {"options", text.c_str()}, {"roi", roi_text.c_str()}},
                 Need::Handle, [&](X1Obj& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!CameraReady(c, op)) return false;
        if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
        cam::Samples samples;
        if (!cam::QuickSamples(op, c.device, *c.state, c.Model(), options.gain_3d, options.projector_brightness,
                               Params2DFrom(options), roi, &samples)) {
            return false;
        }
        Vyx::X1::CaptureOptions result = options;
        if (!work(c, samples, &result)) return false;
        if (!StillCurrent(c, op)) return false;
        options = result;
        return true;
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
using vyxsim::Need;
using vyxsim::RunX1;
using vyxsim::X1Obj;

X1 X1::Create(const Device& device, CameraID camid) try {
    static const char* const op = "X1::Create";
    const Gate g = Enter(op, {{"device", HandleAccess::Get(device)}, {"camid", static_cast<int>(camid)}});
    if (g == Gate::Fail) return X1();
    uint64_t epoch = 0;
    if (!vyxsim::CallEpoch(op, &epoch)) return X1();
    auto rec = vyxsim::DeviceFromHandle(HandleAccess::Get(device), op);
    if (!rec) return X1();
    if (camid != CameraID_Left && camid != CameraID_Right) {
        return Fail(X1(), vyxsim::kInvalidArgument,
                    std::string(op) + ": camid " + std::to_string(static_cast<int>(camid)) +
                        " is not CameraID_Left (1) or CameraID_Right (2)");
    }
    if (!rec->support_x1) {
        return Fail(X1(), vyxsim::kUnsupported, std::string(op) + ": " + vyxsim::cam::DeviceText(*rec) + " cannot be used as an X1");
    }
    if (!rec->connected.load()) {
        return Fail(X1(), vyxsim::kDisconnected, std::string(op) + ": " + vyxsim::cam::DeviceText(*rec) + " is disconnected");
    }
    auto obj = std::make_shared<X1Obj>();
    obj->device = rec;
    obj->state = vyxsim::StateOf(*rec);
    obj->camid = camid;
    obj->camera_index = camid == CameraID_Right ? 1 : 0;
    obj->epoch = epoch;
    const vyxsim::Words w = vyxsim::RegisterObject(vyxsim::Kind::X1, obj);
    if (w.IsZero()) return X1();
    if (!vyxsim::SameEpoch(op, epoch)) {  // a shutdown came in between
        vyxsim::RemoveObject(vyxsim::Kind::X1, w);
        return X1();
    }
    if (g == Gate::FailAfterWork) {
        vyxsim::RemoveObject(vyxsim::Kind::X1, w);
        return FailInjected(X1(), op);
    }
    return HandleAccess::Make<X1>(w);
} catch (...) {
    return vyxsim::FailUnexpected(X1());
}

void X1::Destroy(X1& camera) try {
    static const char* const op = "X1::Destroy";
    const Gate g = Enter(op, {{"camera", HandleAccess::Get(camera)}});
    if (g == Gate::Fail) return;
    auto obj = std::static_pointer_cast<X1Obj>(vyxsim::RemoveObject(vyxsim::Kind::X1, HandleAccess::Get(camera)));
    HandleAccess::Set(camera, vyxsim::Words{});
    if (!obj) {
        vyxsim::SetLastError(vyxsim::kInvalidHandle, std::string(op) + ": the camera handle names no camera");
        return;
    }
    // A capture in progress stops waiting out its latency and fails; the
    // mutex then waits only for the rest of it.
    obj->destroyed.store(true);
    vyxsim::WakeLatencyWaiters();
    {
        std::lock_guard<std::mutex> lock(obj->mutex);
        vyxsim::ReleaseResults(obj->results);
    }
    obj->DropSession();
    if (g == Gate::FailAfterWork) FailInjected(0, op);
} catch (...) {
    vyxsim::FailUnexpected();
}

bool X1::Open() try {
    static const char* const op = "X1::Open";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle, [](X1Obj& c) {
        if (!vyxsim::cam::SessionConnected(c, op)) return false;
        if (!vyxsim::cam::AcquireDevice(op, *c.device, *c.state, c.id)) return false;
        c.open.store(true);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

void X1::Close() try {
    static const char* const op = "X1::Close";
    RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle, [](X1Obj& c) {
        c.DropSession();
        return true;
    });
} catch (...) {
    vyxsim::FailUnexpected();
}

// ---------------------------------------------------------------------------
// Captures.

bool X1::Capture(const CaptureOptions& options) try {
    static const char* const op = "X1::Capture";
    const std::string text = vyxsim::OptionsTrace(options);
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}, {"options", text.c_str()}}, Need::Handle,
                 [&options](X1Obj& c) { return vyxsim::Locked(c, op, [&] { return vyxsim::Capture3D(c, options, op); }); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::Capture() try {
    static const char* const op = "X1::Capture";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle, [](X1Obj& c) {
        const CaptureOptions options = vyxsim::StoredX1Options(c);
        return vyxsim::Locked(c, op, [&] { return vyxsim::Capture3D(c, options, op); });
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::Capture2D(const CaptureOptions& options) try {
    static const char* const op = "X1::Capture2D";
    const std::string text = vyxsim::OptionsTrace(options);
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}, {"options", text.c_str()}}, Need::Handle,
                 [&options](X1Obj& c) { return vyxsim::Locked(c, op, [&] { return vyxsim::Capture2DOnly(c, options, op); }); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::Capture2D() try {
    static const char* const op = "X1::Capture2D";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle, [](X1Obj& c) {
        const CaptureOptions options = vyxsim::StoredX1Options(c);
        return vyxsim::Locked(c, op, [&] { return vyxsim::Capture2DOnly(c, options, op); });
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Results.

Image X1::GetImage() try {
    return vyxsim::Result<Image>(*this, "X1::GetImage", vyxsim::Kind::Image, &X1Obj::Results::image,
                                 &X1Obj::Results::image_obj, "2D image");
} catch (...) {
    return vyxsim::FailUnexpected(Image());
}

DepthMap X1::GetDepthMap() try {
    return vyxsim::Result<DepthMap>(*this, "X1::GetDepthMap", vyxsim::Kind::DepthMap, &X1Obj::Results::depth,
                                    &X1Obj::Results::depth_obj, "depth map");
} catch (...) {
    return vyxsim::FailUnexpected(DepthMap());
}

PointMap X1::GetPointMap() try {
    return vyxsim::Result<PointMap>(*this, "X1::GetPointMap", vyxsim::Kind::PointMap, &X1Obj::Results::points,
                                    &X1Obj::Results::points_obj, "point map");
} catch (...) {
    return vyxsim::FailUnexpected(PointMap());
}

ConfidenceMap X1::GetConfidenceMap() try {
    return vyxsim::Result<ConfidenceMap>(*this, "X1::GetConfidenceMap", vyxsim::Kind::ConfidenceMap,
                                         &X1Obj::Results::confidence, &X1Obj::Results::confidence_obj,
                                         "confidence map");
} catch (...) {
    return vyxsim::FailUnexpected(ConfidenceMap());
}

Mesh X1::GetMesh() try {
    static const char* const op = "X1::GetMesh";
    return vyxsim::RunCameraHandle<Mesh, X1Obj>(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle,
                                                [](X1Obj& c, vyxsim::Words* w) {
        std::lock_guard<std::mutex> lock(c.mutex);
        return vyxsim::HandOutCurrent(c, op, vyxsim::Kind::Mesh, w,
                                      [&](vyxsim::Words* out) { return vyxsim::HandOutMesh(op, c.results, out); });
    });
} catch (...) {
    return vyxsim::FailUnexpected(Mesh());
}

bool X1::SaveEncodedImagesData(const char* path) try {
    static const char* const op = "X1::SaveEncodedImagesData";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}, {"path", path}}, Need::Handle, [path](X1Obj& c) {
        if (!path || !*path) {
            return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the directory path is null or empty");
        }
        std::lock_guard<std::mutex> lock(c.mutex);
        const auto& r = c.results;
        if (!r.frame) {
            return Fail(false, vyxsim::kWrongState,
                        std::string(op) + ": " +
                            (r.captured ? "the last capture was a 2D capture, which projects no patterns"
                                        : "no 3D capture has been made yet"));
        }
        if (!vyxsim::cam::MakeDirectory(op, path)) return false;
        return vyxsim::cam::WritePatternImages(op, path, "", *r.frame, r.params, c.device->projector.width, r.ambient);
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Device settings.

bool X1::SetCustomTransformation(const CustomTransformOptions& options) try {
    static const char* const op = "X1::SetCustomTransformation";
    const std::string matrix = vyxsim::MatrixTrace(options.transform);
    return RunX1(op, *this,
                 {{"camera", HandleAccess::Get(*this)},
                  {"coordinate_select", static_cast<int>(options.coordinate_select)},
                  {"transform", matrix.c_str()}},
                 Need::Open, [&options](X1Obj& c) {
        const int sel = options.coordinate_select;
        if (sel < CustomTransformOptions::CoordinateSelect_Disabled || sel > CustomTransformOptions::CoordinateSelect_CaliBoard) {
            return Fail(false, vyxsim::kInvalidArgument,
                        std::string(op) + ": coordinate_select " + std::to_string(sel) + " is not Disabled, Camera or CaliBoard");
        }
        // A disabled transformation is stored as given, as long as it is finite.
        const bool used = sel != CustomTransformOptions::CoordinateSelect_Disabled;
        if (!vyxsim::cam::CheckTransformMatrix(op, options.transform, used)) return false;
        std::lock_guard<std::mutex> lock(c.state->mutex);
        c.state->settings.x1_transform = options;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetCustomTransformation(CustomTransformOptions& options) const try {
    static const char* const op = "X1::GetCustomTransformation";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Open, [&options](X1Obj& c) {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        options = c.state->settings.x1_transform;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetCameraResolution(Size& size) const try {
    static const char* const op = "X1::GetCameraResolution";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle, [&size](X1Obj& c) {
        size = Size{c.Model().width, c.Model().height};
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetCameraTemperature(CameraTempSelector selector, float& celsius) const try {
    static const char* const op = "X1::GetCameraTemperature";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}, {"selector", static_cast<int>(selector)}}, Need::Open,
                 [&](X1Obj& c) {
        if (selector < CameraTempSelector_Camera || selector > CameraTempSelector_SensorBoard) {
            return Fail(false, vyxsim::kInvalidArgument,
                        std::string(op) + ": selector " + std::to_string(static_cast<int>(selector)) + " is not a CameraTempSelector");
        }
        std::lock_guard<std::mutex> lock(c.state->mutex);
        celsius = vyxsim::CameraTemperature(*c.state, c.camera_index, selector);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// White balance.

bool X1::SetBalanceRatio(BalanceSelector selector, float ratio) try {
    static const char* const op = "X1::SetBalanceRatio";
    return RunX1(op, *this,
                 {{"camera", HandleAccess::Get(*this)}, {"selector", static_cast<int>(selector)}, {"ratio", static_cast<double>(ratio)}},
                 Need::Open, [&](X1Obj& c) { return vyxsim::cam::SetBalance(op, *c.device, *c.state, selector, ratio); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetBalanceRatio(BalanceSelector selector, float& ratio) const try {
    static const char* const op = "X1::GetBalanceRatio";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}, {"selector", static_cast<int>(selector)}}, Need::Open,
                 [&](X1Obj& c) { return vyxsim::cam::GetBalance(op, *c.device, *c.state, selector, &ratio); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetBalanceRange(BalanceSelector selector, float& min, float& max) const try {
    static const char* const op = "X1::GetBalanceRange";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}, {"selector", static_cast<int>(selector)}}, Need::Handle,
                 [&](X1Obj& c) { return vyxsim::cam::BalanceRange(op, *c.device, selector, &min, &max); });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::AutoWhiteBalance(int frames, const CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X1::AutoWhiteBalance";
    const std::string text = vyxsim::OptionsTrace(options);
    const std::string roi_text = vyxsim::cam::RoiText(roi);
    return RunX1(op, *this,
                 {{"camera", HandleAccess::Get(*this)}, {"frames", frames}, {"options", text.c_str()}, {"roi", roi_text.c_str()}},
                 Need::Handle, [&](X1Obj& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (!vyxsim::CameraReady(c, op)) return false;
        if (!vyxsim::cam::WhiteBalanceArgs(op, *c.device, frames, options, c.Model(), roi)) return false;
        if (!vyxsim::cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
        std::shared_ptr<const vyxsim::scene::Scene> sc;
        const auto rendered = vyxsim::cam::RenderCamera(op, c.device, c.Model(), 1, &sc);
        if (!rendered) return false;
        const vyxsim::scene::Frame& frame = *rendered;
        std::array<float, 3> current, ratios;
        uint64_t capture_index;
        {
            std::lock_guard<std::mutex> slock(c.state->mutex);
            current = c.state->settings.balance;
            capture_index = ++c.state->captures;
        }
        if (!vyxsim::cam::GreyWorldBalance(op, {{&frame, c.camera_index}}, c.device->serial, capture_index,
                                           vyxsim::kNoiseBalance, frames, vyxsim::Params2DFrom(options),
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

// ---------------------------------------------------------------------------
// Calibration.

bool X1::GetExtrinsicMatrix(float* matrix16) const try {
    static const char* const op = "X1::GetExtrinsicMatrix";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle, [matrix16](X1Obj& c) {
        if (!matrix16) return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the output array is null");
        for (int i = 0; i < 16; ++i) matrix16[i] = static_cast<float>(c.Model().pose[static_cast<std::size_t>(i)]);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetIntrinsicParameters(float* camera_matrix9, float* distortion5) const try {
    static const char* const op = "X1::GetIntrinsicParameters";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Handle, [&](X1Obj& c) {
        if (!camera_matrix9 || !distortion5) {
            return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": an output array is null");
        }
        const vyxsim::CameraModel& m = c.Model();
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

bool X1::SaveCaptureOptionParameters(const CaptureOptions& options) try {
    static const char* const op = "X1::SaveCaptureOptionParameters";
    const std::string text = vyxsim::OptionsTrace(options);
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}, {"options", text.c_str()}}, Need::Open,
                 [&options](X1Obj& c) {
        std::string why;
        if (!vyxsim::ValidateOptions(options, *c.device, c.Model(), &why)) {
            return Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": " + why);
        }
        std::lock_guard<std::mutex> lock(c.state->mutex);
        auto& s = c.state->settings;
        s.user_sets[static_cast<std::size_t>(s.current_user_set)].x1 = options;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::LoadCaptureOptionParameters(CaptureOptions& options) const try {
    static const char* const op = "X1::LoadCaptureOptionParameters";
    return RunX1(op, *this, {{"camera", HandleAccess::Get(*this)}}, Need::Open, [&options](X1Obj& c) {
        options = vyxsim::StoredX1Options(c);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetAutoCaptureSetting(CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X1::GetAutoCaptureSetting";
    return vyxsim::AutoSetting(*this, op, options, roi, [](X1Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        if (!vyxsim::cam::NeedsLight(op, s)) return false;
        o->exposure_time_3d = vyxsim::cam::AutoExposure3D(s);
        o->exposure_time_2d = vyxsim::cam::AutoExposure2D(s, o->gamma_2d);
        o->hdr_exposure_times = 0;
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetAutoHdrCaptureSetting(CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X1::GetAutoHdrCaptureSetting";
    return vyxsim::AutoSetting(*this, op, options, roi, [](X1Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        if (!vyxsim::cam::NeedsLight(op, s)) return false;
        vyxsim::cam::ApplyAutoHdr(s, o);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetAutoNoiseRemovalSetting(CaptureOptions& options) try {
    static const char* const op = "X1::GetAutoNoiseRemovalSetting";
    return vyxsim::AutoSetting(*this, op, options, ROI(0, 0, 0, 0), [](X1Obj& c, const vyxsim::cam::Samples& s, CaptureOptions* o) {
        o->noise_removal_distance = vyxsim::cam::AutoNoiseRemovalDistance(s, c.Model().fx);
        o->noise_removal_point_number = std::max(o->noise_removal_point_number, 1);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool X1::GetAuto2DExposureTime(CaptureOptions& options, const ROI& roi) try {
    static const char* const op = "X1::GetAuto2DExposureTime";
    return vyxsim::AutoSetting(*this, op, options, roi, [](X1Obj&, const vyxsim::cam::Samples& s, CaptureOptions* o) {
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

VYXSIM_DEFINE_DEVICE_CALLS(X1)

}  // namespace Vyx
