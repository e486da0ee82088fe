// Argument lookup and marker lifting shared by the tool entry points.
#include "tools/support.h"

#include <algorithm>
#include <limits>
#include <map>

#include <Eigen/LU>

#include "core/error.h"
#include "core/handles.h"
#include "vyx/system.h"

namespace vyxsim::tools {

int LastCode() {
    const int code = Vyx::GetLastError();
    return code != 0 ? code : static_cast<int>(kNoResult);
}

void SetOutOfMemory(const char* op) {
    SetLastError(kInvalidArgument, std::string(op) + ": out of memory for the working data");
}

bool ReadImage(const char* op, const char* name, const Vyx::Image& image, GreyInput* out) {
    out->object = Find<ImageObj>(Kind::Image, Vyx::HandleAccess::Get(image));
    if (!out->object) {
        return Fail(false, kInvalidHandle, std::string(op) + ": the " + name + " handle names no image");
    }
    const ImageObj& o = *out->object;
    if (!MakeGrey(o.type, o.size, o.data, &out->grey)) {
        return Fail(false, kInvalidArgument,
                    std::string(op) + ": the " + name + " is of a type the tools cannot read (" +
                        std::to_string(static_cast<int>(o.type)) + ")");
    }
    return true;
}

bool ReadPointMap(const char* op, const char* name, const Vyx::PointMap& map, std::shared_ptr<PointMapObj>* out) {
    *out = Find<PointMapObj>(Kind::PointMap, Vyx::HandleAccess::Get(map));
    if (!*out) return Fail(false, kInvalidHandle, std::string(op) + ": the " + name + " handle names no point map");
    if (!(*out)->points) return Fail(false, kInvalidArgument, std::string(op) + ": the " + name + " holds no points");
    return true;
}

PointGrid GridOf(const PointMapObj& map) { return {map.size.width, map.size.height, map.points}; }

void TransformPoints(PointMapObj& map, const Eigen::Matrix3d& A, const Eigen::Vector3d& t) {
    const std::size_t n = static_cast<std::size_t>(map.size.width) * static_cast<std::size_t>(map.size.height);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t k = 0; k < n; ++k) {
        double* p = map.points + 3 * k;
        const Eigen::Vector3d v(p[0], p[1], p[2]);
        if (!v.allFinite()) {
            p[0] = p[1] = p[2] = nan;
            continue;
        }
        const Eigen::Vector3d w = A * v + t;
        p[0] = w.x();
        p[1] = w.y();
        p[2] = w.z();
    }
    if (!map.normals) return;
    const Eigen::Matrix3d N = A.inverse().transpose();
    for (std::size_t k = 0; k < n; ++k) {
        double* q = map.normals + 3 * k;
        const Eigen::Vector3d v(q[0], q[1], q[2]);
        if (!v.allFinite() || v.squaredNorm() == 0.0) continue;
        const Eigen::Vector3d w = (N * v).normalized();
        q[0] = w.x();
        q[1] = w.y();
        q[2] = w.z();
    }
}

bool SameSize(const char* op, const GreyInput& image, const PointMapObj& map) {
    if (image.grey.width == map.size.width && image.grey.height == map.size.height) return true;
    return Fail(false, kInvalidArgument,
                std::string(op) + ": the image (" + std::to_string(image.grey.width) + " x " +
                    std::to_string(image.grey.height) + ") and the point map (" + std::to_string(map.size.width) +
                    " x " + std::to_string(map.size.height) + ") differ in size");
}

bool ReadMarkerType(const char* op, const Vyx::CodedCircleMarkerType& type, RingGeometry* out) {
    RingGeometry g;
    g.bits = type.N;
    g.r1 = type.r1_to_r0_ratio;
    g.r2 = type.r2_to_r0_ratio;
    if (!ValidRingGeometry(g)) {
        return Fail(false, kInvalidArgument,
                    std::string(op) + ": unusable marker type (N = " + std::to_string(type.N) +
                        " must lie in 3..31, r1_to_r0_ratio >= 1.2, r2_to_r0_ratio at least 0.3 above it and "
                        "at most 50)");
    }
    *out = g;
    return true;
}

std::vector<LiftedMarker> LiftMarkers(const std::vector<RingMarker>& markers, const PointMapObj& map) {
    std::vector<LiftedMarker> out;
    const PointGrid grid = GridOf(map);
    for (const RingMarker& m : markers) {
        LiftedMarker l;
        l.marker = m;
        const double radius = std::max(3.0, m.ring_outer * m.dot.MeanRadius());
        l.lifted = LiftPixel(grid, m.dot.centre, radius, &l.point);
        if (!l.lifted) l.point = Eigen::Vector3d::Constant(std::numeric_limits<double>::quiet_NaN());
        out.push_back(l);
    }
    return out;
}

std::vector<LiftedMarker> UniqueCodes(const std::vector<LiftedMarker>& markers) {
    std::map<uint32_t, int> count;
    for (const auto& m : markers) ++count[m.marker.code];
    std::vector<LiftedMarker> out;
    for (const auto& m : markers) {
        if (count[m.marker.code] == 1) out.push_back(m);
    }
    return out;
}

}  // namespace vyxsim::tools
