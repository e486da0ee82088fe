// Entry points of the point-cloud transform and the accuracy test on the
// circle-grid board.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

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

bool TransformPointCloud(const double* rotation9, const double* translation3, PointMap& map) try {
    static const char* const op = "TransformPointCloud";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(map)}});
    if (g == Gate::Fail) return false;
    return tools::Guarded(op, false, [&]() -> bool {
        if (!rotation9 || !translation3) {
            return vyxsim::Fail(false, vyxsim::kInvalidArgument,
                                std::string(op) + ": the " + (rotation9 ? "translation" : "rotation") + " array is null");
        }
        std::shared_ptr<vyxsim::PointMapObj> pm;
        if (!tools::ReadPointMap(op, "point map", map, &pm)) return false;
        Eigen::Matrix3d R;
        Eigen::Vector3d t;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) R(r, c) = rotation9[3 * r + c];
            t(r) = translation3[r];
        }
        if (!R.allFinite() || !t.allFinite()) {
            return vyxsim::Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the transform holds a value that is not finite");
        }
        if (!Eigen::FullPivLU<Eigen::Matrix3d>(R).isInvertible()) {
            return vyxsim::Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": the 3 x 3 matrix is singular");
        }
        tools::TransformPoints(*pm, R, t);
        if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
        return true;
    });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

namespace {

// Circles taken near the caller's expected positions, in the caller's order.
bool CirclesNear(const char* op, const tools::Grey& grey, const float* reference2d, int n, tools::CircleGrid* out) {
    const std::vector<tools::Ellipse> circles = tools::FindDarkCircles(grey);
    std::vector<Eigen::Vector2d> ref(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        ref[static_cast<std::size_t>(i)] = {reference2d[2 * i], reference2d[2 * i + 1]};
        if (!ref[static_cast<std::size_t>(i)].allFinite()) {
            return vyxsim::Fail(false, vyxsim::kInvalidArgument,
                                std::string(op) + ": reference2d holds a value that is not finite");
        }
    }
    out->centres.assign(ref.size(), Eigen::Vector2d::Zero());
    out->radii.assign(ref.size(), 0.0);
    for (std::size_t i = 0; i < ref.size(); ++i) {
        double spacing = std::numeric_limits<double>::infinity();
        for (std::size_t j = 0; j < ref.size(); ++j) {
            if (j != i) spacing = std::min(spacing, (ref[j] - ref[i]).norm());
        }
        const double tol = std::isfinite(spacing) ? 0.4 * spacing : 10.0;
        long best = -1;
        double best_d = tol;
        for (std::size_t c = 0; c < circles.size(); ++c) {
            const double d = (circles[c].centre - ref[i]).norm();
            if (d < best_d) {
                best_d = d;
                best = static_cast<long>(c);
            }
        }
        if (best < 0) {
            return vyxsim::Fail(false, vyxsim::kNoResult,
                                std::string(op) + ": no dark circle near the expected position " + std::to_string(i) +
                                    " (" + std::to_string(ref[i].x()) + ", " + std::to_string(ref[i].y()) + ")");
        }
        out->centres[i] = circles[static_cast<std::size_t>(best)].centre;
        out->radii[i] = circles[static_cast<std::size_t>(best)].MeanRadius();
    }
    return true;
}

}  // namespace

int TestAccuracy(const Image& image, const PointMap& map, const float* reference2d, const float* reference3d,
                 int cols, int rows, float spacing_mm, float* centers2d, float* centers3d, float& mean_spacing_error_mm,
                 float& flatness_mm) try {
    static const char* const op = "TestAccuracy";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(image)},
                              {"map", HandleAccess::Get(map)},
                              {"reference2d", reinterpret_cast<uintptr_t>(reference2d)},
                              {"reference3d", reinterpret_cast<uintptr_t>(reference3d)},
                              {"cols", cols},
                              {"rows", rows},
                              {"spacing_mm", static_cast<double>(spacing_mm)},
                              {"centers2d", reinterpret_cast<uintptr_t>(centers2d)},
                              {"centers3d", reinterpret_cast<uintptr_t>(centers3d)}});
    if (g == Gate::Fail) return tools::LastCode();
    return tools::Guarded(op, static_cast<int>(vyxsim::kInvalidArgument), [&]() -> int {
        constexpr int kMaxCircles = 40000;
        if (cols < 2 || rows < 2 || static_cast<int64_t>(cols) * rows > kMaxCircles) {
            vyxsim::SetLastError(vyxsim::kInvalidArgument,
                                 std::string(op) + ": a grid of " + std::to_string(cols) + " x " + std::to_string(rows) +
                                     " circles cannot be tested (at least 2 x 2, at most " + std::to_string(kMaxCircles) +
                                     " circles)");
            return vyxsim::kInvalidArgument;
        }
        if (!reference3d && !(std::isfinite(spacing_mm) && spacing_mm > 0.0f)) {
            vyxsim::SetLastError(vyxsim::kInvalidArgument,
                                 std::string(op) + ": spacing_mm must be a positive number, not " + std::to_string(spacing_mm));
            return vyxsim::kInvalidArgument;
        }
        if (!centers2d || !centers3d) {
            vyxsim::SetLastError(vyxsim::kInvalidArgument,
                                 std::string(op) + ": the " + (centers2d ? "3D" : "2D") + " centre array is null");
            return vyxsim::kInvalidArgument;
        }
        const int n = cols * rows;
        tools::GreyInput in;
        std::shared_ptr<vyxsim::PointMapObj> pm;
        if (!tools::ReadImage(op, "image", image, &in) || !tools::ReadPointMap(op, "point map", map, &pm) ||
            !tools::SameSize(op, in, *pm)) {
            return tools::LastCode();
        }
        std::vector<Eigen::Vector3d> ref3;
        if (reference3d) {
            for (int i = 0; i < n; ++i) {
                const Eigen::Vector3d p(reference3d[3 * i], reference3d[3 * i + 1], reference3d[3 * i + 2]);
                if (!p.allFinite()) {
                    vyxsim::SetLastError(vyxsim::kInvalidArgument, std::string(op) + ": reference3d holds a value that is not finite");
                    return vyxsim::kInvalidArgument;
                }
                ref3.push_back(p);
            }
        }

        tools::CircleGrid grid;
        if (reference2d) {
            if (!CirclesNear(op, in.grey, reference2d, n, &grid)) return tools::LastCode();
            grid.cols = cols;
            grid.rows = rows;
        } else {
            std::string why;
            if (!tools::FindCircleGrid(in.grey, cols, rows, &grid, &why)) {
                vyxsim::SetLastError(vyxsim::kNoResult, std::string(op) + ": " + why);
                return vyxsim::kNoResult;
            }
        }

        // 3D centres (millimetres) through the point map.
        const tools::PointGrid pg = tools::GridOf(*pm);
        std::vector<Eigen::Vector3d> c3(static_cast<std::size_t>(n));
        std::vector<bool> ok(static_cast<std::size_t>(n), false);
        int lifted = 0;
        for (int i = 0; i < n; ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            // The circle and the board just around it: a disc of twice the
            // circle's radius.
            const double radius = std::max(3.0, 2.0 * grid.radii[k]);
            ok[k] = tools::LiftPixel(pg, grid.centres[k], radius, &c3[k]);
            if (ok[k]) {
                c3[k] *= 1000.0;
                ++lifted;
            }
        }
        // Neighbour distances against the nominal spacing or the reference.
        double err_sum = 0.0;
        int pairs = 0;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const std::size_t a = static_cast<std::size_t>(r * cols + c);
                for (int step = 0; step < 2; ++step) {
                    const int r2 = r + step, c2 = c + 1 - step;
                    if (r2 >= rows || c2 >= cols) continue;
                    const std::size_t b = static_cast<std::size_t>(r2 * cols + c2);
                    if (!ok[a] || !ok[b]) continue;
                    const double expected = reference3d ? (ref3[b] - ref3[a]).norm() : static_cast<double>(spacing_mm);
                    err_sum += std::abs((c3[b] - c3[a]).norm() - expected);
                    ++pairs;
                }
            }
        }
        std::vector<Eigen::Vector3d> valid;
        for (int i = 0; i < n; ++i) {
            if (ok[static_cast<std::size_t>(i)]) valid.push_back(c3[static_cast<std::size_t>(i)]);
        }
        tools::Plane plane;
        if (2 * lifted < n || pairs == 0 || !tools::FitPlane(valid, &plane)) {
            vyxsim::SetLastError(vyxsim::kNoResult,
                                 std::string(op) + ": the point map has surface points for " + std::to_string(lifted) +
                                     " of the " + std::to_string(n) + " circles; at least half are needed");
            return vyxsim::kNoResult;
        }
        double sq = 0.0;
        for (const auto& p : valid) sq += plane.Distance(p) * plane.Distance(p);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        for (int i = 0; i < n; ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            centers2d[2 * i] = static_cast<float>(grid.centres[k].x());
            centers2d[2 * i + 1] = static_cast<float>(grid.centres[k].y());
            for (int d = 0; d < 3; ++d) centers3d[3 * i + d] = ok[k] ? static_cast<float>(c3[k](d)) : nan;
        }
        mean_spacing_error_mm = static_cast<float>(err_sum / pairs);
        flatness_mm = static_cast<float>(std::sqrt(sq / static_cast<double>(valid.size())));
        if (g == Gate::FailAfterWork) {
            vyxsim::SetInjectedError(op);
            return tools::LastCode();
        }
        return 0;
    });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<int>(vyxsim::kInternal));
}

}  // namespace Vyx
