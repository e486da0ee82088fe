// The link bandwidth setting of a device and the bytes per second its link
// then carries (which sets the simulated transfer time of a capture).
#pragma once

#include "camera/camera_state.h"
#include "core/devices.h"

namespace vyxsim::cam {

// Link bandwidth in percent of the link (kBandwidthMin .. kBandwidthMax);
// fails with kInvalidArgument, naming `op`, outside that.
bool SetBandwidth(const char* op, CameraState& state, float percent);
// Bytes per second the device can send with its current bandwidth setting.
double LinkBytesPerSecond(DeviceRecord& device, CameraState& state);

}  // namespace vyxsim::cam
