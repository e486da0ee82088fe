// View pins: a pinned object's storage outlives its handle, is never
// recycled for another object, and is counted until the last pin goes.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "core/handles.h"
#include "data/common.h"
#include "vyx/data.h"
#include "vyx/system.h"
#include "vyx/view_pins.h"
#include "vyx/x1.h"
#include "vyxsim/control.h"

namespace {

using Vyx::Image;
using Vyx::ImageType;
using Vyx::PointMap;
using Vyx::PointMapType;

class ViewPins : public ::testing::Test {
protected:
    void SetUp() override {
        vyxsim::Reset();
        ASSERT_TRUE(Vyx::SystemInit());
    }
    void TearDown() override { vyxsim::Reset(); }
};

TEST_F(ViewPins, HandlesThatNameNothingGiveNoPinAndLeaveTheLastErrorAlone) {
    Image image = Image::Create(ImageType::Mono8, {8, 4});
    Image::Destroy(image);
    const int code = Vyx::GetLastError();
    EXPECT_EQ(Vyx::PinView(Image()), nullptr);
    EXPECT_EQ(Vyx::PinView(image), nullptr);
    EXPECT_EQ(Vyx::PinView(Vyx::DepthMap()), nullptr);
    EXPECT_EQ(Vyx::GetLastError(), code);
    Vyx::UnpinView(nullptr);  // allowed
}

// Each way a handle ends, with its storage pinned.
enum class Ending { Destroy, DestroyForReuse, Shutdown, Reset };

class PinnedStorage : public ViewPins, public ::testing::WithParamInterface<Ending> {};

TEST_P(PinnedStorage, OutlivesTheHandleUntilTheLastPinGoes) {
    const std::size_t bytes0 = vyxsim::StorageBytes();
    Image image = Image::Create(ImageType::BGR8, {64, 32});
    uint8_t* pixels = image.GetDataPtr();
    std::memset(pixels, 0x5A, 64 * 32 * 3);
    Vyx::ViewPin* first = Vyx::PinView(image);
    Vyx::ViewPin* second = Vyx::PinView(image);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    switch (GetParam()) {
        case Ending::Destroy: Image::Destroy(image, true); break;
        case Ending::DestroyForReuse: Image::Destroy(image, false); break;
        case Ending::Shutdown: Vyx::SystemShutdown(); break;
        case Ending::Reset: vyxsim::Reset(); break;
    }
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(vyxsim::RetainedObjects(), 1u);
    EXPECT_EQ(vyxsim::StorageBytes(), bytes0 + 64 * 32 * 3);
    if (GetParam() == Ending::DestroyForReuse) {
        // The storage a pin holds is not offered to the next image of its size.
        Image next = Image::Create(ImageType::BGR8, {64, 32});
        EXPECT_NE(next.GetDataPtr(), pixels);
        Image::Destroy(next);
    }
    for (int i = 0; i < 64 * 32 * 3; ++i) ASSERT_EQ(pixels[i], 0x5A) << i;
    Vyx::UnpinView(first);
    EXPECT_EQ(vyxsim::RetainedObjects(), 1u);
    Vyx::UnpinView(second);
    EXPECT_EQ(vyxsim::RetainedObjects(), 0u);
    EXPECT_EQ(vyxsim::StorageBytes(), bytes0);
}

INSTANTIATE_TEST_SUITE_P(Endings, PinnedStorage,
                         ::testing::Values(Ending::Destroy, Ending::DestroyForReuse, Ending::Shutdown,
                                           Ending::Reset));

// A capture's results go back to the storage pool when the next capture
// releases them, and the capture after takes them; storage a view still
// pins is never handed out again, and enters the pool when the pin goes.
TEST_F(ViewPins, CaptureResultsAreReusedOnlyOnceNoViewPinsThem) {
    Vyx::X1 cam = Vyx::X1::Create(Vyx::SystemFindDevice("VX1300001"), Vyx::CameraID_Left);
    ASSERT_TRUE(cam.Open()) << Vyx::GetLastErrorMessage();
    const Vyx::X1::CaptureOptions opts;
    auto capture = [&] {
        EXPECT_TRUE(cam.Capture(opts)) << Vyx::GetLastErrorMessage();
        return cam.GetPointMap();
    };
    const PointMap first = capture();
    double* pinned = first.GetPointDataPtr();
    const Vyx::Size size = first.GetSize();
    const std::size_t points_bytes = std::size_t(size.width) * size.height * 3 * sizeof(double);
    Vyx::ViewPin* pin = Vyx::PinView(first);
    ASSERT_NE(pin, nullptr);
    pinned[0] = 12345.0;  // a value no capture writes

    double* second = capture().GetPointDataPtr();
    double* third = capture().GetPointDataPtr();
    double* fourth = capture().GetPointDataPtr();
    for (double* p : {second, third, fourth}) EXPECT_NE(p, pinned);
    EXPECT_EQ(fourth, second);  // released by the third capture, taken by the fourth
    EXPECT_EQ(pinned[0], 12345.0);

    const std::size_t pooled = vyxsim::data::PooledBytes();
    Vyx::UnpinView(pin);
    EXPECT_EQ(vyxsim::data::PooledBytes(), pooled + points_bytes);
    cam.Close();
    Vyx::X1::Destroy(cam);
}

TEST_F(ViewPins, StorageBytesCountEveryKindOfStorage) {
    const std::size_t bytes0 = vyxsim::StorageBytes();
    Image mono = Image::Create(ImageType::Mono8, {10, 3});
    PointMap points = PointMap::Create(PointMapType::PointsNormals, {4, 5});
    EXPECT_EQ(vyxsim::StorageBytes(), bytes0 + 30 + 4 * 5 * 6 * sizeof(double));
    Image::Destroy(mono);
    PointMap::Destroy(points);
    EXPECT_EQ(vyxsim::StorageBytes(), bytes0);
}

TEST(ViewPinsThreads, PinsRacingWithDestroyNeverReachFreedStorage) {
    vyxsim::Reset();
    ASSERT_TRUE(Vyx::SystemInit());
    constexpr int kRounds = 300;
    for (int round = 0; round < kRounds; ++round) {
        PointMap map = PointMap::Create(PointMapType::PointsOnly, {16, 16});
        std::thread destroyer([map] { PointMap::Destroy(map); });
        // Pinned first, then read: either the pin failed (nothing to read) or
        // the storage stays until the unpin, whatever the destroyer does.
        Vyx::ViewPin* pin = Vyx::PinView(map);
        if (pin != nullptr) {
            double* points = map.GetPointDataPtr();
            if (points != nullptr) {
                double sum = 0;
                for (int i = 0; i < 16 * 16 * 3; ++i) sum += points[i] == points[i] ? 1 : 0;
                EXPECT_EQ(sum, 0);  // a new point map is NaN everywhere
            }
        }
        destroyer.join();
        Vyx::UnpinView(pin);
    }
    EXPECT_EQ(vyxsim::RetainedObjects(), 0u);
    vyxsim::Reset();
}

}  // namespace
