// The scene a virtual device looks at: simple solids, a table, a calibration
// board with a circle grid and coded circle markers, and the light.
//
// Every position is in metres in the device frame (x right, y down, z away
// from the device, as the cameras look). Planar surfaces (table, board front)
// face the device when their pose has no rotation: their local x and y lie in
// the surface and their local +z points into the material.
//
// This header holds the types (poses in pose.cpp). The scene is described in
// JSON (see CAMERA.md): scene_json.h reads and writes that description,
// default_scene.h builds the scene a device sees when its configuration names
// none, device_scenes.h keeps the scene of each device, ground_truth.h and
// surface.h say where things are and how they look.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <Eigen/Core>
#include <Eigen/Geometry>

namespace vyxsim::scene {

// Linear reflectance per channel, 0 to 1.
struct Rgb {
    double r = 0.0, g = 0.0, b = 0.0;
};
// Grey reflectance a monochrome sensor sees.
inline double Luminance(const Rgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// Placement of an object: local coordinates to device coordinates.
struct Pose {
    Eigen::Matrix3d R = Eigen::Matrix3d::Identity();
    Eigen::Vector3d t = Eigen::Vector3d::Zero();

    Eigen::Vector3d Apply(const Eigen::Vector3d& p) const { return R * p + t; }
    Eigen::Matrix4d Matrix() const;
};

// Rotation from angles in degrees about x, then y, then z (R = Rz Ry Rx).
Eigen::Matrix3d RotationFromDegrees(double rx, double ry, double rz);
// The angles RotationFromDegrees would take to build `R`.
Eigen::Vector3d DegreesFromRotation(const Eigen::Matrix3d& R);

// Geometry of coded circle markers: a centre dot of radius r0, a dark gap up
// to r1, a ring from r1 to r2 cut into `bits` sectors, all on a dark disc of
// radius border_ratio * r0.
struct MarkerGeometry {
    int bits = 12;
    double r1_ratio = 2.0;
    double r2_ratio = 3.0;
    double border_ratio = 3.75;
};

enum class MarkerKind { Coded, Concentric };

// A marker printed on a planar surface.
struct Marker {
    MarkerKind kind = MarkerKind::Coded;
    // The ring as printed: bit k lights sector k (all bits for concentric).
    uint32_t word = 0;
    Eigen::Vector2d position = Eigen::Vector2d::Zero();  // centre, surface frame
    double r0 = 0.003;                                   // centre dot radius
};

// The circle grid of a calibration board: `cols` x `rows` dark circles,
// centred on the board frame's origin, `spacing` apart.
struct CircleGrid {
    int cols = 11;
    int rows = 9;
    double spacing = 0.015;
    double radius = 0.00375;
    Rgb albedo{0.15, 0.15, 0.15};
};

enum class Shape { Plane, Box, Sphere, Cylinder, Board };

struct Object {
    Shape shape = Shape::Plane;
    std::string name;
    Pose pose;
    // Plane: width and height of the rectangle (0 = unbounded). Box: full
    // extents, centred on the pose. Board: width, height and thickness; the
    // front face is local z = 0, centred on the grid; the board extends to
    // local z = thickness.
    Eigen::Vector3d size = Eigen::Vector3d::Zero();
    double radius = 0.0;  // sphere, cylinder
    double height = 0.0;  // cylinder: along local z, centred on the pose
    Rgb albedo{0.5, 0.5, 0.5};
    std::vector<Marker> markers;  // plane and board front
    CircleGrid grid;              // board only
};

struct Scene {
    double ambient = 0.15;           // ambient light, relative to the projector at 1
    Rgb ambient_color{1.0, 0.95, 0.85};
    Rgb marker_bright{0.9, 0.9, 0.9};
    Rgb marker_dark{0.05, 0.05, 0.05};
    MarkerGeometry marker_geometry;
    std::vector<Object> objects;
};

}  // namespace vyxsim::scene
