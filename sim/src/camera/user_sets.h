// The user sets of a device: which one is current, and their names. (What a
// user set stores of the capture options: stored_options.h.) Each reports
// failures through the last error, naming `op`; the caller has checked that
// the camera is open.
#pragma once

#include "camera/camera_state.h"

namespace vyxsim::cam {

bool SetCurrentUserSet(const char* op, CameraState& state, int index);
bool GetCurrentUserSet(const char* op, CameraState& state, int* index);
bool SetUserSetName(const char* op, CameraState& state, int index, const char* name);
bool GetUserSetName(const char* op, CameraState& state, int index, char* name);

}  // namespace vyxsim::cam
