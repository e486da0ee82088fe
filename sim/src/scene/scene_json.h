// Scene descriptions in JSON (see CAMERA.md): reading and writing them.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "scene/scene.h"

namespace vyxsim::scene {

// Reads a scene description. On failure returns false and says why in
// `error` (naming the JSON path), leaving `out` unchanged.
bool ParseScene(const nlohmann::json& j, Scene* out, std::string* error);
nlohmann::json SceneToJson(const Scene& scene);
// The `type` a scene description gives an object of this shape.
const char* ShapeName(Shape shape);

}  // namespace vyxsim::scene
