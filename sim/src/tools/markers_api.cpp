// Entry points of the circle-marker tools: coded and concentric marker
// detection and the transform between two cameras from coded markers.
#include <algorithm>
#include <cmath>
#include <map>

#include "core/call.h"
#include "core/error.h"
#include "tools/support.h"
#include "vyx/tools.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
namespace tools = vyxsim::tools;

namespace {

int NullArgument(const char* op, const char* what) {
    vyxsim::SetLastError(vyxsim::kInvalidArgument, std::string(op) + ": " + what + " is null");
    return vyxsim::kInvalidArgument;
}

int Injected(const char* op) {
    vyxsim::SetInjectedError(op);
    return tools::LastCode();
}

}  // namespace

int DetectCodedCircleMarker(const Image& image, const CodedCircleMarkerType& type, int* count,
                            CodedCircleMarker* markers) try {
    static const char* const op = "DetectCodedCircleMarker";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(image)},
                              {"N", static_cast<int>(type.N)},
                              {"r1_to_r0_ratio", type.r1_to_r0_ratio},
                              {"r2_to_r0_ratio", type.r2_to_r0_ratio}});
    if (g == Gate::Fail) return tools::LastCode();
    return tools::Guarded(op, static_cast<int>(vyxsim::kInvalidArgument), [&]() -> int {
        if (!count) return NullArgument(op, "the count pointer");
        if (!markers) return NullArgument(op, "the marker array");
        tools::GreyInput in;
        tools::RingGeometry geo;
        if (!tools::ReadImage(op, "image", image, &in) || !tools::ReadMarkerType(op, type, &geo)) {
            return tools::LastCode();
        }
        const std::vector<tools::RingMarker> found = tools::DetectCodedMarkers(in.grey, geo);
        const int n = static_cast<int>(std::min<std::size_t>(found.size(), kMaxCodedCircleMarkers));
        for (int i = 0; i < n; ++i) {
            markers[i].x = found[static_cast<std::size_t>(i)].dot.centre.x();
            markers[i].y = found[static_cast<std::size_t>(i)].dot.centre.y();
            markers[i].code = static_cast<int32_t>(found[static_cast<std::size_t>(i)].code);
        }
        *count = n;
        if (g == Gate::FailAfterWork) return Injected(op);
        return 0;
    });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<int>(vyxsim::kInternal));
}

int DetectConcentricCircleMarker2d(const Image& image, int* count, double* values2d) try {
    static const char* const op = "DetectConcentricCircleMarker2d";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(image)}});
    if (g == Gate::Fail) return tools::LastCode();
    return tools::Guarded(op, static_cast<int>(vyxsim::kInvalidArgument), [&]() -> int {
        if (!count) return NullArgument(op, "the count pointer");
        if (!values2d) return NullArgument(op, "the 2D value array");
        tools::GreyInput in;
        if (!tools::ReadImage(op, "image", image, &in)) return tools::LastCode();
        const std::vector<tools::RingMarker> found = tools::DetectConcentricMarkers(in.grey);
        const int n = static_cast<int>(std::min<std::size_t>(found.size(), kConcentricMarker2dValues / 2));
        for (int i = 0; i < n; ++i) {
            values2d[2 * i] = found[static_cast<std::size_t>(i)].dot.centre.x();
            values2d[2 * i + 1] = found[static_cast<std::size_t>(i)].dot.centre.y();
        }
        *count = n;
        if (g == Gate::FailAfterWork) return Injected(op);
        return 0;
    });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<int>(vyxsim::kInternal));
}

int DetectConcentricCircleMarker3d(const Image& image, const PointMap& map, int* count, double* values2d,
                                   double* values3d) try {
    static const char* const op = "DetectConcentricCircleMarker3d";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(image)}, {"map", HandleAccess::Get(map)}});
    if (g == Gate::Fail) return tools::LastCode();
    return tools::Guarded(op, static_cast<int>(vyxsim::kInvalidArgument), [&]() -> int {
        if (!count) return NullArgument(op, "the count pointer");
        if (!values2d) return NullArgument(op, "the 2D value array");
        if (!values3d) return NullArgument(op, "the 3D value array");
        tools::GreyInput in;
        std::shared_ptr<vyxsim::PointMapObj> pm;
        if (!tools::ReadImage(op, "image", image, &in) || !tools::ReadPointMap(op, "point map", map, &pm) ||
            !tools::SameSize(op, in, *pm)) {
            return tools::LastCode();
        }
        const auto lifted = tools::LiftMarkers(tools::DetectConcentricMarkers(in.grey), *pm);
        int n = 0;
        for (const auto& m : lifted) {
            if (!m.lifted) continue;  // no surface point: left out of both lists
            if (n >= kConcentricMarker3dValues / 3 || n >= kConcentricMarker2dValues / 2) break;
            values2d[2 * n] = m.marker.dot.centre.x();
            values2d[2 * n + 1] = m.marker.dot.centre.y();
            values3d[3 * n] = m.point.x();
            values3d[3 * n + 1] = m.point.y();
            values3d[3 * n + 2] = m.point.z();
            ++n;
        }
        *count = n;
        if (g == Gate::FailAfterWork) return Injected(op);
        return 0;
    });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<int>(vyxsim::kInternal));
}

int GetTwoCameraTransformByCodedCircleMarker(const PointMap& map1, const Image& image1, const PointMap& map2,
                                             const Image& image2, const CodedCircleMarkerType& type,
                                             double* rotation9, double* translation3) try {
    static const char* const op = "GetTwoCameraTransformByCodedCircleMarker";
    const Gate g = Enter(op, {{"map1", HandleAccess::Get(map1)},
                              {"image1", HandleAccess::Get(image1)},
                              {"map2", HandleAccess::Get(map2)},
                              {"image2", HandleAccess::Get(image2)},
                              {"N", static_cast<int>(type.N)}});
    if (g == Gate::Fail) return tools::LastCode();
    return tools::Guarded(op, static_cast<int>(vyxsim::kInvalidArgument), [&]() -> int {
        if (!rotation9) return NullArgument(op, "the rotation array");
        if (!translation3) return NullArgument(op, "the translation array");
        tools::GreyInput in1, in2;
        std::shared_ptr<vyxsim::PointMapObj> pm1, pm2;
        tools::RingGeometry geo;
        if (!tools::ReadPointMap(op, "first point map", map1, &pm1) || !tools::ReadImage(op, "first image", image1, &in1) ||
            !tools::ReadPointMap(op, "second point map", map2, &pm2) ||
            !tools::ReadImage(op, "second image", image2, &in2) || !tools::SameSize(op, in1, *pm1) ||
            !tools::SameSize(op, in2, *pm2) || !tools::ReadMarkerType(op, type, &geo)) {
            return tools::LastCode();
        }
        const auto a = tools::UniqueCodes(tools::LiftMarkers(tools::DetectCodedMarkers(in1.grey, geo), *pm1));
        const auto b = tools::UniqueCodes(tools::LiftMarkers(tools::DetectCodedMarkers(in2.grey, geo), *pm2));
        std::map<uint32_t, Eigen::Vector3d> second;
        for (const auto& m : b) {
            if (m.lifted) second[m.marker.code] = m.point;
        }
        std::vector<Eigen::Vector3d> src, dst;
        for (const auto& m : a) {
            auto it = second.find(m.marker.code);
            if (!m.lifted || it == second.end()) continue;
            src.push_back(m.point);
            dst.push_back(it->second);
        }
        if (src.size() < 3) {
            vyxsim::SetLastError(vyxsim::kNoResult,
                                 std::string(op) + ": the cameras share " + std::to_string(src.size()) +
                                     " coded markers with surface points (found " + std::to_string(a.size()) + " and " +
                                     std::to_string(b.size()) + "); at least 3 are needed");
            return vyxsim::kNoResult;
        }
        tools::RobustRigid fit;
        if (!tools::FitRigidRobust(src, dst, tools::kMarkerInlierDistance, &fit)) {
            vyxsim::SetLastError(vyxsim::kNoResult,
                                 std::string(op) + ": the " + std::to_string(src.size()) +
                                     " markers both cameras see fit no rigid transform (fewer than 3 agree within 3 mm, "
                                     "or they lie on a line)");
            return vyxsim::kNoResult;
        }
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) rotation9[3 * r + c] = fit.transform.R(r, c);
            translation3[r] = fit.transform.t(r);
        }
        if (g == Gate::FailAfterWork) return Injected(op);
        return 0;
    });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<int>(vyxsim::kInternal));
}

}  // namespace Vyx
