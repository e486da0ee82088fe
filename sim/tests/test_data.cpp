// The SDK's data objects: creation over SDK and caller memory, handle
// safety, cloning, the reuse pool, threads, the call gate, and files through
// the SDK entry points.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <thread>

#include "core/error.h"
#include "core/objects.h"
#include "data/common.h"
#include "data/formats/bytes.h"
#include "data/formats/pcd.h"
#include "data/formats/ply.h"
#include "data/formats/png.h"
#include "data/formats/tiff.h"
#include "test_data_support.h"
#include "vyx/data.h"
#include "vyxsim/control.h"

namespace {

using Vyx::HandleAccess;
using vyxtest::LastErrorIs;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Data : public vyxtest::DataTest {};

// ------------------------------------------------------------ creation

TEST_F(Data, OwnedImagesAreZeroedAndSized) {
    for (auto type : {Vyx::ImageType::Mono8, Vyx::ImageType::RGB8, Vyx::ImageType::BGR8}) {
        const auto img = Vyx::Image::Create(type, {7, 5});
        ASSERT_TRUE(img.IsValid());
        EXPECT_EQ(img.GetType(), type);
        EXPECT_EQ(img.GetSize().width, 7);
        EXPECT_EQ(img.GetSize().height, 5);
        const std::size_t bytes = 35u * (type == Vyx::ImageType::Mono8 ? 1 : 3);
        const uint8_t* p = img.GetDataPtr();
        ASSERT_NE(p, nullptr);
        for (std::size_t i = 0; i < bytes; ++i) ASSERT_EQ(p[i], 0) << i;
        Vyx::Image::Destroy(img);
    }
}

TEST_F(Data, OwnedPointMapsHoldNaNPointsAndZeroNormals) {
    const auto only = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {4, 3});
    ASSERT_TRUE(only.IsValid());
    EXPECT_EQ(only.GetNormalDataPtr(), nullptr);
    for (int i = 0; i < 36; ++i) EXPECT_TRUE(std::isnan(only.GetPointDataPtr()[i]));
    const auto both = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {4, 3});
    ASSERT_TRUE(both.IsValid());
    ASSERT_NE(both.GetNormalDataPtr(), nullptr);
    for (int i = 0; i < 36; ++i) {
        EXPECT_TRUE(std::isnan(both.GetPointDataPtr()[i]));
        EXPECT_EQ(both.GetNormalDataPtr()[i], 0.0);
    }
    EXPECT_EQ(both.GetTimestamp(), 0u);
}

struct BadCreate {
    int type;
    Vyx::Size size;
};

class BadImageCreate : public vyxtest::DataTest, public ::testing::WithParamInterface<BadCreate> {};

TEST_P(BadImageCreate, IsRefusedWithInvalidArgument) {
    const BadCreate c = GetParam();
    const auto img = Vyx::Image::Create(static_cast<Vyx::ImageType::Enum>(c.type), c.size);
    EXPECT_FALSE(img.IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"Image::Create"}));
    const auto pm = Vyx::PointMap::Create(static_cast<Vyx::PointMapType::Enum>(c.type == 3 ? 2 : c.type), c.size);
    EXPECT_FALSE(pm.IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"PointMap::Create"}));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BadImageCreate,
    ::testing::Values(BadCreate{1, {0, 5}}, BadCreate{1, {5, 0}}, BadCreate{3, {-4, 5}}, BadCreate{3, {5, -1}},
                      BadCreate{0, {5, 5}}, BadCreate{7, {5, 5}}, BadCreate{-1, {5, 5}},
                      BadCreate{3, {INT32_MAX, INT32_MAX}}, BadCreate{1, {1 << 17, 1 << 16}},
                      BadCreate{3, {INT32_MIN, INT32_MIN}}));

TEST_F(Data, CallerMemoryIsUsedInPlaceAndNeverFreed) {
    // Memory that is not from the heap: freeing it would crash (or trip
    // AddressSanitizer).
    static uint8_t pixels[6 * 4 * 3];
    std::memset(pixels, 7, sizeof pixels);
    const auto img = Vyx::Image::Create(Vyx::ImageType::BGR8, {6, 4}, pixels, false);
    ASSERT_TRUE(img.IsValid());
    EXPECT_EQ(img.GetDataPtr(), pixels);
    EXPECT_EQ(pixels[0], 7);  // not cleared
    img.GetDataPtr()[5] = 99;
    EXPECT_EQ(pixels[5], 99);
    const auto copy = img.Clone();
    Vyx::Image::Destroy(img, false);
    EXPECT_EQ(vyxsim::data::PooledBytes(), 0u);  // caller memory never enters the pool
    pixels[5] = 1;                               // still ours
    ASSERT_TRUE(copy.IsValid());
    EXPECT_NE(copy.GetDataPtr(), pixels);
    EXPECT_EQ(copy.GetDataPtr()[5], 99);

    static double points[2 * 3 * 6];
    for (double& v : points) v = 1.5;
    const auto pm = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {3, 2}, points, false);
    ASSERT_TRUE(pm.IsValid());
    EXPECT_EQ(pm.GetPointDataPtr(), points);
    EXPECT_EQ(pm.GetNormalDataPtr(), points + 18);
    EXPECT_EQ(points[0], 1.5);
    Vyx::PointMap::Destroy(pm, false);
    points[0] = 2.0;

    EXPECT_FALSE(Vyx::Image::Create(Vyx::ImageType::Mono8, {2, 2}, nullptr, false).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"null data"}));
    EXPECT_FALSE(Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {2, 2}, nullptr, false).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"null data"}));
}

TEST_F(Data, CloneIsADeepCopyWithNormalsAndTimestamp) {
    const auto pm = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {3, 2});
    for (int i = 0; i < 18; ++i) {
        pm.GetPointDataPtr()[i] = i;
        pm.GetNormalDataPtr()[i] = -i;
    }
    Vyx::PointMap(pm).SetTimestamp(987654321);
    const auto copy = pm.Clone();
    ASSERT_TRUE(copy.IsValid());
    EXPECT_NE(copy.GetPointDataPtr(), pm.GetPointDataPtr());
    EXPECT_EQ(copy.GetTimestamp(), 987654321u);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(copy.GetPointDataPtr()[i], i);
        EXPECT_EQ(copy.GetNormalDataPtr()[i], -i);
    }
    pm.GetPointDataPtr()[0] = 100;
    EXPECT_EQ(copy.GetPointDataPtr()[0], 0);
    Vyx::PointMap::Destroy(pm);
    EXPECT_EQ(copy.GetPointDataPtr()[1], 1);
}

TEST_F(Data, FactoryResultsBehaveLikeCreatedObjects) {
    std::shared_ptr<vyxsim::MapObj> depth, conf, corr;
    const auto dw = vyxsim::NewMap(vyxsim::Kind::DepthMap, {4, 2}, &depth);
    const auto cw = vyxsim::NewMap(vyxsim::Kind::ConfidenceMap, {4, 2}, &conf);
    const auto rw = vyxsim::NewMap(vyxsim::Kind::CorrespondMap, {4, 2}, &corr);
    const auto dm = HandleAccess::Make<Vyx::DepthMap>(dw);
    const auto cm = HandleAccess::Make<Vyx::ConfidenceMap>(cw);
    const auto rm = HandleAccess::Make<Vyx::CorrespondMap>(rw);
    ASSERT_TRUE(dm.IsValid() && cm.IsValid() && rm.IsValid());
    EXPECT_EQ(corr->channels, 2);
    EXPECT_EQ(corr->storage.size(), 16u);
    EXPECT_TRUE(std::isnan(dm.GetDataPtr()[7]));
    EXPECT_EQ(cm.GetDataPtr()[7], 0.0);
    EXPECT_TRUE(std::isnan(rm.GetDataPtr()[15]));
    EXPECT_EQ(rm.GetSize().width, 4);
    // A handle of one map kind names nothing as another.
    EXPECT_FALSE(HandleAccess::Make<Vyx::DepthMap>(cw).IsValid());
    EXPECT_EQ(HandleAccess::Make<Vyx::ConfidenceMap>(dw).GetDataPtr(), nullptr);
    EXPECT_TRUE(vyxsim::NewMap(vyxsim::Kind::Mesh, {4, 2}).IsZero());
    EXPECT_TRUE(vyxsim::NewImage(Vyx::ImageType::Mono8, {0, 2}).IsZero());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument));
}

// ---------------------------------------------------------- handle safety

// Every query of a handle that names nothing answers "nothing" and every
// operation fails with kInvalidHandle.
void ExpectDeadImage(const Vyx::Image& img, const std::string& dir) {
    EXPECT_FALSE(img.IsValid());
    EXPECT_EQ(img.GetSize().width, 0);
    EXPECT_EQ(img.GetSize().height, 0);
    EXPECT_EQ(img.GetType(), Vyx::ImageType::None);
    EXPECT_EQ(img.GetDataPtr(), nullptr);
    EXPECT_FALSE(img.SaveImage((dir + "/x.png").c_str()));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"Image::SaveImage"}));
    EXPECT_FALSE(img.Clone().IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"Image::Clone"}));
    Vyx::Image::Destroy(img);
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"Image::Destroy"}));
}

void ExpectDeadPointMap(Vyx::PointMap pm, const std::string& dir) {
    EXPECT_FALSE(pm.IsValid());
    EXPECT_EQ(pm.GetSize().width, 0);
    EXPECT_EQ(pm.GetPointDataPtr(), nullptr);
    EXPECT_EQ(pm.GetNormalDataPtr(), nullptr);
    EXPECT_EQ(pm.GetTimestamp(), 0u);
    EXPECT_FALSE(pm.SetTimestamp(5));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"PointMap::SetTimestamp"}));
    EXPECT_FALSE(pm.Save((dir + "/x.ply").c_str(), Vyx::PointMapUnit::Meter, true));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"PointMap::Save"}));
    EXPECT_FALSE(pm.Clone().IsValid());
    EXPECT_FALSE(Vyx::Mesh::CreateFromPointMap(pm, 0.0).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"Mesh::CreateFromPointMap"}));
    Vyx::PointMap::Destroy(pm);
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"PointMap::Destroy"}));
}

void ExpectDeadMesh(const Vyx::Mesh& mesh, const std::string& dir) {
    EXPECT_FALSE(mesh.IsValid());
    EXPECT_EQ(mesh.GetSize().width, 0);
    EXPECT_EQ(mesh.GetSize().height, 0);
    EXPECT_FALSE(mesh.Save((dir + "/x.stl").c_str(), Vyx::PointMapUnit::Meter));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"Mesh::Save"}));
    EXPECT_FALSE(mesh.Clone().IsValid());
    Vyx::Mesh::Destroy(mesh);
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"Mesh::Destroy"}));
}

TEST_F(Data, DestroyedZeroAndForeignHandlesNameNothing) {
    const auto img = Vyx::Image::Create(Vyx::ImageType::Mono8, {2, 2});
    const auto pm = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {2, 2});
    double grid[12] = {0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1};
    const auto mesh = Vyx::Mesh::CreateFromPointMapData({2, 2}, grid, 0.0);
    ASSERT_TRUE(img.IsValid() && pm.IsValid() && mesh.IsValid());
    const Vyx::Image img_copy = img;  // copies name the same object
    Vyx::Image::Destroy(img);
    ExpectDeadImage(img_copy, dir_);
    ExpectDeadImage(Vyx::Image(), dir_);
    ExpectDeadImage(HandleAccess::Make<Vyx::Image>(HandleAccess::Get(pm)), dir_);
    ExpectDeadImage(HandleAccess::Make<Vyx::Image>({0xFFFFFFFFu, 3}), dir_);

    ExpectDeadPointMap(HandleAccess::Make<Vyx::PointMap>(HandleAccess::Get(mesh)), dir_);
    ExpectDeadPointMap(Vyx::PointMap(), dir_);
    Vyx::PointMap::Destroy(pm);
    ExpectDeadPointMap(pm, dir_);

    ExpectDeadMesh(Vyx::Mesh(), dir_);
    Vyx::Mesh::Destroy(mesh);
    ExpectDeadMesh(mesh, dir_);
    EXPECT_FALSE(Vyx::DepthMap().IsValid());
    EXPECT_FALSE(Vyx::DepthMap().SaveDepthMap(Path("d.tif").c_str(), true));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidHandle, {"DepthMap::SaveDepthMap"}));
    EXPECT_EQ(Vyx::CorrespondMap().GetDataPtr(), nullptr);
    EXPECT_EQ(Vyx::ConfidenceMap().GetSize().width, 0);
}

TEST_F(Data, NothingWorksBeforeInitAndShutdownReleasesEverything) {
    const auto img = Vyx::Image::Create(Vyx::ImageType::Mono8, {2, 2});
    ASSERT_TRUE(img.IsValid());
    const std::size_t live = vyxsim::LiveObjects();
    EXPECT_GE(live, 1u);
    Vyx::SystemShutdown();
    EXPECT_EQ(vyxsim::LiveObjects(), 0u);
    EXPECT_FALSE(Vyx::Image::Create(Vyx::ImageType::Mono8, {2, 2}).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kNotInitialized));
    EXPECT_FALSE(Vyx::PointMap::CreateFromFile(vyxtest::CorpusPath("good_ascii.ply").c_str(), {2, 2},
                                               Vyx::PointMapUnit::Meter)
                     .IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kNotInitialized));
    ASSERT_TRUE(Vyx::SystemInit());
    EXPECT_FALSE(img.IsValid());
}

// ------------------------------------------------------------------ pool

TEST_F(Data, DestroyWithoutNoReuseRecyclesStorageForTheNextCreateOfThatSize) {
    const std::size_t before = vyxsim::data::PooledBytes();
    const auto a = Vyx::Image::Create(Vyx::ImageType::BGR8, {33, 17});
    std::memset(a.GetDataPtr(), 0xAB, 33 * 17 * 3);
    const uint8_t* storage = a.GetDataPtr();
    Vyx::Image::Destroy(a, false);
    EXPECT_EQ(vyxsim::data::PooledBytes(), before + 33 * 17 * 3);
    // A different size does not take it; the same byte size does, zeroed.
    const auto other = Vyx::Image::Create(Vyx::ImageType::Mono8, {33, 17});
    EXPECT_EQ(vyxsim::data::PooledBytes(), before + 33 * 17 * 3);
    const auto b = Vyx::Image::Create(Vyx::ImageType::RGB8, {17, 33});
    EXPECT_EQ(vyxsim::data::PooledBytes(), before);
    EXPECT_EQ(b.GetDataPtr(), storage);
    for (int i = 0; i < 33 * 17 * 3; ++i) ASSERT_EQ(b.GetDataPtr()[i], 0) << i;
    Vyx::Image::Destroy(b, true);
    EXPECT_EQ(vyxsim::data::PooledBytes(), before);

    const auto pm = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {5, 5});
    pm.GetPointDataPtr()[0] = 1;
    pm.GetNormalDataPtr()[0] = 1;
    Vyx::PointMap::Destroy(pm, false);
    const auto pm2 = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {5, 5});
    EXPECT_TRUE(std::isnan(pm2.GetPointDataPtr()[0]));
    EXPECT_EQ(pm2.GetNormalDataPtr()[0], 0.0);
    Vyx::Image::Destroy(other);
}

TEST_F(Data, PoolStaysBounded) {
    std::vector<Vyx::Image> images;
    for (int i = 0; i < 10; ++i) images.push_back(Vyx::Image::Create(Vyx::ImageType::Mono8, {100 + i, 100}));
    for (const auto& img : images) Vyx::Image::Destroy(img, false);
    EXPECT_LE(vyxsim::data::PooledBytes(), vyxsim::data::kPoolBuffers * 110 * 100);
    // Larger than the whole pool: freed at once.
    const auto big = Vyx::Image::Create(Vyx::ImageType::Mono8, {1 << 15, (1 << 13) + 1});
    ASSERT_TRUE(big.IsValid());
    const std::size_t pooled = vyxsim::data::PooledBytes();
    Vyx::Image::Destroy(big, false);
    EXPECT_EQ(vyxsim::data::PooledBytes(), pooled);
}

// ---------------------------------------------------------------- threads

// Four threads create, clone and destroy their own objects and use a shared
// map, which the main thread destroys while they run: each thread uses it
// at least 50 times before the destroy and keeps going 50 times after.
TEST_F(Data, ConcurrentUseAndDestroyAreSafe) {
    const auto shared = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {64, 48});
    constexpr int kThreads = 4, kRounds = 50;
    std::atomic<bool> go{false}, destroyed{false};
    std::atomic<int> failures{0}, warmed_up{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go) std::this_thread::yield();
            int after = 0;
            for (int i = 0; after < kRounds; ++i) {
                if (i == kRounds) ++warmed_up;
                if (destroyed) ++after;
                const auto img = Vyx::Image::Create(Vyx::ImageType::Mono8, {16 + t, 16});
                if (!img.IsValid() || img.GetDataPtr()[0] != 0) ++failures;
                img.GetDataPtr()[0] = 1;
                const auto copy = img.Clone();
                Vyx::Image::Destroy(img, (i & 1) != 0);
                Vyx::Image::Destroy(copy, false);
                // The shared map may be destroyed under us: answers stay sane.
                const double* p = shared.GetPointDataPtr();
                const Vyx::Size s = shared.GetSize();
                if ((p == nullptr) != (s.width == 0) && shared.IsValid()) ++failures;
                const auto c = shared.Clone();
                if (c.IsValid()) Vyx::PointMap::Destroy(c, false);
            }
        });
    }
    go = true;
    while (warmed_up < kThreads) std::this_thread::yield();
    Vyx::PointMap::Destroy(shared, false);
    destroyed = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures, 0);
    EXPECT_FALSE(shared.IsValid());
}

// ------------------------------------------------------- gate and trace

TEST_F(Data, EntryPointsTraceTheirArguments) {
    const auto img = Vyx::Image::Create(Vyx::ImageType::Mono8, {4, 4});
    const auto pm = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {4, 4});
    const auto iw = HandleAccess::Get(img);
    const auto pw = HandleAccess::Get(pm);
    vyxsim::SetTraceEnabled(true);
    vyxsim::TakeTrace();
    const std::string file = Path("t.ply");
    pm.Save(file.c_str(), Vyx::PointMapUnit::Millimeter, true, img);
    Vyx::Image::Destroy(img, false);
    const auto lines = vyxsim::TakeTrace();
    vyxsim::SetTraceEnabled(false);
    const std::string h_img = "#" + std::to_string(iw.a) + "." + std::to_string(iw.b);
    const std::string h_pm = "#" + std::to_string(pw.a) + "." + std::to_string(pw.b);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "PointMap::Save(map=" + h_pm + ", filename=\"" + file + "\", unit=1, isBinary=true, image=" +
                            h_img + ")");
    EXPECT_EQ(lines[1], "Image::Destroy(image=" + h_img + ", no_reuse=false)");
}

TEST_F(Data, InjectedFailuresLeaveNoObjectBehindAndMayWriteOutputs) {
    const auto img = Vyx::Image::Create(Vyx::ImageType::Mono8, {4, 4});
    const std::size_t live = vyxsim::LiveObjects();
    vyxsim::FailNext("Image::Clone", 1, true);
    EXPECT_FALSE(img.Clone().IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInjectedFault));
    EXPECT_EQ(vyxsim::LiveObjects(), live);
    EXPECT_TRUE(img.Clone().IsValid());

    const std::string file = Path("i.png");
    vyxsim::FailNext("Image::SaveImage", 1, true);
    EXPECT_FALSE(img.SaveImage(file.c_str()));
    EXPECT_TRUE(std::filesystem::exists(file));  // outputs written
    vyxsim::FailNext("Image::SaveImage", 1, false);
    EXPECT_FALSE(img.SaveImage(Path("j.png").c_str()));
    EXPECT_FALSE(std::filesystem::exists(Path("j.png")));
    vyxsim::ClearFailures();
}

// ---------------------------------------------------------------- images

struct ImageFileCase {
    const char* name;
    Vyx::ImageType::Enum type;
};

class ImageFiles : public vyxtest::DataTest, public ::testing::WithParamInterface<ImageFileCase> {};

TEST_P(ImageFiles, SaveAndLoadKeepPixelsWithColourAsBgr) {
    const auto c = GetParam();
    const Vyx::Size size{11, 7};
    const auto img = Vyx::Image::Create(c.type, size);
    const std::size_t ch = c.type == Vyx::ImageType::Mono8 ? 1 : 3;
    const std::size_t n = 77 * ch;
    for (std::size_t i = 0; i < n; ++i) img.GetDataPtr()[i] = static_cast<uint8_t>(i * 13 + 5);
    const std::string path = Path(c.name);
    ASSERT_TRUE(img.SaveImage(path.c_str())) << Vyx::GetLastErrorMessage();
    const auto back = Vyx::Image::CreateFromFile(path.c_str());
    ASSERT_TRUE(back.IsValid()) << Vyx::GetLastErrorMessage();
    EXPECT_EQ(back.GetType(), ch == 1 ? Vyx::ImageType::Mono8 : Vyx::ImageType::BGR8);
    EXPECT_EQ(back.GetSize().width, 11);
    EXPECT_EQ(back.GetSize().height, 7);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t src = i;
        if (c.type == Vyx::ImageType::RGB8) src = i - i % 3 + (2 - i % 3);  // R and B trade places
        ASSERT_EQ(back.GetDataPtr()[i], img.GetDataPtr()[src]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageFiles,
                         ::testing::Values(ImageFileCase{"a.png", Vyx::ImageType::Mono8},
                                           ImageFileCase{"b.PNG", Vyx::ImageType::BGR8},
                                           ImageFileCase{"c.png", Vyx::ImageType::RGB8},
                                           ImageFileCase{"d.bmp", Vyx::ImageType::Mono8},
                                           ImageFileCase{"e.Bmp", Vyx::ImageType::BGR8},
                                           ImageFileCase{"f.bmp", Vyx::ImageType::RGB8}));

TEST_F(Data, ImageFileErrorsNameThePathAndTheReason) {
    const auto img = Vyx::Image::Create(Vyx::ImageType::Mono8, {2, 2});
    EXPECT_FALSE(img.SaveImage(nullptr));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"Image::SaveImage", "null path"}));
    EXPECT_FALSE(img.SaveImage(Path("x.jpg").c_str()));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"x.jpg", ".png or .bmp"}));
    EXPECT_FALSE(img.SaveImage(Path("no/such/dir/x.png").c_str()));
    EXPECT_TRUE(LastErrorIs(vyxsim::kIoError, {"cannot write", "no/such/dir/x.png", "No such file"}));

    EXPECT_FALSE(Vyx::Image::CreateFromFile(nullptr).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"Image::CreateFromFile", "null path"}));
    EXPECT_FALSE(Vyx::Image::CreateFromFile(Path("missing.png").c_str()).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kIoError, {"Image::CreateFromFile: cannot open '", "missing.png'",
                                               "No such file or directory"}));
    std::filesystem::create_directory(Path("dir.bmp"));
    EXPECT_FALSE(Vyx::Image::CreateFromFile(Path("dir.bmp").c_str()).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kIoError, {"dir.bmp", "directory"}));
    EXPECT_FALSE(Vyx::Image::CreateFromFile(Path("x.tiff").c_str()).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"x.tiff"}));
    EXPECT_FALSE(Vyx::Image::CreateFromFile("/dev/zero.png").IsValid());
    EXPECT_FALSE(Vyx::Image::CreateFromFile(Path("noext").c_str()).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument));
}

// ------------------------------------------------------------ point maps

struct PointFileCase {
    const char* name;
    bool binary;
    Vyx::PointMapUnit::Enum unit;
    Vyx::PointMapType::Enum type;
    Vyx::ImageType::Enum colours;  // None: no image
};

class PointFiles : public vyxtest::DataTest, public ::testing::WithParamInterface<PointFileCase> {};

TEST_P(PointFiles, SaveAndLoadKeepGridPointsNormalsTimestampAndUnit) {
    const auto c = GetParam();
    const Vyx::Size size{9, 4};
    const auto pm = Vyx::PointMap::Create(c.type, size);
    double* p = pm.GetPointDataPtr();
    for (int i = 0; i < 36; ++i) {
        p[3 * i] = 0.001 * i - 0.01;
        p[3 * i + 1] = 0.123456789 + 1e-6 * i;
        p[3 * i + 2] = 0.4 + 0.01 * i;
        if (pm.GetNormalDataPtr() != nullptr) {
            pm.GetNormalDataPtr()[3 * i] = 0.6;
            pm.GetNormalDataPtr()[3 * i + 1] = 0.0;
            pm.GetNormalDataPtr()[3 * i + 2] = -0.8;
        }
    }
    p[3 * 5] = p[3 * 5 + 1] = p[3 * 5 + 2] = kNaN;  // no point in cell 5
    Vyx::PointMap(pm).SetTimestamp(1700000000123456ull);
    Vyx::Image img;
    if (c.colours != Vyx::ImageType::None) {
        img = Vyx::Image::Create(c.colours, size);
        const std::size_t bytes = 36u * (c.colours == Vyx::ImageType::Mono8 ? 1 : 3);
        for (std::size_t i = 0; i < bytes; ++i) img.GetDataPtr()[i] = static_cast<uint8_t>(i * 7);
    }
    const std::string path = Path(c.name);
    ASSERT_TRUE(pm.Save(path.c_str(), c.unit, c.binary, img)) << Vyx::GetLastErrorMessage();

    // The file holds the values in the unit asked for, colours as R, G, B.
    const auto bytes = vyxtest::ReadFile(path);
    vyxsim::fmt::CloudData file;
    std::string error;
    const bool pcd = path.back() == 'd' || path.back() == 'D';
    ASSERT_TRUE(pcd ? vyxsim::fmt::DecodePcd(bytes.data(), bytes.size(), &file, &error)
                    : vyxsim::fmt::DecodePly(bytes.data(), bytes.size(), &file, &error))
        << error;
    const double scale = c.unit == Vyx::PointMapUnit::Millimeter ? 1000.0 : 1.0;
    ASSERT_EQ(file.count, 36u);
    EXPECT_DOUBLE_EQ(file.values[3 * 7 + 2], p[3 * 7 + 2] * scale);
    EXPECT_TRUE(std::isnan(file.values[3 * 5]));
    ASSERT_EQ(file.has_colors, c.colours != Vyx::ImageType::None);
    for (int i = 0; file.has_colors && i < 36; ++i) {
        const uint8_t* px = img.GetDataPtr();
        const uint8_t* rgb = &file.colors[3 * i];
        if (c.colours == Vyx::ImageType::Mono8) {
            EXPECT_TRUE(rgb[0] == px[i] && rgb[1] == px[i] && rgb[2] == px[i]) << i;
        } else if (c.colours == Vyx::ImageType::BGR8) {
            EXPECT_TRUE(rgb[0] == px[3 * i + 2] && rgb[1] == px[3 * i + 1] && rgb[2] == px[3 * i]) << i;
        } else {
            EXPECT_TRUE(rgb[0] == px[3 * i] && rgb[1] == px[3 * i + 1] && rgb[2] == px[3 * i + 2]) << i;
        }
    }

    const auto back = Vyx::PointMap::CreateFromFile(path.c_str(), size, c.unit);
    ASSERT_TRUE(back.IsValid()) << Vyx::GetLastErrorMessage();
    EXPECT_EQ(back.GetTimestamp(), 1700000000123456ull);
    EXPECT_EQ(back.GetNormalDataPtr() != nullptr, c.type == Vyx::PointMapType::PointsNormals);
    for (int i = 0; i < 108; ++i) {
        const double expected = p[i], got = back.GetPointDataPtr()[i];
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(got)) << i;
        } else if (scale == 1.0) {
            EXPECT_EQ(got, expected) << i;  // exact in metres, text or binary
        } else {
            EXPECT_NEAR(got, expected, 1e-15) << i;
        }
        if (back.GetNormalDataPtr() != nullptr) {
            EXPECT_EQ(back.GetNormalDataPtr()[i], pm.GetNormalDataPtr()[i]) << i;  // normals are not scaled
        }
    }
    // Loaded in the other unit the values differ by the factor.
    const auto other = Vyx::PointMap::CreateFromFile(
        path.c_str(), size, scale == 1.0 ? Vyx::PointMapUnit::Millimeter : Vyx::PointMapUnit::Meter);
    ASSERT_TRUE(other.IsValid());
    EXPECT_DOUBLE_EQ(other.GetPointDataPtr()[2] * (scale == 1.0 ? 1000.0 : 0.001), p[2]);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PointFiles,
    ::testing::Values(
        PointFileCase{"a.ply", true, Vyx::PointMapUnit::Millimeter, Vyx::PointMapType::PointsOnly, Vyx::ImageType::None},
        PointFileCase{"b.ply", true, Vyx::PointMapUnit::Meter, Vyx::PointMapType::PointsNormals, Vyx::ImageType::BGR8},
        PointFileCase{"i.ply", true, Vyx::PointMapUnit::Millimeter, Vyx::PointMapType::PointsNormals, Vyx::ImageType::None},
        PointFileCase{"j.ply", true, Vyx::PointMapUnit::Meter, Vyx::PointMapType::PointsOnly, Vyx::ImageType::Mono8},
        PointFileCase{"c.PLY", false, Vyx::PointMapUnit::Millimeter, Vyx::PointMapType::PointsNormals, Vyx::ImageType::Mono8},
        PointFileCase{"d.ply", false, Vyx::PointMapUnit::Meter, Vyx::PointMapType::PointsOnly, Vyx::ImageType::RGB8},
        PointFileCase{"e.pcd", true, Vyx::PointMapUnit::Millimeter, Vyx::PointMapType::PointsNormals, Vyx::ImageType::BGR8},
        PointFileCase{"f.pcd", true, Vyx::PointMapUnit::Meter, Vyx::PointMapType::PointsOnly, Vyx::ImageType::None},
        PointFileCase{"g.Pcd", false, Vyx::PointMapUnit::Millimeter, Vyx::PointMapType::PointsOnly, Vyx::ImageType::Mono8},
        PointFileCase{"h.pcd", false, Vyx::PointMapUnit::Meter, Vyx::PointMapType::PointsNormals, Vyx::ImageType::RGB8}));

TEST_F(Data, PointMapFileChecks) {
    const auto pm = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {4, 3});
    const std::string path = Path("m.ply");
    // An image of another size is not used for colours.
    const auto small = Vyx::Image::Create(Vyx::ImageType::BGR8, {3, 3});
    ASSERT_TRUE(pm.Save(path.c_str(), Vyx::PointMapUnit::Meter, false, small));
    const auto bytes = vyxtest::ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("red"), std::string::npos);

    auto load = [&](Vyx::Size s) { return Vyx::PointMap::CreateFromFile(path.c_str(), s, Vyx::PointMapUnit::Meter); };
    EXPECT_FALSE(load({3, 4}).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"m.ply", "4 x 3", "3 x 4"}));
    EXPECT_FALSE(load({12, 1}).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"4 x 3", "12 x 1"}));
    EXPECT_FALSE(load({0, 3}).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"size"}));
    EXPECT_FALSE(Vyx::PointMap::CreateFromFile(path.c_str(), {4, 3}, static_cast<Vyx::PointMapUnit::Enum>(2)).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"unit"}));
    EXPECT_TRUE(load({4, 3}).IsValid());

    EXPECT_FALSE(pm.Save(nullptr, Vyx::PointMapUnit::Meter, true));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"null path"}));
    EXPECT_FALSE(pm.Save(Path("m.xyz").c_str(), Vyx::PointMapUnit::Meter, true));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {".ply or .pcd"}));
    EXPECT_FALSE(pm.Save(Path("m.ply").c_str(), static_cast<Vyx::PointMapUnit::Enum>(-1), true));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"unit"}));
    EXPECT_FALSE(pm.Save(Path("none/m.pcd").c_str(), Vyx::PointMapUnit::Meter, true));
    EXPECT_TRUE(LastErrorIs(vyxsim::kIoError, {"none/m.pcd"}));
    EXPECT_FALSE(Vyx::PointMap::CreateFromFile(Path("gone.pcd").c_str(), {4, 3}, Vyx::PointMapUnit::Meter).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kIoError, {"PointMap::CreateFromFile", "gone.pcd"}));
}

// ------------------------------------------------------------ depth maps

TEST_F(Data, DepthMapsSaveAsFloatTiffInMetresOr16BitPngInMillimetres) {
    std::shared_ptr<vyxsim::MapObj> obj;
    const auto dm = HandleAccess::Make<Vyx::DepthMap>(vyxsim::NewMap(vyxsim::Kind::DepthMap, {4, 2}, &obj));
    const double values[8] = {0.5, kNaN, 1.2345678, 0.00049, 0.0005, 65.5, -1.0, 1e300};
    std::memcpy(dm.GetDataPtr(), values, sizeof values);

    const std::string tif = Path("d.TIFF");
    ASSERT_TRUE(dm.SaveDepthMap(tif.c_str(), true)) << Vyx::GetLastErrorMessage();
    auto bytes = vyxtest::ReadFile(tif);
    int w = 0, h = 0;
    std::vector<float> f;
    std::string error;
    ASSERT_TRUE(vyxsim::fmt::DecodeTiffFloat(bytes.data(), bytes.size(), &w, &h, &f, &error)) << error;
    ASSERT_EQ(w, 4);
    ASSERT_EQ(h, 2);
    for (int i = 0; i < 8; ++i) {
        if (std::isnan(values[i])) {
            EXPECT_TRUE(std::isnan(f[i]));
        } else {
            EXPECT_EQ(f[i], vyxsim::fmt::ToFloat(values[i])) << i;
        }
    }

    const std::string png = Path("d.png");
    ASSERT_TRUE(dm.SaveDepthMap(png.c_str(), false)) << Vyx::GetLastErrorMessage();
    bytes = vyxtest::ReadFile(png);
    std::vector<uint16_t> mm;
    ASSERT_TRUE(vyxsim::fmt::DecodePngGray16(bytes.data(), bytes.size(), &w, &h, &mm, &error)) << error;
    EXPECT_EQ(mm, (std::vector<uint16_t>{500, 0, 1235, 0, 1, 65500, 0, 65535}));

    EXPECT_FALSE(dm.SaveDepthMap(Path("d.png").c_str(), true));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {".tif"}));
    EXPECT_FALSE(dm.SaveDepthMap(Path("d.tif").c_str(), false));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {".png"}));
    EXPECT_FALSE(dm.SaveDepthMap(nullptr, false));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"null path"}));
}

// ----------------------------------------------------------------- meshes

TEST_F(Data, MeshFromGridKeepsTrianglesWithValidShortEdgesAndUsedVerticesOnly) {
    // 4 x 3 grid on the plane z = 1, 1 cm apart; cell (1, 1) has no point and
    // cell (3, 2) lies 10 cm behind the others.
    double grid[12 * 3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            double* p = grid + 3 * (r * 4 + c);
            p[0] = 0.01 * c;
            p[1] = 0.01 * r;
            p[2] = 1.0;
        }
    }
    grid[3 * 5] = grid[3 * 5 + 1] = grid[3 * 5 + 2] = kNaN;
    grid[3 * 11 + 2] = 1.1;
    auto size_of = [&](double max_edge) {
        const auto m = Vyx::Mesh::CreateFromPointMapData({4, 3}, grid, max_edge);
        EXPECT_TRUE(m.IsValid());
        const Vyx::Size s = m.GetSize();
        Vyx::Mesh::Destroy(m);
        return std::make_pair(s.width, s.height);
    };
    // 12 possible triangles; the 6 with a corner at the missing point go,
    // which leaves cell (2, 0) unused: 10 vertices.
    EXPECT_EQ(size_of(0.0), std::make_pair(10, 6));
    EXPECT_EQ(size_of(-1.0), std::make_pair(10, 6));
    EXPECT_EQ(size_of(std::numeric_limits<double>::infinity()), std::make_pair(10, 6));
    // 2 cm limit: the triangle at the far corner (edges of 10 cm) goes, and
    // its corner with it.
    EXPECT_EQ(size_of(0.02), std::make_pair(9, 5));
    // Below the diagonal (1.41 cm): nothing survives.
    EXPECT_EQ(size_of(0.012), std::make_pair(0, 0));

    EXPECT_FALSE(Vyx::Mesh::CreateFromPointMapData({4, 3}, nullptr, 0.0).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"Mesh::CreateFromPointMapData"}));
    EXPECT_FALSE(Vyx::Mesh::CreateFromPointMapData({0, 3}, grid, 0.0).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument));
    EXPECT_FALSE(Vyx::Mesh::CreateFromPointMapData({4, 3}, grid, kNaN).IsValid());
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"max_edge"}));
}

TEST_F(Data, MeshesCopyThePointsCloneAndSaveInEveryFormat) {
    const auto pm = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {3, 3});
    for (int i = 0; i < 9; ++i) {
        double* p = pm.GetPointDataPtr() + 3 * i;
        p[0] = 0.001 * (i % 3);
        p[1] = 0.001 * (i / 3);
        p[2] = 0.5;
        pm.GetNormalDataPtr()[3 * i + 2] = -1;
    }
    const auto mesh = Vyx::Mesh::CreateFromPointMap(pm, 0.0);
    ASSERT_TRUE(mesh.IsValid());
    EXPECT_EQ(mesh.GetSize().width, 9);
    EXPECT_EQ(mesh.GetSize().height, 8);
    pm.GetPointDataPtr()[2] = 7.0;  // the mesh holds its own copy
    const auto obj = vyxsim::Find<vyxsim::MeshObj>(vyxsim::Kind::Mesh, HandleAccess::Get(mesh));
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->vertices[0][2], 0.5);
    EXPECT_EQ(obj->normals.size(), 9u);
    const auto copy = mesh.Clone();
    Vyx::Mesh::Destroy(mesh);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_EQ(copy.GetSize().height, 8);

    for (const char* name : {"m.ply", "m.OBJ", "m.stl"}) {
        const std::string path = Path(name);
        ASSERT_TRUE(copy.Save(path.c_str(), Vyx::PointMapUnit::Millimeter)) << Vyx::GetLastErrorMessage();
        EXPECT_GT(std::filesystem::file_size(path), 84u);
    }
    EXPECT_EQ(std::filesystem::file_size(Path("m.stl")), 84u + 50u * 8);
    const auto ply = vyxtest::ReadFile(Path("m.ply"));
    vyxsim::fmt::CloudData c;
    std::string error;
    ASSERT_TRUE(vyxsim::fmt::DecodePly(ply.data(), ply.size(), &c, &error, true)) << error;
    EXPECT_EQ(c.count, 9u);
    EXPECT_EQ(c.triangles.size(), 8u);
    EXPECT_FLOAT_EQ(static_cast<float>(c.values[3 * 4 + 0]), 1.0f);  // 1 mm
    EXPECT_FLOAT_EQ(static_cast<float>(c.values[3 * 4 + 2]), 500.0f);

    EXPECT_FALSE(copy.Save(Path("m.dae").c_str(), Vyx::PointMapUnit::Meter));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {".ply, .obj or .stl"}));
    EXPECT_FALSE(copy.Save(nullptr, Vyx::PointMapUnit::Meter));
    EXPECT_TRUE(LastErrorIs(vyxsim::kInvalidArgument, {"null path"}));
}

}  // namespace
