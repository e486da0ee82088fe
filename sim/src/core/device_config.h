// Device configurations: reading a configuration or a device description
// (JSON, see CAMERA.md) into device records, strictly. Every problem is
// thrown as a jsonread::Problem naming the JSON path.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/devices.h"

namespace vyxsim {

// Parses one device description; `path` names it in messages ("devices[2]"),
// `index` is its place in the configuration (it picks the default network
// lease). Its scene, when it has one, is read with the scene reader
// (scene/scene_json.h) and refused as any other member. A description with
// a `recording` is a replay device; a relative recording folder is taken
// relative to `base_dir` (empty: the current directory). Throws
// jsonread::Problem.
std::shared_ptr<DeviceRecord> ParseDevice(const nlohmann::json& j, const std::string& path, int index,
                                          const std::string& base_dir = "");
// Parses a whole configuration; throws jsonread::Problem.
std::vector<std::shared_ptr<DeviceRecord>> ParseConfiguration(const std::string& text,
                                                              const std::string& base_dir = "");
// The folder of a configuration file's path ("" for a bare file name), what
// its relative recording folders are relative to.
std::string ConfigurationFolder(const std::string& path);

// Reads a configuration file whole; false, with the reason in `error`, when
// it cannot be read.
bool ReadConfigurationFile(const std::string& path, std::string* text, std::string* error);
// Parses the configuration the process starts with: VYX_SIM_CONFIG or the
// built-in default. False, with the reason in `error`, when it is invalid.
bool ParseStartConfiguration(std::vector<std::shared_ptr<DeviceRecord>>* out, std::string* error);

// The built-in default configuration, as JSON text.
const char* DefaultConfigurationText();

}  // namespace vyxsim
