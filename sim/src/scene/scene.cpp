// Scene description: parsing, writing, the built-in default scene, ground
// truth and surface textures.
#include "scene/scene.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <map>
#include <mutex>
#include <stdexcept>

#include "core/devices.h"
#include "core/error.h"
#include "core/json_read.h"

using nlohmann::json;

namespace vyxsim::scene {

namespace {

constexpr double kPi = 3.14159265358979323846;

using namespace jsonread;  // Problem, Throw, Join, the typed readers

Rgb ReadColor(const json& v, const std::string& path) {
    if (v.is_number()) {
        double g = AsNumber(v, path, 0.0, 1.0);
        return {g, g, g};
    }
    if (v.is_array() && v.size() == 3) {
        auto c = Numbers(v, path, 3, 0.0, 1.0);
        return {c[0], c[1], c[2]};
    }
    Throw(path, "must be a reflectance (0 to 1) or an array [r, g, b] of them");
}

json ColorJson(const Rgb& c) { return json::array({c.r, c.g, c.b}); }

constexpr double kBig = 1e4;  // metres: bound on any coordinate or size

Pose ReadPose(const json& v, const std::string& path) {
    if (!v.is_object()) Throw(path, "must be an object with 'position' and 'rotation_deg', or 'matrix'");
    Pose p;
    if (const json* m = Member(v, "matrix")) {
        CheckKeys(v, path, {"matrix"});
        auto a = Numbers(*m, Join(path, "matrix"), 16, -kBig, kBig);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) p.R(r, c) = a[r * 4 + c];
            p.t(r) = a[r * 4 + 3];
        }
        if (a[12] != 0.0 || a[13] != 0.0 || a[14] != 0.0 || a[15] != 1.0) {
            Throw(Join(path, "matrix"), "the last row must be 0 0 0 1");
        }
        if ((p.R.transpose() * p.R - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff() > 1e-4 ||
            p.R.determinant() < 0.0) {
            Throw(Join(path, "matrix"), "the upper-left 3 x 3 block must be a rotation");
        }
        // Re-orthonormalise so that rounded inputs stay rigid.
        Eigen::JacobiSVD<Eigen::Matrix3d> svd(p.R, Eigen::ComputeFullU | Eigen::ComputeFullV);
        p.R = svd.matrixU() * svd.matrixV().transpose();
        return p;
    }
    CheckKeys(v, path, {"position", "rotation_deg"});
    if (const json* t = Member(v, "position")) {
        auto a = Numbers(*t, Join(path, "position"), 3, -kBig, kBig);
        p.t = {a[0], a[1], a[2]};
    }
    if (const json* r = Member(v, "rotation_deg")) {
        auto a = Numbers(*r, Join(path, "rotation_deg"), 3, -360.0, 360.0);
        p.R = RotationFromDegrees(a[0], a[1], a[2]);
    }
    return p;
}

json PoseJson(const Pose& p) {
    Eigen::Vector3d d = DegreesFromRotation(p.R);
    return {{"position", {p.t.x(), p.t.y(), p.t.z()}}, {"rotation_deg", {d.x(), d.y(), d.z()}}};
}

Marker ReadMarker(const json& v, const std::string& path, const MarkerGeometry& g) {
    if (!v.is_object()) Throw(path, "must be an object");
    CheckKeys(v, path, {"kind", "code", "position", "r0"});
    Marker m;
    uint32_t mask = g.bits >= 32 ? 0xffffffffu : ((1u << g.bits) - 1u);
    if (const json* k = Member(v, "kind")) {
        if (!k->is_string()) Throw(Join(path, "kind"), "must be \"coded\" or \"concentric\"");
        std::string s = k->get<std::string>();
        if (s == "coded") {
            m.kind = MarkerKind::Coded;
        } else if (s == "concentric") {
            m.kind = MarkerKind::Concentric;
        } else {
            Throw(Join(path, "kind"), "must be \"coded\" or \"concentric\", not '" + Printable(s, 40) + "'");
        }
    }
    if (m.kind == MarkerKind::Coded) {
        const json* c = Member(v, "code");
        if (!c) Throw(path, "a coded marker needs 'code'");
        m.word = static_cast<uint32_t>(AsInt(*c, Join(path, "code"), 1, mask));
    } else {
        if (Member(v, "code")) Throw(Join(path, "code"), "a concentric marker has no code");
        m.word = mask;
    }
    const json* pos = Member(v, "position");
    if (!pos) Throw(path, "needs 'position' [x, y] in the surface frame (metres)");
    auto a = Numbers(*pos, Join(path, "position"), 2, -kBig, kBig);
    m.position = {a[0], a[1]};
    if (const json* r = Member(v, "r0")) m.r0 = AsNumber(*r, Join(path, "r0"), 1e-5, 1.0);
    return m;
}

json MarkerJson(const Marker& m) {
    json j;
    j["kind"] = m.kind == MarkerKind::Coded ? "coded" : "concentric";
    if (m.kind == MarkerKind::Coded) j["code"] = m.word;
    j["position"] = {m.position.x(), m.position.y()};
    j["r0"] = m.r0;
    return j;
}

Object ReadObject(const json& v, const std::string& path, const MarkerGeometry& g) {
    if (!v.is_object()) Throw(path, "must be an object");
    const json* type = Member(v, "type");
    if (!type || !type->is_string()) {
        Throw(path, "needs 'type': one of plane, box, sphere, cylinder, board");
    }
    std::string t = type->get<std::string>();
    Object o;
    if (const json* n = Member(v, "name")) {
        if (!n->is_string()) Throw(Join(path, "name"), "must be a string");
        o.name = n->get<std::string>();
    }
    auto pose = [&]() {
        if (const json* p = Member(v, "pose")) o.pose = ReadPose(*p, Join(path, "pose"));
    };
    auto albedo = [&](const char* key, Rgb* out) {
        if (const json* a = Member(v, key)) *out = ReadColor(*a, Join(path, key));
    };
    auto markers = [&]() {
        if (const json* m = Member(v, "markers")) {
            if (!m->is_array()) Throw(Join(path, "markers"), "must be an array");
            for (std::size_t i = 0; i < m->size(); ++i) {
                o.markers.push_back(ReadMarker((*m)[i], Join(path, "markers") + "[" + std::to_string(i) + "]", g));
            }
        }
    };
    if (t == "plane") {
        CheckKeys(v, path, {"type", "name", "pose", "size", "albedo", "markers"});
        o.shape = Shape::Plane;
        o.albedo = {0.6, 0.55, 0.45};
        if (const json* s = Member(v, "size")) {
            auto a = Numbers(*s, Join(path, "size"), 2, 0.0, kBig);
            o.size = {a[0], a[1], 0.0};
        }
        pose();
        albedo("albedo", &o.albedo);
        markers();
    } else if (t == "box") {
        CheckKeys(v, path, {"type", "name", "pose", "size", "albedo"});
        o.shape = Shape::Box;
        const json* s = Member(v, "size");
        if (!s) Throw(path, "a box needs 'size' [x, y, z] (metres)");
        auto a = Numbers(*s, Join(path, "size"), 3, 1e-6, kBig);
        o.size = {a[0], a[1], a[2]};
        pose();
        albedo("albedo", &o.albedo);
    } else if (t == "sphere") {
        CheckKeys(v, path, {"type", "name", "center", "pose", "radius", "albedo"});
        o.shape = Shape::Sphere;
        pose();
        if (const json* c = Member(v, "center")) {
            auto a = Numbers(*c, Join(path, "center"), 3, -kBig, kBig);
            o.pose.t = {a[0], a[1], a[2]};
        }
        const json* r = Member(v, "radius");
        if (!r) Throw(path, "a sphere needs 'radius' (metres)");
        o.radius = AsNumber(*r, Join(path, "radius"), 1e-6, kBig);
        albedo("albedo", &o.albedo);
    } else if (t == "cylinder") {
        CheckKeys(v, path, {"type", "name", "pose", "radius", "height", "albedo"});
        o.shape = Shape::Cylinder;
        pose();
        const json* r = Member(v, "radius");
        const json* h = Member(v, "height");
        if (!r || !h) Throw(path, "a cylinder needs 'radius' and 'height' (metres)");
        o.radius = AsNumber(*r, Join(path, "radius"), 1e-6, kBig);
        o.height = AsNumber(*h, Join(path, "height"), 1e-6, kBig);
        albedo("albedo", &o.albedo);
    } else if (t == "board") {
        CheckKeys(v, path, {"type", "name", "pose", "size", "albedo", "grid", "markers"});
        o.shape = Shape::Board;
        o.albedo = {0.85, 0.85, 0.85};
        pose();
        albedo("albedo", &o.albedo);
        if (const json* gj = Member(v, "grid")) {
            std::string gp = Join(path, "grid");
            if (!gj->is_object()) Throw(gp, "must be an object");
            CheckKeys(*gj, gp, {"cols", "rows", "spacing", "circle_radius", "albedo"});
            if (const json* c = Member(*gj, "cols")) o.grid.cols = AsInt(*c, Join(gp, "cols"), 1, 200);
            if (const json* c = Member(*gj, "rows")) o.grid.rows = AsInt(*c, Join(gp, "rows"), 1, 200);
            if (const json* c = Member(*gj, "spacing")) o.grid.spacing = AsNumber(*c, Join(gp, "spacing"), 1e-5, 10.0);
            o.grid.radius = o.grid.spacing / 4.0;
            if (const json* c = Member(*gj, "circle_radius")) {
                o.grid.radius = AsNumber(*c, Join(gp, "circle_radius"), 1e-6, 10.0);
            }
            if (o.grid.radius >= o.grid.spacing / 2.0) {
                Throw(Join(gp, "circle_radius"), "must be less than half the spacing");
            }
            if (const json* c = Member(*gj, "albedo")) o.grid.albedo = ReadColor(*c, Join(gp, "albedo"));
        }
        double need_w = (o.grid.cols - 1) * o.grid.spacing + 2.0 * o.grid.radius;
        double need_h = (o.grid.rows - 1) * o.grid.spacing + 2.0 * o.grid.radius;
        o.size = {need_w + 3.0 * o.grid.spacing, need_h + 3.0 * o.grid.spacing, 0.006};
        if (const json* s = Member(v, "size")) {
            auto a = Numbers(*s, Join(path, "size"), 3, 1e-6, kBig);
            o.size = {a[0], a[1], a[2]};
            if (a[0] < need_w || a[1] < need_h) Throw(Join(path, "size"), "the board is smaller than its circle grid");
        }
        markers();
    } else {
        Throw(Join(path, "type"), "unknown type '" + Printable(t, 40) +
                                      "' (known: plane, box, sphere, cylinder, board)");
    }
    return o;
}

double Ramp(double signed_distance, double w) {
    return std::clamp(0.5 + signed_distance / (2.0 * w), 0.0, 1.0);
}

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

uint32_t RotateRight(uint32_t w, int r, int bits) {
    uint32_t mask = bits >= 32 ? 0xffffffffu : ((1u << bits) - 1u);
    r %= bits;
    if (r == 0) return w & mask;
    return ((w >> r) | (w << (bits - r))) & mask;
}

}  // namespace

Eigen::Matrix4d Pose::Matrix() const {
    Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
    m.block<3, 3>(0, 0) = R;
    m.block<3, 1>(0, 3) = t;
    return m;
}

Eigen::Matrix3d RotationFromDegrees(double rx, double ry, double rz) {
    const double k = kPi / 180.0;
    return (Eigen::AngleAxisd(rz * k, Eigen::Vector3d::UnitZ()) *
            Eigen::AngleAxisd(ry * k, Eigen::Vector3d::UnitY()) *
            Eigen::AngleAxisd(rx * k, Eigen::Vector3d::UnitX()))
        .toRotationMatrix();
}

Eigen::Vector3d DegreesFromRotation(const Eigen::Matrix3d& R) {
    const double k = 180.0 / kPi;
    double sy = std::clamp(-R(2, 0), -1.0, 1.0);
    double ry = std::asin(sy);
    double rx, rz;
    if (std::abs(sy) < 1.0 - 1e-9) {
        rx = std::atan2(R(2, 1), R(2, 2));
        rz = std::atan2(R(1, 0), R(0, 0));
    } else {  // gimbal lock: put the whole turn about z
        rx = 0.0;
        rz = std::atan2(-R(0, 1), R(1, 1));
    }
    return {rx * k, ry * k, rz * k};
}

uint32_t CanonicalCode(uint32_t word, int bits) {
    if (bits <= 0 || bits > 31) return word;
    uint32_t best = RotateRight(word, 0, bits);
    for (int r = 1; r < bits; ++r) best = std::min(best, RotateRight(word, r, bits));
    return best;
}

bool IsAperiodic(uint32_t word, int bits) {
    for (int r = 1; r < bits; ++r) {
        if (RotateRight(word, r, bits) == RotateRight(word, 0, bits)) return false;
    }
    return true;
}

std::vector<uint32_t> DefaultMarkerCodes(int bits, int count) {
    std::vector<uint32_t> out;
    if (bits <= 0 || bits > 20) return out;
    for (uint32_t w = 1; w < (1u << bits) && static_cast<int>(out.size()) < count; ++w) {
        int ones = static_cast<int>(std::bitset<32>(w).count());
        if (ones < 4 || ones > 8) continue;
        if (CanonicalCode(w, bits) != w || !IsAperiodic(w, bits)) continue;
        out.push_back(w);
    }
    return out;
}

const char* ShapeName(Shape shape) {
    switch (shape) {
        case Shape::Plane: return "plane";
        case Shape::Box: return "box";
        case Shape::Sphere: return "sphere";
        case Shape::Cylinder: return "cylinder";
        case Shape::Board: return "board";
    }
    return "?";
}

bool ParseScene(const json& j, Scene* out, std::string* error) {
    try {
        if (!j.is_object()) Throw("scene", "must be an object");
        CheckKeys(j, "scene", {"ambient", "ambient_color", "marker_bright", "marker_dark", "marker_type", "objects"});
        Scene s;
        if (const json* v = Member(j, "ambient")) s.ambient = AsNumber(*v, "scene.ambient", 0.0, 10.0);
        if (const json* v = Member(j, "ambient_color")) s.ambient_color = ReadColor(*v, "scene.ambient_color");
        if (const json* v = Member(j, "marker_bright")) s.marker_bright = ReadColor(*v, "scene.marker_bright");
        if (const json* v = Member(j, "marker_dark")) s.marker_dark = ReadColor(*v, "scene.marker_dark");
        if (const json* v = Member(j, "marker_type")) {
            if (!v->is_object()) Throw("scene.marker_type", "must be an object");
            CheckKeys(*v, "scene.marker_type", {"N", "r1_to_r0_ratio", "r2_to_r0_ratio", "border_to_r0_ratio"});
            auto& g = s.marker_geometry;
            if (const json* x = Member(*v, "N")) g.bits = AsInt(*x, "scene.marker_type.N", 3, 20);
            if (const json* x = Member(*v, "r1_to_r0_ratio")) g.r1_ratio = AsNumber(*x, "scene.marker_type.r1_to_r0_ratio", 1.0, 100.0);
            if (const json* x = Member(*v, "r2_to_r0_ratio")) g.r2_ratio = AsNumber(*x, "scene.marker_type.r2_to_r0_ratio", 1.0, 100.0);
            g.border_ratio = g.r2_ratio + 0.75;
            if (const json* x = Member(*v, "border_to_r0_ratio")) {
                g.border_ratio = AsNumber(*x, "scene.marker_type.border_to_r0_ratio", 1.0, 100.0);
            }
            if (!(g.r1_ratio < g.r2_ratio && g.r2_ratio <= g.border_ratio)) {
                Throw("scene.marker_type", "needs 1 <= r1_to_r0_ratio < r2_to_r0_ratio <= border_to_r0_ratio");
            }
        }
        const json* objs = Member(j, "objects");
        if (!objs || !objs->is_array()) Throw("scene", "needs 'objects', an array");
        if (objs->size() > 1000) Throw("scene.objects", "holds more than 1000 objects");
        for (std::size_t i = 0; i < objs->size(); ++i) {
            s.objects.push_back(ReadObject((*objs)[i], "scene.objects[" + std::to_string(i) + "]", s.marker_geometry));
        }
        *out = std::move(s);
        return true;
    } catch (const Problem& p) {
        if (error) *error = p.what();
        return false;
    } catch (const json::exception& e) {
        if (error) *error = std::string("scene: ") + e.what();
        return false;
    }
}

json SceneToJson(const Scene& s) {
    json j;
    j["ambient"] = s.ambient;
    j["ambient_color"] = ColorJson(s.ambient_color);
    j["marker_bright"] = ColorJson(s.marker_bright);
    j["marker_dark"] = ColorJson(s.marker_dark);
    j["marker_type"] = {{"N", s.marker_geometry.bits},
                        {"r1_to_r0_ratio", s.marker_geometry.r1_ratio},
                        {"r2_to_r0_ratio", s.marker_geometry.r2_ratio},
                        {"border_to_r0_ratio", s.marker_geometry.border_ratio}};
    json objs = json::array();
    for (const Object& o : s.objects) {
        json v;
        v["type"] = ShapeName(o.shape);
        if (!o.name.empty()) v["name"] = o.name;
        v["pose"] = PoseJson(o.pose);
        v["albedo"] = ColorJson(o.albedo);
        switch (o.shape) {
            case Shape::Plane: v["size"] = {o.size.x(), o.size.y()}; break;
            case Shape::Box: v["size"] = {o.size.x(), o.size.y(), o.size.z()}; break;
            case Shape::Sphere: v["radius"] = o.radius; break;
            case Shape::Cylinder:
                v["radius"] = o.radius;
                v["height"] = o.height;
                break;
            case Shape::Board:
                v["size"] = {o.size.x(), o.size.y(), o.size.z()};
                v["grid"] = {{"cols", o.grid.cols},
                             {"rows", o.grid.rows},
                             {"spacing", o.grid.spacing},
                             {"circle_radius", o.grid.radius},
                             {"albedo", ColorJson(o.grid.albedo)}};
                break;
        }
        if ((o.shape == Shape::Plane || o.shape == Shape::Board) && !o.markers.empty()) {
            json m = json::array();
            for (const Marker& mk : o.markers) m.push_back(MarkerJson(mk));
            v["markers"] = m;
        }
        objs.push_back(v);
    }
    j["objects"] = objs;
    return j;
}

// ---------------------------------------------------------------------------
// The default scene.

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

}  // namespace

Scene DefaultScene(const DeviceRecord& d) {
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

// ---------------------------------------------------------------------------
// Scenes per device.

namespace {

struct CacheEntry {
    std::weak_ptr<DeviceRecord> device;
    std::shared_ptr<const Scene> scene;  // null: parse the configured one on next use
};

std::mutex g_cache_mutex;
std::map<const DeviceRecord*, CacheEntry> g_cache;

// Drops entries of devices that no longer exist. Caller holds the mutex.
void Prune() {
    for (auto it = g_cache.begin(); it != g_cache.end();) {
        if (it->second.device.expired()) {
            it = g_cache.erase(it);
        } else {
            ++it;
        }
    }
}

CacheEntry* EntryFor(const std::shared_ptr<DeviceRecord>& device) {
    auto it = g_cache.find(device.get());
    if (it != g_cache.end() && it->second.device.lock() == device) return &it->second;
    if (g_cache.size() > 64) Prune();
    CacheEntry& e = g_cache[device.get()];
    e = CacheEntry{};
    e.device = device;
    return &e;
}

}  // namespace

std::shared_ptr<const Scene> SceneForDevice(const std::shared_ptr<DeviceRecord>& device,
                                            std::string* error) {
    if (!device) {
        if (error) *error = "no device";
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    CacheEntry* e = EntryFor(device);
    if (e->scene) return e->scene;
    auto scene = std::make_shared<Scene>();
    if (device->scene.is_null()) {
        *scene = DefaultScene(*device);
    } else {
        std::string why;
        if (!ParseScene(device->scene, scene.get(), &why)) {
            if (error) *error = "the scene configured for device '" + Printable(device->serial, 40) + "' is invalid: " + why;
            return nullptr;
        }
    }
    e->scene = scene;
    return scene;
}

bool SetDeviceScene(const std::shared_ptr<DeviceRecord>& device, const json* scene_json,
                    std::string* error) {
    if (!device) {
        if (error) *error = "no device";
        return false;
    }
    std::shared_ptr<Scene> parsed;
    if (scene_json) {
        parsed = std::make_shared<Scene>();
        if (!ParseScene(*scene_json, parsed.get(), error)) return false;
    }
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    CacheEntry* e = EntryFor(device);
    e->scene = parsed;
    return true;
}

// ---------------------------------------------------------------------------
// Ground truth.

bool BoardGroundTruth(const Scene& scene, BoardTruth* out) {
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const Object& o = scene.objects[i];
        if (o.shape != Shape::Board) continue;
        BoardTruth b;
        b.object = static_cast<int>(i);
        b.pose = o.pose.Matrix();
        b.cols = o.grid.cols;
        b.rows = o.grid.rows;
        b.spacing = o.grid.spacing;
        b.circle_radius = o.grid.radius;
        b.width = o.size.x();
        b.height = o.size.y();
        b.normal = -o.pose.R.col(2);
        for (int r = 0; r < o.grid.rows; ++r) {
            for (int c = 0; c < o.grid.cols; ++c) {
                Eigen::Vector3d local((c - (o.grid.cols - 1) / 2.0) * o.grid.spacing,
                                      (r - (o.grid.rows - 1) / 2.0) * o.grid.spacing, 0.0);
                b.circle_centres.push_back(o.pose.Apply(local));
            }
        }
        if (out) *out = std::move(b);
        return true;
    }
    return false;
}

std::vector<MarkerTruth> MarkersGroundTruth(const Scene& scene) {
    std::vector<MarkerTruth> out;
    const MarkerGeometry& g = scene.marker_geometry;
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const Object& o = scene.objects[i];
        if (o.shape != Shape::Plane && o.shape != Shape::Board) continue;
        for (const Marker& m : o.markers) {
            MarkerTruth t;
            t.object = static_cast<int>(i);
            t.kind = m.kind;
            t.word = m.word;
            t.code = CanonicalCode(m.word, g.bits);
            t.centre = o.pose.Apply({m.position.x(), m.position.y(), 0.0});
            t.normal = -o.pose.R.col(2);
            t.axis_x = o.pose.R.col(0);
            t.r0 = m.r0;
            t.r1 = m.r0 * g.r1_ratio;
            t.r2 = m.r0 * g.r2_ratio;
            out.push_back(t);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Textures.

Rgb SurfaceAlbedo(const Scene& scene, const Object& o, const Eigen::Vector2d& p, double w) {
    w = std::max(w, 1e-9);
    Rgb c = o.albedo;
    if (o.shape == Shape::Board) {
        const CircleGrid& g = o.grid;
        double fc = p.x() / g.spacing + (g.cols - 1) / 2.0;
        double fr = p.y() / g.spacing + (g.rows - 1) / 2.0;
        int ci = std::clamp(static_cast<int>(std::lround(fc)), 0, g.cols - 1);
        int ri = std::clamp(static_cast<int>(std::lround(fr)), 0, g.rows - 1);
        Eigen::Vector2d centre((ci - (g.cols - 1) / 2.0) * g.spacing, (ri - (g.rows - 1) / 2.0) * g.spacing);
        double dist = (p - centre).norm();
        if (dist < g.radius + w) c = Mix(c, g.albedo, Ramp(g.radius - dist, w));
    }
    const MarkerGeometry& mg = scene.marker_geometry;
    for (const Marker& m : o.markers) {
        const double rb = m.r0 * mg.border_ratio;
        Eigen::Vector2d q = p - m.position;
        double d2 = q.squaredNorm();
        if (d2 > (rb + w) * (rb + w)) continue;
        double dist = std::sqrt(d2);
        double disc = Ramp(rb - dist, w);
        double dot = Ramp(m.r0 - dist, w);
        double r1 = m.r0 * mg.r1_ratio, r2 = m.r0 * mg.r2_ratio;
        double ring = std::min(Ramp(r2 - dist, w), Ramp(dist - r1, w));
        double lit = dot;
        if (ring > 0.0) {
            const int n = mg.bits;
            double theta = std::atan2(q.y(), q.x());
            if (theta < 0.0) theta += 2.0 * kPi;
            double a = theta / (2.0 * kPi / n);
            int k = static_cast<int>(std::floor(a));
            double frac = a - k;
            auto bit = [&](int s) { return static_cast<double>((m.word >> (((s % n) + n) % n)) & 1u); };
            double arc = 2.0 * kPi / n * dist;
            double v = bit(k);
            double lo = frac * arc, hi = (1.0 - frac) * arc;
            if (lo < w) v = bit(k - 1) + (bit(k) - bit(k - 1)) * (0.5 + lo / (2.0 * w));
            else if (hi < w) v = bit(k + 1) + (bit(k) - bit(k + 1)) * (0.5 + hi / (2.0 * w));
            lit = std::min(1.0, lit + ring * v);
        }
        Rgb inside = Mix(scene.marker_dark, scene.marker_bright, lit);
        c = Mix(c, inside, disc);
    }
    return c;
}

}  // namespace vyxsim::scene
