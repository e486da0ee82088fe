// The state a real camera device keeps for the life of the process, shared by
// every X1 and X2 handle of the device: who has it open, white balance,
// bandwidth, custom transformations, user sets with their stored capture
// options, the protective cover, temperatures and the capture counter.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/clock.h"
#include "core/devices.h"
#include "vyx/x1.h"
#include "vyx/x2.h"

namespace vyxsim {

struct UserSet {
    std::string name;
    Vyx::X1::CaptureOptions x1;  // stored by X1::SaveCaptureOptionParameters
    Vyx::X2::CaptureOptions x2;  // stored by X2::SaveCaptureOptionParameters
};

// The protective cover moves at a constant speed between closed (0) and open
// (1); a full stroke takes kCoverStrokeSeconds. Its position is computed from
// times on the model clock, so no thread drives it.
constexpr double kCoverStrokeSeconds = 0.3;

struct CoverState {
    double position = 1.0;  // at `since`
    double target = 1.0;
    ModelClock::time_point since{};

    double PositionAt(ModelClock::time_point now) const;
    Vyx::ProtectiveCoverStatus StatusAt(ModelClock::time_point now) const;
    // Starts moving toward `target` from wherever the cover is now.
    void MoveTo(double target, ModelClock::time_point now);
    // Puts the cover at `position` at once.
    void Set(double position, ModelClock::time_point now);
};

// What SaveSettingToFile writes and LoadSettingFromFile restores.
struct DeviceSettings {
    float bandwidth = 100.0f;                    // percent of the link
    std::array<float, 3> balance{1.0f, 1.0f, 1.0f};  // red, green, blue
    Vyx::X1::CustomTransformOptions x1_transform;
    Vyx::X2::CustomTransformOptions x2_transform;
    int current_user_set = 0;
    std::array<UserSet, Vyx::kUserSetCount> user_sets;
};

// Heat model of the projector and the camera electronics.
struct Thermal {
    double heat = 0.0;  // dimensionless, 0 = cold
    ModelClock::time_point updated{};
};

struct CameraState {
    explicit CameraState(const DeviceRecord& device);

    std::mutex mutex;  // guards everything below
    DeviceSettings settings;
    CoverState cover;
    Thermal thermal;
    uint64_t open_owner = 0;        // id of the X1/X2 that has the device open; 0: none
    uint64_t captures = 0;          // captures made on the device (noise streams)
    ModelClock::time_point opened_at{};  // device clock zero (Open, ResetTimestamp)
    // Acquisition time simulated since then: each capture adds the time it
    // would take, which the model clock does not pass.
    ModelClock::duration simulated{0};

    static ModelClock::time_point Now() { return ModelClock::now(); }
};

// The device's state, created on first use. Never null.
std::shared_ptr<CameraState> StateOf(DeviceRecord& device);

// The default white balance of a device (its factory calibration): the
// ratios that make a white surface under the projector come out grey.
std::array<float, 3> FactoryBalance(const DeviceRecord& device);
constexpr float kBalanceMin = 0.25f, kBalanceMax = 4.0f;
constexpr float kBandwidthMin = 10.0f, kBandwidthMax = 100.0f;

// Temperatures in degrees Celsius. `camera_index` 0 = left, 1 = right.
// Caller holds the state's mutex.
float ProjectorTemperature(CameraState& state);
float CameraTemperature(CameraState& state, int camera_index, Vyx::CameraTempSelector selector);
// Adds the heat of an acquisition of `seconds` at `brightness` (1..240).
// Caller holds the state's mutex.
void AddCaptureHeat(CameraState& state, double seconds, int brightness);

}  // namespace vyxsim
