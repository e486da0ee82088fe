// View pins: a pinned object's storage outlives its handle, is never
// recycled for another object, and is counted until the last pin goes.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "core/handles.h"
#include "vyx/data.h"
#include "vyx/system.h"
#include "vyx/view_pins.h"
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
