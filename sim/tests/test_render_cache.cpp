// The render cache: what it keeps, what makes a new entry, and that a cached
// frame is exactly what rendering gives.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "core/devices.h"
#include "rendering/frame_cache.h"
#include "rendering/render.h"
#include "scene/scene.h"
#include "scene/scene_json.h"

namespace vyxsim::scene {
namespace {

using nlohmann::json;

CameraModel Camera(double x = 0.0) {
    CameraModel c;
    c.width = 320;
    c.height = 256;
    c.fx = c.fy = 400.0;
    c.cx = 160.0;
    c.cy = 128.0;
    c.distortion = {0.05, -0.01, 0.001, 0.0005, 0.0};
    c.pose[3] = x;
    return c;
}

Scene Parse(const char* text) {
    Scene s;
    std::string error;
    EXPECT_TRUE(ParseScene(json::parse(text), &s, &error)) << error;
    return s;
}

const char* kWall = R"({"objects": [{"type": "plane", "albedo": 0.7, "pose": {"position": [0, 0, 0.6]}},
    {"type": "sphere", "center": [0.02, 0.01, 0.45], "radius": 0.03, "albedo": [0.8, 0.3, 0.2]}]})";
const char* kMoved = R"({"objects": [{"type": "plane", "albedo": 0.7, "pose": {"position": [0, 0, 0.6]}},
    {"type": "sphere", "center": [0.03, 0.01, 0.45], "radius": 0.03, "albedo": [0.8, 0.3, 0.2]}]})";

struct Rig {
    CameraModel camera = Camera();
    CameraModel projector = Camera(0.05);
    RenderSetup Get(int step = 1) {
        RenderSetup s;
        s.camera = &camera;
        s.projector = &projector;
        s.reference_distance = 0.6;
        s.step = step;
        return s;
    }
};

void ExpectSameFrame(const Frame& a, const Frame& b) {
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    ASSERT_EQ(a.step, b.step);
    // Bytes, so that NaN compares equal to NaN.
    auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(x[0])) == 0;
    };
    EXPECT_TRUE(same(a.depth, b.depth));
    EXPECT_TRUE(same(a.irradiance, b.irradiance));
    EXPECT_TRUE(same(a.proj_u, b.proj_u));
    EXPECT_TRUE(same(a.proj_v, b.proj_v));
    EXPECT_TRUE(same(a.albedo, b.albedo));
    EXPECT_TRUE(same(a.view_cos, b.view_cos));
    EXPECT_TRUE(same(a.object, b.object));
}

TEST(RenderCache, ACachedFrameIsWhatRenderingGivesAndIsShared) {
    ClearRenderCache();
    Rig setup;
    const Scene scene = Parse(kWall);
    auto first = RenderCached(scene, setup.Get());
    ASSERT_TRUE(first);
    Frame fresh;
    ASSERT_TRUE(Render(scene, setup.Get(), &fresh));
    ExpectSameFrame(*first, fresh);
    // Another scene object with the same content shares the frame.
    const Scene again = Parse(kWall);
    EXPECT_EQ(RenderCached(again, setup.Get()).get(), first.get());
    EXPECT_EQ(RenderCacheEntries(), 1u);
}

// Everything the renderer reads is part of the key.
TEST(RenderCache, SceneCameraProjectorDistanceAndStepMakeNewEntries) {
    ClearRenderCache();
    Rig setup;
    const Scene scene = Parse(kWall);
    auto base = RenderCached(scene, setup.Get());
    std::vector<std::shared_ptr<const Frame>> others;

    others.push_back(RenderCached(Parse(kMoved), setup.Get()));
    Rig moved;
    moved.camera.pose[7] = 0.01;  // the camera moved
    others.push_back(RenderCached(scene, moved.Get()));
    Rig focal;
    focal.camera.fx = 410.0;
    others.push_back(RenderCached(scene, focal.Get()));
    Rig distorted;
    distorted.camera.distortion[0] = 0.06;
    others.push_back(RenderCached(scene, distorted.Get()));
    Rig projector;
    projector.projector.pose[3] = 0.06;
    others.push_back(RenderCached(scene, projector.Get()));
    RenderSetup dark = setup.Get();
    dark.projector = nullptr;
    others.push_back(RenderCached(scene, dark));
    RenderSetup far = setup.Get();
    far.reference_distance = 0.7;
    others.push_back(RenderCached(scene, far));
    others.push_back(RenderCached(scene, setup.Get(4)));

    for (std::size_t i = 0; i < others.size(); ++i) {
        ASSERT_TRUE(others[i]) << i;
        EXPECT_NE(others[i].get(), base.get()) << i;
    }
    // Each differs from the base frame in what it holds, and is what a fresh
    // render of its setup gives.
    Frame fresh;
    ASSERT_TRUE(Render(Parse(kMoved), setup.Get(), &fresh));
    ExpectSameFrame(*others[0], fresh);
    EXPECT_NE(std::memcmp(others[0]->depth.data(), base->depth.data(), base->depth.size() * 4), 0);
    EXPECT_EQ(others[7]->width, 80);
    // The base is still cached.
    EXPECT_EQ(RenderCached(scene, setup.Get()).get(), base.get());
}

TEST(RenderCache, RowRangesAreRenderedAfreshAndNotKept) {
    ClearRenderCache();
    Rig setup;
    const Scene scene = Parse(kWall);
    RenderSetup rows = setup.Get();
    rows.row_begin = 10;
    rows.row_end = 20;
    auto a = RenderCached(scene, rows), b = RenderCached(scene, rows);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(RenderCacheEntries(), 0u);
    EXPECT_FALSE(std::isnan(a->depth[15 * a->width + 100]));
    EXPECT_TRUE(std::isnan(a->depth[30 * a->width + 100]));
}

TEST(RenderCache, EntriesAreBoundedAndFramesInUseOutliveEviction) {
    ClearRenderCache();
    Rig setup;
    const Scene scene = Parse(kWall);
    auto oldest = RenderCached(scene, setup.Get());
    const std::vector<float> depth = oldest->depth;
    for (int i = 1; i <= 20; ++i) {
        Rig s;
        s.camera.pose[3] = 0.001 * i;
        ASSERT_TRUE(RenderCached(scene, s.Get(2)));
        EXPECT_LE(RenderCacheEntries(), 12u);
    }
    // Evicted, so rendered again: a new frame with the same content; the
    // one still held is intact.
    auto again = RenderCached(scene, setup.Get());
    EXPECT_NE(again.get(), oldest.get());
    EXPECT_EQ(oldest->depth, depth);
    ExpectSameFrame(*again, *oldest);
    EXPECT_GT(RenderCacheBytes(), 0u);
    ClearRenderCache();
    EXPECT_EQ(RenderCacheEntries(), 0u);
    EXPECT_EQ(RenderCacheBytes(), 0u);
}

TEST(RenderCache, CorrespondenceIsKeptPerFrameAndTargetCamera) {
    ClearRenderCache();
    Rig setup;
    const Scene scene = Parse(kWall);
    auto frame = RenderCached(scene, setup.Get());
    const CameraModel right = Camera(0.1), other = Camera(0.12);
    auto uv = CorrespondenceCached(scene, setup.camera, frame, right);
    ASSERT_TRUE(uv);
    ASSERT_EQ(uv->size(), 2 * frame->Size());
    EXPECT_EQ(CorrespondenceCached(scene, setup.camera, frame, right).get(), uv.get());
    auto uv2 = CorrespondenceCached(scene, setup.camera, frame, other);
    EXPECT_NE(uv2.get(), uv.get());
    // A point on the wall seen by both cameras maps to a pixel to its left
    // in the right camera (which sits at +x).
    const std::size_t k = 128 * static_cast<std::size_t>(frame->width) + 250;
    ASSERT_FALSE(std::isnan((*uv)[2 * k]));
    EXPECT_LT((*uv)[2 * k], 250.0);
}

TEST(RenderCacheThreads, ConcurrentUsersGetOneConsistentFrame) {
    ClearRenderCache();
    const Scene scene = Parse(kWall);
    Frame fresh;
    Rig reference;
    ASSERT_TRUE(Render(scene, reference.Get(2), &fresh));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                Rig s;
                if ((i + t) % 3 == 0) s.camera.pose[3] = 0.002 * ((i + t) % 5);  // other keys meanwhile
                auto f = RenderCached(scene, s.Get(2));
                if (!f) {
                    ++wrong;
                    continue;
                }
                if (s.camera.pose[3] == 0.0 &&
                    std::memcmp(f->depth.data(), fresh.depth.data(), fresh.depth.size() * 4) != 0) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(RenderCacheEntries(), 12u);
}

}  // namespace
}  // namespace vyxsim::scene
