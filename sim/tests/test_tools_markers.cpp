// Coded and concentric circle marker detection against the scene's ground
// truth.
#include <map>
#include <random>

#include "test_tools_support.h"

namespace vyxtest {
namespace {

using vyxsim::scene::MarkerKind;
using vyxsim::scene::MarkersGroundTruth;

// Projected true centres of the scene's markers of one kind, by code.
std::map<uint32_t, Eigen::Vector2d> TrueCoded(const Scene& s, const CameraModel& cam) {
    std::map<uint32_t, Eigen::Vector2d> out;
    for (const auto& m : MarkersGroundTruth(s)) {
        if (m.kind == MarkerKind::Coded) out[m.code] = Pixel(cam, m.centre);
    }
    return out;
}

struct Found {
    int result = -1;
    std::vector<Vyx::CodedCircleMarker> markers;
};

Found Detect(const Vyx::Image& img, const Vyx::CodedCircleMarkerType& type = {}) {
    Found f;
    f.markers.resize(Vyx::kMaxCodedCircleMarkers);
    int count = -1;
    f.result = Vyx::DetectCodedCircleMarker(img, type, &count, f.markers.data());
    f.markers.resize(static_cast<std::size_t>(std::max(count, 0)));
    return f;
}

// Every marker of the scene is found once, with its code, within `tol`
// pixels of its projected centre; nothing else is found.
void ExpectMatches(const Found& f, const std::map<uint32_t, Eigen::Vector2d>& truth, double tol) {
    ASSERT_EQ(f.result, 0) << Vyx::GetLastErrorMessage();
    EXPECT_EQ(f.markers.size(), truth.size());
    std::map<uint32_t, int> seen;
    double worst = 0.0;
    for (const auto& m : f.markers) {
        ++seen[static_cast<uint32_t>(m.code)];
        auto it = truth.find(static_cast<uint32_t>(m.code));
        if (it == truth.end()) {
            ADD_FAILURE() << "unexpected code " << m.code << " at " << m.x << ", " << m.y;
            continue;
        }
        const double e = (Eigen::Vector2d(m.x, m.y) - it->second).norm();
        worst = std::max(worst, e);
        EXPECT_LT(e, tol) << "code " << m.code;
    }
    for (const auto& kv : seen) EXPECT_EQ(kv.second, 1) << "code " << kv.first << " found more than once";
    ::testing::Test::RecordProperty("worst_centre_error_px", std::to_string(worst));
}

class CodedMarkers : public ToolsTest {
protected:
    static void SetUpTestSuite() {
        scene_ = new Scene(vyxsim::scene::DefaultScene(GreyDevice()));
        clean_ = new Rendered(RenderScene(*scene_, GreyDevice().left));
    }
    static void TearDownTestSuite() {
        delete clean_;
        delete scene_;
    }
    static Scene* scene_;
    static Rendered* clean_;
};
Scene* CodedMarkers::scene_ = nullptr;
Rendered* CodedMarkers::clean_ = nullptr;

// Sub-pixel centres without noise: 0.1 px (measured: 0.03 px at worst).
TEST_F(CodedMarkers, MatchTheScenesCodesAndCentresInEveryImageType) {
    const auto truth = TrueCoded(*scene_, clean_->camera);
    ASSERT_EQ(truth.size(), 14u);
    for (auto type : {Vyx::ImageType::Mono8, Vyx::ImageType::BGR8, Vyx::ImageType::RGB8}) {
        SCOPED_TRACE(Vyx::ImageType::ToString(type));
        Vyx::Image img = MakeImage(*clean_, type);
        ExpectMatches(Detect(img), truth, 0.1);
        Vyx::Image::Destroy(img);
    }
}

TEST_F(CodedMarkers, WorkOnImagesOverCallerMemory) {
    std::vector<uint8_t> pixels = clean_->grey;
    Vyx::Image img = Vyx::Image::Create(Vyx::ImageType::Mono8, {clean_->camera.width, clean_->camera.height},
                                        pixels.data(), false);
    ASSERT_TRUE(img.IsValid());
    ExpectMatches(Detect(img), TrueCoded(*scene_, clean_->camera), 0.1);
}

// With image noise of 3 grey levels: 0.15 px.
TEST_F(CodedMarkers, SurviveImageNoise) {
    Noise noise;
    noise.grey = 3.0;
    Rendered r = RenderScene(*scene_, GreyDevice().left, noise);
    ExpectMatches(Detect(MakeImage(r)), TrueCoded(*scene_, r.camera), 0.15);
}

// Small markers (centre dots of about 3 px radius): 0.15 px.
TEST_F(CodedMarkers, SmallMarkers) {
    const CameraModel cam = MakeCamera(640, 512, 750.0);
    Rendered r = RenderScene(*scene_, cam);
    ExpectMatches(Detect(MakeImage(r)), TrueCoded(*scene_, cam), 0.15);
}

TEST_F(CodedMarkers, GeometryOtherThanThePrintedOneFindsNothing) {
    Vyx::Image img = MakeImage(*clean_);
    Vyx::CodedCircleMarkerType type;
    type.N = 10;  // the rings carry 12 sectors
    Found f = Detect(img, type);
    EXPECT_EQ(f.result, 0);
    EXPECT_TRUE(f.markers.empty());
    type = Vyx::CodedCircleMarkerType();
    type.r1_to_r0_ratio = 1.4;
    type.r2_to_r0_ratio = 2.0;
    f = Detect(img, type);
    EXPECT_EQ(f.result, 0);
    EXPECT_TRUE(f.markers.empty());
}

// Textures full of blobs (noise, a fine checkerboard, a lattice of bright
// dots) hold no marker and no circle grid.
TEST_F(ToolsTest, TexturesHoldNoMarkers) {
    const int w = 320, h = 256;
    std::mt19937 rng(5);
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        Vyx::Image img = Vyx::Image::Create(Vyx::ImageType::Mono8, {w, h});
        uint8_t* d = img.GetDataPtr();
        for (int v = 0; v < h; ++v) {
            for (int u = 0; u < w; ++u) {
                const double s = std::sin(u * 0.7) * std::sin(v * 0.7);
                d[v * w + u] = kind == 0   ? static_cast<uint8_t>(rng() & 255u)
                               : kind == 1 ? (((u / 3 + v / 3) & 1) ? 200 : 20)
                                           : (s > 0.3 ? 220 : 15);
            }
        }
        Vyx::PointMap map = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {w, h});
        double* p = map.GetPointDataPtr();
        for (int k = 0; k < w * h; ++k) {
            p[3 * k] = (k % w) * 0.001;
            p[3 * k + 1] = (k / w) * 0.001;
            p[3 * k + 2] = 0.6;
        }
        EXPECT_EQ(Detect(img).markers.size(), 0u);
        std::vector<double> v2(Vyx::kConcentricMarker2dValues), v3(Vyx::kConcentricMarker3dValues);
        int count = -1;
        EXPECT_EQ(Vyx::DetectConcentricCircleMarker3d(img, map, &count, v2.data(), v3.data()), 0);
        EXPECT_EQ(count, 0);
        std::vector<float> c2(2 * 99), c3(3 * 99);
        float e = 0, f = 0;
        EXPECT_EQ(Vyx::TestAccuracy(img, map, nullptr, nullptr, 11, 9, 15.0f, c2.data(), c3.data(), e, f),
                  vyxsim::kNoResult);
    }
}

// Markers turned about their own axis by any angle read the same codes.
class RotatedMarkers : public ToolsTest, public ::testing::WithParamInterface<double> {};

TEST_P(RotatedMarkers, ReadTheSameCodes) {
    const CameraModel cam = MakeCamera(960, 768, 1125.0);
    Scene s = vyxsim::scene::DefaultScene(GreyDevice());
    // Turn the board (and its markers) about its normal.
    for (auto& o : s.objects) {
        if (o.shape != vyxsim::scene::Shape::Board) continue;
        o.pose.R = o.pose.R * vyxsim::scene::RotationFromDegrees(0.0, 0.0, GetParam());
    }
    std::map<uint32_t, Eigen::Vector2d> truth;
    for (const auto& m : MarkersGroundTruth(s)) {
        if (m.kind == MarkerKind::Coded) truth[m.code] = Pixel(cam, m.centre);
    }
    Rendered r = RenderScene(s, cam);
    ExpectMatches(Detect(MakeImage(r)), truth, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Angles, RotatedMarkers, ::testing::Values(17.0, 90.0, 151.0, 233.5));

// Concentric markers: the scene's two on the table, in 2D and lifted to 3D.
TEST_F(CodedMarkers, ConcentricMarkersIn2dAnd3d) {
    std::vector<Eigen::Vector3d> truth3;
    for (const auto& m : MarkersGroundTruth(*scene_)) {
        if (m.kind == MarkerKind::Concentric) truth3.push_back(InCamera(clean_->camera, m.centre));
    }
    ASSERT_EQ(truth3.size(), 2u);
    Vyx::Image img = MakeImage(*clean_);
    Vyx::PointMap map = MakePointMap(*clean_);
    std::vector<double> v2(Vyx::kConcentricMarker2dValues, 0.0), v3(Vyx::kConcentricMarker3dValues, 0.0);
    int count = -1;
    ASSERT_EQ(Vyx::DetectConcentricCircleMarker2d(img, &count, v2.data()), 0);
    ASSERT_EQ(count, 2);
    std::vector<double> w2(Vyx::kConcentricMarker2dValues, 0.0);
    int count3 = -1;
    ASSERT_EQ(Vyx::DetectConcentricCircleMarker3d(img, map, &count3, w2.data(), v3.data()), 0);
    ASSERT_EQ(count3, 2);
    for (int i = 0; i < 2; ++i) {
        const Eigen::Vector2d c2(v2[2 * i], v2[2 * i + 1]);
        // The 3D call reports the same 2D centres.
        EXPECT_DOUBLE_EQ(w2[2 * i], v2[2 * i]);
        EXPECT_DOUBLE_EQ(w2[2 * i + 1], v2[2 * i + 1]);
        const Eigen::Vector3d c3(v3[3 * i], v3[3 * i + 1], v3[3 * i + 2]);
        double best2 = 1e9, best3 = 1e9;
        for (const auto& t : truth3) {
            Eigen::Vector2d px;
            ASSERT_TRUE(vyxsim::scene::ProjectCamera(clean_->camera, t, &px));
            best2 = std::min(best2, (px - c2).norm());
            best3 = std::min(best3, (t - c3).norm());
        }
        EXPECT_LT(best2, 0.1);
        EXPECT_LT(best3, 0.0001);
    }
    EXPECT_EQ(v2[4], 0.0);  // nothing written past the count
    EXPECT_EQ(v3[6], 0.0);
    // Coded markers are not concentric ones, and the other way round.
    for (const auto& m : Detect(img).markers) {
        for (int i = 0; i < 2; ++i) EXPECT_GT((Eigen::Vector2d(m.x, m.y) - Eigen::Vector2d(v2[2 * i], v2[2 * i + 1])).norm(), 5.0);
    }
}

}  // namespace
}  // namespace vyxtest
