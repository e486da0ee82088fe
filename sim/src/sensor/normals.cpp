// Normals by principal component analysis over sliding window sums.
//
// For each window the count, the sums of x, y, z and of their six products
// give the covariance of its points. The plane's normal is the eigenvector
// of the covariance's smallest eigenvalue: the dominant eigenvector of its
// adjugate (eigenvalues l1 l2, l0 l2, l0 l1), found by a few power
// iterations from the adjugate's longest column. The window sums slide along
// rows and down columns, so the cost does not grow with the radius.
#include "sensor/normals.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace vyxsim::cam {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int C = 10;  // count, x, y, z, xx, xy, xz, yy, yz, zz

// The normal of the window whose sums are S (C values), or false.
inline bool WindowNormal(const double* S, double n[3]) {
    const double cnt = S[0];
    if (cnt < 3.0) return false;
    const double inv = 1.0 / cnt;
    const double mx = S[1] * inv, my = S[2] * inv, mz = S[3] * inv;
    const double c00 = S[4] * inv - mx * mx, c01 = S[5] * inv - mx * my, c02 = S[6] * inv - mx * mz;
    const double c11 = S[7] * inv - my * my, c12 = S[8] * inv - my * mz, c22 = S[9] * inv - mz * mz;
    // The adjugate (symmetric).
    const double a00 = c11 * c22 - c12 * c12, a01 = c02 * c12 - c01 * c22, a02 = c01 * c12 - c02 * c11;
    const double a11 = c00 * c22 - c02 * c02, a12 = c01 * c02 - c00 * c12, a22 = c00 * c11 - c01 * c01;
    const double q0 = a00 * a00 + a01 * a01 + a02 * a02;
    const double q1 = a01 * a01 + a11 * a11 + a12 * a12;
    const double q2 = a02 * a02 + a12 * a12 + a22 * a22;
    // The longest column, chosen without branches (which column wins is
    // unpredictable from pixel to pixel).
    const bool first = q0 >= q1 && q0 >= q2, second = !first && q1 >= q2;
    double x = first ? a00 : second ? a01 : a02;
    double y = first ? a01 : second ? a11 : a12;
    double z = first ? a02 : second ? a12 : a22;
    const double best = first ? q0 : second ? q1 : q2;
    const double scale = c00 + c11 + c22;
    if (!(best > 1e-24 * scale * scale * scale * scale)) return false;  // points on a line
    // Rescaled once: four products with entries of about 1e-12 stay far
    // inside the range of doubles.
    const double r = 1.0 / std::sqrt(best);
    x *= r, y *= r, z *= r;
    for (int it = 0; it < 4; ++it) {
        const double nx = a00 * x + a01 * y + a02 * z;
        const double ny = a01 * x + a11 * y + a12 * z;
        const double nz = a02 * x + a12 * y + a22 * z;
        x = nx, y = ny, z = nz;
    }
    const double inv_len = 1.0 / std::sqrt(x * x + y * y + z * z);
    n[0] = x * inv_len, n[1] = y * inv_len, n[2] = z * inv_len;
    // Fails for a zero or overflowing vector: then some value is not finite.
    return std::isfinite(n[0] + n[1] + n[2]);
}

}  // namespace

void EstimateNormals(const double* zmap, int w, int h, int step, const scene::RayTable& rays, int radius,
                     const Eigen::Matrix3d& normal_map, double* normals) {
    const int r = std::max(1, radius / step);
    const int win = 2 * r + 1;
    const std::size_t W = static_cast<std::size_t>(w);
    // The ray of frame pixel (i, j) is (rx, ry, 1): its point is z times it.
    auto ray = [&](int i, int j) { return static_cast<std::size_t>(j * step) * rays.width + static_cast<std::size_t>(i * step); };
    // Horizontal window sums of each row, channel-major (C planes of w),
    // kept for the `win` rows of the current window; `vert` is their sum.
    std::vector<std::vector<double>> rows(static_cast<std::size_t>(win), std::vector<double>(C * W, 0.0));
    std::vector<double> fresh(C * W);
    std::vector<double> vert(C * W, 0.0);
    std::vector<double> vals(C * W);
    auto horizontal = [&](int j, double* hsum) {
        const std::size_t row = static_cast<std::size_t>(j) * W;
        for (int i = 0; i < w; ++i) {
            const double z = zmap[row + i];
            const bool valid = !std::isnan(z);
            const std::size_t ri = ray(i, j);
            const double x = valid ? z * rays.x[ri] : 0.0, y = valid ? z * rays.y[ri] : 0.0, zz = valid ? z : 0.0;
            vals[0 * W + i] = valid ? 1.0 : 0.0;
            vals[1 * W + i] = x;
            vals[2 * W + i] = y;
            vals[3 * W + i] = zz;
            vals[4 * W + i] = x * x;
            vals[5 * W + i] = x * y;
            vals[6 * W + i] = x * zz;
            vals[7 * W + i] = y * y;
            vals[8 * W + i] = y * zz;
            vals[9 * W + i] = zz * zz;
        }
        for (int c = 0; c < C; ++c) {
            const double* v = &vals[c * W];
            double* out = hsum + c * W;
            double acc = 0.0;
            for (int i = 0; i < w + r; ++i) {
                if (i < w) acc += v[i];
                if (i - win >= 0) acc -= v[i - win];
                if (i - r >= 0) out[i - r] = acc;
            }
        }
    };
    // Row j's sums enter the window (in place of row j - win's, which leave
    // it, or of zeros at the top) in one pass.
    auto enter = [&](int j) {
        std::vector<double>& slot = rows[static_cast<std::size_t>(j % win)];
        horizontal(j, fresh.data());
        const double* in = fresh.data();
        const double* out = slot.data();
        for (std::size_t t = 0; t < C * W; ++t) vert[t] += in[t] - out[t];
        slot.swap(fresh);
    };
    auto leave = [&](int j) {
        std::vector<double>& slot = rows[static_cast<std::size_t>(j % win)];
        for (std::size_t t = 0; t < C * W; ++t) vert[t] -= slot[t];
        std::fill(slot.begin(), slot.end(), 0.0);
    };
    const bool rotation_only = (normal_map * normal_map.transpose() - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff() < 1e-12;
    for (int j = 0; j <= r && j < h; ++j) enter(j);
    double S[C];
    for (int j = 0; j < h; ++j) {
        const std::size_t row = static_cast<std::size_t>(j) * W;
        for (int i = 0; i < w; ++i) {
            const std::size_t k = row + i;
            double* nout = normals + 3 * k;
            nout[0] = nout[1] = nout[2] = kNaN;
            if (std::isnan(zmap[k])) continue;
            for (int c = 0; c < C; ++c) S[c] = vert[c * W + i];
            double nc[3];
            if (!WindowNormal(S, nc)) continue;
            // Toward the camera (the sign the iteration ends with is arbitrary).
            const std::size_t ri = ray(i, j);
            const double sign = nc[0] * rays.x[ri] + nc[1] * rays.y[ri] + nc[2] > 0.0 ? -1.0 : 1.0;
            Eigen::Vector3d no = normal_map * Eigen::Vector3d(sign * nc[0], sign * nc[1], sign * nc[2]);
            if (!rotation_only) no.normalize();
            if (!no.allFinite()) continue;
            nout[0] = no.x();
            nout[1] = no.y();
            nout[2] = no.z();
        }
        // Slide the window down one row: row j + r + 1 takes the place of
        // row j - r, or row j - r just leaves at the bottom.
        if (j + r + 1 < h) {
            enter(j + r + 1);
        } else if (j - r >= 0) {
            leave(j - r);
        }
    }
}

}  // namespace vyxsim::cam
