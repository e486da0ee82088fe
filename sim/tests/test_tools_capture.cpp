// The tools on what the virtual X1 camera captures of the default grey
// device's scene: markers, the board's accuracy test and drift compensation
// after the scene is moved through its description.
#include <map>

#include "scene/device_scenes.h"
#include "scene/ground_truth.h"
#include "scene/scene.h"
#include "scene/scene_json.h"
#include "test_tools_support.h"
#include "vyx/x1.h"

namespace vyxtest {
namespace {

using vyxsim::scene::MarkerKind;

constexpr const char* kSerial = "VX1300001";

class ToolsOnCaptures : public ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        device_ = vyxsim::FindDeviceBySerial(kSerial);
        ASSERT_TRUE(device_);
        std::string error;
        scene_ = vyxsim::scene::SceneForDevice(device_, &error);
        ASSERT_TRUE(scene_) << error;
        camera_ = Vyx::X1::Create(Vyx::SystemFindDevice(kSerial), Vyx::CameraID_Left);
        ASSERT_TRUE(camera_.Open()) << Vyx::GetLastErrorMessage();
    }
    void TearDown() override {
        vyxsim::scene::SetDeviceScene(device_, nullptr, nullptr);
        ToolsTest::TearDown();
    }
    // Image and point map of a fresh capture, kept beyond the next one.
    void Capture(Vyx::Image* image, Vyx::PointMap* map) {
        ASSERT_TRUE(camera_.Capture()) << Vyx::GetLastErrorMessage();
        *image = camera_.GetImage().Clone();
        *map = camera_.GetPointMap().Clone();
        ASSERT_TRUE(image->IsValid() && map->IsValid()) << Vyx::GetLastErrorMessage();
    }
    std::shared_ptr<vyxsim::DeviceRecord> device_;
    std::shared_ptr<const Scene> scene_;
    Vyx::X1 camera_;
};

// Codes as the scene prints them, centres within 0.15 px of the projected
// truth (the device's camera has lens distortion); the board's 12.5 mm grid
// within 0.05 mm; drift after the scene moves within 0.1 mm.
TEST_F(ToolsOnCaptures, MarkersAccuracyAndDrift) {
    Vyx::Image image;
    Vyx::PointMap map;
    Capture(&image, &map);
    const CameraModel& cam = device_->left;

    std::map<uint32_t, Eigen::Vector2d> truth;
    for (const auto& m : vyxsim::scene::MarkersGroundTruth(*scene_)) {
        if (m.kind == MarkerKind::Coded) truth[m.code] = Pixel(cam, m.centre);
    }
    std::vector<Vyx::CodedCircleMarker> found(Vyx::kMaxCodedCircleMarkers);
    int count = 0;
    ASSERT_EQ(Vyx::DetectCodedCircleMarker(image, Vyx::CodedCircleMarkerType(), &count, found.data()), 0);
    ASSERT_EQ(count, static_cast<int>(truth.size()));
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(truth.count(static_cast<uint32_t>(found[static_cast<std::size_t>(i)].code)), 1u);
        const Eigen::Vector2d c(found[static_cast<std::size_t>(i)].x, found[static_cast<std::size_t>(i)].y);
        EXPECT_LT((c - truth[static_cast<uint32_t>(found[static_cast<std::size_t>(i)].code)]).norm(), 0.15);
    }

    vyxsim::scene::BoardTruth board;
    ASSERT_TRUE(vyxsim::scene::BoardGroundTruth(*scene_, &board));
    const int n = board.cols * board.rows;
    std::vector<float> c2(2 * static_cast<std::size_t>(n)), c3(3 * static_cast<std::size_t>(n));
    float error = -1, flatness = -1;
    ASSERT_EQ(Vyx::TestAccuracy(image, map, nullptr, nullptr, board.cols, board.rows,
                                static_cast<float>(board.spacing * 1000.0), c2.data(), c3.data(), error, flatness),
              0)
        << Vyx::GetLastErrorMessage();
    EXPECT_LT(error, 0.05f);
    EXPECT_LT(flatness, 0.05f);
    for (int i = 0; i < n; ++i) {
        const Eigen::Vector2d px = Pixel(cam, board.circle_centres[static_cast<std::size_t>(i)]);
        EXPECT_LT((Eigen::Vector2d(c2[2 * i], c2[2 * i + 1]) - px).norm(), 0.15) << "circle " << i;
    }

    Vyx::Compensator_FixedMarkers comp;
    ASSERT_EQ(comp.Initialize(map, image, 10), static_cast<int>(truth.size())) << Vyx::GetLastErrorMessage();
    const Eigen::Matrix4d M = Motion(-0.4, 0.3, 0.5, {0.0, 0.0, 0.65}, {-0.002, 0.0015, 0.001});
    const nlohmann::json moved = vyxsim::scene::SceneToJson(Moved(*scene_, M));
    std::string error_text;
    ASSERT_TRUE(vyxsim::scene::SetDeviceScene(device_, &moved, &error_text)) << error_text;
    Vyx::Image image2;
    Vyx::PointMap map2;
    Capture(&image2, &map2);
    double drift = -1;
    ASSERT_EQ(comp.Update(map2, image2, drift), 1) << Vyx::GetLastErrorMessage();
    double sq = 0.0;
    int markers = 0;
    for (const auto& m : vyxsim::scene::MarkersGroundTruth(*scene_)) {
        if (m.kind != MarkerKind::Coded) continue;
        const Eigen::Vector3d p = InCamera(cam, m.centre);
        const Eigen::Vector3d q = InCamera(cam, M.block<3, 3>(0, 0) * m.centre + M.block<3, 1>(0, 3));
        sq += (q - p).squaredNorm();
        ++markers;
    }
    EXPECT_NEAR(drift, 1000.0 * std::sqrt(sq / markers), 0.1);
}

}  // namespace
}  // namespace vyxtest
