// The scene a virtual device looks at: simple solids, a table, a calibration
// board with a circle grid and coded circle markers, and the light.
//
// Every position is in metres in the device frame (x right, y down, z away
// from the device, as the cameras look). Planar surfaces (table, board front)
// face the device when their pose has no rotation: their local x and y lie in
// the surface and their local +z points into the material.
//
// The scene is described in JSON (see CAMERA.md); ParseScene reads that
// description, SceneToJson writes it back, DefaultScene builds the scene a
// device sees when its configuration names none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <Eigen/Core>
#include <Eigen/Geometry>
#include <nlohmann/json.hpp>

namespace vyxsim {
struct CameraModel;
struct DeviceRecord;
}  // namespace vyxsim

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

// Rotation-invariant code of an N-bit ring word: the smallest value among its
// N cyclic rotations.
uint32_t CanonicalCode(uint32_t word, int bits);
// True when no rotation of `word` other than the identity gives it back (the
// marker's orientation is then unambiguous).
bool IsAperiodic(uint32_t word, int bits);
// The first `count` codes (ascending) that are canonical, aperiodic and have
// 4 to 8 bits set; the built-in scenes use them in this order.
std::vector<uint32_t> DefaultMarkerCodes(int bits, int count);

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
const char* ShapeName(Shape shape);

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

// Reads a scene description. On failure returns false and says why in
// `error` (naming the JSON path), leaving `out` unchanged.
bool ParseScene(const nlohmann::json& j, Scene* out, std::string* error);
nlohmann::json SceneToJson(const Scene& scene);

// The built-in scene for a device: a table near the far end of the working
// range, a tilted calibration board in the middle of it, two boxes, a sphere
// and a cylinder on the table, and markers on the table, all where both
// cameras and the projector see them.
Scene DefaultScene(const DeviceRecord& device);

// The scene a device sees: the one set by SetDeviceScene, else its configured
// scene, else the default one. Parsed once per device and cached. Null, with
// `error` set, when the configured scene is invalid.
std::shared_ptr<const Scene> SceneForDevice(const std::shared_ptr<DeviceRecord>& device,
                                            std::string* error);
// Replaces the scene a device sees from now on (its next captures); a null
// `scene` goes back to the configured one. False, with `error` set and
// nothing changed, when the description is invalid.
bool SetDeviceScene(const std::shared_ptr<DeviceRecord>& device, const nlohmann::json* scene,
                    std::string* error);

// ---------------------------------------------------------------------------
// Ground truth, in the device frame.

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

// ---------------------------------------------------------------------------
// Surface appearance.

// Reflectance of a textured surface point (surface frame, metres), averaged
// over a footprint of radius `footprint` so edges come out anti-aliased.
Rgb SurfaceAlbedo(const Scene& scene, const Object& object, const Eigen::Vector2d& p,
                  double footprint);

}  // namespace vyxsim::scene
