// Device operations that X1 and X2 share: protective cover, user sets, white
// balance, bandwidth and region-of-interest rules. Each reports failures
// through the last error, naming `op`. The caller has checked that the camera
// is open where that is needed.
#pragma once

#include "camera/camera_state.h"
#include "core/devices.h"
#include "vyx/types.h"

namespace vyxsim::cam {

// Protective cover. Devices without one fail with kUnsupported.
bool CoverOpen(const char* op, const DeviceRecord& device, CameraState& state, bool async);
bool CoverClose(const char* op, const DeviceRecord& device, CameraState& state, bool async);
// Re-homes the cover: it ends closed at once.
bool CoverReset(const char* op, const DeviceRecord& device, CameraState& state);
bool CoverStatus(const char* op, const DeviceRecord& device, CameraState& state,
                 Vyx::ProtectiveCoverStatus* status);
// True when the device has no cover or its cover is fully open; else fails
// with kWrongState.
bool CoverLetsCapture(const char* op, const DeviceRecord& device, CameraState& state);

// User sets.
bool SetCurrentUserSet(const char* op, CameraState& state, int index);
bool GetCurrentUserSet(const char* op, CameraState& state, int* index);
bool SetUserSetName(const char* op, CameraState& state, int index, const char* name);
bool GetUserSetName(const char* op, CameraState& state, int index, char* name);

// White balance (colour devices only).
bool SetBalance(const char* op, const DeviceRecord& device, CameraState& state, Vyx::BalanceSelector selector,
                float ratio);
bool GetBalance(const char* op, const DeviceRecord& device, CameraState& state, Vyx::BalanceSelector selector,
                float* ratio);
bool BalanceRange(const char* op, const DeviceRecord& device, Vyx::BalanceSelector selector, float* min,
                  float* max);

// Link bandwidth in percent of the link (kBandwidthMin .. kBandwidthMax).
bool SetBandwidth(const char* op, CameraState& state, float percent);
// Bytes per second the device can send with its current bandwidth setting.
double LinkBytesPerSecond(DeviceRecord& device, CameraState& state);

// Region of interest rules of a camera: steps, minimum size, the image as
// maximum. An all-zero ROI stands for the whole image.
Vyx::ROIRange RoiRange(const CameraModel& camera);
// True when `roi` follows the rules; otherwise false with `why` set.
bool RoiFollowsRules(const CameraModel& camera, const Vyx::ROI& roi, std::string* why);
// The smallest ROI that follows the rules and covers as much of `roi` as lies
// inside the image.
Vyx::ROI AdjustRoi(const CameraModel& camera, const Vyx::ROI& roi);
// True when `roi` is all zero or lies inside the image (the rule captures
// and automatic settings apply); otherwise false with `why` set.
bool RoiInsideImage(const CameraModel& camera, const Vyx::ROI& roi, std::string* why);

}  // namespace vyxsim::cam
