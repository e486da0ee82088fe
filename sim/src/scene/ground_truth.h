// Ground truth of a scene, in the device frame: its calibration board and
// its markers, as printed and placed.
#pragma once

#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "scene/scene.h"

namespace vyxsim::scene {

struct BoardTruth {
    int object = -1;                         // index in Scene::objects
    Eigen::Matrix4d pose;                    // board frame to device frame
    int cols = 0, rows = 0;
    double spacing = 0.0, circle_radius = 0.0;
    double width = 0.0, height = 0.0;
    // Circle centres, row by row (row 0 at board -y, column 0 at board -x).
    std::vector<Eigen::Vector3d> circle_centres;
    Eigen::Vector3d normal;                  // unit, pointing out of the front face
};

struct MarkerTruth {
    int object = -1;  // index in Scene::objects of the surface carrying it
    MarkerKind kind = MarkerKind::Coded;
    uint32_t word = 0;  // as printed
    uint32_t code = 0;  // CanonicalCode(word)
    Eigen::Vector3d centre;
    Eigen::Vector3d normal;  // unit, pointing out of the surface
    Eigen::Vector3d axis_x;  // unit, the surface's local x (sector 0 starts there)
    double r0 = 0.0, r1 = 0.0, r2 = 0.0;
};

// The first board of the scene; false when there is none.
bool BoardGroundTruth(const Scene& scene, BoardTruth* out);
std::vector<MarkerTruth> MarkersGroundTruth(const Scene& scene);

}  // namespace vyxsim::scene
