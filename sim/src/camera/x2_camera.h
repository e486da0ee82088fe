// The X2 camera object (X2Obj, a CameraSession of session.h) and what the X2
// front (x2.cpp) and its line scan (x2_linescan.cpp) read of it: its
// cameras, its results, the checks of an X2 options record, the frame its
// points come in, and the entry frame of an X2 call. x2_camera.cpp holds
// them.
//
// An X2 handle names an X2Obj. Its mutex serialises the captures and the line
// scan of that handle and guards their results; no lock of wider reach is
// held while it renders. Device-wide state (settings, cover, user sets, who
// has the device open, the device clock) lives in the device's CameraState,
// shared with the X1 handles of the same device.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <Eigen/Core>

#include "camera/camera_state.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/session.h"
#include "core/call.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "rendering/render.h"
#include "scene/scene.h"
#include "vyx/x2.h"

namespace vyxsim {

// Cameras of an X2 device, as indices of per-camera arrays.
constexpr int kLeftCam = 0, kRightCam = 1, kExtraCam = 2;

// Noise stream purposes of X2 acquisitions (the capture index keeps them
// apart from X1's, as every acquisition of a device takes a new one).
constexpr uint64_t kX2Noise3D = 11, kX2Noise2D = 12, kX2NoiseScan = 13, kX2NoiseBalance = 200;

struct X2Scan;  // a running fixed line scan (x2_linescan.h)

struct X2Obj : CameraSession {
    using Handle = Vyx::X2;
    using Options = Vyx::X2::CaptureOptions;
    static constexpr Kind kKind = Kind::X2;
    static constexpr const char* kName = "X2";
    static constexpr const char* kTraceArg = "x2";
    static constexpr const char* kUse = "an X2";
    static bool Supports(const DeviceRecord& d) { return d.support_x2; }

    X2Obj();

    CameraModel extra;  // the extra camera, when the device has one

    // The mutex of the session guards, besides the captures, the line scan.
    struct Results {
        bool captured = false;     // a capture succeeded
        bool last_was_2d = false;  // the last capture was Capture2D
        std::array<Words, 3> image;  // by camera index
        std::array<std::shared_ptr<ImageObj>, 3> image_obj;
        Words depth, confidence, correspond, points, mesh;
        std::shared_ptr<MapObj> depth_obj, confidence_obj, correspond_obj;
        std::shared_ptr<PointMapObj> points_obj;
        std::shared_ptr<MeshObj> mesh_obj;
        // What the pattern images of the last 3D capture are made from
        // (left and right).
        std::array<std::shared_ptr<const scene::Frame>, 2> frames;
        cam::Params3D params;
        double ambient = 0.0;
    } results;
    std::shared_ptr<X2Scan> scan;  // while a fixed line scan runs

    // Model of camera `index` (kLeftCam, kRightCam, kExtraCam).
    const CameraModel& Model(int index) const;
    // The region of interest is the left camera's (both cameras have its size).
    const CameraModel& RoiCamera() const { return Model(kLeftCam); }

    // The session layer's hooks (session.h): taking the device also ends a
    // line scan left over from a lost connection; closing ends a running one;
    // Destroy ends the scan and releases the results.
    bool TakeDevice(const char* op);
    void CloseSession();
    void ReleaseCaptures();

    // Stored options and automatic settings (stored_options.h,
    // auto_settings.h): they are for the measuring camera.
    static Options& StoredIn(UserSet& set) { return set.x2; }
    bool ValidateStored(const Options& options, std::string* why) const;
    const CameraModel& SamplingCamera(const Options& options) const;
    static cam::Params2D Params2DOf(const Options& options);
};

// Connected and open (cam::SessionReady).
inline bool X2Ready(X2Obj& c, const char* op) { return CameraReady(c, op); }

// Camera index of a CameraID (Left, Right, or Extra when the device has one);
// -1 with the last error set otherwise.
int CameraIndex(const X2Obj& c, Vyx::CameraID id, const char* op);
const char* CameraName(int index);

// The extra camera of a device that has one: the left camera's optics, 35 mm
// above the projector, looking the same way.
CameraModel ExtraCameraModel(const DeviceRecord& device);
// Distance between the left and the right camera, metres.
double StereoBaseline(const DeviceRecord& device);

// The fields an X2 record shares with the X1 record, in an X1 record (the
// others at their defaults), so that the capture steps read both records the
// same way.
Vyx::X1::CaptureOptions SharedFields(const Vyx::X2::CaptureOptions& options);

// What a record is checked for.
enum class X2Use {
    Capture,   // a 3D capture (area capture modes only)
    LineScan,  // a fixed line scan (the line-scanner fields)
    Store,     // stored parameters: any mode the device supports
};
// Checks `options` for `use` on `device`; on failure `error` names the field
// and its range.
bool ValidateX2(const Vyx::X2::CaptureOptions& options, X2Use use, const DeviceRecord& device, std::string* error);

// Camera that measures the points of a capture: the right one for
// transform_to_camera Right, else the left one.
int MeasuringCamera(Vyx::CameraID transform_to_camera);
// Device frame to the frame the points of a capture or scan come in, from
// transform_to_camera and the custom transformation. Fails (last error set)
// when the custom transformation needs what the device or scene lacks.
bool DeviceToOutput(const char* op, const X2Obj& c, Vyx::CameraID transform_to_camera,
                    const Vyx::X2::CustomTransformOptions& custom, const scene::Scene& scene,
                    Eigen::Matrix4d* out);

// Releases result objects the camera holds.
void ReleaseX2Results(X2Obj::Results& r);
// Ends a line scan (the caller holds the camera's mutex).
void EndScan(X2Obj& c);

// What an X2 entry point needs before its work runs.
using X2Need = Need;

// The frame of an X2 entry point (RunCamera).
template <class Work>
bool RunX2(const char* op, const Vyx::X2& self, std::initializer_list<TraceArg> args, X2Need need, Work&& work) {
    return RunCamera<X2Obj>(op, self, args, need, std::forward<Work>(work));
}

// RunX2 for the calls that hand out a handle: `work(c, &words)`.
template <class H, class Work>
H RunX2Handle(const char* op, const Vyx::X2& self, std::initializer_list<TraceArg> args, X2Need need, Work&& work) {
    return RunCameraHandle<H, X2Obj>(op, self, args, need, std::forward<Work>(work));
}

}  // namespace vyxsim
