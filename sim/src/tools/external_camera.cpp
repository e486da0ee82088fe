// External camera registration: the extrinsic matrix of a 2D camera beside
// the 3D camera from three views of the calibration board, and the point map
// as that camera sees it.
//
// Each view is the 3D camera's image and point map (the board's coded
// markers and circles in 3D) together with the external camera's grey image
// of the same moment (width x height bytes, the `mask` argument), in which
// the same markers and circles are found in 2D. Markers are matched by code;
// a first pose from them places the circles, which are then matched to the
// nearest circle the external camera sees; the pose over all pairs is the
// extrinsic matrix.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include <Eigen/LU>

#include "core/call.h"
#include "core/error.h"
#include "tools/circle_grid.h"
#include "tools/support.h"
#include "vyx/tools.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
namespace tools = vyxsim::tools;

namespace {

constexpr int kMaxSide = 65535;
constexpr int64_t kMaxPixels = int64_t{1} << 28;

bool BadArgument(const char* op, const std::string& what) {
    return vyxsim::Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": " + what);
}

// The external camera's size and intrinsics (K row-major: fx 0 cx / 0 fy cy
// / 0 0 1; distortion k1 k2 p1 p2 k3).
bool ReadCamera(const char* op, int width, int height, const float* K, const float* dist, tools::Pinhole* out) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<int64_t>(width) * height > kMaxPixels) {
        return BadArgument(op, "unusable external image size " + std::to_string(width) + " x " + std::to_string(height));
    }
    if (!K) return BadArgument(op, "the camera matrix is null");
    if (!dist) return BadArgument(op, "the distortion array is null");
    for (int i = 0; i < 9; ++i) {
        if (!std::isfinite(K[i])) return BadArgument(op, "the camera matrix holds a value that is not finite");
    }
    for (int i = 0; i < 5; ++i) {
        if (!std::isfinite(dist[i])) return BadArgument(op, "the distortion holds a value that is not finite");
    }
    if (!(K[0] > 0.0f) || !(K[4] > 0.0f) || K[1] != 0.0f || K[3] != 0.0f || K[6] != 0.0f || K[7] != 0.0f ||
        K[8] != 1.0f) {
        return BadArgument(op, "the camera matrix must read fx 0 cx 0 fy cy 0 0 1 (row by row) with fx, fy > 0");
    }
    out->fx = K[0];
    out->fy = K[4];
    out->cx = K[2];
    out->cy = K[5];
    for (int i = 0; i < 5; ++i) out->dist[static_cast<std::size_t>(i)] = dist[i];
    return true;
}

struct View {
    std::vector<Eigen::Vector3d> marker_points;  // matched markers: 3D camera
    std::vector<Eigen::Vector2d> marker_pixels;  // and external pixels
    std::vector<Eigen::Vector3d> circles3d;      // dark circles the 3D camera sees
    std::vector<tools::Ellipse> circles2d;       // and those the external camera sees
};

bool ReadView(const char* op, int index, const Image& image, const PointMap& map, const uint8_t* ext, int width,
              int height, View* out) {
    const std::string which = " of view " + std::to_string(index);
    tools::GreyInput in;
    std::shared_ptr<vyxsim::PointMapObj> pm;
    if (!tools::ReadImage(op, ("image" + which).c_str(), image, &in) ||
        !tools::ReadPointMap(op, ("point map" + which).c_str(), map, &pm) || !tools::SameSize(op, in, *pm)) {
        return false;
    }
    if (!ext) return BadArgument(op, "the external image" + which + " (mask" + std::to_string(index) + ") is null");
    tools::Grey eg;
    if (!tools::MakeGrey(ImageType::Mono8, {width, height}, ext, &eg)) return BadArgument(op, "unusable external image");

    const tools::RingGeometry geo;  // the default CodedCircleMarkerType
    const auto near = tools::UniqueCodes(tools::LiftMarkers(tools::DetectCodedMarkers(in.grey, geo), *pm));
    std::map<uint32_t, Eigen::Vector2d> far;
    std::map<uint32_t, int> seen;
    const auto far_markers = tools::DetectCodedMarkers(eg, geo);
    for (const auto& m : far_markers) ++seen[m.code];
    for (const auto& m : far_markers) {
        if (seen[m.code] == 1) far[m.code] = m.dot.centre;
    }
    for (const auto& m : near) {
        auto it = far.find(m.marker.code);
        if (!m.lifted || it == far.end()) continue;
        out->marker_points.push_back(m.point);
        out->marker_pixels.push_back(it->second);
    }
    const tools::PointGrid pg = tools::GridOf(*pm);
    for (const tools::Ellipse& c : tools::FindDarkCircles(in.grey)) {
        Eigen::Vector3d p;
        if (tools::LiftPixel(pg, c.centre, std::max(3.0, 2.0 * c.MeanRadius()), &p)) out->circles3d.push_back(p);
    }
    out->circles2d = tools::FindDarkCircles(eg);
    return true;
}

// Circle pairs: each 3D circle projected with `pose`, matched to the
// external circle nearest to it when that is within a quarter of the way to
// the next projected circle and the match is mutual.
void MatchCircles(const View& v, const tools::Pinhole& cam, const tools::Rigid& pose, std::vector<Eigen::Vector3d>* X,
                  std::vector<Eigen::Vector2d>* px) {
    std::vector<Eigen::Vector2d> proj(v.circles3d.size());
    std::vector<bool> in_front(v.circles3d.size());
    for (std::size_t i = 0; i < v.circles3d.size(); ++i) in_front[i] = cam.Project(pose.Apply(v.circles3d[i]), &proj[i]);
    auto nearest_2d = [&](const Eigen::Vector2d& p, double* dist) {
        long best = -1;
        *dist = std::numeric_limits<double>::infinity();
        for (std::size_t j = 0; j < v.circles2d.size(); ++j) {
            const double d = (v.circles2d[j].centre - p).norm();
            if (d < *dist) {
                *dist = d;
                best = static_cast<long>(j);
            }
        }
        return best;
    };
    for (std::size_t i = 0; i < proj.size(); ++i) {
        if (!in_front[i]) continue;
        double next = std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < proj.size(); ++k) {
            if (k != i && in_front[k]) next = std::min(next, (proj[k] - proj[i]).norm());
        }
        double d = 0.0;
        const long j = nearest_2d(proj[i], &d);
        if (j < 0 || !(d < 0.25 * next)) continue;
        // Mutual: no other projected circle is nearer to that external one.
        const Eigen::Vector2d& c = v.circles2d[static_cast<std::size_t>(j)].centre;
        bool mutual = true;
        for (std::size_t k = 0; k < proj.size() && mutual; ++k) {
            if (k != i && in_front[k] && (proj[k] - c).norm() < d) mutual = false;
        }
        if (!mutual) continue;
        X->push_back(v.circles3d[i]);
        px->push_back(c);
    }
}

}  // namespace

int GetExternalCameraExtrinsicMatrix(const Image& image1, const PointMap& map1, const uint8_t* mask1,
                                     const Image& image2, const PointMap& map2, const uint8_t* mask2,
                                     const Image& image3, const PointMap& map3, const uint8_t* mask3, int width,
                                     int height, const float* camera_matrix9, const float* distortion5,
                                     float* extrinsic16, double& reprojection_error) try {
    static const char* const op = "GetExternalCameraExtrinsicMatrix";
    const Gate g = Enter(op, {{"image1", HandleAccess::Get(image1)},
                              {"map1", HandleAccess::Get(map1)},
                              {"image2", HandleAccess::Get(image2)},
                              {"map2", HandleAccess::Get(map2)},
                              {"image3", HandleAccess::Get(image3)},
                              {"map3", HandleAccess::Get(map3)},
                              {"width", width},
                              {"height", height}});
    if (g == Gate::Fail) return 0;
    return tools::Guarded(op, 0, [&]() -> int {
        tools::Pinhole cam;
        if (!ReadCamera(op, width, height, camera_matrix9, distortion5, &cam)) return 0;
        if (!extrinsic16) {
            BadArgument(op, "the extrinsic output array is null");
            return 0;
        }
        View views[3];
        if (!ReadView(op, 1, image1, map1, mask1, width, height, &views[0]) ||
            !ReadView(op, 2, image2, map2, mask2, width, height, &views[1]) ||
            !ReadView(op, 3, image3, map3, mask3, width, height, &views[2])) {
            return 0;
        }
        std::vector<Eigen::Vector3d> X;
        std::vector<Eigen::Vector2d> px;
        for (const View& v : views) {
            X.insert(X.end(), v.marker_points.begin(), v.marker_points.end());
            px.insert(px.end(), v.marker_pixels.begin(), v.marker_pixels.end());
        }
        tools::PoseResult first;
        if (!tools::SolvePnP(X, px, cam, &first)) {
            return vyxsim::Fail(0, vyxsim::kNoResult,
                                std::string(op) + ": " + std::to_string(X.size()) +
                                    " coded markers were seen by both cameras, which fix no pose (at least 6, or 4 on "
                                    "one plane, are needed)");
        }
        for (const View& v : views) MatchCircles(v, cam, first.pose, &X, &px);
        tools::PoseResult pose;
        if (!tools::SolvePnP(X, px, cam, &pose)) pose = first;
        const Eigen::Matrix3d& R = pose.pose.R;
        const Eigen::Vector3d& t = pose.pose.t;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) extrinsic16[4 * r + c] = static_cast<float>(R(r, c));
            extrinsic16[4 * r + 3] = static_cast<float>(t(r));
        }
        extrinsic16[12] = extrinsic16[13] = extrinsic16[14] = 0.0f;
        extrinsic16[15] = 1.0f;
        reprojection_error = pose.rms_px;
        if (g == Gate::FailAfterWork) return vyxsim::FailInjected(0, op);
        return 1;
    });
} catch (...) {
    return vyxsim::FailUnexpected(0);
}

PointMap GetExternalCameraPointMap(const PointMap& map, int width, int height, const float* camera_matrix9,
                                   const float* distortion5, const float* extrinsic16) try {
    static const char* const op = "GetExternalCameraPointMap";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(map)}, {"width", width}, {"height", height}});
    if (g == Gate::Fail) return PointMap();
    return tools::Guarded(op, PointMap(), [&]() -> PointMap {
        std::shared_ptr<vyxsim::PointMapObj> src;
        tools::Pinhole cam;
        if (!tools::ReadPointMap(op, "point map", map, &src) ||
            !ReadCamera(op, width, height, camera_matrix9, distortion5, &cam)) {
            return PointMap();
        }
        if (!extrinsic16) return BadArgument(op, "the extrinsic matrix is null"), PointMap();
        Eigen::Matrix3d R;
        Eigen::Vector3d t;
        for (int i = 0; i < 16; ++i) {
            if (!std::isfinite(extrinsic16[i])) return BadArgument(op, "the extrinsic matrix holds a value that is not finite"), PointMap();
        }
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) R(r, c) = extrinsic16[4 * r + c];
            t(r) = extrinsic16[4 * r + 3];
        }
        if (extrinsic16[12] != 0.0f || extrinsic16[13] != 0.0f || extrinsic16[14] != 0.0f || extrinsic16[15] != 1.0f ||
            !Eigen::FullPivLU<Eigen::Matrix3d>(R).isInvertible()) {
            return BadArgument(op, "the extrinsic matrix must be affine (last row 0 0 0 1) with an invertible 3 x 3 part"),
                   PointMap();
        }
        std::shared_ptr<vyxsim::PointMapObj> dst;
        const bool normals = src->normals != nullptr;
        const vyxsim::Words w = vyxsim::NewPointMap(normals ? PointMapType::PointsNormals : PointMapType::PointsOnly,
                                                    {width, height}, &dst);
        if (w.IsZero()) return PointMap();
        // Points far outside the field of view are not projected: the
        // distortion polynomial folds them back into the image.
        double reach = 0.0;
        for (const Eigen::Vector2d& corner : {Eigen::Vector2d(-0.5, -0.5), Eigen::Vector2d(width - 0.5, -0.5),
                                             Eigen::Vector2d(-0.5, height - 0.5), Eigen::Vector2d(width - 0.5, height - 0.5)}) {
            reach = std::max(reach, cam.Normalised(corner).cwiseAbs().maxCoeff());
        }
        reach *= 1.25;
        const Eigen::Matrix3d N = R.inverse().transpose();
        const std::size_t n = static_cast<std::size_t>(src->size.width) * static_cast<std::size_t>(src->size.height);
        std::vector<double> depth(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                                  std::numeric_limits<double>::infinity());
        for (std::size_t k = 0; k < n; ++k) {
            const double* p = src->points + 3 * k;
            const Eigen::Vector3d v(p[0], p[1], p[2]);
            if (!v.allFinite()) continue;
            const Eigen::Vector3d q = R * v + t;
            if (!(q.z() > 0.0) || std::abs(q.x()) > reach * q.z() || std::abs(q.y()) > reach * q.z()) continue;
            Eigen::Vector2d pixel;
            if (!cam.Project(q, &pixel)) continue;
            const long u = std::lround(pixel.x()), vv = std::lround(pixel.y());
            if (u < 0 || vv < 0 || u >= width || vv >= height) continue;
            const std::size_t i = static_cast<std::size_t>(vv) * static_cast<std::size_t>(width) + static_cast<std::size_t>(u);
            if (q.z() >= depth[i]) continue;
            depth[i] = q.z();
            dst->points[3 * i] = q.x();
            dst->points[3 * i + 1] = q.y();
            dst->points[3 * i + 2] = q.z();
            if (normals) {
                const double* m = src->normals + 3 * k;
                Eigen::Vector3d nn(m[0], m[1], m[2]);
                if (nn.allFinite() && nn.squaredNorm() > 0.0) nn = (N * nn).normalized();
                dst->normals[3 * i] = nn.x();
                dst->normals[3 * i + 1] = nn.y();
                dst->normals[3 * i + 2] = nn.z();
            }
        }
        dst->timestamp.store(src->timestamp.load());
        if (g == Gate::FailAfterWork) {
            vyxsim::RemoveObject(vyxsim::Kind::PointMap, w);
            return vyxsim::FailInjected(PointMap(), op);
        }
        return HandleAccess::Make<PointMap>(w);
    });
} catch (...) {
    return vyxsim::FailUnexpected(PointMap());
}

}  // namespace Vyx
