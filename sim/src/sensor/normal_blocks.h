// The normals kernel on blocks of VYXSIM_NORMAL_LANES pixels in vector
// types, included once by each of normals_avx512.cpp (8 lanes),
// normals_avx2.cpp (4) and normals_baseline.cpp (2), which its compiler flags
// give the matching registers. Everything here has internal linkage, so that
// no file's copy is used for another instruction set.
//
// Per window, the count n, the sums of x, y, z and of their six products
// give n^2 times the covariance of its points (n * Sab - Sa * Sb; the same
// eigenvectors, and no division). The plane's normal is the eigenvector of
// the smallest eigenvalue: the dominant eigenvector of the adjugate
// (eigenvalues l1 l2, l0 l2, l0 l1), found by two power iterations from the
// adjugate's column of largest diagonal entry.
//
// The sums slide, so the cost does not grow with the radius and no row of
// sums is kept: per channel, a sum over the window's rows of each column
// (as the window moves down, one row enters and one leaves), then along the
// row a running sum of the differences of those column sums at the window's
// two edges (a prefix sum within each block of pixels). There is no branch
// per pixel.
#pragma once

#ifndef VYXSIM_NORMAL_LANES
#error "define VYXSIM_NORMAL_LANES (2, 4 or 8) before including sensor/normal_blocks.h"
#endif

#include <cmath>
#include <cstring>
#include <limits>
#if VYXSIM_NORMAL_LANES == 8 && defined(__AVX512F__)
#include <immintrin.h>
#endif

#include "sensor/normals_job.h"

namespace vyxsim::cam {
namespace {

constexpr int L = VYXSIM_NORMAL_LANES;
constexpr int C = 10;  // channels: count, x, y, z, xx, xy, xz, yy, yz, zz
using V = double __attribute__((vector_size(L * sizeof(double))));
using M = long long __attribute__((vector_size(L * sizeof(long long))));
using VF = float __attribute__((vector_size(L * sizeof(float))));

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kIterations = 2;

// Vectors are passed by reference and returned through pointers: by value,
// their calling convention would depend on the instruction set.
[[gnu::always_inline]] inline void Load(const double* p, V* v) { std::memcpy(v, p, sizeof(V)); }
[[gnu::always_inline]] inline void Store(const V& v, double* p) { std::memcpy(p, &v, sizeof(V)); }

// Keeps the lanes of `ok` where v is finite: not NaN (v == v) and not
// infinite (v - v == 0).
[[gnu::always_inline]] inline void KeepFinite(const V& v, M* ok) { *ok &= (v == v) & ((v - v) == 0.0); }

// 1 / sqrt per lane. With AVX-512: its 14-bit estimate and two Newton
// steps (relative error below 1e-16), cheaper than a vector square root and
// division, which the other widths use (the loop becomes vector
// instructions: the files are compiled without errno for math functions).
[[gnu::always_inline]] inline void InverseRoot(const V& v, V* out) {
#if VYXSIM_NORMAL_LANES == 8 && defined(__AVX512F__)
    V y = _mm512_maskz_rsqrt14_pd(0xff, v);
    const V half = 0.5 * v;
    y = y * (1.5 - half * y * y);
    *out = y * (1.5 - half * y * y);
#else
    for (int l = 0; l < L; ++l) (*out)[l] = 1.0 / std::sqrt(v[l]);
#endif
}

// In-block inclusive prefix sum: lane l becomes the sum of lanes 0..l.
[[gnu::always_inline]] inline void PrefixSum(V* v) {
    const V zero{};
#if VYXSIM_NORMAL_LANES == 8
    *v += __builtin_shufflevector(*v, zero, 8, 0, 1, 2, 3, 4, 5, 6);
    *v += __builtin_shufflevector(*v, zero, 8, 8, 0, 1, 2, 3, 4, 5);
    *v += __builtin_shufflevector(*v, zero, 8, 8, 8, 8, 0, 1, 2, 3);
#elif VYXSIM_NORMAL_LANES == 4
    *v += __builtin_shufflevector(*v, zero, 4, 0, 1, 2);
    *v += __builtin_shufflevector(*v, zero, 4, 4, 0, 1);
#elif VYXSIM_NORMAL_LANES == 2
    *v += __builtin_shufflevector(*v, zero, 2, 0);
#else
#error "VYXSIM_NORMAL_LANES must be 2, 4 or 8"
#endif
}

// Writes x0 y0 z0 x1 y1 z1 ... : three vector stores of lanes rearranged
// from the three vectors.
[[gnu::always_inline]] inline void StoreInterleaved(const V& x, const V& y, const V& z, double* o) {
#if VYXSIM_NORMAL_LANES == 8
    const V a = __builtin_shufflevector(x, y, 0, 8, 0, 1, 9, 0, 2, 10);
    const V b = __builtin_shufflevector(x, y, 0, 3, 11, 0, 4, 12, 0, 5);
    const V c = __builtin_shufflevector(x, y, 13, 0, 6, 14, 0, 7, 15, 0);
    Store(__builtin_shufflevector(a, z, 0, 1, 8, 3, 4, 9, 6, 7), o);
    Store(__builtin_shufflevector(b, z, 10, 1, 2, 11, 4, 5, 12, 7), o + L);
    Store(__builtin_shufflevector(c, z, 0, 13, 2, 3, 14, 5, 6, 15), o + 2 * L);
#elif VYXSIM_NORMAL_LANES == 4
    const V a = __builtin_shufflevector(x, y, 0, 4, 0, 1);
    const V b = __builtin_shufflevector(x, y, 5, 0, 2, 6);
    const V c = __builtin_shufflevector(x, y, 0, 3, 7, 0);
    Store(__builtin_shufflevector(a, z, 0, 1, 4, 3), o);
    Store(__builtin_shufflevector(b, z, 0, 5, 2, 3), o + L);
    Store(__builtin_shufflevector(c, z, 6, 1, 2, 7), o + 2 * L);
#else
    Store(__builtin_shufflevector(x, y, 0, 2), o);
    Store(__builtin_shufflevector(z, x, 0, 3), o + L);
    Store(__builtin_shufflevector(y, z, 1, 3), o + 2 * L);
#endif
}

// Rays and depths of frame row j's pixels i0 .. i0 + L - 1; lanes past the
// row have no point.
[[gnu::always_inline]] inline void LoadPixels(const NormalsJob& job, int j, int i0, V* rx, V* ry, V* z) {
    const std::size_t row = static_cast<std::size_t>(j) * static_cast<std::size_t>(job.w);
    const std::size_t ray_row = static_cast<std::size_t>(j) * static_cast<std::size_t>(job.step) * job.ray_width;
    if (job.step == 1 && i0 + L <= job.w) {
        VF fx, fy;
        std::memcpy(&fx, job.ray_x + ray_row + i0, sizeof fx);
        std::memcpy(&fy, job.ray_y + ray_row + i0, sizeof fy);
        *rx = __builtin_convertvector(fx, V);
        *ry = __builtin_convertvector(fy, V);
        Load(job.z + row + i0, z);
        return;
    }
    for (int l = 0; l < L; ++l) {
        const int i = i0 + l;
        const bool inside = i < job.w;
        const std::size_t ri = ray_row + static_cast<std::size_t>(inside ? i : 0) * static_cast<std::size_t>(job.step);
        (*rx)[l] = inside ? job.ray_x[ri] : 0.0;
        (*ry)[l] = inside ? job.ray_y[ri] : 0.0;
        (*z)[l] = inside ? job.z[row + static_cast<std::size_t>(i)] : kNaN;
    }
}

// The C channel values of L pixels; zero where there is no point.
[[gnu::always_inline]] inline void Channels(const NormalsJob& job, int j, int i0, V* ch) {
    V rx, ry, z;
    LoadPixels(job, j, i0, &rx, &ry, &z);
    const M valid = z == z;
    const V zero{};
    const V zz = valid ? z : zero;
    const V x = zz * rx, y = zz * ry;
    ch[0] = valid ? zero + 1.0 : zero;
    ch[1] = x;
    ch[2] = y;
    ch[3] = zz;
    ch[4] = x * x;
    ch[5] = x * y;
    ch[6] = x * zz;
    ch[7] = y * y;
    ch[8] = y * zz;
    ch[9] = zz * zz;
}

// The column sums: channel c of frame column i at cs[c * stride + i].
// Row `in` enters the window and row `out` leaves it (each when asked).
template <bool kIn, bool kOut>
[[gnu::always_inline]] inline void SlideColumns(const NormalsJob& job, int in, int out, double* cs) {
    for (int i0 = 0; i0 < job.w; i0 += L) {
        V add[C] = {}, sub[C] = {};
        if (kIn) Channels(job, in, i0, add);
        if (kOut) Channels(job, out, i0, sub);
        for (int c = 0; c < C; ++c) {
            double* p = cs + static_cast<std::size_t>(c) * job.stride + i0;
            V s;
            Load(p, &s);
            Store(s + (add[c] - sub[c]), p);
        }
    }
}

// The unit normals of L windows from their sums S, and which lanes have
// one: at least 3 points, not all on a line, and a finite result. The
// start column is chosen without branches (which column wins is
// unpredictable from pixel to pixel). The adjugate's entries grow as n^4
// times the window's variance squared; two iterations keep them far inside
// the range of doubles for any window a camera sees, and the last step
// scales to unit length.
[[gnu::always_inline]] inline void WindowNormals(const V* S, V* nx, V* ny, V* nz, M* ok) {
    const V n = S[0];
    const V c00 = n * S[4] - S[1] * S[1], c01 = n * S[5] - S[1] * S[2], c02 = n * S[6] - S[1] * S[3];
    const V c11 = n * S[7] - S[2] * S[2], c12 = n * S[8] - S[2] * S[3], c22 = n * S[9] - S[3] * S[3];
    const V a00 = c11 * c22 - c12 * c12, a01 = c02 * c12 - c01 * c22, a02 = c01 * c12 - c02 * c11;
    const V a11 = c00 * c22 - c02 * c02, a12 = c01 * c02 - c00 * c12, a22 = c00 * c11 - c01 * c01;
    // Start from the column of the largest diagonal entry: a_kk is the sum
    // of the eigenvalue products weighted by v_k^2, so its column leans on
    // the normal by at least 1 / sqrt(3).
    const M first = (a00 >= a11) & (a00 >= a22);
    const M second = ~first & (a11 >= a22);
    V x = first ? a00 : second ? a01 : a02;
    V y = first ? a01 : second ? a11 : a12;
    V z = first ? a02 : second ? a12 : a22;
    const V best = first ? a00 : second ? a11 : a22;
    const V scale = c00 + c11 + c22;
    const M planar = (n >= 3.0) & (best > 1e-12 * scale * scale);
    for (int it = 0; it < kIterations; ++it) {
        const V px = a00 * x + a01 * y + a02 * z;
        const V py = a01 * x + a11 * y + a12 * z;
        const V pz = a02 * x + a12 * y + a22 * z;
        x = px, y = py, z = pz;
    }
    V inv_len;
    InverseRoot(x * x + y * y + z * z, &inv_len);
    *nx = x * inv_len, *ny = y * inv_len, *nz = z * inv_len;
    *ok = planar;
    KeepFinite(*nx + *ny + *nz, ok);
}

// The whole job: its windows' normals, row by row.
void NormalBlocks(const NormalsJob& job) {
    const int w = job.w, h = job.h, r = job.r;
    double* cs = job.columns + r + 1;
    const double* nm = job.map;
    const V nan = V{} + kNaN;

    for (int j = 0; j <= r && j < h; ++j) SlideColumns<true, false>(job, j, -1, cs);
    for (int j = 0; j < h; ++j) {
        // The window of pixel i spans columns i - r .. i + r. Its sum is
        // the sum of columns 0 .. r - 1, plus for each pixel up to i the
        // column entering at the right less the one leaving at the left.
        V carry[C];
        for (int c = 0; c < C; ++c) {
            const double* col = cs + static_cast<std::size_t>(c) * job.stride;
            double s = 0.0;
            for (int u = 0; u < r; ++u) s += col[u];
            carry[c] = V{} + s;
        }
        double* out_row = job.normals + 3 * static_cast<std::size_t>(j) * static_cast<std::size_t>(w);
        for (int i0 = 0; i0 < w; i0 += L) {
            V S[C];
            for (int c = 0; c < C; ++c) {
                const double* col = cs + static_cast<std::size_t>(c) * job.stride + i0;
                V enter, leave;
                Load(col + r, &enter);
                Load(col - r - 1, &leave);
                V d = enter - leave;
                PrefixSum(&d);
                S[c] = d + carry[c];
                carry[c] = V{} + S[c][L - 1];
            }
            V nx, ny, nz;
            M ok;
            WindowNormals(S, &nx, &ny, &nz, &ok);
            // Toward the camera: the sign the iteration ends with is
            // arbitrary.
            V rx, ry, zc;
            LoadPixels(job, j, i0, &rx, &ry, &zc);
            const M away = (nx * rx + ny * ry + nz) > 0.0;
            nx = away ? -nx : nx;
            ny = away ? -ny : ny;
            nz = away ? -nz : nz;
            ok &= zc == zc;
            if (!job.identity) {
                V mx = nm[0] * nx + nm[1] * ny + nm[2] * nz;
                V my = nm[3] * nx + nm[4] * ny + nm[5] * nz;
                V mz = nm[6] * nx + nm[7] * ny + nm[8] * nz;
                if (!job.rotation_only) {
                    V inv_len;
                    InverseRoot(mx * mx + my * my + mz * mz, &inv_len);
                    mx *= inv_len, my *= inv_len, mz *= inv_len;
                }
                nx = mx, ny = my, nz = mz;
                KeepFinite(nx + ny + nz, &ok);
            }
            nx = ok ? nx : nan;
            ny = ok ? ny : nan;
            nz = ok ? nz : nan;
            double* o = out_row + 3 * static_cast<std::size_t>(i0);
            if (i0 + L <= w) {
                StoreInterleaved(nx, ny, nz, o);
            } else {
                for (int l = 0; l < w - i0; ++l) {
                    o[3 * l + 0] = nx[l];
                    o[3 * l + 1] = ny[l];
                    o[3 * l + 2] = nz[l];
                }
            }
        }
        // Slide the window down one row: row j + r + 1 enters, row j - r
        // leaves.
        const bool in = j + r + 1 < h, out = j - r >= 0;
        if (in && out) {
            SlideColumns<true, true>(job, j + r + 1, j - r, cs);
        } else if (in) {
            SlideColumns<true, false>(job, j + r + 1, -1, cs);
        } else if (out) {
            SlideColumns<false, true>(job, -1, j - r, cs);
        }
    }
}

}  // namespace
}  // namespace vyxsim::cam
