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

// The normals of four windows at once, from their sums S (C vectors, one
// lane per window), in GCC and Clang vector types (SSE2 pairs, or wider
// registers where the target has them). `ok` is all ones in the lanes that
// have a normal: at least 3 points, not all on a line, and a finite result.
// The adjugate's longest column is chosen without branches (which column
// wins is unpredictable from pixel to pixel), rescaled once (four products
// with entries of about 1e-12 stay far inside the range of doubles), then
// refined by four power iterations.
using V4 = double __attribute__((vector_size(32)));
using M4 = long long __attribute__((vector_size(32)));

// 1 / sqrt per lane (there is no portable vector square root).
inline void InverseRoot(const V4& v, V4* out) {
    for (int l = 0; l < 4; ++l) (*out)[l] = 1.0 / std::sqrt(v[l]);
}

inline void WindowNormals4(const V4* S, V4* nx, V4* ny, V4* nz, M4* ok) {
    const V4 cnt = S[0];
    const V4 inv = 1.0 / cnt;
    const V4 mx = S[1] * inv, my = S[2] * inv, mz = S[3] * inv;
    const V4 c00 = S[4] * inv - mx * mx, c01 = S[5] * inv - mx * my, c02 = S[6] * inv - mx * mz;
    const V4 c11 = S[7] * inv - my * my, c12 = S[8] * inv - my * mz, c22 = S[9] * inv - mz * mz;
    const V4 a00 = c11 * c22 - c12 * c12, a01 = c02 * c12 - c01 * c22, a02 = c01 * c12 - c02 * c11;
    const V4 a11 = c00 * c22 - c02 * c02, a12 = c01 * c02 - c00 * c12, a22 = c00 * c11 - c01 * c01;
    const V4 q0 = a00 * a00 + a01 * a01 + a02 * a02;
    const V4 q1 = a01 * a01 + a11 * a11 + a12 * a12;
    const V4 q2 = a02 * a02 + a12 * a12 + a22 * a22;
    const M4 first = (q0 >= q1) & (q0 >= q2);
    const M4 second = ~first & (q1 >= q2);
    V4 x = first ? a00 : second ? a01 : a02;
    V4 y = first ? a01 : second ? a11 : a12;
    V4 z = first ? a02 : second ? a12 : a22;
    const V4 best = first ? q0 : second ? q1 : q2;
    const V4 scale = c00 + c11 + c22;
    const M4 planar = (cnt >= 3.0) & (best > 1e-24 * scale * scale * scale * scale);
    V4 r{};
    InverseRoot(planar ? best : V4{1.0, 1.0, 1.0, 1.0}, &r);
    x *= r, y *= r, z *= r;
    for (int it = 0; it < 4; ++it) {
        const V4 px = a00 * x + a01 * y + a02 * z;
        const V4 py = a01 * x + a11 * y + a12 * z;
        const V4 pz = a02 * x + a12 * y + a22 * z;
        x = px, y = py, z = pz;
    }
    V4 inv_len{};
    InverseRoot(x * x + y * y + z * z, &inv_len);
    *nx = x * inv_len, *ny = y * inv_len, *nz = z * inv_len;
    const V4 sum = *nx + *ny + *nz;
    // Finite: not NaN (sum == sum) and not infinite (sum - sum == 0).
    *ok = planar & (sum == sum) & ((sum - sum) == 0.0);
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
    std::vector<double> vals(C * W);  // pixel-major: C values per pixel
    auto horizontal = [&](int j, double* hsum) {
        const std::size_t row = static_cast<std::size_t>(j) * W;
        for (int i = 0; i < w; ++i) {
            const double z = zmap[row + i];
            const bool valid = !std::isnan(z);
            const std::size_t ri = ray(i, j);
            const double x = valid ? z * rays.x[ri] : 0.0, y = valid ? z * rays.y[ri] : 0.0, zz = valid ? z : 0.0;
            double* v = &vals[static_cast<std::size_t>(i) * C];
            v[0] = valid ? 1.0 : 0.0;
            v[1] = x;
            v[2] = y;
            v[3] = zz;
            v[4] = x * x;
            v[5] = x * y;
            v[6] = x * zz;
            v[7] = y * y;
            v[8] = y * zz;
            v[9] = zz * zz;
        }
        // The window of pixel i is [i - r, i + r] within the row. All
        // channels slide together, so that their sums are independent
        // chains the processor runs side by side.
        double acc[C] = {0};
        for (int t = 0; t < std::min(r, w); ++t) {
            for (int c = 0; c < C; ++c) acc[c] += vals[static_cast<std::size_t>(t) * C + c];
        }
        for (int i = 0; i < w; ++i) {
            if (i + r < w) {
                const double* in = &vals[static_cast<std::size_t>(i + r) * C];
                for (int c = 0; c < C; ++c) acc[c] += in[c];
            }
            if (i - r - 1 >= 0) {
                const double* out = &vals[static_cast<std::size_t>(i - r - 1) * C];
                for (int c = 0; c < C; ++c) acc[c] -= out[c];
            }
            for (int c = 0; c < C; ++c) hsum[c * W + i] = acc[c];
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
    for (int j = 0; j < h; ++j) {
        const std::size_t row = static_cast<std::size_t>(j) * W;
        std::fill(normals + 3 * row, normals + 3 * (row + W), kNaN);
        for (int i0 = 0; i0 < w; i0 += 4) {
            const int lanes = std::min(4, w - i0);
            V4 S[C];
            for (int c = 0; c < C; ++c) {
                for (int l = 0; l < 4; ++l) S[c][l] = l < lanes ? vert[c * W + i0 + l] : 0.0;
            }
            V4 nx, ny, nz;
            M4 ok;
            WindowNormals4(S, &nx, &ny, &nz, &ok);
            for (int l = 0; l < lanes; ++l) {
                const int i = i0 + l;
                const std::size_t k = row + i;
                if (!ok[l] || std::isnan(zmap[k])) continue;
                // Toward the camera (the sign the iteration ends with is arbitrary).
                const std::size_t ri = ray(i, j);
                const double sign = nx[l] * rays.x[ri] + ny[l] * rays.y[ri] + nz[l] > 0.0 ? -1.0 : 1.0;
                Eigen::Vector3d no = normal_map * Eigen::Vector3d(sign * nx[l], sign * ny[l], sign * nz[l]);
                if (!rotation_only) no.normalize();
                if (!no.allFinite()) continue;
                double* nout = normals + 3 * k;
                nout[0] = no.x();
                nout[1] = no.y();
                nout[2] = no.z();
            }
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
