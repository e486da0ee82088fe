// Settings files (SaveSettingToFile, LoadSettingFromFile of X1 and X2): the
// JSON form of a device's settings (see CAMERA.md), the reader that checks
// every value as its setter does before anything is used, and the files.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "camera/camera_state.h"
#include "core/devices.h"

namespace vyxsim {

// The JSON form and its reader. Reading validates everything before anything
// is used; on failure `error` says what is wrong.
nlohmann::json SettingsToJson(const DeviceRecord& device, const DeviceSettings& settings,
                              double cover_position);
bool SettingsFromJson(const nlohmann::json& j, const DeviceRecord& device, DeviceSettings* settings,
                      double* cover_position, std::string* error);

// Writes and reads a settings file for the operation `op` (used in error
// messages). Load changes nothing unless the whole file is valid.
bool SaveSettingsFile(const char* op, const char* path, DeviceRecord& device);
bool LoadSettingsFile(const char* op, const char* path, DeviceRecord& device);

}  // namespace vyxsim
