// What the tool entry points share: looking up their image and point-map
// arguments with clear errors, marker detection lifted to 3D, and the result
// codes of the int-returning tools.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "core/objects.h"
#include "tools/circle_markers.h"
#include "tools/geometry.h"
#include "tools/raster.h"
#include "vyx/data.h"
#include "vyx/tools.h"

namespace vyxsim::tools {

// The current last error code: what an int-returning tool returns on
// failure (0 is success).
int LastCode();

// An image argument as grey pixels. The object is kept alive with the view.
struct GreyInput {
    std::shared_ptr<ImageObj> object;
    Grey grey;
};
// False, with kInvalidHandle set ("<op>: the <name> handle names no image"),
// when the handle names no image; kInvalidArgument for an image whose type
// the tools cannot read.
bool ReadImage(const char* op, const char* name, const Vyx::Image& image, GreyInput* out);

// A point-map argument. False, with kInvalidHandle set, when the handle
// names no point map.
bool ReadPointMap(const char* op, const char* name, const Vyx::PointMap& map, std::shared_ptr<PointMapObj>* out);
PointGrid GridOf(const PointMapObj& map);

// p' = A p + t for every point of the map (a point with any coordinate not
// finite becomes all NaN); normals follow the inverse transpose of A (A
// itself for a rotation) and stay unit length; normals that are zero (not
// computed) or not finite are left as they are. A must be invertible.
void TransformPoints(PointMapObj& map, const Eigen::Matrix3d& A, const Eigen::Vector3d& t);

// False, with kInvalidArgument set, unless the image and the point map have
// the same size (the point map organised on the image's pixels).
bool SameSize(const char* op, const GreyInput& image, const PointMapObj& map);

// The marker geometry of a CodedCircleMarkerType; false, with
// kInvalidArgument set, when it cannot be detected.
bool ReadMarkerType(const char* op, const Vyx::CodedCircleMarkerType& type, RingGeometry* out);

// A detected marker with its surface point (NaN when the point map has no
// usable points around it).
struct LiftedMarker {
    RingMarker marker;
    Eigen::Vector3d point;
    bool lifted = false;
};
// Lifts each marker through the point map: the points within the ring's
// outer radius.
std::vector<LiftedMarker> LiftMarkers(const std::vector<RingMarker>& markers, const PointMapObj& map);

// Markers whose code occurs once only (a repeated code cannot be matched).
std::vector<LiftedMarker> UniqueCodes(const std::vector<LiftedMarker>& markers);

// Runs an entry point's work, turning a failed allocation (the tools need
// working memory in proportion to their images) into a failure of `op` that
// returns `on_failure` with the last error set, as the data objects do.
void SetOutOfMemory(const char* op);
template <class R, class F>
R Guarded(const char* op, R on_failure, F&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        SetOutOfMemory(op);
        return on_failure;
    }
}

// Rigid transforms fitted to marker pairs accept pairs within this distance
// (metres).
constexpr double kMarkerInlierDistance = 0.003;

}  // namespace vyxsim::tools
