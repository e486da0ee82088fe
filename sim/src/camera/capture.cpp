// Shared capture steps.
#include "camera/capture.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/noise.h"
#include "sensor/samples.h"

#include <atomic>

#include "core/clock.h"
#include "core/error.h"
#include "rendering/frame_cache.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/device_scenes.h"

namespace vyxsim::cam {

double ReferenceDistance(const DeviceRecord& d) {
    if (d.workingdist_near_mm > 0 && d.workingdist_far_mm > d.workingdist_near_mm) {
        return (d.workingdist_near_mm + d.workingdist_far_mm) / 2000.0;
    }
    return 0.6;
}

std::shared_ptr<const scene::Frame> RenderCamera(const char* op, const std::shared_ptr<DeviceRecord>& device,
                                                 const CameraModel& camera, int step,
                                                 std::shared_ptr<const scene::Scene>* scene_out) {
    std::string why;
    auto sc = scene::SceneForDevice(device, &why);
    if (!sc) return Fail(nullptr, kInvalidArgument, std::string(op) + ": " + why);
    scene::RenderSetup setup;
    setup.camera = &camera;
    setup.projector = &device->projector;
    setup.reference_distance = ReferenceDistance(*device);
    setup.step = step;
    auto frame = scene::RenderCached(*sc, setup);
    if (!frame) {
        return Fail(nullptr, kInvalidArgument,
                    std::string(op) + ": the camera model of device '" + Printable(device->serial, 40) + "' is unusable");
    }
    if (scene_out) *scene_out = sc;
    return frame;
}

Sensor SensorFor(const DeviceRecord& d, const scene::Scene& s, const std::array<float, 3>& balance) {
    Sensor out;
    out.color = d.color;
    out.balance = balance;
    out.ambient = s.ambient;
    out.ambient_color = s.ambient_color;
    return out;
}

Optics OpticsFor(const DeviceRecord& d, const CameraModel& c, const scene::RayTable* rays) {
    Optics o;
    o.rays = rays;
    o.fx = c.fx;
    o.baseline = (scene::CameraCentre(d.projector) - scene::CameraCentre(c)).norm();
    if (!(o.baseline > 1e-4)) o.baseline = 0.05;  // a projector on the camera still triangulates in the model
    return o;
}

namespace {
std::atomic<uint64_t> g_next_session{1};
std::string Dev(const DeviceRecord& d) { return "device '" + Printable(d.serial, 40) + "'"; }
}  // namespace

uint64_t NewSessionId() { return g_next_session.fetch_add(1); }

bool DisconnectedError(const char* op, const DeviceRecord& d) {
    if (d.retired.load()) {
        return Fail(false, kDisconnected, std::string(op) + ": " + Dev(d) + " is no longer configured");
    }
    return Fail(false, kDisconnected, std::string(op) + ": " + Dev(d) + " is disconnected (unplugged)");
}

bool AcquireDevice(const char* op, const DeviceRecord& d, CameraState& s, uint64_t owner) {
    if (!d.connected.load()) return DisconnectedError(op, d);
    if (!d.firmware_match) {
        return Fail(false, kFirmwareMismatch, std::string(op) + ": the firmware of " + Dev(d) + " does not match this SDK");
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.open_owner != 0 && s.open_owner != owner) {
        return Fail(false, kWrongState,
                    std::string(op) + ": " + Dev(d) + " is already open through another X1 or X2 handle; close that first");
    }
    if (s.open_owner != owner) {
        s.open_owner = owner;
        s.opened_at = s.Now();
        s.simulated = ModelClock::duration{0};
    }
    return true;
}

void ReleaseDevice(CameraState& s, uint64_t owner) {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.open_owner == owner) s.open_owner = 0;
}

void SimulateLatency(const std::function<bool()>& stop) { SpendCaptureLatency(stop); }

uint64_t DeviceClockUsAt(ModelClock::time_point opened_at, ModelClock::duration simulated, ModelClock::time_point t) {
    const ModelClock::duration since = (t - opened_at) + simulated;
    return since.count() <= 0 ? 0 : static_cast<uint64_t>(since.count() / 1000);
}

uint64_t DeviceClockUs(const CameraState& s) { return DeviceClockUsAt(s.opened_at, s.simulated, s.Now()); }

}  // namespace vyxsim::cam
