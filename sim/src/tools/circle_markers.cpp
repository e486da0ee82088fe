// Dot candidates, ring verification and decoding.
#include "tools/circle_markers.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace vyxsim::tools {

namespace {

constexpr double kPi = 3.14159265358979323846;

double At(const Grey& g, const Ellipse& e, double rho, double t) {
    const Eigen::Vector2d p = e.At(t, rho);
    return g.Sample(p.x(), p.y());
}

// Mean over `n` angles at radius `rho`; NaN when any sample is outside.
double RingMean(const Grey& g, const Ellipse& e, double rho, int n) {
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += At(g, e, rho, 2.0 * kPi * k / n);
    return sum / n;
}

// Brightness of the dot and darkness of the gap around it.
struct Levels {
    double bright = 0, dark = 0;
    double Mid() const { return 0.5 * (bright + dark); }
    double Contrast() const { return bright - dark; }
};

bool DotLevels(const Grey& g, const Ellipse& dot, double gap_rho, int gap_samples, Levels* out) {
    const double centre = At(g, dot, 0.0, 0.0);
    const double inner = RingMean(g, dot, 0.45, 8);
    if (std::isnan(centre) || std::isnan(inner)) return false;
    out->bright = (centre + 2.0 * inner) / 3.0;
    double sum = 0.0, hi = -1.0;
    for (int k = 0; k < gap_samples; ++k) {
        const double v = At(g, dot, gap_rho, 2.0 * kPi * (k + 0.5) / gap_samples);
        if (std::isnan(v)) return false;
        sum += v;
        hi = std::max(hi, v);
    }
    out->dark = sum / gap_samples;
    if (out->Contrast() < std::max(10.0, 0.2 * out->bright)) return false;
    // The gap is dark all the way round.
    return hi < out->Mid() - 0.15 * out->Contrast();
}

// First crossing of `level` in `profile` (values at rho0 + i * step) at or
// after index `from`, rising or falling; -1 when there is none.
double Crossing(const std::vector<double>& profile, double rho0, double step, std::size_t from, double level,
                bool rising) {
    for (std::size_t i = std::max<std::size_t>(from, 1); i < profile.size(); ++i) {
        const double a = profile[i - 1], b = profile[i];
        if (std::isnan(a) || std::isnan(b)) return -1.0;
        if (rising ? (a < level && b >= level) : (a > level && b <= level)) {
            return rho0 + step * (static_cast<double>(i - 1) + (level - a) / (b - a));
        }
    }
    return -1.0;
}

}  // namespace

bool ValidRingGeometry(const RingGeometry& g) {
    return g.bits >= 3 && g.bits <= 31 && std::isfinite(g.r1) && std::isfinite(g.r2) && g.r1 >= 1.2 &&
           g.r2 >= g.r1 + 0.3 && g.r2 <= 50.0;
}

double DotOutside(double gap) { return std::clamp(0.5 + 0.5 * gap, 1.3, 1.6); }

uint32_t RotationInvariantCode(uint32_t word, int bits) {
    if (bits <= 0 || bits > 31) return word;
    const uint32_t mask = (1u << bits) - 1u;
    word &= mask;
    uint32_t best = word;
    for (int r = 1; r < bits; ++r) {
        const uint32_t rotated = ((word >> r) | (word << (bits - r))) & mask;
        best = std::min(best, rotated);
    }
    return best;
}

std::vector<Ellipse> FindDotCandidates(const Grey& grey, double gap) {
    std::vector<Ellipse> out;
    if (grey.width < 8 || grey.height < 8) return out;
    const std::vector<uint8_t> cls = Binarise(grey, DefaultHalfWindow(grey.width, grey.height));
    const std::vector<Blob> blobs = FindBlobs(cls, grey.width, grey.height);
    const int64_t max_area = static_cast<int64_t>(grey.Size() / 100);
    const double outside = DotOutside(gap);
    for (const Blob& b : blobs) {
        if (b.cls != kBright || b.touches_border || b.area < 8 || b.area > max_area) continue;
        const double ell = b.Ellipticity();
        if (ell < 0.75 || ell > 1.15) continue;
        const Ellipse m = EllipseFromMoments(b.Centroid(), b.Covariance());
        if (m.AxisRatio() > 8.0) continue;
        // Darker all round just outside, where the gap is.
        const double centre = grey.Sample(m.centre.x(), m.centre.y());
        double hi = -1.0, lo = 256.0;
        bool inside = true;
        for (int k = 0; k < 16 && inside; ++k) {
            const Eigen::Vector2d p = m.At(2.0 * kPi * k / 16.0, outside);
            const double v = grey.Sample(p.x(), p.y());
            if (std::isnan(v)) inside = false;
            hi = std::max(hi, v);
            lo = std::min(lo, v);
        }
        // Evenly dark: the brightest sample much nearer the darkest than the
        // dot (a texture of bright patches has bright ones among them).
        if (!inside || !(centre - hi >= std::max({8.0, 0.2 * centre, 0.6 * (centre - lo)}))) continue;
        out.push_back(m);
    }
    return out;
}

namespace {

// `strict` false: the quick reading on a dot's rough outline, which only
// turns down what is plainly no marker (looser sector grid, no radial edges).
bool DecodeCoded(const Grey& g, const Ellipse& dot, const RingGeometry& geo, bool strict, RingMarker* out) {
    const int n = geo.bits;
    Levels lv;
    if (!DotLevels(g, dot, 0.5 * (1.0 + geo.r1), 4 * n, &lv)) return false;
    const double mid = lv.Mid(), contrast = lv.Contrast();
    const double width = geo.r2 - geo.r1;
    const double radii[3] = {geo.r1 + 0.3 * width, geo.r1 + 0.5 * width, geo.r1 + 0.7 * width};

    // Angular profile of the ring, 8 samples per sector.
    const int m = 8 * n;
    std::vector<double> a(static_cast<std::size_t>(m));
    for (int j = 0; j < m; ++j) {
        const double t = 2.0 * kPi * j / m;
        double s = 0.0;
        for (double r : radii) s += At(g, dot, r, t);
        if (std::isnan(s)) return false;
        a[static_cast<std::size_t>(j)] = s / 3.0;
    }
    // Sector boundaries from the transitions: their phase on the N-sector
    // grid, and every transition close to it.
    std::complex<double> sum(0.0, 0.0);
    std::vector<double> transitions;
    for (int j = 0; j < m; ++j) {
        const double v0 = a[static_cast<std::size_t>(j)], v1 = a[static_cast<std::size_t>((j + 1) % m)];
        if ((v0 - mid) * (v1 - mid) < 0.0) {
            const double t = 2.0 * kPi * (j + (v0 - mid) / (v0 - v1)) / m;
            transitions.push_back(t);
            sum += std::polar(1.0, n * t);
        }
    }
    if (transitions.empty()) return false;  // all dark (no code) or all bright (concentric)
    const double phase = std::arg(sum) / n;
    for (double t : transitions) {
        double d = std::remainder(n * (t - phase), 2.0 * kPi);
        // Every transition on the grid of N sectors, within 6 % of a sector.
        if (std::abs(d) > (strict ? 0.12 : 0.5) * kPi) return false;
    }
    // Bits at the sector centres.
    const double sector = 2.0 * kPi / n;
    uint32_t word = 0;
    std::vector<int> bright_sectors;
    for (int k = 0; k < n; ++k) {
        const double tc = phase + (k + 0.5) * sector;
        double s = 0.0;
        for (double r : radii) {
            for (double f : {-0.25, 0.0, 0.25}) s += At(g, dot, r, tc + f * sector);
        }
        const double v = s / 9.0;
        if (std::isnan(v) || std::abs(v - mid) < (strict ? 0.25 : 0.1) * contrast) return false;
        if (v > mid) {
            word |= 1u << k;
            bright_sectors.push_back(k);
        }
    }
    const uint32_t mask = (1u << n) - 1u;
    if (word == 0 || word == mask) return false;
    if (!strict) return true;
    // The ring's edges, radially through the bright sectors.
    const double step = 0.05, rho0 = 1.0;
    std::vector<double> profile;
    for (double rho = rho0; rho <= geo.r2 + 0.8; rho += step) {
        double s = 0.0;
        for (int k : bright_sectors) s += At(g, dot, rho, phase + (k + 0.5) * sector);
        profile.push_back(s / static_cast<double>(bright_sectors.size()));
    }
    const double inner = Crossing(profile, rho0, step, 0, mid, true);
    if (inner < 0.0) return false;
    const double outer = Crossing(profile, rho0, step, static_cast<std::size_t>((inner - rho0) / step) + 1, mid, false);
    if (outer < 0.0 || std::abs(inner - geo.r1) > 0.3 || std::abs(outer - geo.r2) > 0.3) return false;
    out->dot = dot;
    out->word = word;
    out->code = RotationInvariantCode(word, n);
    out->concentric = false;
    out->ring_inner = inner;
    out->ring_outer = outer;
    return true;
}

bool DecodeConcentric(const Grey& g, const Ellipse& dot, RingMarker* out) {
    const int angles = 48;
    Levels lv;
    if (!DotLevels(g, dot, 1.3, angles, &lv)) return false;
    const double mid = lv.Mid(), contrast = lv.Contrast();
    // Mean radial profile (16 angles) out to where the ring has ended; the
    // ring starts within 4 and ends within 8 dot radii.
    const double step = 0.05, rho0 = 1.0;
    std::vector<double> profile;
    bool rose = false;
    for (double rho = rho0; rho <= 8.0; rho += step) {
        const double v = RingMean(g, dot, rho, 16);
        profile.push_back(v);
        if (std::isnan(v)) break;
        if (rho > 1.3 && v >= mid) rose = true;
        if (rose && v <= mid) break;
        if (!rose && rho > 4.0) return false;
    }
    const double inner = Crossing(profile, rho0, step, static_cast<std::size_t>(0.3 / step), mid, true);
    if (inner < 1.3) return false;
    const double outer = Crossing(profile, rho0, step, static_cast<std::size_t>((inner - rho0) / step) + 1, mid, false);
    if (outer < inner + 0.3) return false;
    // Gap dark and ring bright all the way round.
    const double gap = 0.5 * (1.0 + inner), ring = 0.5 * (inner + outer);
    for (int k = 0; k < angles; ++k) {
        const double t = 2.0 * kPi * (k + 0.5) / angles;
        const double vg = At(g, dot, gap, t), vr = At(g, dot, ring, t);
        if (std::isnan(vg) || std::isnan(vr)) return false;
        if (vg > mid - 0.2 * contrast || vr < mid + 0.2 * contrast) return false;
    }
    out->dot = dot;
    out->concentric = true;
    out->word = 0;
    out->code = 0;
    out->ring_inner = inner;
    out->ring_outer = outer;
    return true;
}

}  // namespace

namespace {

// Top to bottom, then left to right, by the refined centres.
void SortByPosition(std::vector<RingMarker>* markers) {
    std::sort(markers->begin(), markers->end(), [](const RingMarker& a, const RingMarker& b) {
        const Eigen::Vector2d &p = a.dot.centre, &q = b.dot.centre;
        return p.y() != q.y() ? p.y() < q.y() : p.x() < q.x();
    });
}

}  // namespace

bool RefineDot(const Grey& grey, const Ellipse& dot, double gap, Ellipse* out) {
    return RefineOutline(grey, dot, true, DotOutside(gap), out) && out->MeanRadius() >= 1.2 &&
           out->AxisRatio() <= 8.0;
}

std::vector<RingMarker> DetectCodedMarkers(const Grey& grey, const RingGeometry& g) {
    std::vector<RingMarker> out;
    if (!ValidRingGeometry(g)) return out;
    for (const Ellipse& rough : FindDotCandidates(grey, g.r1)) {
        // The ring is read once on the rough outline (cheap, and enough to
        // turn down most candidates), then on the refined one.
        RingMarker m;
        Ellipse dot;
        if (DecodeCoded(grey, rough, g, false, &m) && RefineDot(grey, rough, g.r1, &dot) &&
            DecodeCoded(grey, dot, g, true, &m)) {
            out.push_back(m);
        }
    }
    SortByPosition(&out);
    return out;
}

std::vector<RingMarker> DetectConcentricMarkers(const Grey& grey) {
    std::vector<RingMarker> out;
    for (const Ellipse& rough : FindDotCandidates(grey, 1.6)) {
        RingMarker m;
        Ellipse dot;
        if (DecodeConcentric(grey, rough, &m) && RefineDot(grey, rough, 1.6, &dot) && DecodeConcentric(grey, dot, &m)) {
            out.push_back(m);
        }
    }
    SortByPosition(&out);
    return out;
}

}  // namespace vyxsim::tools
