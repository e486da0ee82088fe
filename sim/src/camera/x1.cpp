// The X1 front: the X1 camera object and the entry points of Vyx::X1 (one
// camera of a virtual device with its projector). Here are the 3D and 2D
// captures, the results, the custom transformation, temperatures, white
// balance and calibration; lifecycle, stored and automatic options and the
// device calls forward to the session layer (session.h, stored_options.h,
// auto_settings.h, device_calls.h).
//
// Each X1 handle names an X1Obj, a CameraSession (session.h). Its mutex
// serialises the captures of that camera and guards its results; no lock of
// wider reach is held while a capture renders, so cameras of different
// devices capture in parallel. Device-wide state (settings, cover, user
// sets, who has the device open) lives in the device's CameraState.
#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "camera/auto_settings.h"
#include "camera/bandwidth.h"
#include "camera/camera_state.h"
#include "camera/capture.h"
#include "camera/cover.h"
#include "camera/device_calls.h"
#include "camera/encoded_images.h"
#include "camera/options.h"
#include "camera/replay.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/session.h"
#include "camera/stored_options.h"
#include "camera/transform.h"
#include "camera/white_balance.h"
#include "core/call.h"
#include "core/clock.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/scene.h"
#include "vyx/x1.h"

namespace vyxsim {

namespace {

// Noise stream purposes.
constexpr uint64_t kNoise3D = 1, kNoise2D = 2, kNoiseBalance = 100;

}  // namespace

struct X1Obj : CameraSession {
    using Handle = Vyx::X1;
    using Options = Vyx::X1::CaptureOptions;
    static constexpr Kind kKind = Kind::X1;
    static constexpr const char* kName = "camera";
    static constexpr const char* kTraceArg = "camera";
    static constexpr const char* kUse = "an X1";
    static bool Supports(const DeviceRecord& d) { return d.support_x1; }

    X1Obj() : CameraSession(cam::NewSessionId()) {}

    Vyx::CameraID camid = Vyx::CameraID_Left;
    int camera_index = 0;  // 0 left, 1 right

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

    // The session layer's hooks (session.h).
    bool TakeDevice(const char* op) {
        return cam::ReplayOpens(op, *device, false, camid) && cam::AcquireDevice(op, *device, *state, id);
    }
    void CloseSession() { DropSession(); }
    void ReleaseCaptures();

    // Stored options and automatic settings (stored_options.h,
    // auto_settings.h).
    static Options& StoredIn(UserSet& set) { return set.x1; }
    bool ValidateStored(const Options& options, std::string* why) const {
        return ValidateOptions(options, *device, Model(), why);
    }
    const CameraModel& SamplingCamera(const Options&) const { return Model(); }
    static cam::Params2D Params2DOf(const Options& options) { return Params2DFrom(options); }
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

}  // namespace

void X1Obj::ReleaseCaptures() { ReleaseResults(results); }

namespace {

// Camera frame to the frame of the returned points.
bool OutputTransform(const char* op, const X1Obj& c, bool transform_to_camera,
                     const Vyx::X1::CustomTransformOptions& ct, const scene::Scene& sc, Eigen::Matrix4d* out) {
    const Eigen::Matrix4d cam_to_dev = scene::CameraToDevice(c.Model());
    const Eigen::Matrix4d T = cam::TransformMatrix(ct.transform);
    switch (ct.coordinate_select) {
        case Vyx::X1::CustomTransformOptions::CoordinateSelect_Camera:
            *out = T;
            return true;
        case Vyx::X1::CustomTransformOptions::CoordinateSelect_CaliBoard: {
            Eigen::Matrix4d to_board;
            if (!cam::DeviceToBoard(op, *c.device, sc, &to_board)) return false;
            *out = T * to_board * cam_to_dev;
            return true;
        }
        default:
            *out = transform_to_camera ? Eigen::Matrix4d::Identity() : cam_to_dev;
            return true;
    }
}

// ---------------------------------------------------------------------------
// Captures. The camera's mutex is held by the caller.

// A replay device hands out the recorded frame at its cursor: the 3D maps
// and the image with `o`, the image alone without (Capture2D).
bool ReplayCapture(X1Obj& c, const Vyx::X1::CaptureOptions* o, const char* op) {
    cam::Params3D p3;
    cam::ReplayShot shot;
    if (!cam::ShootReplay(c, op, o, &DeviceSettings::x1_transform, 1u, &p3, &shot)) return false;
    X1Obj::Results r;
    r.captured = true;
    r.last_was_2d = o == nullptr;
    r.image = shot.images[0];
    r.image_obj = shot.image_objs[0];
    cam::Store3D(shot, &r);
    r.params = p3;
    cam::ReplayHandedOut(*c.device, shot);
    ReleaseResults(c.results);
    c.results = std::move(r);
    return true;
}

bool Capture3D(X1Obj& c, const Vyx::X1::CaptureOptions& o, const char* op) {
    if (!CameraReady(c, op)) return false;
    std::string why;
    if (!ValidateOptions(o, *c.device, c.Model(), &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    if (!cam::CoverLetsCapture(op, *c.device, *c.state)) return false;
    cam::SimulateLatency([&c] { return Interrupted(c); });
    if (cam::IsReplay(*c.device)) return ReplayCapture(c, &o, op);

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
    // Compute3D writes every point, normal, depth and confidence, Shade2D
    // every image byte: the results need no filling.
    r.points = NewPointMap(o.calc_normal ? Vyx::PointMapType::PointsNormals : Vyx::PointMapType::PointsOnly, size,
                           &r.points_obj, false);
    if (!r.points.IsZero()) r.depth = NewMap(Kind::DepthMap, size, &r.depth_obj, false);
    if (!r.depth.IsZero()) r.confidence = NewMap(Kind::ConfidenceMap, size, &r.confidence_obj, false);
    const Vyx::ImageType::Enum itype = c.device->color ? Vyx::ImageType::BGR8 : Vyx::ImageType::Mono8;
    if (!r.confidence.IsZero() && o.enable_2d_in_capture) r.image = NewImage(itype, size, &r.image_obj, false);
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
    if (cam::IsReplay(*c.device)) return ReplayCapture(c, nullptr, op);

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
                       &r.image_obj, false);  // Shade2D writes every byte
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

X1 X1::Create(const Device& device, CameraID camid) {
    return vyxsim::CreateCamera<X1Obj>(
        "X1::Create", device, {{"device", HandleAccess::Get(device)}, {"camid", static_cast<int>(camid)}},
        [camid](const char* op) {
            if (camid == CameraID_Left || camid == CameraID_Right) return true;
            return Fail(false, vyxsim::kInvalidArgument,
                        std::string(op) + ": camid " + std::to_string(static_cast<int>(camid)) +
                            " is not CameraID_Left (1) or CameraID_Right (2)");
        },
        [camid](X1Obj& obj) {
            obj.camid = camid;
            obj.camera_index = camid == CameraID_Right ? 1 : 0;
        });
}

void X1::Destroy(X1& camera) { vyxsim::DestroyCamera<X1Obj>("X1::Destroy", camera); }

bool X1::Open() { return vyxsim::OpenCamera<X1Obj>(*this, "X1::Open"); }

void X1::Close() { vyxsim::CloseCamera<X1Obj>(*this, "X1::Close"); }

bool X1::IsValid() const { return vyxsim::IsValid<X1Obj>(*this, "X1::IsValid"); }

bool X1::IsOpen() const { return vyxsim::IsOpen<X1Obj>(*this, "X1::IsOpen"); }

bool X1::IsPhysicallyConnected() const {
    return vyxsim::IsPhysicallyConnected<X1Obj>(*this, "X1::IsPhysicallyConnected");
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
        const CaptureOptions options = vyxsim::StoredOptions(c);
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
        const CaptureOptions options = vyxsim::StoredOptions(c);
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
        if (!vyxsim::cam::NeedsScene(op, *c.device)) return false;
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
        if (!vyxsim::cam::NeedsScene(op, *c.device)) return false;
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
        vyxsim::cam::WriteCalibration(*c.device, c.camera_index, c.Model(), nullptr, nullptr, matrix16);
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
        vyxsim::cam::WriteCalibration(*c.device, c.camera_index, c.Model(), camera_matrix9, distortion5, nullptr);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Capture options: stored and automatic.

bool X1::SaveCaptureOptionParameters(const CaptureOptions& options) {
    return vyxsim::calls::SaveCaptureOptions<X1Obj>(*this, "X1::SaveCaptureOptionParameters", options);
}

bool X1::LoadCaptureOptionParameters(CaptureOptions& options) const {
    return vyxsim::calls::LoadCaptureOptions<X1Obj>(*this, "X1::LoadCaptureOptionParameters", options);
}

bool X1::GetAutoCaptureSetting(CaptureOptions& options, const ROI& roi) {
    return vyxsim::calls::AutoCaptureSetting<X1Obj>(*this, "X1::GetAutoCaptureSetting", options, roi);
}

bool X1::GetAutoHdrCaptureSetting(CaptureOptions& options, const ROI& roi) {
    return vyxsim::calls::AutoHdrCaptureSetting<X1Obj>(*this, "X1::GetAutoHdrCaptureSetting", options, roi);
}

bool X1::GetAutoNoiseRemovalSetting(CaptureOptions& options) {
    return vyxsim::calls::AutoNoiseRemovalSetting<X1Obj>(*this, "X1::GetAutoNoiseRemovalSetting", options);
}

bool X1::GetAuto2DExposureTime(CaptureOptions& options, const ROI& roi) {
    return vyxsim::calls::Auto2DExposureTime<X1Obj>(*this, "X1::GetAuto2DExposureTime", options, roi);
}

// ---------------------------------------------------------------------------
// Bandwidth, projector temperature and ranges, settings files, region of
// interest, protective cover and user sets: the device's, whichever handle
// names it (device_calls.h).

bool X1::SetBandwidth(float bandwidth) {
    return vyxsim::calls::SetBandwidth<X1Obj>(*this, "X1::SetBandwidth", bandwidth);
}

bool X1::GetProjectorTemperature(float& celsius) const {
    return vyxsim::calls::ProjectorTemperature<X1Obj>(*this, "X1::GetProjectorTemperature", celsius);
}

bool X1::GetExposureTimeRange(int* min, int* max) const {
    return vyxsim::calls::WriteRange<X1Obj>(*this, "X1::GetExposureTimeRange", min, max, vyxsim::kExposureMin,
                                           vyxsim::kExposureMax);
}

bool X1::GetGainRange(float* min, float* max) const {
    return vyxsim::calls::WriteRange<X1Obj>(*this, "X1::GetGainRange", min, max, vyxsim::kGainMin, vyxsim::kGainMax);
}

bool X1::GetGammaRange(float* min, float* max) const {
    return vyxsim::calls::WriteRange<X1Obj>(*this, "X1::GetGammaRange", min, max, vyxsim::kGammaMin, vyxsim::kGammaMax);
}

bool X1::LoadSettingFromFile(const char* path) {
    return vyxsim::calls::LoadSettings<X1Obj>(*this, "X1::LoadSettingFromFile", path);
}

bool X1::SaveSettingToFile(const char* path) const {
    return vyxsim::calls::SaveSettings<X1Obj>(*this, "X1::SaveSettingToFile", path);
}

bool X1::CheckRoi(ROI roi) const { return vyxsim::calls::CheckRoi<X1Obj>(*this, "X1::CheckRoi", roi); }

ROI X1::AutoAdjustRoi(ROI roi) const { return vyxsim::calls::AutoAdjustRoi<X1Obj>(*this, "X1::AutoAdjustRoi", roi); }

bool X1::GetRoiRange(ROIRange& range) const {
    return vyxsim::calls::RoiRange<X1Obj>(*this, "X1::GetRoiRange", range);
}

bool X1::OpenProtectiveCover() {
    return vyxsim::calls::OpenCover<X1Obj>(*this, "X1::OpenProtectiveCover", false);
}

bool X1::CloseProtectiveCover() {
    return vyxsim::calls::CloseCover<X1Obj>(*this, "X1::CloseProtectiveCover", false);
}

bool X1::ResetProtectiveCover() {
    return vyxsim::calls::ResetCover<X1Obj>(*this, "X1::ResetProtectiveCover");
}

bool X1::OpenProtectiveCoverAsync() {
    return vyxsim::calls::OpenCover<X1Obj>(*this, "X1::OpenProtectiveCoverAsync", true);
}

bool X1::CloseProtectiveCoverAsync() {
    return vyxsim::calls::CloseCover<X1Obj>(*this, "X1::CloseProtectiveCoverAsync", true);
}

bool X1::GetProtectiveCoverStatus(ProtectiveCoverStatus& status) const {
    return vyxsim::calls::CoverStatus<X1Obj>(*this, "X1::GetProtectiveCoverStatus", status);
}

bool X1::SetCurrentUserSet(const int& index) {
    return vyxsim::calls::SetCurrentUserSet<X1Obj>(*this, "X1::SetCurrentUserSet", index);
}

bool X1::GetCurrentUserSet(int& index) const {
    return vyxsim::calls::GetCurrentUserSet<X1Obj>(*this, "X1::GetCurrentUserSet", index);
}

bool X1::SetUserSetName(const int& index, const char* name) {
    return vyxsim::calls::SetUserSetName<X1Obj>(*this, "X1::SetUserSetName", index, name);
}

bool X1::GetUserSetName(const int& index, char* name) const {
    return vyxsim::calls::GetUserSetName<X1Obj>(*this, "X1::GetUserSetName", index, name);
}

}  // namespace Vyx
