// The scene a device sees when its configuration names none.
#pragma once

#include "scene/scene.h"

namespace vyxsim {
struct DeviceRecord;
}  // namespace vyxsim

namespace vyxsim::scene {

// The built-in scene for a device: a table near the far end of the working
// range, a tilted calibration board in the middle of it, two boxes, a sphere
// and a cylinder on the table, and markers on the table, all where both
// cameras and the projector see them.
Scene DefaultScene(const DeviceRecord& device);

}  // namespace vyxsim::scene
