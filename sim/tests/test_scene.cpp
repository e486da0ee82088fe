// Scene description, marker codes, ray casting and rendering.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "core/devices.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "rendering/tracer.h"
#include "scene/default_scene.h"
#include "scene/ground_truth.h"
#include "scene/marker_codes.h"
#include "scene/scene.h"
#include "scene/scene_json.h"
#include "scene/surface.h"

namespace vyxsim::scene {
namespace {

using nlohmann::json;

// A camera pair and projector like the built-in grey device.
DeviceRecord& Device() {
    static DeviceRecord* d = [] {
        auto* r = new DeviceRecord();
        CameraModel c;
        c.width = 640;
        c.height = 512;
        c.fx = c.fy = 750.0;
        c.cx = 320.0;
        c.cy = 256.0;
        r->left = c;
        r->right = c;
        r->right.pose[3] = 0.1;
        r->projector = c;
        r->projector.fx = r->projector.fy = 620.0;
        r->projector.pose[3] = 0.05;
        r->workingdist_near_mm = 400;
        r->workingdist_far_mm = 800;
        return r;
    }();
    return *d;
}

TEST(SceneMarkers, CanonicalCodeIsTheSameForEveryRotation) {
    for (uint32_t word : {0x00fu, 0x0b3u, 0x5a1u, 0x801u, 0xfffu, 0x6d2u}) {
        const uint32_t code = CanonicalCode(word, 12);
        for (int r = 0; r < 12; ++r) {
            const uint32_t rotated = ((word << r) | (word >> (12 - r))) & 0xfffu;
            EXPECT_EQ(CanonicalCode(rotated, 12), code) << std::hex << word << " rotated by " << r;
            EXPECT_LE(code, rotated);
        }
    }
    EXPECT_EQ(CanonicalCode(0x800u, 12), 1u);
    EXPECT_EQ(CanonicalCode(0xc00u, 12), 3u);
}

TEST(SceneMarkers, DefaultCodesAreDistinctCanonicalAndAperiodic) {
    const std::vector<uint32_t> codes = DefaultMarkerCodes(12, 40);
    ASSERT_EQ(codes.size(), 40u);
    std::set<uint32_t> seen(codes.begin(), codes.end());
    EXPECT_EQ(seen.size(), codes.size());
    for (uint32_t c : codes) {
        EXPECT_EQ(CanonicalCode(c, 12), c);
        EXPECT_TRUE(IsAperiodic(c, 12)) << c;
    }
    EXPECT_FALSE(IsAperiodic(0x555u, 12));  // repeats every two sectors
    EXPECT_FALSE(IsAperiodic(0x249u, 12));
}

TEST(SceneMarkers, RingSectorsShowTheWordsBits) {
    Scene s;
    Object plane;
    plane.shape = Shape::Plane;
    plane.albedo = {0.5, 0.5, 0.5};
    Marker m;
    m.word = 0x0b3;
    m.r0 = 0.004;
    m.position = {0.01, -0.02};
    plane.markers.push_back(m);
    s.objects.push_back(plane);
    const double r_ring = 2.5 * m.r0;
    for (int k = 0; k < 12; ++k) {
        const double a = (k + 0.5) * 2.0 * M_PI / 12.0;
        const Eigen::Vector2d p = m.position + r_ring * Eigen::Vector2d(std::cos(a), std::sin(a));
        const double v = SurfaceAlbedo(s, plane, p, 1e-5).r;
        const bool bit = (m.word >> k) & 1u;
        EXPECT_NEAR(v, bit ? s.marker_bright.r : s.marker_dark.r, 1e-9) << "sector " << k;
    }
    // Centre dot bright, gap dark, outside the marker the plane itself.
    EXPECT_NEAR(SurfaceAlbedo(s, plane, m.position, 1e-5).r, s.marker_bright.r, 1e-9);
    EXPECT_NEAR(SurfaceAlbedo(s, plane, m.position + Eigen::Vector2d(1.5 * m.r0, 0), 1e-5).r, s.marker_dark.r, 1e-9);
    EXPECT_NEAR(SurfaceAlbedo(s, plane, m.position + Eigen::Vector2d(5 * m.r0, 0), 1e-5).r, 0.5, 1e-9);
    // An edge blends over the footprint.
    const double edge = SurfaceAlbedo(s, plane, m.position + Eigen::Vector2d(m.r0, 0), 0.2 * m.r0).r;
    EXPECT_NEAR(edge, 0.5 * (s.marker_bright.r + s.marker_dark.r), 1e-6);
}

TEST(SceneDescription, DefaultSceneSurvivesItsJsonForm) {
    const Scene a = DefaultScene(Device());
    Scene b;
    std::string error;
    ASSERT_TRUE(ParseScene(SceneToJson(a), &b, &error)) << error;
    ASSERT_EQ(a.objects.size(), b.objects.size());
    BoardTruth ba, bb;
    ASSERT_TRUE(BoardGroundTruth(a, &ba));
    ASSERT_TRUE(BoardGroundTruth(b, &bb));
    EXPECT_EQ(ba.cols, 11);
    EXPECT_EQ(ba.rows, 9);
    ASSERT_EQ(ba.circle_centres.size(), 99u);
    for (std::size_t i = 0; i < ba.circle_centres.size(); ++i) {
        EXPECT_LT((ba.circle_centres[i] - bb.circle_centres[i]).norm(), 1e-9);
    }
    // Neighbouring circles are one spacing apart along the board's x axis.
    EXPECT_NEAR((ba.circle_centres[1] - ba.circle_centres[0]).norm(), ba.spacing, 1e-12);
    EXPECT_NEAR((ba.circle_centres[11] - ba.circle_centres[0]).norm(), ba.spacing, 1e-12);
    const auto ma = MarkersGroundTruth(a), mb = MarkersGroundTruth(b);
    ASSERT_EQ(ma.size(), mb.size());
    ASSERT_EQ(ma.size(), 16u);
    std::set<uint32_t> coded;
    for (std::size_t i = 0; i < ma.size(); ++i) {
        EXPECT_EQ(ma[i].code, mb[i].code);
        EXPECT_LT((ma[i].centre - mb[i].centre).norm(), 1e-9);
        if (ma[i].kind == MarkerKind::Coded) coded.insert(ma[i].code);
    }
    EXPECT_EQ(coded.size(), 14u) << "every coded marker has its own code";
}

TEST(SceneDescription, DefaultSceneLiesInTheWorkingRange) {
    const Scene s = DefaultScene(Device());
    BoardTruth b;
    ASSERT_TRUE(BoardGroundTruth(s, &b));
    for (const auto& c : b.circle_centres) {
        EXPECT_GT(c.z(), 0.4);
        EXPECT_LT(c.z(), 0.8);
    }
    for (const auto& m : MarkersGroundTruth(s)) {
        EXPECT_GT(m.centre.z(), 0.4);
        EXPECT_LT(m.centre.z(), 0.8);
        // Both cameras see every marker, whole.
        for (const CameraModel* cam : {&Device().left, &Device().right}) {
            Eigen::Vector2d px;
            ASSERT_TRUE(ProjectDevice(*cam, m.centre, &px));
            const double margin = m.r2 * cam->fx / m.centre.z();
            EXPECT_GT(px.x(), margin);
            EXPECT_GT(px.y(), margin);
            EXPECT_LT(px.x(), cam->width - margin);
            EXPECT_LT(px.y(), cam->height - margin);
        }
    }
}

TEST(SceneDescription, RejectsBadDescriptionsNamingThePlace) {
    struct Case {
        const char* json;
        const char* expect;  // part of the message
    } cases[] = {
        {R"([])", "must be an object"},
        {R"({"objects": [{"type": "cone"}]})", "scene.objects[0].type"},
        {R"({"objects": [{"type": "sphere", "radius": -1}]})", "scene.objects[0].radius"},
        {R"({"objects": [{"type": "sphere"}]})", "needs 'radius'"},
        {R"({"objects": [{"type": "box", "size": [1, 1]}]})", "scene.objects[0].size"},
        {R"({"objects": [{"type": "box", "size": [1, 1, 1], "colour": 1}]})", "scene.objects[0].colour: unknown key"},
        {R"({"objects": [{"type": "plane", "pose": {"matrix": [2,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1]}}]})", "rotation"},
        {R"({"objects": [{"type": "plane", "albedo": 1.5}]})", "scene.objects[0].albedo"},
        {R"({"objects": [{"type": "board", "grid": {"spacing": 0.01, "circle_radius": 0.006}}]})", "circle_radius"},
        {R"({"objects": [{"type": "plane", "markers": [{"position": [0, 0]}]}]})", "needs 'code'"},
        {R"({"objects": [{"type": "plane", "markers": [{"code": 5000, "position": [0, 0]}]}]})", "code"},
        {R"({"objects": [{"type": "plane", "markers": [{"kind": "concentric", "code": 3, "position": [0, 0]}]}]})", "no code"},
        {R"({"ambient": "bright", "objects": []})", "scene.ambient"},
    };
    for (const Case& c : cases) {
        Scene s;
        s.ambient = 0.77;
        std::string error;
        EXPECT_FALSE(ParseScene(json::parse(c.json), &s, &error)) << c.json;
        EXPECT_NE(error.find(c.expect), std::string::npos) << c.json << " -> " << error;
        EXPECT_EQ(s.ambient, 0.77) << "a failed parse leaves the scene alone";
    }
}

TEST(SceneDescription, PosesFromAnglesAndMatricesAgree) {
    const Eigen::Matrix3d R = RotationFromDegrees(10.0, -20.0, 30.0);
    EXPECT_LT((R.transpose() * R - Eigen::Matrix3d::Identity()).norm(), 1e-12);
    const Eigen::Vector3d back = DegreesFromRotation(R);
    EXPECT_NEAR(back.x(), 10.0, 1e-9);
    EXPECT_NEAR(back.y(), -20.0, 1e-9);
    EXPECT_NEAR(back.z(), 30.0, 1e-9);
    // x first, then y, then z.
    const Eigen::Vector3d v = RotationFromDegrees(90.0, 0.0, 90.0) * Eigen::Vector3d::UnitY();
    EXPECT_LT((v - Eigen::Vector3d(0, 0, 1)).norm(), 1e-12);
    json j = {{"objects", {{{"type", "box"}, {"size", {1, 1, 1}}, {"pose", {{"position", {1, 2, 3}}, {"rotation_deg", {10, -20, 30}}}}}}}};
    Scene s;
    std::string error;
    ASSERT_TRUE(ParseScene(j, &s, &error)) << error;
    EXPECT_LT((s.objects[0].pose.R - R).norm(), 1e-12);
    EXPECT_EQ(s.objects[0].pose.t, Eigen::Vector3d(1, 2, 3));
}

// ---------------------------------------------------------------------------
// Ray casting.

TEST(SceneTracer, HitsEachShapeWhereGeometrySaysSo) {
    const char* text = R"({"objects": [
        {"type": "sphere", "center": [0, 0, 1], "radius": 0.1},
        {"type": "box", "size": [0.2, 0.2, 0.2], "pose": {"position": [1, 0, 2]}},
        {"type": "cylinder", "radius": 0.1, "height": 0.4, "pose": {"position": [-1, 0, 2], "rotation_deg": [90, 0, 0]}},
        {"type": "cylinder", "radius": 0.15, "height": 0.4, "pose": {"position": [0, 1, 2]}},
        {"type": "plane", "size": [1, 1], "pose": {"position": [0, -1, 3]}},
        {"type": "board", "size": [0.3, 0.3, 0.01], "pose": {"position": [2, 2, 2], "rotation_deg": [0, 0, 90]}}
    ]})";
    Scene s;
    std::string error;
    ASSERT_TRUE(ParseScene(json::parse(text), &s, &error)) << error;
    const Tracer tracer(s, Eigen::Matrix4d::Identity());
    struct Case {
        Eigen::Vector3d target;  // a ray from the origin toward it
        int object;
        double t;                // along the unit ray
        Eigen::Vector3d normal;
        bool textured;
    } cases[] = {
        {{0, 0, 1}, 0, 0.9, {0, 0, -1}, false},
        {{1, 0, 2}, 1, Eigen::Vector3d(1, 0, 2).norm() * 0.95, {0, 0, -1}, false},  // front face at z = 1.9
        // The side of a cylinder lying along y: reached at s (-1, 0, 2) with
        // 5 (1 - s)^2 = 0.01.
        {{-1, 0, 2}, 2, Eigen::Vector3d(-1, 0, 2).norm() * (1.0 - std::sqrt(0.002)), Eigen::Vector3d(1, 0, -2).normalized(), false},
        {{0, 1, 2}, 3, Eigen::Vector3d(0, 1, 2).norm() * 0.9, {0, 0, -1}, false},  // cap of a standing one
        {{0, -1, 3}, 4, Eigen::Vector3d(0, -1, 3).norm(), {0, 0, -1}, true},
        {{2, 2, 2}, 5, Eigen::Vector3d(2, 2, 2).norm(), {0, 0, -1}, true},
    };
    for (const Case& c : cases) {
        const Eigen::Vector3d d = c.target.normalized();
        Hit hit;
        ASSERT_TRUE(tracer.Intersect(Eigen::Vector3d::Zero(), d, 0.0, 100.0, &hit)) << c.object;
        EXPECT_EQ(hit.object, c.object);
        EXPECT_NEAR(hit.t, c.t, 1e-9) << c.object;
        EXPECT_LT((hit.normal - c.normal).norm(), 1e-9) << c.object << ": " << hit.normal.transpose();
        EXPECT_EQ(hit.textured, c.textured) << c.object;
    }
    // The board's frame is turned by 90 degrees about z: a point right of its
    // centre in the device frame lies at board -y.
    Hit hit;
    ASSERT_TRUE(tracer.Intersect(Eigen::Vector3d::Zero(), Eigen::Vector3d(2.05, 2, 2), 0.0, 100.0, &hit));
    EXPECT_NEAR(hit.uv.x(), 0.0, 1e-9);
    EXPECT_NEAR(hit.uv.y(), -0.05, 1e-9);
    // Misses and the range limits.
    EXPECT_FALSE(tracer.Intersect(Eigen::Vector3d::Zero(), Eigen::Vector3d(0, 0, -1), 0.0, 100.0, &hit));
    EXPECT_FALSE(tracer.Occluded(Eigen::Vector3d::Zero(), Eigen::Vector3d(0, 0, 1), 0.0, 0.89));
    EXPECT_TRUE(tracer.Occluded(Eigen::Vector3d::Zero(), Eigen::Vector3d(0, 0, 1), 0.0, 0.91));
    // From inside the sphere the far side is hit, with its outward normal.
    ASSERT_TRUE(tracer.Intersect(Eigen::Vector3d(0, 0, 1), Eigen::Vector3d(1, 0, 0), 0.0, 100.0, &hit));
    EXPECT_NEAR(hit.t, 0.1, 1e-12);
    EXPECT_LT((hit.normal - Eigen::Vector3d(1, 0, 0)).norm(), 1e-12);
}

// ---------------------------------------------------------------------------
// Projection and rendering.

TEST(SceneCamera, DistortionRoundTripsAndRaysProjectOntoTheirPixels) {
    CameraModel c = Device().left;
    c.distortion = {-0.08, 0.02, 0.001, -0.0005, 0.003};
    for (double x : {-0.4, -0.1, 0.0, 0.2, 0.45}) {
        for (double y : {-0.35, 0.0, 0.3}) {
            const Eigen::Vector2d n(x, y);
            EXPECT_LT((Undistort(c, Distort(c, n)) - n).norm(), 1e-10);
        }
    }
    auto rays = RaysFor(c);
    ASSERT_TRUE(rays);
    EXPECT_EQ(RaysFor(c), rays) << "tables are shared";
    for (int v : {0, 17, 256, 511}) {
        for (int u : {0, 99, 320, 639}) {
            const std::size_t i = static_cast<std::size_t>(v) * c.width + u;
            Eigen::Vector2d px;
            ASSERT_TRUE(ProjectCamera(c, Eigen::Vector3d(rays->x[i], rays->y[i], 1.0) * 0.7, &px));
            EXPECT_NEAR(px.x(), u, 1e-3);
            EXPECT_NEAR(px.y(), v, 1e-3);
        }
    }
}

// Whether the segment a-b passes through the axis-aligned box lo-hi.
bool SegmentCrossesBox(const Eigen::Vector3d& a, const Eigen::Vector3d& b, const Eigen::Vector3d& lo,
                       const Eigen::Vector3d& hi) {
    double t0 = 0.0, t1 = 1.0;
    const Eigen::Vector3d d = b - a;
    for (int i = 0; i < 3; ++i) {
        double ta = (lo[i] - a[i]) / d[i], tb = (hi[i] - a[i]) / d[i];
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
    }
    return t0 <= t1;
}

TEST(SceneRender, PlaneDepthLightAndShadow) {
    // A wall at 0.6 m facing the device and a small box in front of it.
    Scene s;
    std::string error;
    ASSERT_TRUE(ParseScene(json::parse(R"({"objects": [
        {"type": "plane", "albedo": 0.8, "pose": {"position": [0, 0, 0.6]}},
        {"type": "box", "size": [0.04, 0.04, 0.04], "albedo": 0.3, "pose": {"position": [0, 0, 0.4]}}
    ]})"), &s, &error)) << error;
    RenderSetup setup;
    setup.camera = &Device().left;
    setup.projector = &Device().projector;
    setup.reference_distance = 0.6;
    Frame f;
    ASSERT_TRUE(Render(s, setup, &f));
    ASSERT_EQ(f.width, 640);
    ASSERT_EQ(f.height, 512);
    const Eigen::Vector3d proj = CameraCentre(Device().projector);
    std::size_t shadowed = 0, on_box = 0;
    for (int v = 0; v < f.height; v += 7) {
        for (int u = 0; u < f.width; u += 7) {
            const std::size_t k = static_cast<std::size_t>(v) * f.width + u;
            ASSERT_FALSE(std::isnan(f.depth[k]));
            if (f.object[k] == 2) {
                ++on_box;
                EXPECT_NEAR(f.depth[k], 0.38, 1e-5);
                continue;
            }
            ASSERT_EQ(f.object[k], 1);
            EXPECT_NEAR(f.depth[k], 0.6, 1e-5);
            EXPECT_EQ(f.albedo[3 * k], 204);
            // The wall point and whether the box blocks the projector.
            const Eigen::Vector3d p = 0.6 * Eigen::Vector3d((u - 320.0) / 750.0, (v - 256.0) / 750.0, 1.0);
            const Eigen::Vector3d to = proj - p;
            const bool blocked = SegmentCrossesBox(p, proj, Eigen::Vector3d(-0.02, -0.02, 0.38), Eigen::Vector3d(0.02, 0.02, 0.42));
            if (blocked) {
                ++shadowed;
                EXPECT_EQ(f.irradiance[k], 0.0f);
                EXPECT_TRUE(std::isnan(f.proj_u[k]));
            } else {
                const double cos_p = -to.z() / to.norm();  // the wall faces -z
                EXPECT_NEAR(f.irradiance[k], cos_p * 0.36 / to.squaredNorm(), 1e-5);
                // The projector pixel of the point.
                EXPECT_NEAR(f.proj_u[k], 620.0 * (p.x() - 0.05) / 0.6 + 320.0, 1e-3);
            }
        }
    }
    EXPECT_GT(shadowed, 5u);
    EXPECT_GT(on_box, 5u);
}

TEST(SceneRender, BoardCirclesAndMarkersAppearAtTheirGroundTruth) {
    const Scene s = DefaultScene(Device());
    for (const CameraModel* cam : {&Device().left, &Device().right}) {
        RenderSetup setup;
        setup.camera = cam;
        setup.projector = &Device().projector;
        Frame f;
        ASSERT_TRUE(Render(s, setup, &f));
        auto at = [&](const Eigen::Vector3d& p, int* object) {
            Eigen::Vector2d px;
            EXPECT_TRUE(ProjectDevice(*cam, p, &px));
            const int u = static_cast<int>(std::lround(px.x())), v = static_cast<int>(std::lround(px.y()));
            const std::size_t k = static_cast<std::size_t>(v) * f.width + u;
            *object = f.object[k] - 1;
            return f.albedo[3 * k] / 255.0;
        };
        BoardTruth b;
        ASSERT_TRUE(BoardGroundTruth(s, &b));
        for (const auto& c : b.circle_centres) {
            int object;
            EXPECT_NEAR(at(c, &object), 0.15, 0.01);
            EXPECT_EQ(object, b.object);
            // Half-way between circles: the white board.
            EXPECT_NEAR(at(c + b.pose.block<3, 1>(0, 0) * b.spacing / 2.0, &object), 0.85, 0.01);
        }
        for (const auto& m : MarkersGroundTruth(s)) {
            int object;
            EXPECT_NEAR(at(m.centre, &object), 0.9, 0.01);
            EXPECT_EQ(object, m.object);
            EXPECT_NEAR(at(m.centre + m.axis_x * 1.5 * m.r0, &object), 0.05, 0.02);
        }
    }
}

TEST(SceneRender, StepsAndRowRanges) {
    const Scene s = DefaultScene(Device());
    RenderSetup setup;
    setup.camera = &Device().left;
    setup.projector = &Device().projector;
    Frame full, coarse, rows;
    ASSERT_TRUE(Render(s, setup, &full));
    setup.step = 4;
    ASSERT_TRUE(Render(s, setup, &coarse));
    EXPECT_EQ(coarse.width, 160);
    EXPECT_EQ(coarse.height, 128);
    for (int j = 0; j < coarse.height; j += 9) {
        for (int i = 0; i < coarse.width; i += 9) {
            const std::size_t a = static_cast<std::size_t>(j) * coarse.width + i;
            const std::size_t b = static_cast<std::size_t>(4 * j) * full.width + 4 * i;
            EXPECT_EQ(coarse.depth[a], full.depth[b]);
        }
    }
    setup.step = 1;
    setup.row_begin = 100;
    setup.row_end = 110;
    ASSERT_TRUE(Render(s, setup, &rows));
    for (int v = 0; v < rows.height; v += 3) {
        const std::size_t k = static_cast<std::size_t>(v) * rows.width + 300;
        if (v >= 100 && v < 110) {
            EXPECT_EQ(rows.depth[k], full.depth[k]);
        } else {
            EXPECT_TRUE(std::isnan(rows.depth[k]));
        }
    }
    CameraModel broken;
    setup.camera = &broken;
    EXPECT_FALSE(Render(s, setup, &rows));
}

}  // namespace
}  // namespace vyxsim::scene
