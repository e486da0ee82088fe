// The accuracy test on the circle-grid board against the scene's ground
// truth.
#include "test_tools_support.h"

namespace vyxtest {
namespace {

using vyxsim::scene::BoardTruth;

// The colour device's scene (a 15 mm grid) through a camera with its field
// of view at 1280 x 800.
CameraModel BoardCamera() { return MakeCamera(1280, 800, 2200.0 * 1280.0 / 1920.0); }

struct Accuracy {
    int result = -1;
    std::vector<float> c2, c3;
    float error = -1.0f, flatness = -1.0f;
};

Accuracy RunTest(const Rendered& r, int cols, int rows, float spacing, const float* ref2 = nullptr,
             const float* ref3 = nullptr) {
    Accuracy a;
    const std::size_t n = static_cast<std::size_t>(std::max(cols * rows, 0));
    a.c2.assign(2 * n, 0.0f);
    a.c3.assign(3 * n, 0.0f);
    a.result = Vyx::TestAccuracy(MakeImage(r), MakePointMap(r), ref2, ref3, cols, rows, spacing,
                                 n ? a.c2.data() : nullptr, n ? a.c3.data() : nullptr, a.error, a.flatness);
    return a;
}

class BoardAccuracy : public ToolsTest {
protected:
    static void SetUpTestSuite() {
        scene_ = new Scene(vyxsim::scene::DefaultScene(ColourDevice()));
        clean_ = new Rendered(RenderScene(*scene_, BoardCamera()));
        truth_ = new BoardTruth();
        vyxsim::scene::BoardGroundTruth(*scene_, truth_);
    }
    static void TearDownTestSuite() {
        delete clean_;
        delete scene_;
        delete truth_;
    }
    // Each centre within `tol2` pixels and `tol3` millimetres of the truth,
    // in the board's order.
    static void ExpectCentres(const Accuracy& a, double tol2, double tol3) {
        const CameraModel cam = BoardCamera();
        double worst2 = 0.0, worst3 = 0.0;
        for (std::size_t i = 0; i < truth_->circle_centres.size(); ++i) {
            const Eigen::Vector2d px = Pixel(cam, truth_->circle_centres[i]);
            const Eigen::Vector3d mm = 1000.0 * InCamera(cam, truth_->circle_centres[i]);
            worst2 = std::max(worst2, (Eigen::Vector2d(a.c2[2 * i], a.c2[2 * i + 1]) - px).norm());
            worst3 = std::max(worst3, (Eigen::Vector3d(a.c3[3 * i], a.c3[3 * i + 1], a.c3[3 * i + 2]) - mm).norm());
        }
        EXPECT_LT(worst2, tol2);
        EXPECT_LT(worst3, tol3);
    }
    static Scene* scene_;
    static Rendered* clean_;
    static BoardTruth* truth_;
};
Scene* BoardAccuracy::scene_ = nullptr;
Rendered* BoardAccuracy::clean_ = nullptr;
BoardTruth* BoardAccuracy::truth_ = nullptr;

// Without noise: centres within 0.1 px and 0.05 mm, spacing error under
// 0.02 mm, flatness under 0.01 mm (measured: 0.03 px, 0.012 mm, 0.005 mm,
// 0).
TEST_F(BoardAccuracy, ReportsTheKnownSpacing) {
    ASSERT_EQ(truth_->cols, 11);
    ASSERT_EQ(truth_->rows, 9);
    ASSERT_DOUBLE_EQ(truth_->spacing, 0.015);
    const Accuracy a = RunTest(*clean_, 11, 9, 15.0f);
    ASSERT_EQ(a.result, 0) << Vyx::GetLastErrorMessage();
    ExpectCentres(a, 0.1, 0.05);
    EXPECT_LT(a.error, 0.02f);
    EXPECT_GE(a.error, 0.0f);
    EXPECT_LT(a.flatness, 0.01f);
    // A wrong nominal spacing shows as the error.
    const Accuracy b = RunTest(*clean_, 11, 9, 15.5f);
    ASSERT_EQ(b.result, 0);
    EXPECT_NEAR(b.error, 0.5f, 0.02f);
}

// With depth noise of 0.3 mm and image noise of 3 grey levels: 0.15 px,
// 0.1 mm, spacing error and flatness under 0.03 mm (measured: 0.04 px,
// 0.03 mm, 0.007 mm, 0.011 mm).
TEST_F(BoardAccuracy, WithNoise) {
    Noise noise;
    noise.grey = 3.0;
    noise.depth = 0.0003;
    const Accuracy a = RunTest(RenderScene(*scene_, BoardCamera(), noise), 11, 9, 15.0f);
    ASSERT_EQ(a.result, 0) << Vyx::GetLastErrorMessage();
    ExpectCentres(a, 0.15, 0.1);
    EXPECT_LT(a.error, 0.03f);
    EXPECT_LT(a.flatness, 0.03f);
}

// Expected 2D positions fix the order; reference 3D centres replace the
// nominal spacing.
TEST_F(BoardAccuracy, ReferencesSetOrderAndDistances) {
    const CameraModel cam = BoardCamera();
    const std::size_t n = truth_->circle_centres.size();
    std::vector<float> ref2, ref3, ref3_scaled;
    for (std::size_t i = n; i-- > 0;) {  // reversed order
        const Eigen::Vector2d px = Pixel(cam, truth_->circle_centres[i]) + Eigen::Vector2d(1.0, -1.5);
        ref2.push_back(static_cast<float>(px.x()));
        ref2.push_back(static_cast<float>(px.y()));
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (int d = 0; d < 3; ++d) {
            ref3.push_back(static_cast<float>(1000.0 * truth_->circle_centres[i](d)));
            ref3_scaled.push_back(static_cast<float>(1010.0 * truth_->circle_centres[i](d)));
        }
    }
    const Accuracy ordered = RunTest(*clean_, 11, 9, 15.0f);
    const Accuracy reversed = RunTest(*clean_, 11, 9, 15.0f, ref2.data());
    ASSERT_EQ(reversed.result, 0) << Vyx::GetLastErrorMessage();
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(reversed.c2[2 * i], ordered.c2[2 * (n - 1 - i)]);
        EXPECT_EQ(reversed.c2[2 * i + 1], ordered.c2[2 * (n - 1 - i) + 1]);
    }
    // The spacing argument is ignored with reference 3D centres.
    const Accuracy exact = RunTest(*clean_, 11, 9, -1.0f, nullptr, ref3.data());
    ASSERT_EQ(exact.result, 0) << Vyx::GetLastErrorMessage();
    EXPECT_LT(exact.error, 0.02f);
    const Accuracy scaled = RunTest(*clean_, 11, 9, 15.0f, nullptr, ref3_scaled.data());
    ASSERT_EQ(scaled.result, 0);
    EXPECT_NEAR(scaled.error, 0.15f, 0.02f);  // 1 % of 15 mm
    // The same circles when columns and rows are named the other way.
    const Accuracy turned = RunTest(*clean_, 9, 11, 15.0f);
    ASSERT_EQ(turned.result, 0) << Vyx::GetLastErrorMessage();
    EXPECT_NEAR(turned.error, ordered.error, 1e-4);
}

// The order follows the board when it is turned in its plane.
class TurnedBoard : public BoardAccuracy, public ::testing::WithParamInterface<double> {};

TEST_P(TurnedBoard, OrderFollowsTheBoard) {
    Scene s = *scene_;
    for (auto& o : s.objects) {
        if (o.shape == vyxsim::scene::Shape::Board) o.pose.R = o.pose.R * vyxsim::scene::RotationFromDegrees(0, 0, GetParam());
    }
    BoardTruth truth;
    ASSERT_TRUE(vyxsim::scene::BoardGroundTruth(s, &truth));
    const CameraModel cam = BoardCamera();
    const Accuracy a = RunTest(RenderScene(s, cam), 11, 9, 15.0f);
    ASSERT_EQ(a.result, 0) << Vyx::GetLastErrorMessage();
    for (std::size_t i = 0; i < truth.circle_centres.size(); ++i) {
        const Eigen::Vector2d px = Pixel(cam, truth.circle_centres[i]);
        EXPECT_LT((Eigen::Vector2d(a.c2[2 * i], a.c2[2 * i + 1]) - px).norm(), 0.1) << "circle " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Angles, TurnedBoard, ::testing::Values(-40.0, 25.0, 80.0));

TEST_F(BoardAccuracy, RefusesWhatItCannotTest) {
    struct Case {
        int cols, rows;
        float spacing;
        int code;
        const char* message;
    } cases[] = {{12, 9, 15.0f, vyxsim::kNoResult, "expected a grid of 12 x 9 circles, found 99 circles spanning"},
                 {0, 9, 15.0f, vyxsim::kInvalidArgument, "0 x 9 circles cannot be tested"},
                 {-1, 9, 15.0f, vyxsim::kInvalidArgument, "-1 x 9"},
                 {300, 300, 15.0f, vyxsim::kInvalidArgument, "at most 40000"},
                 {11, 9, 0.0f, vyxsim::kInvalidArgument, "spacing_mm must be a positive number"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Accuracy a = RunTest(*clean_, c.cols, c.rows, c.spacing);
        EXPECT_EQ(a.result, c.code);
        EXPECT_EQ(Vyx::GetLastError(), c.code);
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(c.message), std::string::npos)
            << Vyx::GetLastErrorMessage();
        EXPECT_EQ(a.error, -1.0f);  // outputs untouched
        EXPECT_EQ(a.flatness, -1.0f);
        for (float v : a.c2) EXPECT_EQ(v, 0.0f);
    }
    // No point map where the board is: nothing to lift.
    Rendered empty = *clean_;
    std::fill(empty.points.begin(), empty.points.end(), std::nan(""));
    const Accuracy a = RunTest(empty, 11, 9, 15.0f);
    EXPECT_EQ(a.result, vyxsim::kNoResult);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("surface points for 0 of the 99"), std::string::npos)
        << Vyx::GetLastErrorMessage();
}

}  // namespace
}  // namespace vyxtest
