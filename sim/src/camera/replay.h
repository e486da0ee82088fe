// Captures of replay devices: instead of rendering a scene, a capture hands
// out the recorded frame at the device's cursor, through the same result
// objects as a live capture, with the capture options that can act on
// recorded data applied by the sensor layer's own tests (FilterMeasured):
// region of interest, confidence threshold, z truncation and the custom
// transformation. The X1 and X2 fronts call these where a live capture
// renders.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include <Eigen/Core>

#include "camera/camera_state.h"
#include "camera/options.h"
#include "camera/session.h"
#include "core/devices.h"
#include "core/handles.h"
#include "core/objects.h"
#include "sensor/model.h"
#include "vyx/types.h"
#include "vyx/x1.h"
#include "vyx/x2.h"

namespace vyxsim::cam {

inline bool IsReplay(const DeviceRecord& d) { return d.replay != nullptr; }

// Fails with kUnsupported naming `op` when `device` is a replay device,
// which has no scene for what `op` does; true otherwise.
bool NeedsScene(const char* op, const DeviceRecord& device);

// Whether a replay device opens as this kind (X2, or X1 with `camid`): the
// recording's own. Fails with kUnsupported naming the serial number and the
// recording otherwise; true for devices that are not replay devices.
bool ReplayOpens(const char* op, const DeviceRecord& device, bool x2, Vyx::CameraID camid);

// The image type of a device's images: the recorded one on a replay device.
Vyx::ImageType::Enum ImageTypeOf(const DeviceRecord& device);

// The calibration of camera `index` (0 left, 1 right) as
// GetIntrinsicParameters and GetExtrinsicMatrix return it (any output may be
// null): the recorded one on a replay device that recorded that camera, else
// that of its model.
void WriteCalibration(const DeviceRecord& device, int index, const CameraModel& model, float* camera_matrix9,
                      float* distortion5, float* matrix16);

// The recorded timestamp of the frame the device handed out last; false
// before any (and for devices that are not replay devices).
bool LastReplayTimestamp(const DeviceRecord& device, uint64_t* us);

// Frame of the recorded points to the frame of the returned points, from
// the device's custom transformation: T for the camera selectors (for the
// X2 right camera: T after the left-to-right change of the recorded
// extrinsics), the identity when disabled. The calibration board needs the
// scene: kUnsupported.
bool ReplayOutputX1(const char* op, const DeviceRecord& device, const Vyx::X1::CustomTransformOptions& ct,
                    Eigen::Matrix4d* out);
bool ReplayOutputX2(const char* op, const DeviceRecord& device, const Vyx::X2::CustomTransformOptions& ct,
                    Eigen::Matrix4d* out);

// The kUnsupported failure of what needs the extra camera on a replay
// device (recordings hold the left and right cameras only).
bool NoExtraRecorded(const char* op, const DeviceRecord& device);

// What a replay capture made, registered; moved into the camera's results
// once the capture may report success.
struct ReplayShot {
    Words points, depth, confidence, correspond;
    std::array<Words, 2> images;
    std::shared_ptr<PointMapObj> points_obj;
    std::shared_ptr<MapObj> depth_obj, confidence_obj, correspond_obj;
    std::array<std::shared_ptr<ImageObj>, 2> image_objs;
    std::size_t index = 0;
    uint64_t ticket = 0;

    // Removes what was registered.
    void Release();
};

// Takes the frame at the device's cursor: with `params`, the 3D maps (the
// correspondence on X2) filtered by them; the images of `images` (bit 0: X1
// image or X2 left, bit 1: X2 right). Fails (last error set, nothing left
// registered) when at_end is "fail" and every frame is out (kNotAvailable),
// a file no longer reads (kBadFile), or memory runs out.
bool TakeReplayFrame(const char* op, const DeviceRecord& device, const Params3D* params, unsigned images,
                     ReplayShot* shot);
// Moves the cursor on past the frame of `shot`, once it is handed out.
void ReplayHandedOut(const DeviceRecord& device, const ReplayShot& shot);

inline bool ReplayOutput(const char* op, const DeviceRecord& d, const Vyx::X1::CustomTransformOptions& ct,
                         Eigen::Matrix4d* out) {
    return ReplayOutputX1(op, d, ct, out);
}
inline bool ReplayOutput(const char* op, const DeviceRecord& d, const Vyx::X2::CustomTransformOptions& ct,
                         Eigen::Matrix4d* out) {
    return ReplayOutputX2(op, d, ct, out);
}

// Puts the 3D maps of `shot` into a camera's results record (X1Obj::Results,
// X2Obj::Results).
template <class R>
void Store3D(const ReplayShot& shot, R* r) {
    r->points = shot.points;
    r->points_obj = shot.points_obj;
    r->depth = shot.depth;
    r->depth_obj = shot.depth_obj;
    r->confidence = shot.confidence;
    r->confidence_obj = shot.confidence_obj;
}

// A replay capture of camera `c` (X1Obj, X2Obj; its mutex held): with
// options `o`, the 3D maps filtered by them (`p3` receives their record,
// with the custom transformation `transform` of the device's settings);
// without, the images of `images` only. True once `shot` holds the frame
// and the camera may still report it; the caller stores the results and
// calls ReplayHandedOut.
template <class C, class Transform>
bool ShootReplay(C& c, const char* op, const typename C::Options* o, Transform DeviceSettings::*transform,
                 unsigned images, Params3D* p3, ReplayShot* shot) {
    if (o) {
        *p3 = Params3DFrom(*o);
        Transform ct;
        {
            std::lock_guard<std::mutex> lock(c.state->mutex);
            ct = c.state->settings.*transform;
        }
        if (!ReplayOutput(op, *c.device, ct, &p3->output)) return false;
    }
    if (!TakeReplayFrame(op, *c.device, o ? p3 : nullptr, images, shot)) return false;
    if (StillCurrent(c, op)) return true;
    shot->Release();
    return false;
}

}  // namespace vyxsim::cam
