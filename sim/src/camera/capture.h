// Steps of a capture: rendering a camera of a device, the sensor and optics
// a device's camera has, simulated latency and the device clock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "camera/camera_state.h"
#include "sensor/model.h"
#include "core/devices.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/scene.h"

namespace vyxsim::cam {

// Distance (metres) at which the projector's irradiance is 1: the middle of
// the device's working range.
double ReferenceDistance(const DeviceRecord& device);

// What `camera` (one of the device's models) sees of the device's scene,
// with every `step`-th pixel: rendered once and then taken from the render
// cache. Null, with the failure set naming `op`, when the device's scene is
// invalid or the camera model unusable. `scene_out` (optional) receives the
// scene rendered.
std::shared_ptr<const scene::Frame> RenderCamera(const char* op, const std::shared_ptr<DeviceRecord>& device,
                                                 const CameraModel& camera, int step,
                                                 std::shared_ptr<const scene::Scene>* scene_out);

Sensor SensorFor(const DeviceRecord& device, const scene::Scene& scene, const std::array<float, 3>& balance);
// The camera with the projector as the other end of its triangulation.
Optics OpticsFor(const DeviceRecord& device, const CameraModel& camera, const scene::RayTable* rays);

// Spends the control interface's capture latency: waits for it in real
// mode, advances the model clock by it in manual mode (see core/clock.h).
// A real-mode wait ends early once `stop()` is true: the capture's camera is
// gone (see Interrupted in session.h).
void SimulateLatency(const std::function<bool()>& stop);

// Microseconds on the device clock: model-clock time since the device was
// opened (or its clock reset), plus the acquisition time simulated so far.
// Caller holds the state's mutex.
uint64_t DeviceClockUs(const CameraState& state);
// The same at the time `t`, from the state's `opened_at` and `simulated`;
// 0 before the clock's zero.
uint64_t DeviceClockUsAt(ModelClock::time_point opened_at, ModelClock::duration simulated, ModelClock::time_point t);

}  // namespace vyxsim::cam
