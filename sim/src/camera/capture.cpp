// Steps of a capture: rendering, sensor, optics, latency, device clock.
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

void SimulateLatency(const std::function<bool()>& stop) { SpendCaptureLatency(stop); }

uint64_t DeviceClockUsAt(ModelClock::time_point opened_at, ModelClock::duration simulated, ModelClock::time_point t) {
    const ModelClock::duration since = (t - opened_at) + simulated;
    return since.count() <= 0 ? 0 : static_cast<uint64_t>(since.count() / 1000);
}

uint64_t DeviceClockUs(const CameraState& s) { return DeviceClockUsAt(s.opened_at, s.simulated, s.Now()); }

}  // namespace vyxsim::cam
