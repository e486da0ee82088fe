// Tool entry points, not available in this build of the stand-in. The
// fixed-marker compensator can still be constructed and destroyed.
#include "stubs/stub.h"
#include "vyx/tools.h"

using Vyx::HandleAccess;

namespace Vyx {

struct Compensator_FixedMarkers::State {
    bool initialised = false;
};

Compensator_FixedMarkers::Compensator_FixedMarkers() : state_(new State) {}

Compensator_FixedMarkers::~Compensator_FixedMarkers() { delete state_; }

int Compensator_FixedMarkers::Initialize(const PointMap& map, const Image& image,
                                         int min_markers) {
    return vyxsim::NotAvailable("Compensator_FixedMarkers::Initialize",
                                {{"map", HandleAccess::Get(map)},
                                 {"image", HandleAccess::Get(image)},
                                 {"min_markers", min_markers}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

int Compensator_FixedMarkers::Update(const PointMap& map, const Image& image, double& /*drift*/) {
    return vyxsim::NotAvailable("Compensator_FixedMarkers::Update",
                                {{"map", HandleAccess::Get(map)}, {"image", HandleAccess::Get(image)}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

int Compensator_FixedMarkers::Apply(PointMap& map) {
    return vyxsim::NotAvailable("Compensator_FixedMarkers::Apply", {{"map", HandleAccess::Get(map)}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

int GetExternalCameraExtrinsicMatrix(const Image& image1, const PointMap& map1,
                                     const uint8_t* /*mask1*/, const Image& image2,
                                     const PointMap& map2, const uint8_t* /*mask2*/,
                                     const Image& image3, const PointMap& map3,
                                     const uint8_t* /*mask3*/, int width, int height,
                                     const float* /*camera_matrix9*/, const float* /*distortion5*/,
                                     float* /*extrinsic16*/, double& /*reprojection_error*/) {
    return vyxsim::NotAvailable("GetExternalCameraExtrinsicMatrix",
                                {{"image1", HandleAccess::Get(image1)},
                                 {"map1", HandleAccess::Get(map1)},
                                 {"image2", HandleAccess::Get(image2)},
                                 {"map2", HandleAccess::Get(map2)},
                                 {"image3", HandleAccess::Get(image3)},
                                 {"map3", HandleAccess::Get(map3)},
                                 {"width", width},
                                 {"height", height}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

PointMap GetExternalCameraPointMap(const PointMap& map, int width, int height,
                                   const float* /*camera_matrix9*/, const float* /*distortion5*/,
                                   const float* /*extrinsic16*/) {
    return vyxsim::NotAvailable(
        "GetExternalCameraPointMap",
        {{"map", HandleAccess::Get(map)}, {"width", width}, {"height", height}}, PointMap());
}

int DetectCodedCircleMarker(const Image& image, const CodedCircleMarkerType& type, int* /*count*/,
                            CodedCircleMarker* /*markers*/) {
    return vyxsim::NotAvailable("DetectCodedCircleMarker",
                                {{"image", HandleAccess::Get(image)},
                                 {"N", static_cast<int>(type.N)},
                                 {"r1_to_r0_ratio", type.r1_to_r0_ratio},
                                 {"r2_to_r0_ratio", type.r2_to_r0_ratio}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

int DetectConcentricCircleMarker2d(const Image& image, int* /*count*/, double* /*values2d*/) {
    return vyxsim::NotAvailable("DetectConcentricCircleMarker2d", {{"image", HandleAccess::Get(image)}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

int DetectConcentricCircleMarker3d(const Image& image, const PointMap& map, int* /*count*/,
                                   double* /*values2d*/, double* /*values3d*/) {
    return vyxsim::NotAvailable("DetectConcentricCircleMarker3d",
                                {{"image", HandleAccess::Get(image)}, {"map", HandleAccess::Get(map)}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

int GetTwoCameraTransformByCodedCircleMarker(const PointMap& map1, const Image& image1,
                                             const PointMap& map2, const Image& image2,
                                             const CodedCircleMarkerType& type,
                                             double* /*rotation9*/, double* /*translation3*/) {
    return vyxsim::NotAvailable("GetTwoCameraTransformByCodedCircleMarker",
                                {{"map1", HandleAccess::Get(map1)},
                                 {"image1", HandleAccess::Get(image1)},
                                 {"map2", HandleAccess::Get(map2)},
                                 {"image2", HandleAccess::Get(image2)},
                                 {"N", static_cast<int>(type.N)}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

bool TransformPointCloud(const double* /*rotation9*/, const double* /*translation3*/, PointMap& map) {
    return vyxsim::NotAvailable("TransformPointCloud", {{"map", HandleAccess::Get(map)}}, false);
}

int TestAccuracy(const Image& image, const PointMap& map, const float* /*reference2d*/,
                 const float* /*reference3d*/, int cols, int rows, float spacing_mm,
                 float* /*centers2d*/, float* /*centers3d*/, float& /*mean_spacing_error_mm*/,
                 float& /*flatness_mm*/) {
    return vyxsim::NotAvailable("TestAccuracy",
                                {{"image", HandleAccess::Get(image)},
                                 {"map", HandleAccess::Get(map)},
                                 {"cols", cols},
                                 {"rows", rows},
                                 {"spacing_mm", static_cast<double>(spacing_mm)}},
                                static_cast<int>(vyxsim::kNotAvailable));
}

}  // namespace Vyx
