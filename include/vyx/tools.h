// Calibration and measurement tools.
#pragma once

#include <cstdint>

#include "vyx/data.h"
#include "vyx/export.h"
#include "vyx/types.h"

namespace Vyx {

// Geometry of a coded circle marker: a centre dot of radius r0 inside a ring
// between radii r1 and r2 that is cut into N sectors, one code bit each.
struct CodedCircleMarkerType {
    int32_t N = 12;
    double r1_to_r0_ratio = 2.0;
    double r2_to_r0_ratio = 3.0;
};

// One detected coded marker: the centre in pixels and its decoded code.
struct VYX_API CodedCircleMarker {
    CodedCircleMarker();
    double x;
    double y;
    int32_t code;
};

// Capacities of the caller's buffers that the detections fill.
constexpr int kMaxCodedCircleMarkers = 1000;
constexpr int kConcentricMarker2dValues = 2000;  // x, y per marker
constexpr int kConcentricMarker3dValues = 3000;  // x, y, z per marker

// Keeps point maps registered against markers fixed in the scene.
class VYX_API Compensator_FixedMarkers {
public:
    Compensator_FixedMarkers();
    ~Compensator_FixedMarkers();
    Compensator_FixedMarkers(const Compensator_FixedMarkers&) = delete;
    Compensator_FixedMarkers& operator=(const Compensator_FixedMarkers&) = delete;

    int Initialize(const PointMap& map, const Image& image, int min_markers);
    int Update(const PointMap& map, const Image& image, double& drift);
    int Apply(PointMap& map);

private:
    struct State;
    State* state_;
};

VYX_API int GetExternalCameraExtrinsicMatrix(
    const Image& image1, const PointMap& map1, const uint8_t* mask1,
    const Image& image2, const PointMap& map2, const uint8_t* mask2,
    const Image& image3, const PointMap& map3, const uint8_t* mask3,
    int width, int height, const float* camera_matrix9, const float* distortion5,
    float* extrinsic16, double& reprojection_error);

VYX_API PointMap GetExternalCameraPointMap(const PointMap& map, int width, int height,
                                           const float* camera_matrix9, const float* distortion5,
                                           const float* extrinsic16);

// Fills up to kMaxCodedCircleMarkers markers; `count` receives how many were
// written. Returns 0 on success, otherwise an error code.
VYX_API int DetectCodedCircleMarker(const Image& image, const CodedCircleMarkerType& type,
                                    int* count, CodedCircleMarker* markers);
VYX_API int DetectConcentricCircleMarker2d(const Image& image, int* count, double* values2d);
VYX_API int DetectConcentricCircleMarker3d(const Image& image, const PointMap& map, int* count,
                                           double* values2d, double* values3d);
// The rigid transform (row-major rotation, translation in metres) that maps
// points of the first camera's frame into the second's.
VYX_API int GetTwoCameraTransformByCodedCircleMarker(const PointMap& map1, const Image& image1,
                                                     const PointMap& map2, const Image& image2,
                                                     const CodedCircleMarkerType& type,
                                                     double* rotation9, double* translation3);
// Applies p' = R p + t to every point (and R to every normal) of the map.
VYX_API bool TransformPointCloud(const double* rotation9, const double* translation3,
                                 PointMap& map);

VYX_API int TestAccuracy(const Image& image, const PointMap& map, const float* reference2d,
                         const float* reference3d, int cols, int rows, float spacing_mm,
                         float* centers2d, float* centers3d, float& mean_spacing_error_mm,
                         float& flatness_mm);

}  // namespace Vyx
