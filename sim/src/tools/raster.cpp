// Grey conversion, sampling, adaptive binarisation and blob labelling.
#include "tools/raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/LU>

namespace vyxsim::tools {

double Grey::Sample(double u, double v) const {
    if (!(u >= 0.0 && v >= 0.0 && u <= width - 1 && v <= height - 1)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const int u0 = std::min(static_cast<int>(u), width - 2 < 0 ? 0 : width - 2);
    const int v0 = std::min(static_cast<int>(v), height - 2 < 0 ? 0 : height - 2);
    const int u1 = std::min(u0 + 1, width - 1), v1 = std::min(v0 + 1, height - 1);
    const double fu = u - u0, fv = v - v0;
    const double a = At(u0, v0), b = At(u1, v0), c = At(u0, v1), d = At(u1, v1);
    return (a + (b - a) * fu) * (1.0 - fv) + (c + (d - c) * fu) * fv;
}

bool MakeGrey(Vyx::ImageType::Enum type, Vyx::Size size, const uint8_t* pixels, Grey* out) {
    if (size.width <= 0 || size.height <= 0 || !pixels) return false;
    out->width = size.width;
    out->height = size.height;
    const std::size_t n = out->Size();
    if (type == Vyx::ImageType::Mono8) {
        out->storage.clear();
        out->data = pixels;
        return true;
    }
    if (type != Vyx::ImageType::RGB8 && type != Vyx::ImageType::BGR8) return false;
    // Luma weights (0.299, 0.587, 0.114) in 8-bit fixed point.
    const int wr = 77, wg = 150, wb = 29;
    const int first = type == Vyx::ImageType::RGB8 ? wr : wb;
    const int last = type == Vyx::ImageType::RGB8 ? wb : wr;
    out->storage.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const uint8_t* p = pixels + 3 * k;
        out->storage[k] = static_cast<uint8_t>((first * p[0] + wg * p[1] + last * p[2] + 128) >> 8);
    }
    out->data = out->storage.data();
    return true;
}

int DefaultHalfWindow(int width, int height) { return std::max(8, std::min(width, height) / 12); }

std::vector<uint8_t> Binarise(const Grey& g, int half) {
    const int w = g.width, h = g.height;
    std::vector<uint8_t> out(g.Size());
    if (w <= 0 || h <= 0) return out;
    // The window mean changes slowly, so it is taken on blocks of
    // kBlock x kBlock pixels: block sums, their integral, and one threshold
    // per block for the window (in blocks) around it.
    constexpr int kBlock = 4;
    const int bw = (w + kBlock - 1) / kBlock, bh = (h + kBlock - 1) / kBlock;
    std::vector<uint32_t> bsum(static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh), 0);
    std::vector<uint32_t> bcount(bsum.size(), 0);
    for (int v = 0; v < h; ++v) {
        const uint8_t* src = g.data + static_cast<std::size_t>(v) * static_cast<std::size_t>(w);
        uint32_t* row = &bsum[static_cast<std::size_t>(v / kBlock) * static_cast<std::size_t>(bw)];
        uint32_t* cnt = &bcount[static_cast<std::size_t>(v / kBlock) * static_cast<std::size_t>(bw)];
        for (int u = 0; u < w; ++u) {
            row[u / kBlock] += src[u];
            ++cnt[u / kBlock];
        }
    }
    const std::size_t W = static_cast<std::size_t>(bw) + 1;
    std::vector<uint64_t> isum(W * (static_cast<std::size_t>(bh) + 1), 0), icnt(isum.size(), 0);
    for (int j = 0; j < bh; ++j) {
        uint64_t rs = 0, rc = 0;
        for (int i = 0; i < bw; ++i) {
            rs += bsum[static_cast<std::size_t>(j) * static_cast<std::size_t>(bw) + static_cast<std::size_t>(i)];
            rc += bcount[static_cast<std::size_t>(j) * static_cast<std::size_t>(bw) + static_cast<std::size_t>(i)];
            isum[(static_cast<std::size_t>(j) + 1) * W + static_cast<std::size_t>(i) + 1] = isum[static_cast<std::size_t>(j) * W + static_cast<std::size_t>(i) + 1] + rs;
            icnt[(static_cast<std::size_t>(j) + 1) * W + static_cast<std::size_t>(i) + 1] = icnt[static_cast<std::size_t>(j) * W + static_cast<std::size_t>(i) + 1] + rc;
        }
    }
    const int hb = std::max(1, (half + kBlock / 2) / kBlock);
    std::vector<int> threshold(bsum.size());
    for (int j = 0; j < bh; ++j) {
        const std::size_t j0 = static_cast<std::size_t>(std::max(0, j - hb)), j1 = static_cast<std::size_t>(std::min(bh, j + hb + 1));
        for (int i = 0; i < bw; ++i) {
            const std::size_t i0 = static_cast<std::size_t>(std::max(0, i - hb)), i1 = static_cast<std::size_t>(std::min(bw, i + hb + 1));
            const uint64_t sum = isum[j1 * W + i1] - isum[j1 * W + i0] - isum[j0 * W + i1] + isum[j0 * W + i0];
            const uint64_t cnt = icnt[j1 * W + i1] - icnt[j1 * W + i0] - icnt[j0 * W + i1] + icnt[j0 * W + i0];
            const double mean = static_cast<double>(sum) / static_cast<double>(std::max<uint64_t>(cnt, 1));
            // Dark: clearly below the mean, g < mean - max(6, mean / 5).
            threshold[static_cast<std::size_t>(j) * static_cast<std::size_t>(bw) + static_cast<std::size_t>(i)] =
                static_cast<int>(std::ceil(mean - std::max(6.0, mean / 5.0)));
        }
    }
    for (int v = 0; v < h; ++v) {
        const uint8_t* src = g.data + static_cast<std::size_t>(v) * static_cast<std::size_t>(w);
        uint8_t* dst = &out[static_cast<std::size_t>(v) * static_cast<std::size_t>(w)];
        const int* thr = &threshold[static_cast<std::size_t>(v / kBlock) * static_cast<std::size_t>(bw)];
        for (int u = 0; u < w; ++u) dst[u] = src[u] < thr[u / kBlock] ? kDark : kBright;
    }
    return out;
}

Eigen::Matrix2d Blob::Covariance() const {
    const Eigen::Vector2d c = Centroid();
    Eigen::Matrix2d m;
    m(0, 0) = suu / area - c.x() * c.x() + 1.0 / 12.0;
    m(1, 1) = svv / area - c.y() * c.y() + 1.0 / 12.0;
    m(0, 1) = m(1, 0) = suv / area - c.x() * c.y();
    return m;
}

double Blob::Ellipticity() const {
    const double det = Covariance().determinant();
    if (!(det > 0.0)) return 0.0;
    return static_cast<double>(area) / (4.0 * 3.14159265358979323846 * std::sqrt(det));
}

namespace {

int32_t Root(std::vector<int32_t>& parent, int32_t x) {
    while (parent[static_cast<std::size_t>(x)] != x) {
        parent[static_cast<std::size_t>(x)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(x)])];
        x = parent[static_cast<std::size_t>(x)];
    }
    return x;
}

void Unite(std::vector<int32_t>& parent, int32_t a, int32_t b) {
    a = Root(parent, a);
    b = Root(parent, b);
    if (a == b) return;
    if (a < b) std::swap(a, b);
    parent[static_cast<std::size_t>(a)] = b;
}

// A horizontal run of pixels of one class: row v, columns u0..u1.
struct Run {
    int v, u0, u1;
    uint8_t cls;
};

}  // namespace

std::vector<Blob> FindBlobs(const std::vector<uint8_t>& cls, int w, int h) {
    std::vector<Blob> blobs;
    if (w <= 0 || h <= 0 || cls.size() < static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) return blobs;
    // Runs row by row, then union-find over runs: a run joins the runs of
    // its class in the row above that share a column (4-connectivity).
    std::vector<Run> runs;
    std::vector<std::size_t> row_start(static_cast<std::size_t>(h) + 1);
    for (int v = 0; v < h; ++v) {
        row_start[static_cast<std::size_t>(v)] = runs.size();
        const uint8_t* row = &cls[static_cast<std::size_t>(v) * static_cast<std::size_t>(w)];
        int u = 0;
        while (u < w) {
            const uint8_t c = row[u];
            int end = u + 1;
            while (end < w && row[end] == c) ++end;
            runs.push_back({v, u, end - 1, c});
            u = end;
        }
    }
    row_start[static_cast<std::size_t>(h)] = runs.size();
    std::vector<int32_t> parent(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) parent[i] = static_cast<int32_t>(i);
    for (int v = 1; v < h; ++v) {
        std::size_t i = row_start[static_cast<std::size_t>(v) - 1], j = row_start[static_cast<std::size_t>(v)];
        const std::size_t i_end = j, j_end = row_start[static_cast<std::size_t>(v) + 1];
        while (i < i_end && j < j_end) {
            const Run& a = runs[i];
            const Run& b = runs[j];
            if (a.cls == b.cls && a.u0 <= b.u1 && b.u0 <= a.u1) {
                Unite(parent, static_cast<int32_t>(i), static_cast<int32_t>(j));
            }
            if (a.u1 < b.u1) {
                ++i;
            } else {
                ++j;
            }
        }
    }
    std::vector<int32_t> index(runs.size(), -1);
    auto sum_to = [](double n) { return n * (n + 1.0) / 2.0; };                    // 0 + 1 + ... + n
    auto sq_to = [](double n) { return n * (n + 1.0) * (2.0 * n + 1.0) / 6.0; };  // 0^2 + ... + n^2
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::size_t r = static_cast<std::size_t>(Root(parent, static_cast<int32_t>(i)));
        if (index[r] < 0) {
            index[r] = static_cast<int32_t>(blobs.size());
            Blob b;
            b.min_u = w;
            b.min_v = h;
            b.max_u = -1;
            b.max_v = -1;
            blobs.push_back(b);
        }
        const Run& run = runs[i];
        Blob& b = blobs[static_cast<std::size_t>(index[r])];
        const double n = run.u1 - run.u0 + 1, a = run.u0, z = run.u1, v = run.v;
        const double su = sum_to(z) - sum_to(a - 1.0);
        b.cls = run.cls;
        b.area += run.u1 - run.u0 + 1;
        b.su += su;
        b.sv += n * v;
        b.suu += sq_to(z) - sq_to(a - 1.0);
        b.suv += v * su;
        b.svv += n * v * v;
        b.min_u = std::min(b.min_u, run.u0);
        b.max_u = std::max(b.max_u, run.u1);
        b.min_v = std::min(b.min_v, run.v);
        b.max_v = std::max(b.max_v, run.v);
    }
    for (Blob& b : blobs) {
        b.touches_border = b.min_u == 0 || b.min_v == 0 || b.max_u == w - 1 || b.max_v == h - 1;
    }
    return blobs;
}

}  // namespace vyxsim::tools
