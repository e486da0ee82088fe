// Damaged inputs to the measurement tools fail cleanly: before SystemInit,
// with handles that name nothing, null pointers, mismatched sizes, unusable
// parameters and injected failures.
#include <functional>

#include "core/handles.h"
#include "test_tools_support.h"

namespace vyxtest {
namespace {

using vyxsim::kInvalidArgument;
using vyxsim::kInvalidHandle;

struct Inputs {
    Vyx::Image image;
    Vyx::PointMap map;
};

Inputs MakeInputs(int w = 64, int h = 48) {
    Inputs in;
    in.image = Vyx::Image::Create(Vyx::ImageType::Mono8, {w, h});
    in.map = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {w, h});
    return in;
}

const float kK[9] = {500, 0, 32, 0, 500, 24, 0, 0, 1};
const float kDist[5] = {0, 0, 0, 0, 0};
const float kIdentity16[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Every tool called once on `in`; true when the call reports success.
struct Tool {
    const char* op;
    std::function<bool(const Inputs&)> call;
};

std::vector<Tool> Tools() {
    static std::vector<uint8_t> ext(64 * 48, 0);
    return {
        {"DetectCodedCircleMarker",
         [](const Inputs& in) {
             Vyx::CodedCircleMarker m[Vyx::kMaxCodedCircleMarkers];
             int count = -7;
             return Vyx::DetectCodedCircleMarker(in.image, Vyx::CodedCircleMarkerType(), &count, m) == 0;
         }},
        {"DetectConcentricCircleMarker2d",
         [](const Inputs& in) {
             std::vector<double> v(Vyx::kConcentricMarker2dValues);
             int count = 0;
             return Vyx::DetectConcentricCircleMarker2d(in.image, &count, v.data()) == 0;
         }},
        {"DetectConcentricCircleMarker3d",
         [](const Inputs& in) {
             std::vector<double> v2(Vyx::kConcentricMarker2dValues), v3(Vyx::kConcentricMarker3dValues);
             int count = 0;
             return Vyx::DetectConcentricCircleMarker3d(in.image, in.map, &count, v2.data(), v3.data()) == 0;
         }},
        {"GetTwoCameraTransformByCodedCircleMarker",
         [](const Inputs& in) {
             double r[9], t[3];
             return Vyx::GetTwoCameraTransformByCodedCircleMarker(in.map, in.image, in.map, in.image,
                                                                  Vyx::CodedCircleMarkerType(), r, t) == 0;
         }},
        {"TransformPointCloud",
         [](const Inputs& in) {
             const double r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, t[3] = {0, 0, 0};
             Vyx::PointMap m = in.map;
             return Vyx::TransformPointCloud(r, t, m);
         }},
        {"TestAccuracy",
         [](const Inputs& in) {
             float c2[2 * 4], c3[3 * 4], e = 0, f = 0;
             return Vyx::TestAccuracy(in.image, in.map, nullptr, nullptr, 2, 2, 15.0f, c2, c3, e, f) == 0;
         }},
        {"Compensator_FixedMarkers::Initialize",
         [](const Inputs& in) {
             Vyx::Compensator_FixedMarkers c;
             return c.Initialize(in.map, in.image, 3) > 0;
         }},
        {"GetExternalCameraExtrinsicMatrix",
         [](const Inputs& in) {
             float e[16];
             double rms = 0;
             return Vyx::GetExternalCameraExtrinsicMatrix(in.image, in.map, ext.data(), in.image, in.map, ext.data(),
                                                          in.image, in.map, ext.data(), 64, 48, kK, kDist, e,
                                                          rms) != 0;
         }},
        {"GetExternalCameraPointMap",
         [](const Inputs& in) {
             return Vyx::GetExternalCameraPointMap(in.map, 64, 48, kK, kDist, kIdentity16).IsValid();
         }},
    };
}

TEST(ToolErrors, EveryToolRefusesBeforeInitAndNamesTheHandleProblem) {
    vyxsim::Reset();
    for (const Tool& t : Tools()) {
        SCOPED_TRACE(t.op);
        EXPECT_FALSE(t.call(Inputs()));
        EXPECT_EQ(Vyx::GetLastError(), vyxsim::kNotInitialized);
    }
    ASSERT_TRUE(Vyx::SystemInit());
    const Inputs good = MakeInputs();
    // Default handles, destroyed ones, and handles of another kind.
    Inputs destroyed = MakeInputs();
    Vyx::Image::Destroy(destroyed.image);
    Vyx::PointMap::Destroy(destroyed.map);
    Inputs crossed;
    crossed.image = Vyx::HandleAccess::Make<Vyx::Image>(Vyx::HandleAccess::Get(good.map));
    crossed.map = Vyx::HandleAccess::Make<Vyx::PointMap>(Vyx::HandleAccess::Get(good.image));
    for (const Inputs& bad : {Inputs(), destroyed, crossed}) {
        for (const Tool& t : Tools()) {
            SCOPED_TRACE(t.op);
            EXPECT_FALSE(t.call(bad));
            EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
            const std::string msg = Vyx::GetLastErrorMessage();
            EXPECT_EQ(msg.rfind(t.op, 0), 0u) << msg;
            EXPECT_NE(msg.find("handle names no"), std::string::npos) << msg;
        }
    }
    vyxsim::Reset();
}

TEST(ToolErrors, InjectedFailuresWithAndWithoutOutputs) {
    vyxsim::Reset();
    ASSERT_TRUE(Vyx::SystemInit());
    const Inputs in = MakeInputs();
    for (const Tool& t : Tools()) {
        SCOPED_TRACE(t.op);
        vyxsim::FailNext(t.op, 1, false);
        EXPECT_FALSE(t.call(in));
        EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInjectedFault);
    }
    // With outputs: the work is done, then failure is reported.
    vyxsim::FailNext("DetectCodedCircleMarker", 1, true);
    int count = -7;
    Vyx::CodedCircleMarker m[4];
    EXPECT_EQ(Vyx::DetectCodedCircleMarker(in.image, Vyx::CodedCircleMarkerType(), &count, m), vyxsim::kInjectedFault);
    EXPECT_EQ(count, 0);
    vyxsim::FailNext("TransformPointCloud", 1, true);
    const double r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, shift[3] = {0, 0, 1};
    Vyx::PointMap pm = in.map;
    pm.GetPointDataPtr()[2] = 0.5;
    pm.GetPointDataPtr()[0] = pm.GetPointDataPtr()[1] = 0.0;
    EXPECT_FALSE(Vyx::TransformPointCloud(r, shift, pm));
    EXPECT_EQ(pm.GetPointDataPtr()[2], 1.5);
    vyxsim::Reset();
}

class ToolArguments : public ToolsTest {};

TEST_F(ToolArguments, NullPointersLeaveOutputsAlone) {
    const Inputs in = MakeInputs();
    Vyx::CodedCircleMarker m[2];
    int count = -7;
    double v[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(Vyx::DetectCodedCircleMarker(in.image, Vyx::CodedCircleMarkerType(), nullptr, m), kInvalidArgument);
    EXPECT_EQ(Vyx::DetectCodedCircleMarker(in.image, Vyx::CodedCircleMarkerType(), &count, nullptr), kInvalidArgument);
    EXPECT_STREQ(Vyx::GetLastErrorMessage(), "DetectCodedCircleMarker: the marker array is null");
    EXPECT_EQ(count, -7);
    EXPECT_EQ(Vyx::DetectConcentricCircleMarker2d(in.image, &count, nullptr), kInvalidArgument);
    EXPECT_EQ(Vyx::DetectConcentricCircleMarker3d(in.image, in.map, &count, v, nullptr), kInvalidArgument);
    EXPECT_EQ(Vyx::DetectConcentricCircleMarker3d(in.image, in.map, nullptr, v, v), kInvalidArgument);
    EXPECT_EQ(count, -7);
    EXPECT_EQ(Vyx::GetTwoCameraTransformByCodedCircleMarker(in.map, in.image, in.map, in.image,
                                                            Vyx::CodedCircleMarkerType(), nullptr, v),
              kInvalidArgument);
    EXPECT_EQ(Vyx::GetTwoCameraTransformByCodedCircleMarker(in.map, in.image, in.map, in.image,
                                                            Vyx::CodedCircleMarkerType(), v, nullptr),
              kInvalidArgument);
    float c[12], e = 7, f = 7;
    EXPECT_EQ(Vyx::TestAccuracy(in.image, in.map, nullptr, nullptr, 2, 2, 15.0f, nullptr, c, e, f), kInvalidArgument);
    EXPECT_EQ(Vyx::TestAccuracy(in.image, in.map, nullptr, nullptr, 2, 2, 15.0f, c, nullptr, e, f), kInvalidArgument);
    // No grid to test: null outputs are fine, nothing is read or written.
    EXPECT_EQ(Vyx::TestAccuracy(in.image, in.map, nullptr, nullptr, 0, 0, 15.0f, nullptr, nullptr, e, f),
              kInvalidArgument);
    EXPECT_EQ(e, 7.0f);
    for (double x : v) EXPECT_EQ(x, 9.0);
    float ext16[16] = {0};
    double rms = -1;
    EXPECT_EQ(Vyx::GetExternalCameraExtrinsicMatrix(in.image, in.map, nullptr, in.image, in.map, nullptr, in.image,
                                                    in.map, nullptr, 64, 48, kK, kDist, ext16, rms),
              0);
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("mask1"), std::string::npos) << Vyx::GetLastErrorMessage();
    EXPECT_EQ(rms, -1.0);
}

TEST_F(ToolArguments, SizesTypesAndMarkerGeometryAreChecked) {
    const Inputs small = MakeInputs(64, 48), other = MakeInputs(48, 64);
    int count = -7;
    double v2[2000], v3[3000];
    EXPECT_EQ(Vyx::DetectConcentricCircleMarker3d(small.image, other.map, &count, v2, v3), kInvalidArgument);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("the image (64 x 48) and the point map (48 x 64) differ"),
              std::string::npos)
        << Vyx::GetLastErrorMessage();
    EXPECT_EQ(count, -7);
    Vyx::CodedCircleMarker m[4];
    for (auto [n, r1, r2] : {std::tuple<int, double, double>{0, 2.0, 3.0}, {32, 2.0, 3.0}, {12, std::nan(""), 3.0},
                             {12, 2.0, 2.1}, {12, 0.5, 3.0}, {12, 2.0, 80.0}}) {
        Vyx::CodedCircleMarkerType type;
        type.N = n;
        type.r1_to_r0_ratio = r1;
        type.r2_to_r0_ratio = r2;
        EXPECT_EQ(Vyx::DetectCodedCircleMarker(small.image, type, &count, m), kInvalidArgument) << n << " " << r1 << " " << r2;
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("unusable marker type"), std::string::npos);
    }
    // Images of every size and content give no markers rather than errors.
    for (Vyx::Size size : {Vyx::Size{1, 1}, Vyx::Size{3, 2000}, Vyx::Size{64, 48}}) {
        Vyx::Image img = Vyx::Image::Create(Vyx::ImageType::BGR8, size);
        count = -7;
        EXPECT_EQ(Vyx::DetectCodedCircleMarker(img, Vyx::CodedCircleMarkerType(), &count, m), 0);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(Vyx::DetectConcentricCircleMarker2d(img, &count, v2), 0);
        EXPECT_EQ(count, 0);
    }
}

TEST_F(ToolArguments, CallsAreTraced) {
    const Inputs in = MakeInputs();
    vyxsim::SetTraceEnabled(true);
    vyxsim::ClearTrace();
    Vyx::CodedCircleMarker m[4];
    int count = 0;
    Vyx::CodedCircleMarkerType type;
    type.N = 8;
    Vyx::DetectCodedCircleMarker(in.image, type, &count, m);
    const auto lines = vyxsim::TakeTrace();
    ASSERT_EQ(lines.size(), 1u);
    const auto w = Vyx::HandleAccess::Get(in.image);
    EXPECT_EQ(lines[0], "DetectCodedCircleMarker(image=#" + std::to_string(w.a) + "." + std::to_string(w.b) +
                            ", N=8, r1_to_r0_ratio=2, r2_to_r0_ratio=3)");
}

}  // namespace
}  // namespace vyxtest
