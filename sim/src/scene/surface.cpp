// Surface textures: circle grids and coded markers, anti-aliased over a
// footprint.
#include "scene/surface.h"

#include <algorithm>
#include <cmath>

namespace vyxsim::scene {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Ramp(double signed_distance, double w) {
    return std::clamp(0.5 + signed_distance / (2.0 * w), 0.0, 1.0);
}

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

}  // namespace

Rgb SurfaceAlbedo(const Scene& scene, const Object& o, const Eigen::Vector2d& p, double w) {
    w = std::max(w, 1e-9);
    Rgb c = o.albedo;
    if (o.shape == Shape::Board) {
        const CircleGrid& g = o.grid;
        double fc = p.x() / g.spacing + (g.cols - 1) / 2.0;
        double fr = p.y() / g.spacing + (g.rows - 1) / 2.0;
        int ci = std::clamp(static_cast<int>(std::lround(fc)), 0, g.cols - 1);
        int ri = std::clamp(static_cast<int>(std::lround(fr)), 0, g.rows - 1);
        Eigen::Vector2d centre((ci - (g.cols - 1) / 2.0) * g.spacing, (ri - (g.rows - 1) / 2.0) * g.spacing);
        double dist = (p - centre).norm();
        if (dist < g.radius + w) c = Mix(c, g.albedo, Ramp(g.radius - dist, w));
    }
    const MarkerGeometry& mg = scene.marker_geometry;
    for (const Marker& m : o.markers) {
        const double rb = m.r0 * mg.border_ratio;
        Eigen::Vector2d q = p - m.position;
        double d2 = q.squaredNorm();
        if (d2 > (rb + w) * (rb + w)) continue;
        double dist = std::sqrt(d2);
        double disc = Ramp(rb - dist, w);
        double dot = Ramp(m.r0 - dist, w);
        double r1 = m.r0 * mg.r1_ratio, r2 = m.r0 * mg.r2_ratio;
        double ring = std::min(Ramp(r2 - dist, w), Ramp(dist - r1, w));
        double lit = dot;
        if (ring > 0.0) {
            const int n = mg.bits;
            double theta = std::atan2(q.y(), q.x());
            if (theta < 0.0) theta += 2.0 * kPi;
            double a = theta / (2.0 * kPi / n);
            int k = static_cast<int>(std::floor(a));
            double frac = a - k;
            auto bit = [&](int s) { return static_cast<double>((m.word >> (((s % n) + n) % n)) & 1u); };
            double arc = 2.0 * kPi / n * dist;
            double v = bit(k);
            double lo = frac * arc, hi = (1.0 - frac) * arc;
            if (lo < w) v = bit(k - 1) + (bit(k) - bit(k - 1)) * (0.5 + lo / (2.0 * w));
            else if (hi < w) v = bit(k + 1) + (bit(k) - bit(k + 1)) * (0.5 + hi / (2.0 * w));
            lit = std::min(1.0, lit + ring * v);
        }
        Rgb inside = Mix(scene.marker_dark, scene.marker_bright, lit);
        c = Mix(c, inside, disc);
    }
    return c;
}

}  // namespace vyxsim::scene
