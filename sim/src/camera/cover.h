// The protective cover of a device: open, close (at once or moving at its
// speed), re-home, status, and whether it lets a capture see the scene. Each
// reports failures through the last error, naming `op`; the caller has
// checked that the camera is open.
#pragma once

#include "camera/camera_state.h"
#include "core/devices.h"
#include "vyx/types.h"

namespace vyxsim::cam {

// Devices without a cover fail with kUnsupported.
bool CoverOpen(const char* op, const DeviceRecord& device, CameraState& state, bool async);
bool CoverClose(const char* op, const DeviceRecord& device, CameraState& state, bool async);
// Re-homes the cover: it ends closed at once.
bool CoverReset(const char* op, const DeviceRecord& device, CameraState& state);
bool CoverStatus(const char* op, const DeviceRecord& device, CameraState& state,
                 Vyx::ProtectiveCoverStatus* status);
// True when the device has no cover or its cover is fully open; else fails
// with kWrongState.
bool CoverLetsCapture(const char* op, const DeviceRecord& device, CameraState& state);

}  // namespace vyxsim::cam
