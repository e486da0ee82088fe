// The built-in scene, laid out from a device's cameras and working range.
#include "scene/default_scene.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/devices.h"
#include "scene/marker_codes.h"
#include "scene/scene_json.h"

namespace vyxsim::scene {

namespace {

double NiceSpacing(double target) {
    static const double kSteps[] = {0.002, 0.0025, 0.003, 0.004, 0.005, 0.006, 0.0075, 0.01,
                                    0.0125, 0.015, 0.02, 0.025, 0.03, 0.04, 0.05};
    double best = kSteps[0];
    for (double s : kSteps) {
        if (s <= target) best = s;
    }
    return best;
}

Eigen::Vector3d Translation(const CameraModel& m) { return {m.pose[3], m.pose[7], m.pose[11]}; }
Eigen::Vector3d Axis(const CameraModel& m, int c) { return {m.pose[c], m.pose[4 + c], m.pose[8 + c]}; }

// The scene as laid out from the device's optics. Its rotations are built
// from matrices, which its JSON form writes as angles: see DefaultScene.
Scene LaidOutScene(const DeviceRecord& d) {
    // A frame centred between the cameras, looking along their mean axis.
    Eigen::Vector3d cl = Translation(d.left), cr = Translation(d.right);
    Eigen::Vector3d origin = 0.5 * (cl + cr);
    Eigen::Vector3d z = (Axis(d.left, 2) + Axis(d.right, 2)).normalized();
    Eigen::Vector3d x = cr - cl;
    if (x.norm() < 1e-9) x = Axis(d.left, 0);
    x = (x - x.dot(z) * z).normalized();
    Eigen::Vector3d y = z.cross(x);
    Pose view;
    view.R.col(0) = x;
    view.R.col(1) = y;
    view.R.col(2) = z;
    view.t = origin;
    const double baseline = (cr - cl).norm();

    double near_m = d.workingdist_near_mm / 1000.0, far_m = d.workingdist_far_mm / 1000.0;
    if (!(near_m > 0.0 && far_m > near_m)) {
        near_m = 0.4;
        far_m = 0.8;
    }
    const double d_ref = 0.5 * (near_m + far_m);
    const double d_table = near_m + 0.8 * (far_m - near_m);
    double tan_x = 0.5, tan_y = 0.4;
    if (d.left.fx > 0 && d.left.fy > 0 && d.left.width > 0 && d.left.height > 0) {
        tan_x = d.left.width / 2.0 / d.left.fx;
        tan_y = d.left.height / 2.0 / d.left.fy;
    }
    // Half extents, at a distance, of what both cameras see.
    auto half_w = [&](double dist) { return std::max(dist * tan_x - baseline / 2.0, 0.3 * dist * tan_x); };
    auto half_h = [&](double dist) { return dist * tan_y; };

    Scene s;
    s.marker_geometry = MarkerGeometry{};
    const int bits = s.marker_geometry.bits;
    std::vector<uint32_t> codes = DefaultMarkerCodes(bits, 14);

    auto place = [&](const Pose& parent, const Eigen::Matrix3d& R, const Eigen::Vector3d& t) {
        Pose p;
        p.R = parent.R * R;
        p.t = parent.Apply(t);
        return p;
    };

    // Table: slightly tilted, filling the view.
    const double hw_t = half_w(d_table), hh_t = half_h(d_table);
    Object table;
    table.shape = Shape::Plane;
    table.name = "table";
    table.pose = place(view, RotationFromDegrees(4.0, 0.0, 0.0), {0.0, 0.0, d_table});
    table.size = {6.0 * d_table * tan_x + 2.0 * baseline, 6.0 * d_table * tan_y, 0.0};
    table.albedo = {0.62, 0.55, 0.45};
    {
        const double r0 = std::max(0.012 * hw_t, 0.001);
        struct Spot { double x, y; bool coded; };
        const Spot spots[] = {{0.0, -0.8, true},  {0.0, 0.8, true},   {-0.62, 0.0, true},
                              {0.62, 0.0, true},  {-0.3, -0.8, true}, {0.3, 0.8, true},
                              {0.3, -0.8, false}, {-0.3, 0.8, false}};
        int next = 8;
        for (const Spot& sp : spots) {
            Marker m;
            m.kind = sp.coded ? MarkerKind::Coded : MarkerKind::Concentric;
            m.word = sp.coded ? codes[static_cast<std::size_t>(next++)] : ((1u << bits) - 1u);
            m.position = {sp.x * hw_t, sp.y * hh_t};
            m.r0 = r0;
            table.markers.push_back(m);
        }
    }
    s.objects.push_back(table);

    // Solids standing on the table (table frame: z into the table).
    auto on_table = [&](Object o, double tx, double ty, double half_height, double turn_deg) {
        o.pose = place(table.pose, RotationFromDegrees(0.0, 0.0, turn_deg),
                       {tx * hw_t, ty * hh_t, -half_height});
        s.objects.push_back(o);
    };
    Object box_a;
    box_a.shape = Shape::Box;
    box_a.name = "box_a";
    box_a.size = {0.26 * hw_t, 0.22 * hw_t, 0.18 * hw_t};
    box_a.albedo = {0.7, 0.35, 0.25};
    on_table(box_a, -0.62, -0.55, box_a.size.z() / 2.0, 20.0);

    Object sphere;
    sphere.shape = Shape::Sphere;
    sphere.name = "sphere";
    sphere.radius = 0.13 * hw_t;
    sphere.albedo = {0.55, 0.7, 0.6};
    on_table(sphere, 0.62, -0.55, sphere.radius, 0.0);

    Object cyl;
    cyl.shape = Shape::Cylinder;
    cyl.name = "cylinder";
    cyl.radius = 0.11 * hw_t;
    cyl.height = 0.22 * hw_t;
    cyl.albedo = {0.35, 0.45, 0.7};
    on_table(cyl, -0.62, 0.55, cyl.height / 2.0, 0.0);

    Object box_b;
    box_b.shape = Shape::Box;
    box_b.name = "box_b";
    box_b.size = {0.2 * hw_t, 0.2 * hw_t, 0.12 * hw_t};
    box_b.albedo = {0.8, 0.75, 0.5};
    on_table(box_b, 0.62, 0.55, box_b.size.z() / 2.0, 35.0);

    // Calibration board in the middle of the working range, turned a little.
    Object board;
    board.shape = Shape::Board;
    board.name = "board";
    const double s_grid = NiceSpacing(0.8 * half_w(d_ref) / 13.0);
    board.grid.cols = 11;
    board.grid.rows = 9;
    board.grid.spacing = s_grid;
    board.grid.radius = 0.25 * s_grid;
    board.grid.albedo = {0.15, 0.15, 0.15};
    board.albedo = {0.85, 0.85, 0.85};
    const double half_grid_h = (board.grid.rows - 1) / 2.0 * s_grid;
    const double marker_y = half_grid_h + 2.0 * s_grid;
    const double board_r0 = 0.2 * s_grid;
    board.size = {13.0 * s_grid, 2.0 * (marker_y + s_grid * 1.25), 0.006};
    for (int row = 0; row < 2; ++row) {
        for (int k = 0; k < 4; ++k) {
            Marker m;
            m.kind = MarkerKind::Coded;
            m.word = codes[static_cast<std::size_t>(row * 4 + k)];
            m.position = {(k - 1.5) * 2.5 * s_grid, row == 0 ? -marker_y : marker_y};
            m.r0 = board_r0;
            board.markers.push_back(m);
        }
    }
    board.pose = place(view, RotationFromDegrees(-12.0, 10.0, 3.0), {0.0, 0.0, d_ref});
    s.objects.push_back(board);
    return s;
}

}  // namespace

nlohmann::json DefaultSceneJson(const DeviceRecord& device) { return SceneToJson(LaidOutScene(device)); }

Scene DefaultScene(const DeviceRecord& device) {
    // The scene is what its JSON form reads as, so that the description
    // DefaultSceneJson gives, handed back as a device's scene, is this very
    // scene and renders the same to the last bit (the rotations pass through
    // angles once, on either path).
    Scene s;
    std::string error;
    if (ParseScene(DefaultSceneJson(device), &s, &error)) return s;
    // Extreme optics (a focal length of a few pixels, a working distance of
    // kilometres) can lay the table out beyond the reader's bounds on sizes;
    // such a device still sees its laid-out scene.
    return LaidOutScene(device);
}

}  // namespace vyxsim::scene
