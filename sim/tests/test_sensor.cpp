// The sensor layer's numerical parts against plain reference computations:
// window normals against an eigen-solver over each window, and line-scan
// profiles from the queue against profiles computed one by one.
#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>
#include <chrono>
#include <cstring>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "rendering/render.h"
#include "scene/scene.h"
#include "scene/scene_json.h"
#include "rendering/tracer.h"
#include "sensor/line_scan.h"
#include "sensor/normals.h"

namespace vyxsim::cam {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

scene::RayTable Rays(int w, int h, double f) {
    scene::RayTable t;
    t.width = w;
    t.height = h;
    for (int v = 0; v < h; ++v) {
        for (int u = 0; u < w; ++u) {
            t.x.push_back(static_cast<float>((u - w / 2.0) / f));
            t.y.push_back(static_cast<float>((v - h / 2.0) / f));
        }
    }
    return t;
}

// The normal of the window around frame pixel (i, j) by an eigen-solver,
// oriented toward the camera; false where EstimateNormals must give NaN.
// Frame pixel (i, j) has the ray of camera pixel (i * step, j * step).
bool ReferenceNormal(const std::vector<double>& z, int w, int h, int step, const scene::RayTable& rays, int r, int i,
                     int j, Eigen::Vector3d* n, double* gap) {
    if (std::isnan(z[j * w + i])) return false;
    auto point = [&](int ii, int jj) {
        const double d = z[jj * w + ii];
        const std::size_t ri = static_cast<std::size_t>(jj * step) * rays.width + static_cast<std::size_t>(ii * step);
        return Eigen::Vector3d(d * rays.x[ri], d * rays.y[ri], d);
    };
    std::vector<Eigen::Vector3d> pts;
    for (int jj = std::max(0, j - r); jj <= std::min(h - 1, j + r); ++jj) {
        for (int ii = std::max(0, i - r); ii <= std::min(w - 1, i + r); ++ii) {
            if (!std::isnan(z[jj * w + ii])) pts.push_back(point(ii, jj));
        }
    }
    if (pts.size() < 3) return false;
    Eigen::Vector3d mean = Eigen::Vector3d::Zero();
    for (const auto& p : pts) mean += p;
    mean /= static_cast<double>(pts.size());
    Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
    for (const auto& p : pts) cov += (p - mean) * (p - mean).transpose();
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> es(cov / static_cast<double>(pts.size()));
    *n = es.eigenvectors().col(0);
    *gap = es.eigenvalues()(0) / es.eigenvalues()(1);  // how fast power iterations converge
    if (n->dot(point(i, j)) > 0.0) *n = -*n;
    return true;
}

// A noisy depth map of two tilted planes with a step between them and holes.
std::vector<double> TwoPlanes(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 2e-4);
    std::uniform_real_distribution<double> hole(0.0, 1.0);
    std::vector<double> z(static_cast<std::size_t>(w) * h);
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            double d = i < w / 2 ? 0.6 + 0.0004 * i + 0.0002 * j : 0.55 - 0.0003 * j;
            if (hole(rng) < 0.05 || (i > 10 && i < 14)) d = kNaN;  // scattered holes and a gap
            z[j * w + i] = d + (std::isnan(d) ? 0.0 : noise(rng));
        }
    }
    return z;
}

// A frame shape: its width (not always a whole number of any kernel's
// blocks) and its step (above 1, the rays are gathered one by one).
struct FrameShape {
    int w, h, step;
};

using NormalsParam = std::tuple<NormalsKernel, int, FrameShape>;

class WindowNormals : public ::testing::TestWithParam<NormalsParam> {};

// Every pixel's normal is the smallest-eigenvalue eigenvector of its window,
// also at the borders, across the holes and at the step, for several radii,
// on every kernel this processor runs (the window sums slide; a slip in the
// sliding shows as a wrong window).
TEST_P(WindowNormals, MatchAnEigenSolverOverEachWindow) {
    const auto [kernel, radius, shape] = GetParam();
    const int w = shape.w, h = shape.h, step = shape.step;
    const int r = std::max(1, radius / step);
    const scene::RayTable rays = Rays(w * step, h * step, 60.0 * step);
    const std::vector<double> z = TwoPlanes(w, h, 7u + radius);
    std::vector<double> normals(3 * z.size(), 0.0);
    EstimateNormals(z.data(), w, h, step, rays, radius, Eigen::Matrix3d::Identity(), normals.data(), kernel);
    int compared = 0;
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const double* n = &normals[3 * (j * w + i)];
            Eigen::Vector3d ref;
            double gap = 0.0;
            if (!ReferenceNormal(z, w, h, step, rays, r, i, j, &ref, &gap)) {
                EXPECT_TRUE(std::isnan(n[0]) && std::isnan(n[1]) && std::isnan(n[2])) << i << "," << j;
                continue;
            }
            ASSERT_FALSE(std::isnan(n[0])) << i << "," << j;
            const Eigen::Vector3d got(n[0], n[1], n[2]);
            EXPECT_NEAR(got.norm(), 1.0, 1e-12);
            // Power iterations leave an error that shrinks with the gap;
            // windows whose two smallest eigenvalues are close (across the
            // step) have no well-defined plane and are not compared.
            if (gap < 0.05) {
                EXPECT_GT(got.dot(ref), 1.0 - 1e-6) << "pixel " << i << "," << j << " radius " << r;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, w * h / 3);
}

INSTANTIATE_TEST_SUITE_P(KernelsRadiiShapes, WindowNormals,
                         ::testing::Combine(::testing::ValuesIn(SupportedNormalsKernels()),
                                            ::testing::Values(1, 2, 5, 12),
                                            ::testing::Values(FrameShape{48, 40, 1}, FrameShape{45, 37, 1},
                                                              FrameShape{29, 23, 2})),
                         [](const ::testing::TestParamInfo<NormalsParam>& info) {
                             const FrameShape s = std::get<2>(info.param);
                             return std::string(NormalsKernelName(std::get<0>(info.param))) + "_r" +
                                    std::to_string(std::get<1>(info.param)) + "_" + std::to_string(s.w) + "x" +
                                    std::to_string(s.h) + "_step" + std::to_string(s.step);
                         });

class WindowNormalsMap : public ::testing::TestWithParam<NormalsKernel> {};

// A non-rigid output map turns normals by its inverse transpose and keeps
// them unit length.
TEST_P(WindowNormalsMap, ScaledOutputFrameKeepsUnitNormals) {
    const NormalsKernel kernel = GetParam();
    const int w = 32, h = 24;
    const scene::RayTable rays = Rays(w, h, 50.0);
    const std::vector<double> z = TwoPlanes(w, h, 3u);
    std::vector<double> plain(3 * z.size()), mapped(3 * z.size());
    EstimateNormals(z.data(), w, h, 1, rays, 3, Eigen::Matrix3d::Identity(), plain.data(), kernel);
    const Eigen::Matrix3d m = Eigen::Vector3d(2.0, 1.0, 0.5).asDiagonal();
    EstimateNormals(z.data(), w, h, 1, rays, 3, m, mapped.data(), kernel);
    for (std::size_t k = 0; k < z.size(); ++k) {
        if (std::isnan(plain[3 * k])) {
            EXPECT_TRUE(std::isnan(mapped[3 * k])) << k;
            continue;
        }
        const Eigen::Vector3d expected = (m * Eigen::Vector3d(plain[3 * k], plain[3 * k + 1], plain[3 * k + 2])).normalized();
        const Eigen::Vector3d got(mapped[3 * k], mapped[3 * k + 1], mapped[3 * k + 2]);
        EXPECT_NEAR((got - expected).norm(), 0.0, 1e-12) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, WindowNormalsMap, ::testing::ValuesIn(SupportedNormalsKernels()),
                         [](const ::testing::TestParamInfo<NormalsKernel>& info) { return NormalsKernelName(info.param); });

// A scan model over a box on a belt, as the line-scan tests use.
std::shared_ptr<LineScanModel> BeltModel(const scene::Scene& scene) {
    auto m = std::make_shared<LineScanModel>();
    CameraModel c;
    c.width = 200;
    c.height = 160;
    c.fx = c.fy = 220.0;
    c.cx = 100.0;
    c.cy = 80.0;
    m->measuring = c;
    m->other = c;
    m->other.pose[3] = 0.1;
    m->scene = std::make_shared<const scene::Scene>(scene);
    m->tracer = std::make_unique<scene::Tracer>(*m->scene, Eigen::Matrix4d::Identity());
    m->output = Eigen::Matrix4d::Identity();
    m->width = c.width;
    m->laser_origin = Eigen::Vector3d(0.05, 0.0, 0.0);
    for (int i = 0; i < m->width; ++i) m->laser_dirs.emplace_back((i - 100.0) / 220.0, 0.05, 1.0);
    m->k_sigma = 1e-3;
    m->noise = {12345};
    return m;
}

TEST(ProfileQueueThreads, RowsEqualProfilesComputedOneByOneInAnyReadingOrder) {
    scene::Scene scene;
    std::string error;
    ASSERT_TRUE(scene::ParseScene(nlohmann::json::parse(R"({"objects": [
        {"type": "plane", "albedo": 0.8, "pose": {"position": [0, 0, 0.6]}},
        {"type": "box", "size": [0.1, 0.05, 0.05], "albedo": 0.6, "pose": {"position": [0.04, 0.02, 0.55]}}]})"),
                                  &scene, &error))
        << error;
    auto model = BeltModel(scene);
    std::vector<double> times;
    for (int r = 0; r < 300; ++r) times.push_back(r * 0.7);
    auto same_row = [&](const double* row, int r) {
        std::vector<double> expected(3 * model->width);
        ComputeProfile(*model, r, times[r], expected.data());
        return std::memcmp(row, expected.data(), expected.size() * sizeof(double)) == 0;
    };
    {
        ProfileQueue queue(model, times);
        // Far ahead of the worker first (the reader computes rows too), then
        // back to the start.
        EXPECT_TRUE(same_row(queue.Row(299), 299));
        for (int r = 0; r < 300; r += 7) EXPECT_TRUE(same_row(queue.Row(r), r)) << r;
        int points = 0;
        for (int r = 0; r < 300; ++r) points += !std::isnan(queue.Row(r)[3 * 100]);
        EXPECT_EQ(queue.Finished(), 300);
        EXPECT_GT(points, 200);  // the laser meets the part in most rows
    }
    // Destroyed while its worker is busy: it stops without finishing.
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<double> many(100000);
    for (std::size_t r = 0; r < many.size(); ++r) many[r] = r * 0.1;
    { ProfileQueue busy(model, many); }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

}  // namespace
}  // namespace vyxsim::cam
