// The scene a device sees when its configuration names none.
#pragma once

#include <nlohmann/json.hpp>

#include "scene/scene.h"

namespace vyxsim {
struct DeviceRecord;
}  // namespace vyxsim

namespace vyxsim::scene {

// The built-in scene for a device: a table near the far end of the working
// range, a tilted calibration board in the middle of it, two boxes, a sphere
// and a cylinder on the table, and markers on the table, all where both
// cameras and the projector see them.
// It is the scene DefaultSceneJson describes, as ParseScene reads it.
Scene DefaultScene(const DeviceRecord& device);
// The same scene in its JSON form (CAMERA.md): given back as the device's
// configured scene, it renders exactly as the default does.
nlohmann::json DefaultSceneJson(const DeviceRecord& device);

}  // namespace vyxsim::scene
