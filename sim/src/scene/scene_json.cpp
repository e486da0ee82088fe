// Scene descriptions: reading one strictly (every problem names its JSON
// path) and writing a scene back.
#include "scene/scene_json.h"

#include <string>

#include "core/error.h"
#include "core/json_read.h"

using nlohmann::json;

namespace vyxsim::scene {

namespace {

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

}  // namespace

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

}  // namespace vyxsim::scene
