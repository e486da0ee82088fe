// Ellipse fitting and outline refinement.
#include "tools/ellipse.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Eigenvalues>
#include <Eigen/LU>

namespace vyxsim::tools {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Symmetric square root of a symmetric positive definite matrix (and its
// inverse with `power` = -0.5).
bool SymmetricPower(const Eigen::Matrix2d& m, double power, Eigen::Matrix2d* out) {
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> es(m);
    if (es.info() != Eigen::Success) return false;
    const Eigen::Vector2d ev = es.eigenvalues();
    if (!(ev.minCoeff() > 0.0) || !ev.allFinite()) return false;
    const Eigen::Vector2d p(std::pow(ev(0), power), std::pow(ev(1), power));
    *out = es.eigenvectors() * p.asDiagonal() * es.eigenvectors().transpose();
    return out->allFinite();
}

}  // namespace

Eigen::Vector2d Ellipse::At(double t, double scale) const {
    return centre + scale * (A * Eigen::Vector2d(std::cos(t), std::sin(t)));
}

double Ellipse::NormalisedRadius(const Eigen::Vector2d& p) const {
    return A.inverse().operator*(p - centre).norm();
}

double Ellipse::MeanRadius() const { return std::sqrt(std::abs(A.determinant())); }

double Ellipse::AxisRatio() const {
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> es(A);
    const Eigen::Vector2d ev = es.eigenvalues().cwiseAbs();
    return ev.minCoeff() > 0.0 ? ev.maxCoeff() / ev.minCoeff() : 1e9;
}

Ellipse EllipseFromMoments(const Eigen::Vector2d& centroid, const Eigen::Matrix2d& covariance) {
    Ellipse e;
    e.centre = centroid;
    Eigen::Matrix2d root;
    if (SymmetricPower(4.0 * covariance, 0.5, &root)) {
        e.A = root;
    } else {
        e.A = Eigen::Matrix2d::Identity() * std::sqrt(std::max(4.0 * covariance.trace() / 2.0, 1e-6));
    }
    return e;
}

bool FitEllipse(const std::vector<Eigen::Vector2d>& points, Ellipse* out) {
    const std::size_t n = points.size();
    if (n < 6) return false;
    // Centre and scale the points so the normal equations stay well
    // conditioned.
    Eigen::Vector2d mean = Eigen::Vector2d::Zero();
    for (const auto& p : points) mean += p;
    mean /= static_cast<double>(n);
    double scale = 0.0;
    for (const auto& p : points) scale += (p - mean).norm();
    scale /= static_cast<double>(n);
    if (!(scale > 1e-9)) return false;
    Eigen::Matrix3d S1 = Eigen::Matrix3d::Zero(), S2 = Eigen::Matrix3d::Zero(), S3 = Eigen::Matrix3d::Zero();
    for (const auto& p : points) {
        const Eigen::Vector2d q = (p - mean) / scale;
        const Eigen::Vector3d d1(q.x() * q.x(), q.x() * q.y(), q.y() * q.y());
        const Eigen::Vector3d d2(q.x(), q.y(), 1.0);
        S1 += d1 * d1.transpose();
        S2 += d1 * d2.transpose();
        S3 += d2 * d2.transpose();
    }
    Eigen::FullPivLU<Eigen::Matrix3d> lu(S3);
    if (!lu.isInvertible()) return false;
    const Eigen::Matrix3d T = -lu.inverse() * S2.transpose();
    const Eigen::Matrix3d M = S1 + S2 * T;
    // Premultiply by the inverse of the constraint matrix.
    Eigen::Matrix3d Mc;
    Mc.row(0) = M.row(2) / 2.0;
    Mc.row(1) = -M.row(1);
    Mc.row(2) = M.row(0) / 2.0;
    Eigen::EigenSolver<Eigen::Matrix3d> es(Mc);
    if (es.info() != Eigen::Success) return false;
    int best = -1;
    double best_value = 0.0;
    for (int i = 0; i < 3; ++i) {
        const Eigen::Vector3d v = es.eigenvectors().col(i).real();
        const double cond = 4.0 * v(0) * v(2) - v(1) * v(1);
        if (cond > 0.0 && (best < 0 || std::abs(es.eigenvalues()(i).real()) < best_value)) {
            best = i;
            best_value = std::abs(es.eigenvalues()(i).real());
        }
    }
    if (best < 0) return false;
    const Eigen::Vector3d a1 = es.eigenvectors().col(best).real();
    const Eigen::Vector3d a2 = T * a1;
    const double a = a1(0), b = a1(1), c = a1(2), d = a2(0), e = a2(1), f = a2(2);
    Eigen::Matrix2d Q;
    Q << a, b / 2.0, b / 2.0, c;
    const Eigen::Vector2d centre = Q.fullPivLu().solve(Eigen::Vector2d(-d / 2.0, -e / 2.0));
    if (!centre.allFinite()) return false;
    const double f0 = a * centre.x() * centre.x() + b * centre.x() * centre.y() + c * centre.y() * centre.y() +
                      d * centre.x() + e * centre.y() + f;
    if (!(std::abs(f0) > 0.0)) return false;
    const Eigen::Matrix2d shape = Q / -f0;  // (p - c)^T shape (p - c) = 1
    Eigen::Matrix2d A;
    if (!SymmetricPower(shape, -0.5, &A)) return false;
    out->centre = mean + scale * centre;
    out->A = scale * A;
    return out->centre.allFinite() && out->A.allFinite();
}

bool RefineOutline(const Grey& grey, const Ellipse& initial, bool bright_inside, double outside, Ellipse* out) {
    Ellipse e = initial;
    const int rays = 48;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<Eigen::Vector2d> edges;
        edges.reserve(rays);
        for (int k = 0; k < rays; ++k) {
            const double t = 2.0 * kPi * (k + 0.5) / rays;
            const Eigen::Vector2d dir = e.A * Eigen::Vector2d(std::cos(t), std::sin(t));
            const double len = dir.norm();
            if (!(len > 0.5)) return false;
            const double ds = 0.25 / len;  // a quarter pixel
            // Inside and outside levels along this ray.
            double in_sum = 0.0;
            int in_n = 0;
            for (double s = 0.0; s <= 0.5; s += ds) {
                const Eigen::Vector2d p = e.centre + s * dir;
                const double g = grey.Sample(p.x(), p.y());
                if (std::isnan(g)) continue;
                in_sum += g;
                ++in_n;
            }
            double extreme = bright_inside ? 1e9 : -1e9;
            for (double s = 1.25; s <= outside; s += ds) {
                const Eigen::Vector2d p = e.centre + s * dir;
                const double g = grey.Sample(p.x(), p.y());
                if (std::isnan(g)) continue;
                extreme = bright_inside ? std::min(extreme, g) : std::max(extreme, g);
            }
            if (in_n == 0 || std::abs(extreme) > 1e8) continue;
            const double inside = in_sum / in_n;
            if (std::abs(inside - extreme) < 8.0) continue;
            const double level = 0.5 * (inside + extreme);
            // The crossing nearest to the current outline.
            double best_s = -1.0, best_gap = 1e9;
            double prev = inside;
            double prev_s = 0.5;
            for (double s = 0.5; s <= std::min(outside, 1.6); s += ds) {
                const Eigen::Vector2d p = e.centre + s * dir;
                const double g = grey.Sample(p.x(), p.y());
                if (std::isnan(g)) break;
                if ((prev - level) * (g - level) <= 0.0 && prev != g) {
                    const double cs = prev_s + (s - prev_s) * (prev - level) / (prev - g);
                    if (std::abs(cs - 1.0) < best_gap) {
                        best_gap = std::abs(cs - 1.0);
                        best_s = cs;
                    }
                }
                prev = g;
                prev_s = s;
            }
            if (best_s > 0.0) edges.push_back(e.centre + best_s * dir);
        }
        if (edges.size() < static_cast<std::size_t>(rays) * 2 / 3) return false;
        Ellipse fit;
        if (!FitEllipse(edges, &fit)) return false;
        // Drop edge points far off the fit (a neighbour's edge, a highlight)
        // and fit again.
        std::vector<Eigen::Vector2d> kept;
        for (const auto& p : edges) {
            if (std::abs(fit.NormalisedRadius(p) - 1.0) < 0.12) kept.push_back(p);
        }
        if (kept.size() < edges.size() * 3 / 4 || kept.size() < 8) return false;
        if (kept.size() < edges.size() && !FitEllipse(kept, &fit)) return false;
        if ((fit.centre - e.centre).norm() > 0.5 * e.MeanRadius() + 1.0) return false;
        e = fit;
    }
    *out = e;
    return true;
}

}  // namespace vyxsim::tools
