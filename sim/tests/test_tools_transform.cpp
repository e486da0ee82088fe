// The transform between two cameras from coded markers, and point-cloud
// transformation.
#include <random>

#include "test_tools_support.h"
#include "tools/geometry.h"

namespace vyxtest {
namespace {

// Two cameras looking at the grey device's default scene from different
// places; the true transform maps camera-1 points into camera 2's frame.
struct TwoViews {
    Scene scene;
    CameraModel cam1, cam2;
    Eigen::Matrix3d R;
    Eigen::Vector3d t;
};

TwoViews MakeTwoViews() {
    TwoViews v;
    v.scene = vyxsim::scene::DefaultScene(GreyDevice());
    v.cam1 = GreyDevice().left;
    v.cam2 = MakeCamera(1280, 1024, 1250.0, LookAt({0.11, -0.04, 0.03}, {0.0, 0.0, 0.62}));
    const Eigen::Matrix4d T = vyxsim::scene::DeviceToCamera(v.cam2) * vyxsim::scene::CameraToDevice(v.cam1);
    v.R = T.block<3, 3>(0, 0);
    v.t = T.block<3, 1>(0, 3);
    return v;
}

struct Estimate {
    int result = -1;
    Eigen::Matrix3d R = Eigen::Matrix3d::Zero();
    Eigen::Vector3d t = Eigen::Vector3d::Zero();
    double r9[9] = {0};
    double t3[3] = {0};
};

Estimate EstimateTransform(const Rendered& a, const Rendered& b) {
    Estimate e;
    e.result = Vyx::GetTwoCameraTransformByCodedCircleMarker(MakePointMap(a), MakeImage(a), MakePointMap(b),
                                                             MakeImage(b), Vyx::CodedCircleMarkerType(), e.r9, e.t3);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) e.R(r, c) = e.r9[3 * r + c];
        e.t(r) = e.t3[r];
    }
    return e;
}

class TwoCameras : public ToolsTest {
protected:
    static void SetUpTestSuite() {
        views_ = new TwoViews(MakeTwoViews());
        first_ = new Rendered(RenderScene(views_->scene, views_->cam1));
        second_ = new Rendered(RenderScene(views_->scene, views_->cam2));
    }
    static void TearDownTestSuite() {
        delete first_;
        delete second_;
        delete views_;
    }
    static TwoViews* views_;
    static Rendered *first_, *second_;
};
TwoViews* TwoCameras::views_ = nullptr;
Rendered* TwoCameras::first_ = nullptr;
Rendered* TwoCameras::second_ = nullptr;

// Without noise: rotation within 0.02 degree, translation within 0.1 mm
// (measured: 0.0005 degree, 0.004 mm).
TEST_F(TwoCameras, TransformMatchesTheTrueOne) {
    const Estimate e = EstimateTransform(*first_, *second_);
    ASSERT_EQ(e.result, 0) << Vyx::GetLastErrorMessage();
    EXPECT_LT(AngleDeg(e.R, views_->R), 0.02);
    EXPECT_LT((e.t - views_->t).norm(), 0.0001);
    EXPECT_NEAR(e.R.determinant(), 1.0, 1e-9);
    // The other way round gives the inverse.
    const Estimate back = EstimateTransform(*second_, *first_);
    ASSERT_EQ(back.result, 0);
    EXPECT_LT(AngleDeg(back.R, views_->R.transpose()), 0.02);
    EXPECT_LT((back.t + views_->R.transpose() * views_->t).norm(), 0.0001);
}

// With depth noise of 0.3 mm and image noise of 3 grey levels: rotation
// within 0.05 degree, translation within 0.3 mm (measured: 0.001 degree,
// 0.014 mm).
TEST_F(TwoCameras, TransformWithNoise) {
    Noise n1, n2;
    n1.grey = n2.grey = 3.0;
    n1.depth = n2.depth = 0.0003;
    n2.seed = 2;
    const Estimate e = EstimateTransform(RenderScene(views_->scene, views_->cam1, n1),
                                         RenderScene(views_->scene, views_->cam2, n2));
    ASSERT_EQ(e.result, 0) << Vyx::GetLastErrorMessage();
    EXPECT_LT(AngleDeg(e.R, views_->R), 0.05);
    EXPECT_LT((e.t - views_->t).norm(), 0.0003);
}

// The returned transform carries the first cloud onto the second: each
// transformed point lands on the surface the second camera sees there.
TEST_F(TwoCameras, TransformPointCloudMapsOneCloudOntoTheOther) {
    const Estimate e = EstimateTransform(*first_, *second_);
    ASSERT_EQ(e.result, 0);
    Vyx::PointMap map1 = MakePointMap(*first_);
    ASSERT_TRUE(Vyx::TransformPointCloud(e.r9, e.t3, map1));
    const double* p = map1.GetPointDataPtr();
    const CameraModel& c2 = views_->cam2;
    std::vector<double> gaps;
    for (std::size_t k = 0; k < first_->points.size() / 3; k += 7) {
        const Eigen::Vector3d q(p[3 * k], p[3 * k + 1], p[3 * k + 2]);
        if (!q.allFinite()) continue;
        Eigen::Vector2d px;
        if (!vyxsim::scene::ProjectCamera(c2, q, &px)) continue;
        const long u = std::lround(px.x()), v = std::lround(px.y());
        if (u < 0 || v < 0 || u >= c2.width || v >= c2.height) continue;
        const double* s = &second_->points[3 * (static_cast<std::size_t>(v) * c2.width + static_cast<std::size_t>(u))];
        if (std::isnan(s[2])) continue;
        // Along the second camera's ray: compare depths at the same pixel
        // (half a pixel off at most, on surfaces seen obliquely).
        gaps.push_back(std::abs(s[2] - q.z()));
    }
    ASSERT_GT(gaps.size(), 50000u);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LT(gaps[gaps.size() / 2], 0.0005);       // median
    EXPECT_LT(gaps[gaps.size() * 9 / 10], 0.002);   // most points: occlusions and edges aside
}

TEST_F(TwoCameras, TooFewCommonMarkersFailWithoutWriting) {
    Scene s = views_->scene;
    int kept = 0;
    for (auto& o : s.objects) {
        std::vector<vyxsim::scene::Marker> keep;
        for (const auto& m : o.markers) {
            if (m.kind == vyxsim::scene::MarkerKind::Coded && kept < 2) {
                keep.push_back(m);
                ++kept;
            }
        }
        o.markers = keep;
    }
    const Estimate e = EstimateTransform(RenderScene(s, views_->cam1), RenderScene(s, views_->cam2));
    EXPECT_EQ(e.result, vyxsim::kNoResult);
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kNoResult);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("share 2 coded markers"), std::string::npos)
        << Vyx::GetLastErrorMessage();
    for (double v : e.r9) EXPECT_EQ(v, 0.0);
    for (double v : e.t3) EXPECT_EQ(v, 0.0);
}

// Wrong pairs (a third of them) do not move the fit: every triple is tried
// for few pairs, pseudo-random ones for many.
TEST(RigidFit, IgnoresWrongPairs) {
    const Eigen::Matrix3d R = vyxsim::scene::RotationFromDegrees(5.0, -12.0, 30.0);
    const Eigen::Vector3d t(0.05, -0.02, 0.1);
    for (int n : {12, 60}) {
        std::mt19937 rng(static_cast<unsigned>(n));
        std::uniform_real_distribution<double> U(-0.2, 0.2);
        std::vector<Eigen::Vector3d> src, dst;
        std::vector<bool> wrong;
        for (int i = 0; i < n; ++i) {
            const Eigen::Vector3d p(U(rng), U(rng), 0.6 + U(rng));
            const bool bad = i % 3 == 1;
            src.push_back(p);
            dst.push_back(R * p + t + (bad ? Eigen::Vector3d(U(rng), U(rng), U(rng)) : Eigen::Vector3d::Zero()));
            wrong.push_back(bad && (dst.back() - R * p - t).norm() > 0.003);
        }
        vyxsim::tools::RobustRigid fit;
        ASSERT_TRUE(vyxsim::tools::FitRigidRobust(src, dst, 0.003, &fit)) << n;
        EXPECT_LT(AngleDeg(fit.transform.R, R), 1e-6);
        EXPECT_LT((fit.transform.t - t).norm(), 1e-9);
        for (int i = 0; i < n; ++i) EXPECT_EQ(fit.inlier[static_cast<std::size_t>(i)], !wrong[static_cast<std::size_t>(i)]) << i;
        EXPECT_LT(fit.rms, 1e-9);
    }
    // Pairs that agree only along a line fix no rotation.
    std::vector<Eigen::Vector3d> line;
    for (int i = 0; i < 6; ++i) line.push_back({0.01 * i, 0.0, 0.6});
    vyxsim::tools::RobustRigid fit;
    EXPECT_FALSE(vyxsim::tools::FitRigidRobust(line, line, 0.003, &fit));
}

// p' = R p + t for every point, NaN stays NaN, normals turn with R.
TEST_F(ToolsTest, TransformPointCloudAppliesTheTransform) {
    const int w = 40, h = 30;
    Vyx::PointMap map = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {w, h});
    ASSERT_TRUE(map.IsValid());
    double* p = map.GetPointDataPtr();
    double* nrm = map.GetNormalDataPtr();
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> U(-1.0, 1.0);
    const std::size_t n = static_cast<std::size_t>(w) * h;
    for (std::size_t k = 0; k < n; ++k) {
        for (int d = 0; d < 3; ++d) p[3 * k + d] = U(rng);
        const Eigen::Vector3d v = Eigen::Vector3d(U(rng), U(rng), U(rng)).normalized();
        for (int d = 0; d < 3; ++d) nrm[3 * k + d] = v(d);
    }
    p[3 * 5 + 1] = std::nan("");  // one coordinate missing: the point is none
    for (int d = 0; d < 3; ++d) nrm[3 * 9 + d] = 0.0;  // no normal computed
    std::vector<double> before(p, p + 3 * n), nbefore(nrm, nrm + 3 * n);
    const Eigen::Matrix3d R = vyxsim::scene::RotationFromDegrees(20.0, -35.0, 110.0);
    const Eigen::Vector3d t(0.1, -0.25, 0.6);
    double r9[9], t3[3] = {t.x(), t.y(), t.z()};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) r9[3 * r + c] = R(r, c);
    }
    ASSERT_TRUE(Vyx::TransformPointCloud(r9, t3, map)) << Vyx::GetLastErrorMessage();
    for (std::size_t k = 0; k < n; ++k) {
        const Eigen::Vector3d q(p[3 * k], p[3 * k + 1], p[3 * k + 2]);
        const Eigen::Vector3d nq(nrm[3 * k], nrm[3 * k + 1], nrm[3 * k + 2]);
        if (k == 5) {
            EXPECT_TRUE(std::isnan(q.x()) && std::isnan(q.y()) && std::isnan(q.z()));
        } else {
            const Eigen::Vector3d expect = R * Eigen::Vector3d(before[3 * k], before[3 * k + 1], before[3 * k + 2]) + t;
            EXPECT_LT((q - expect).norm(), 1e-12) << k;
        }
        if (k == 9) {
            EXPECT_EQ(nq.norm(), 0.0);
        } else {
            EXPECT_LT((nq - R * Eigen::Vector3d(nbefore[3 * k], nbefore[3 * k + 1], nbefore[3 * k + 2])).norm(), 1e-12);
        }
    }
    // A general (invertible) matrix: normals follow its inverse transpose.
    const double s9[9] = {2, 0, 0, 0, 1, 0, 0, 0, 1}, zero[3] = {0, 0, 0};
    const Eigen::Vector3d n0(nrm[0], nrm[1], nrm[2]);
    ASSERT_TRUE(Vyx::TransformPointCloud(s9, zero, map));
    EXPECT_LT((Eigen::Vector3d(nrm[0], nrm[1], nrm[2]) - Eigen::Vector3d(n0.x() / 2, n0.y(), n0.z()).normalized()).norm(), 1e-12);
}

TEST_F(ToolsTest, TransformPointCloudRefusesUnusableTransforms) {
    Vyx::PointMap map = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {4, 4});
    double* p = map.GetPointDataPtr();
    for (int k = 0; k < 48; ++k) p[k] = k;
    const double singular[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0}, identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double t[3] = {1, 2, 3}, bad_t[3] = {0, std::nan(""), 0};
    struct Case {
        const double* r;
        const double* t;
        const char* message;
    } cases[] = {{singular, t, "singular"},
                 {identity, bad_t, "not finite"},
                 {nullptr, t, "rotation array is null"},
                 {identity, nullptr, "translation array is null"}};
    for (const Case& c : cases) {
        EXPECT_FALSE(Vyx::TransformPointCloud(c.r, c.t, map));
        EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInvalidArgument);
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(c.message), std::string::npos)
            << Vyx::GetLastErrorMessage();
    }
    for (int k = 0; k < 48; ++k) EXPECT_EQ(p[k], k);
    Vyx::PointMap gone = map;
    Vyx::PointMap::Destroy(map);
    EXPECT_FALSE(Vyx::TransformPointCloud(identity, t, gone));
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInvalidHandle);
}

}  // namespace
}  // namespace vyxtest
