// The scene each device sees.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "scene/scene.h"

namespace vyxsim {
struct DeviceRecord;
}  // namespace vyxsim

namespace vyxsim::scene {

// The scene a device sees: the one set by SetDeviceScene, else its configured
// scene, else the default one. Parsed once per device and cached. Null, with
// `error` set, when the configured scene is invalid: configurations are read
// with their scenes checked, so only a record made some other way (a test's)
// can have one.
std::shared_ptr<const Scene> SceneForDevice(const std::shared_ptr<DeviceRecord>& device,
                                            std::string* error);
// Replaces the scene a device sees from now on (its next captures); a null
// `scene` goes back to the configured one. False, with `error` set and
// nothing changed, when the description is invalid.
bool SetDeviceScene(const std::shared_ptr<DeviceRecord>& device, const nlohmann::json* scene,
                    std::string* error);

}  // namespace vyxsim::scene
