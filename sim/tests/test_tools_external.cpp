// External camera registration from three views of the board, and the
// point map as the external camera sees it.
#include "test_tools_support.h"

namespace vyxtest {
namespace {

// The 3D camera (the grey device's field of view at 960 x 768) and a 2D
// camera beside it with its own intrinsics and lens distortion.
CameraModel Camera3d() { return MakeCamera(960, 768, 1125.0); }
CameraModel External() {
    CameraModel c = MakeCamera(1024, 768, 1000.0, LookAt({0.09, 0.04, -0.02}, {0.0, 0.0, 0.62}));
    c.cx = 515.0;
    c.cy = 380.5;
    c.distortion = {-0.06, 0.02, 0.0005, -0.0003, 0.0};
    return c;
}

struct Views {
    Rendered near[3], far[3];
};

class ExternalCamera : public ToolsTest {
protected:
    static void SetUpTestSuite() {
        const Scene base = vyxsim::scene::DefaultScene(GreyDevice());
        vyxsim::scene::BoardTruth board;
        vyxsim::scene::BoardGroundTruth(base, &board);
        const Eigen::Vector3d pivot = board.pose.block<3, 1>(0, 3);
        // The board held in three poses; the table stays.
        const Eigen::Matrix4d motions[3] = {Eigen::Matrix4d::Identity(), Motion(14.0, -8.0, 5.0, pivot, {0.02, 0.01, -0.03}),
                                            Motion(-10.0, 16.0, -7.0, pivot, {-0.02, -0.01, 0.04})};
        views_ = new Views();
        for (int i = 0; i < 3; ++i) {
            Scene s = base;
            for (auto& o : s.objects) {
                if (o.shape != vyxsim::scene::Shape::Board) continue;
                o.pose.R = motions[i].block<3, 3>(0, 0) * o.pose.R;
                o.pose.t = motions[i].block<3, 3>(0, 0) * o.pose.t + motions[i].block<3, 1>(0, 3);
            }
            views_->near[i] = RenderScene(s, Camera3d());
            views_->far[i] = RenderScene(s, External());
        }
    }
    static void TearDownTestSuite() { delete views_; }

    struct Result {
        int status = -1;
        std::vector<float> e = std::vector<float>(16, 0.0f);
        double rms = -1.0;
    };
    static Result Register(const float* K, const float* dist, const Rendered* far_override = nullptr) {
        Result r;
        Vyx::Image img[3];
        Vyx::PointMap map[3];
        for (int i = 0; i < 3; ++i) {
            img[i] = MakeImage(views_->near[i]);
            map[i] = MakePointMap(views_->near[i]);
        }
        const Rendered* f = far_override ? far_override : views_->far;
        const CameraModel ext = External();
        r.status = Vyx::GetExternalCameraExtrinsicMatrix(img[0], map[0], f[0].grey.data(), img[1], map[1],
                                                         f[1].grey.data(), img[2], map[2], f[2].grey.data(), ext.width,
                                                         ext.height, K, dist, r.e.data(), r.rms);
        return r;
    }
    static std::vector<float> K() {
        const CameraModel c = External();
        return {static_cast<float>(c.fx), 0, static_cast<float>(c.cx), 0, static_cast<float>(c.fy),
                static_cast<float>(c.cy), 0, 0, 1};
    }
    static std::vector<float> Dist() {
        std::vector<float> d;
        for (double k : External().distortion) d.push_back(static_cast<float>(k));
        return d;
    }
    static Eigen::Matrix4d TrueExtrinsic() {
        return vyxsim::scene::DeviceToCamera(External()) * vyxsim::scene::CameraToDevice(Camera3d());
    }
    static Views* views_;
};
Views* ExternalCamera::views_ = nullptr;

// Rotation within 0.02 degree, translation within 0.1 mm, RMS reprojection
// error under 0.1 px (measured: 0.0015 degree, 0.013 mm, 0.02 px).
TEST_F(ExternalCamera, ExtrinsicMatchesTheTrueOne) {
    const std::vector<float> k = K(), d = Dist();
    const Result r = Register(k.data(), d.data());
    ASSERT_NE(r.status, 0) << Vyx::GetLastErrorMessage();
    Eigen::Matrix4d E;
    for (int i = 0; i < 16; ++i) E(i / 4, i % 4) = r.e[static_cast<std::size_t>(i)];
    const Eigen::Matrix4d T = TrueExtrinsic();
    EXPECT_LT(AngleDeg(E.block<3, 3>(0, 0), T.block<3, 3>(0, 0)), 0.02);
    EXPECT_LT((E.block<3, 1>(0, 3) - T.block<3, 1>(0, 3)).norm(), 0.0001);
    EXPECT_EQ(E.row(3), Eigen::RowVector4d(0, 0, 0, 1));
    EXPECT_GE(r.rms, 0.0);
    EXPECT_LT(r.rms, 0.1);
}

TEST_F(ExternalCamera, RefusesBadArgumentsWithoutWriting) {
    const std::vector<float> k = K(), d = Dist();
    std::vector<float> column_major = k;
    std::swap(column_major[2], column_major[6]);
    std::swap(column_major[5], column_major[7]);
    const Result a = Register(column_major.data(), d.data());
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInvalidArgument);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("fx 0 cx 0 fy cy 0 0 1"), std::string::npos);
    EXPECT_EQ(a.rms, -1.0);
    for (float v : a.e) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(Register(nullptr, d.data()).status, 0);
    EXPECT_EQ(Register(k.data(), nullptr).status, 0);
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInvalidArgument);

    // External images without the board's markers: no pose.
    Rendered blank[3];
    for (auto& b : blank) {
        b = views_->far[0];
        std::fill(b.grey.begin(), b.grey.end(), 128);
    }
    const Result c = Register(k.data(), d.data(), blank);
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kNoResult);
    for (float v : c.e) EXPECT_EQ(v, 0.0f);
}

// With the true extrinsic, the point map for the external camera holds, at
// each pixel, the surface that camera sees there (depth within 2 mm at most
// pixels, half a pixel's footprint at the median).
TEST_F(ExternalCamera, PointMapAsTheExternalCameraSeesIt) {
    const std::vector<float> k = K(), d = Dist();
    const Eigen::Matrix4d T = TrueExtrinsic();
    float e[16];
    for (int i = 0; i < 16; ++i) e[i] = static_cast<float>(T(i / 4, i % 4));
    const CameraModel ext = External();
    Vyx::PointMap src = MakePointMap(views_->near[0]);
    Vyx::PointMap out = Vyx::GetExternalCameraPointMap(src, ext.width, ext.height, k.data(), d.data(), e);
    ASSERT_TRUE(out.IsValid()) << Vyx::GetLastErrorMessage();
    EXPECT_EQ(out.GetSize().width, ext.width);
    EXPECT_EQ(out.GetSize().height, ext.height);
    const double* p = out.GetPointDataPtr();
    const Rendered& seen = views_->far[0];
    std::vector<double> gaps;
    int filled = 0;
    for (std::size_t i = 0; i < seen.points.size() / 3; ++i) {
        if (std::isnan(p[3 * i + 2])) continue;
        ++filled;
        // The point projects into its own pixel.
        Eigen::Vector2d px;
        ASSERT_TRUE(vyxsim::scene::ProjectCamera(ext, {p[3 * i], p[3 * i + 1], p[3 * i + 2]}, &px));
        EXPECT_LE(std::abs(px.x() - static_cast<double>(i % static_cast<std::size_t>(ext.width))), 0.5 + 1e-3);
        EXPECT_LE(std::abs(px.y() - static_cast<double>(i / static_cast<std::size_t>(ext.width))), 0.5 + 1e-3);
        if (!std::isnan(seen.points[3 * i + 2])) gaps.push_back(std::abs(seen.points[3 * i + 2] - p[3 * i + 2]));
    }
    ASSERT_GT(filled, ext.width * ext.height / 4);
    ASSERT_GT(gaps.size(), 100000u);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LT(gaps[gaps.size() / 2], 0.0005);
    EXPECT_LT(gaps[gaps.size() * 9 / 10], 0.002);

    // Unusable arguments: an invalid point map, with the last error set.
    float bad[16];
    std::copy(e, e + 16, bad);
    bad[15] = 2.0f;
    EXPECT_FALSE(Vyx::GetExternalCameraPointMap(src, ext.width, ext.height, k.data(), d.data(), bad).IsValid());
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInvalidArgument);
    EXPECT_FALSE(Vyx::GetExternalCameraPointMap(src, 0, ext.height, k.data(), d.data(), e).IsValid());
    EXPECT_FALSE(Vyx::GetExternalCameraPointMap(src, ext.width, ext.height, k.data(), d.data(), nullptr).IsValid());
    EXPECT_FALSE(Vyx::GetExternalCameraPointMap(Vyx::PointMap(), ext.width, ext.height, k.data(), d.data(), e).IsValid());
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInvalidHandle);
}

}  // namespace
}  // namespace vyxtest
