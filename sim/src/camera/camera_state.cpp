// Device state: cover motion, heat, the factory balance and the state of each
// device.
#include "camera/camera_state.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>

#include "camera/options.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/x2_camera.h"
#include "core/error.h"
#include "core/json_read.h"
#include "data/formats/io.h"

namespace vyxsim {

// ---------------------------------------------------------------------------
// Cover.

double CoverState::PositionAt(ModelClock::time_point now) const {
    const double elapsed = std::chrono::duration<double>(now - since).count();
    const double travel = std::max(0.0, elapsed) / kCoverStrokeSeconds;
    if (target > position) return std::min(target, position + travel);
    return std::max(target, position - travel);
}

Vyx::ProtectiveCoverStatus CoverState::StatusAt(ModelClock::time_point now) const {
    const double p = PositionAt(now);
    if (p == target) return target >= 1.0 ? Vyx::ProtectiveCoverStatus_Open : Vyx::ProtectiveCoverStatus_Closed;
    return target > p ? Vyx::ProtectiveCoverStatus_Opening : Vyx::ProtectiveCoverStatus_Closing;
}

void CoverState::MoveTo(double new_target, ModelClock::time_point now) {
    position = PositionAt(now);
    since = now;
    target = new_target;
}

void CoverState::Set(double new_position, ModelClock::time_point now) {
    position = target = new_position;
    since = now;
}

// ---------------------------------------------------------------------------
// State.

std::array<float, 3> FactoryBalance(const DeviceRecord& device) {
    if (!device.color) return {1.0f, 1.0f, 1.0f};
    return {static_cast<float>(1.0 / cam::kColorResponse[0]), 1.0f, static_cast<float>(1.0 / cam::kColorResponse[2])};
}

CameraState::CameraState(const DeviceRecord& device) {
    settings.balance = FactoryBalance(device);
    for (int i = 0; i < Vyx::kUserSetCount; ++i) {
        settings.user_sets[static_cast<std::size_t>(i)].name = i == 0 ? "Default" : "UserSet" + std::to_string(i);
    }
    const auto now = ModelClock::now();
    cover.Set(1.0, now);
    thermal.updated = now;
    opened_at = now;
}

std::shared_ptr<CameraState> StateOf(DeviceRecord& device) {
    std::lock_guard<std::mutex> lock(device.mutex);
    if (!device.camera_state) device.camera_state = std::make_shared<CameraState>(device);
    return device.camera_state;
}

// ---------------------------------------------------------------------------
// Heat: one reservoir warmed by acquisitions, cooling exponentially.

namespace {

constexpr double kAmbientC = 24.0;
constexpr double kCoolingSeconds = 180.0;

void Cool(CameraState& s) {
    const auto now = s.Now();
    const double dt = std::chrono::duration<double>(now - s.thermal.updated).count();
    if (dt > 0.0) {
        s.thermal.heat *= std::exp(-dt / kCoolingSeconds);
        s.thermal.updated = now;
    }
}

double Warmth(const CameraState& s) { return 1.0 - std::exp(-s.thermal.heat); }

}  // namespace

void AddCaptureHeat(CameraState& s, double seconds, int brightness) {
    Cool(s);
    s.thermal.heat += 0.02 + 0.5 * seconds * std::clamp(brightness, 0, 255) / 240.0;
}

float ProjectorTemperature(CameraState& s) {
    Cool(s);
    return static_cast<float>(kAmbientC + 6.0 + 18.0 * Warmth(s));
}

float CameraTemperature(CameraState& s, int camera_index, Vyx::CameraTempSelector selector) {
    Cool(s);
    double offset = 9.0;
    switch (selector) {
        case Vyx::CameraTempSelector_Camera: offset = 9.0; break;
        case Vyx::CameraTempSelector_CoreBoard: offset = 14.0; break;
        case Vyx::CameraTempSelector_FpgaCore: offset = 21.0; break;
        case Vyx::CameraTempSelector_Framegrabberboard: offset = 12.0; break;
        case Vyx::CameraTempSelector_Sensor: offset = 7.0; break;
        case Vyx::CameraTempSelector_SensorBoard: offset = 8.0; break;
    }
    return static_cast<float>(kAmbientC + offset * (1.0 + 0.4 * Warmth(s)) + 0.4 * camera_index);
}

}  // namespace vyxsim
