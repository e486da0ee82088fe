// Point lifting, rigid fits, planes and camera pose.
#include "tools/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/Geometry>
#include <Eigen/LU>
#include <Eigen/SVD>

namespace vyxsim::tools {

namespace {

double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    const std::size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    return v[mid];
}

// The centroid of `points` and the eigen-decomposition of their scatter
// matrix, eigenvalues ascending: the last eigenvector points along the
// widest spread, the first is the normal of the best-fitting plane.
struct Spread {
    Eigen::Vector3d centroid;
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eig;
};

Spread SpreadOf(const std::vector<Eigen::Vector3d>& points) {
    Spread s;
    s.centroid = Eigen::Vector3d::Zero();
    for (const auto& p : points) s.centroid += p;
    s.centroid /= static_cast<double>(points.size());
    Eigen::Matrix3d C = Eigen::Matrix3d::Zero();
    for (const auto& p : points) C += (p - s.centroid) * (p - s.centroid).transpose();
    s.eig.compute(C);
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------
// Lifting pixels through a point map.

bool LiftPixel(const PointGrid& grid, const Eigen::Vector2d& pixel, double radius, Eigen::Vector3d* out) {
    if (!grid.points || grid.width <= 0 || grid.height <= 0 || !pixel.allFinite() || !(radius > 0.0)) return false;
    radius = std::min(radius, 200.0);
    const int u0 = std::max(0, static_cast<int>(std::floor(pixel.x() - radius)));
    const int u1 = std::min(grid.width - 1, static_cast<int>(std::ceil(pixel.x() + radius)));
    const int v0 = std::max(0, static_cast<int>(std::floor(pixel.y() - radius)));
    const int v1 = std::min(grid.height - 1, static_cast<int>(std::ceil(pixel.y() + radius)));
    struct Sample {
        double du, dv;
        Eigen::Vector3d p;
    };
    std::vector<Sample> samples;
    const double r2 = radius * radius;
    for (int v = v0; v <= v1; ++v) {
        for (int u = u0; u <= u1; ++u) {
            const double du = u - pixel.x(), dv = v - pixel.y();
            if (du * du + dv * dv > r2) continue;
            const double* p = grid.points + 3 * (static_cast<std::size_t>(v) * static_cast<std::size_t>(grid.width) +
                                                 static_cast<std::size_t>(u));
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
            samples.push_back({du, dv, Eigen::Vector3d(p[0], p[1], p[2])});
        }
    }
    std::vector<bool> use(samples.size(), true);
    Eigen::Matrix<double, 3, 3> coef;  // rows: constant, du, dv; columns: x, y, z
    for (int pass = 0; pass < 3; ++pass) {
        Eigen::Matrix3d N = Eigen::Matrix3d::Zero();
        Eigen::Matrix3d B = Eigen::Matrix3d::Zero();
        int count = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (!use[i]) continue;
            const Eigen::Vector3d a(1.0, samples[i].du, samples[i].dv);
            N += a * a.transpose();
            B += a * samples[i].p.transpose();
            ++count;
        }
        if (count < 8) return false;
        // The offsets must span an area, not a line.
        const double det = N.determinant();
        if (!(det > 1e-6 * std::pow(N(1, 1) + N(2, 2), 2) * count)) return false;
        Eigen::LDLT<Eigen::Matrix3d> ldlt(N);
        coef = ldlt.solve(B);
        if (!coef.allFinite()) return false;
        if (pass == 2) break;
        std::vector<double> residual;
        residual.reserve(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const Eigen::Vector3d a(1.0, samples[i].du, samples[i].dv);
            const double r = (coef.transpose() * a - samples[i].p).norm();
            if (use[i]) residual.push_back(r);
        }
        const double limit = std::max(3.0 * 1.4826 * Median(residual), 1e-7);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const Eigen::Vector3d a(1.0, samples[i].du, samples[i].dv);
            use[i] = (coef.transpose() * a - samples[i].p).norm() <= limit;
        }
    }
    *out = coef.row(0).transpose();
    return out->allFinite();
}

// ---------------------------------------------------------------------------
// Rigid transforms.

Rigid Rigid::Inverse() const {
    Rigid r;
    r.R = R.transpose();
    r.t = -(r.R * t);
    return r;
}

bool FitRigid(const std::vector<Eigen::Vector3d>& src, const std::vector<Eigen::Vector3d>& dst, Rigid* out) {
    const std::size_t n = src.size();
    if (n < 3 || dst.size() != n) return false;
    Eigen::Vector3d ms = Eigen::Vector3d::Zero(), md = Eigen::Vector3d::Zero();
    for (std::size_t i = 0; i < n; ++i) {
        ms += src[i];
        md += dst[i];
    }
    ms /= static_cast<double>(n);
    md /= static_cast<double>(n);
    Eigen::Matrix3d H = Eigen::Matrix3d::Zero();
    for (std::size_t i = 0; i < n; ++i) H += (src[i] - ms) * (dst[i] - md).transpose();
    Eigen::JacobiSVD<Eigen::Matrix3d> svd(H, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::Matrix3d U = svd.matrixU(), V = svd.matrixV();
    Eigen::Matrix3d D = Eigen::Matrix3d::Identity();
    D(2, 2) = (V * U.transpose()).determinant() < 0.0 ? -1.0 : 1.0;
    out->R = V * D * U.transpose();
    out->t = md - out->R * ms;
    return out->R.allFinite() && out->t.allFinite();
}

double LateralSpread(const std::vector<Eigen::Vector3d>& points) {
    if (points.size() < 3) return 0.0;
    // The scatter's eigenvalue over the count is the variance along that axis.
    const Spread s = SpreadOf(points);
    return std::sqrt(std::max(0.0, s.eig.eigenvalues()(1) / static_cast<double>(points.size())));
}

namespace {

// Height of the triangle over its longest side.
double TriangleHeight(const Eigen::Vector3d& a, const Eigen::Vector3d& b, const Eigen::Vector3d& c) {
    const double longest = std::max({(b - a).norm(), (c - b).norm(), (a - c).norm()});
    if (!(longest > 0.0)) return 0.0;
    return (b - a).cross(c - a).norm() / longest;
}

}  // namespace

bool FitRigidRobust(const std::vector<Eigen::Vector3d>& src, const std::vector<Eigen::Vector3d>& dst,
                    double threshold, RobustRigid* out) {
    const std::size_t n = src.size();
    if (n < 3 || dst.size() != n || !(threshold > 0.0)) return false;
    auto count_inliers = [&](const Rigid& T, std::vector<bool>* mask, double* sum_sq) {
        int count = 0;
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double e = (T.Apply(src[i]) - dst[i]).norm();
            const bool in = e <= threshold;
            if (mask) (*mask)[i] = in;
            if (in) {
                ++count;
                s += e * e;
            }
        }
        if (sum_sq) *sum_sq = s;
        return count;
    };
    Rigid best;
    int best_count = -1;
    double best_sum = 0.0;
    auto consider = [&](std::size_t a, std::size_t b, std::size_t c) {
        // Triples whose points nearly lie on a line fix no rotation.
        if (TriangleHeight(src[a], src[b], src[c]) < 3.0 * threshold) return;
        Rigid T;
        if (!FitRigid({src[a], src[b], src[c]}, {dst[a], dst[b], dst[c]}, &T)) return;
        double sum = 0.0;
        const int count = count_inliers(T, nullptr, &sum);
        if (count > best_count || (count == best_count && sum < best_sum)) {
            best = T;
            best_count = count;
            best_sum = sum;
        }
    };
    if (n <= 25) {
        for (std::size_t a = 0; a < n; ++a) {
            for (std::size_t b = a + 1; b < n; ++b) {
                for (std::size_t c = b + 1; c < n; ++c) consider(a, b, c);
            }
        }
    } else {
        uint64_t state = 0x9e3779b97f4a7c15ULL;  // fixed seed: reproducible results
        auto next = [&]() {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return static_cast<std::size_t>(state % n);
        };
        for (int k = 0; k < 2000; ++k) {
            const std::size_t a = next(), b = next(), c = next();
            if (a == b || b == c || a == c) continue;
            consider(a, b, c);
        }
    }
    if (best_count < 3) return false;
    std::vector<bool> mask(n, false);
    count_inliers(best, &mask, nullptr);
    Rigid T = best;
    for (int iter = 0; iter < 10; ++iter) {
        std::vector<Eigen::Vector3d> s, d;
        for (std::size_t i = 0; i < n; ++i) {
            if (mask[i]) {
                s.push_back(src[i]);
                d.push_back(dst[i]);
            }
        }
        if (s.size() < 3 || !FitRigid(s, d, &T)) return false;
        std::vector<bool> next_mask(n, false);
        count_inliers(T, &next_mask, nullptr);
        if (next_mask == mask) break;
        mask = next_mask;
    }
    std::vector<Eigen::Vector3d> kept;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!mask[i]) continue;
        kept.push_back(src[i]);
        sum += (T.Apply(src[i]) - dst[i]).squaredNorm();
    }
    if (kept.size() < 3 || LateralSpread(kept) < threshold) return false;
    out->transform = T;
    out->inlier = mask;
    out->inliers = static_cast<int>(kept.size());
    out->rms = std::sqrt(sum / static_cast<double>(kept.size()));
    return true;
}

bool FitPlane(const std::vector<Eigen::Vector3d>& points, Plane* out) {
    if (points.size() < 3) return false;
    const Spread s = SpreadOf(points);
    if (s.eig.info() != Eigen::Success || !(s.eig.eigenvalues()(1) > 0.0)) return false;
    out->normal = s.eig.eigenvectors().col(0).normalized();
    out->d = out->normal.dot(s.centroid);
    return out->normal.allFinite();
}

// ---------------------------------------------------------------------------
// Pinhole camera.

Eigen::Vector2d Pinhole::Distort(const Eigen::Vector2d& n) const {
    const double k1 = dist[0], k2 = dist[1], p1 = dist[2], p2 = dist[3], k3 = dist[4];
    const double x = n.x(), y = n.y();
    const double r2 = x * x + y * y;
    const double radial = 1.0 + r2 * (k1 + r2 * (k2 + r2 * k3));
    return {x * radial + 2.0 * p1 * x * y + p2 * (r2 + 2.0 * x * x),
            y * radial + p1 * (r2 + 2.0 * y * y) + 2.0 * p2 * x * y};
}

Eigen::Vector2d Pinhole::Undistort(const Eigen::Vector2d& d) const {
    bool any = false;
    for (double k : dist) any = any || k != 0.0;
    if (!any) return d;
    Eigen::Vector2d n = d;
    for (int i = 0; i < 50; ++i) {
        const Eigen::Vector2d err = Distort(n) - d;
        n -= err;
        if (!n.allFinite()) return d;
        if (err.squaredNorm() < 1e-26) break;
    }
    return n;
}

bool Pinhole::Project(const Eigen::Vector3d& p, Eigen::Vector2d* pixel) const {
    if (!(p.z() > 0.0)) return false;
    const Eigen::Vector2d d = Distort({p.x() / p.z(), p.y() / p.z()});
    *pixel = {fx * d.x() + cx, fy * d.y() + cy};
    return pixel->allFinite();
}

Eigen::Vector2d Pinhole::Normalised(const Eigen::Vector2d& px) const {
    return Undistort({(px.x() - cx) / fx, (px.y() - cy) / fy});
}

// ---------------------------------------------------------------------------
// Camera pose.

namespace {

// Hartley normalisation of 2D points: centred, mean distance sqrt(2).
Eigen::Matrix3d Normaliser2(const std::vector<Eigen::Vector2d>& pts) {
    Eigen::Vector2d m = Eigen::Vector2d::Zero();
    for (const auto& p : pts) m += p;
    m /= static_cast<double>(pts.size());
    double s = 0.0;
    for (const auto& p : pts) s += (p - m).norm();
    s = s > 0.0 ? std::sqrt(2.0) * static_cast<double>(pts.size()) / s : 1.0;
    Eigen::Matrix3d T = Eigen::Matrix3d::Identity();
    T(0, 0) = T(1, 1) = s;
    T(0, 2) = -s * m.x();
    T(1, 2) = -s * m.y();
    return T;
}

bool LinearPoseGeneral(const std::vector<Eigen::Vector3d>& X, const std::vector<Eigen::Vector2d>& x, Rigid* out) {
    const std::size_t n = X.size();
    Eigen::Vector3d m = Eigen::Vector3d::Zero();
    for (const auto& p : X) m += p;
    m /= static_cast<double>(n);
    double s = 0.0;
    for (const auto& p : X) s += (p - m).norm();
    s = std::sqrt(3.0) * static_cast<double>(n) / s;
    const Eigen::Matrix3d Tx = Normaliser2(x);
    Eigen::MatrixXd A(2 * n, 12);
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Vector4d P((X[i] - m).x() * s, (X[i] - m).y() * s, (X[i] - m).z() * s, 1.0);
        const Eigen::Vector3d q = Tx * x[i].homogeneous();
        A.row(static_cast<Eigen::Index>(2 * i)) << P.transpose(), Eigen::RowVector4d::Zero(), -q.x() * P.transpose();
        A.row(static_cast<Eigen::Index>(2 * i + 1)) << Eigen::RowVector4d::Zero(), P.transpose(), -q.y() * P.transpose();
    }
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(A, Eigen::ComputeFullV);
    const Eigen::VectorXd v = svd.matrixV().col(11);
    Eigen::Matrix<double, 3, 4> Pn;
    Pn << v(0), v(1), v(2), v(3), v(4), v(5), v(6), v(7), v(8), v(9), v(10), v(11);
    // Undo the normalisations: P = Tx^-1 Pn Tn.
    Eigen::Matrix4d Tn = Eigen::Matrix4d::Identity();
    Tn.block<3, 3>(0, 0) *= s;
    Tn.block<3, 1>(0, 3) = -s * m;
    Eigen::Matrix<double, 3, 4> P = Tx.inverse() * Pn * Tn;
    double depth = 0.0;
    for (const auto& p : X) depth += P.row(2).dot(p.homogeneous());
    if (depth < 0.0) P = -P;
    Eigen::JacobiSVD<Eigen::Matrix3d> msvd(P.block<3, 3>(0, 0), Eigen::ComputeFullU | Eigen::ComputeFullV);
    Eigen::Matrix3d R = msvd.matrixU() * msvd.matrixV().transpose();
    if (R.determinant() < 0.0) return false;  // a mirrored solution: the data is inconsistent
    const double scale = msvd.singularValues().mean();
    if (!(scale > 0.0)) return false;
    out->R = R;
    out->t = P.col(3) / scale;
    return out->R.allFinite() && out->t.allFinite();
}

bool LinearPosePlanar(const std::vector<Eigen::Vector3d>& X, const std::vector<Eigen::Vector2d>& x, Rigid* out) {
    const std::size_t n = X.size();
    const Spread spread = SpreadOf(X);
    const Eigen::Vector3d& m = spread.centroid;
    Eigen::Matrix3d E;  // columns: in-plane axes, then the normal
    E.col(0) = spread.eig.eigenvectors().col(2);
    E.col(1) = spread.eig.eigenvectors().col(1);
    E.col(2) = E.col(0).cross(E.col(1));
    std::vector<Eigen::Vector2d> ab(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Vector3d l = E.transpose() * (X[i] - m);
        ab[i] = {l.x(), l.y()};
    }
    const Eigen::Matrix3d Ta = Normaliser2(ab), Tx = Normaliser2(x);
    Eigen::MatrixXd A(2 * n, 9);
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Vector3d P = Ta * ab[i].homogeneous();
        const Eigen::Vector3d q = Tx * x[i].homogeneous();
        A.row(static_cast<Eigen::Index>(2 * i)) << P.transpose(), Eigen::RowVector3d::Zero(), -q.x() * P.transpose();
        A.row(static_cast<Eigen::Index>(2 * i + 1)) << Eigen::RowVector3d::Zero(), P.transpose(), -q.y() * P.transpose();
    }
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(A, Eigen::ComputeFullV);
    const Eigen::VectorXd v = svd.matrixV().col(8);
    Eigen::Matrix3d Hn;
    Hn << v(0), v(1), v(2), v(3), v(4), v(5), v(6), v(7), v(8);
    Eigen::Matrix3d H = Tx.inverse() * Hn * Ta;
    const double lambda = 0.5 * (H.col(0).norm() + H.col(1).norm());
    if (!(lambda > 0.0)) return false;
    H /= lambda;
    if (H(2, 2) < 0.0) H = -H;  // the plane's origin lies in front of the camera
    Eigen::Matrix3d Rp;
    Rp.col(0) = H.col(0);
    Rp.col(1) = H.col(1);
    Rp.col(2) = H.col(0).cross(H.col(1));
    Eigen::JacobiSVD<Eigen::Matrix3d> rsvd(Rp, Eigen::ComputeFullU | Eigen::ComputeFullV);
    Rp = rsvd.matrixU() * rsvd.matrixV().transpose();
    if (Rp.determinant() < 0.0) return false;
    out->R = Rp * E.transpose();
    out->t = H.col(2) - out->R * m;
    return out->R.allFinite() && out->t.allFinite();
}

Eigen::Matrix3d Rodrigues(const Eigen::Vector3d& w) {
    const double a = w.norm();
    if (a < 1e-15) return Eigen::Matrix3d::Identity();
    return Eigen::AngleAxisd(a, w / a).toRotationMatrix();
}

// Reprojection residuals (2 per used pair) of a pose.
bool Residuals(const std::vector<Eigen::Vector3d>& X, const std::vector<Eigen::Vector2d>& px,
               const std::vector<bool>& use, const Pinhole& cam, const Rigid& T, Eigen::VectorXd* r) {
    Eigen::Index k = 0;
    for (std::size_t i = 0; i < X.size(); ++i) {
        if (!use[i]) continue;
        Eigen::Vector2d p;
        if (!cam.Project(T.Apply(X[i]), &p)) return false;
        (*r)(k++) = p.x() - px[i].x();
        (*r)(k++) = p.y() - px[i].y();
    }
    return true;
}

bool Refine(const std::vector<Eigen::Vector3d>& X, const std::vector<Eigen::Vector2d>& px,
            const std::vector<bool>& use, const Pinhole& cam, Rigid* T) {
    const Eigen::Index m = 2 * static_cast<Eigen::Index>(std::count(use.begin(), use.end(), true));
    Eigen::VectorXd r(m), r_new(m);
    if (!Residuals(X, px, use, cam, *T, &r)) return false;
    double cost = r.squaredNorm();
    double lambda = 1e-3;
    Eigen::MatrixXd J(m, 6);
    for (int iter = 0; iter < 50; ++iter) {
        // Numeric Jacobian: rotation increments (left-multiplied) and
        // translation, by central differences.
        for (int j = 0; j < 6; ++j) {
            const double h = j < 3 ? 1e-6 : 1e-7;
            Rigid a = *T, b = *T;
            if (j < 3) {
                Eigen::Vector3d w = Eigen::Vector3d::Zero();
                w(j) = h;
                a.R = Rodrigues(w) * T->R;
                a.t = Rodrigues(w) * T->t;
                b.R = Rodrigues(-w) * T->R;
                b.t = Rodrigues(-w) * T->t;
            } else {
                a.t(j - 3) += h;
                b.t(j - 3) -= h;
            }
            Eigen::VectorXd ra(m), rb(m);
            if (!Residuals(X, px, use, cam, a, &ra) || !Residuals(X, px, use, cam, b, &rb)) return false;
            J.col(j) = (ra - rb) / (2.0 * h);
        }
        const Eigen::Matrix<double, 6, 6> JtJ = J.transpose() * J;
        const Eigen::Matrix<double, 6, 1> g = J.transpose() * r;
        bool improved = false;
        for (int tries = 0; tries < 10 && !improved; ++tries) {
            Eigen::Matrix<double, 6, 6> Aug = JtJ;
            Aug.diagonal() += lambda * JtJ.diagonal().cwiseMax(1e-12);
            const Eigen::Matrix<double, 6, 1> step = -Aug.ldlt().solve(g);
            if (!step.allFinite()) return false;
            Rigid next;
            const Eigen::Matrix3d dR = Rodrigues(step.head<3>());
            next.R = dR * T->R;
            next.t = dR * T->t + step.tail<3>();
            if (Residuals(X, px, use, cam, next, &r_new) && r_new.squaredNorm() < cost) {
                const double gain = cost - r_new.squaredNorm();
                *T = next;
                r = r_new;
                cost = r.squaredNorm();
                lambda = std::max(lambda / 10.0, 1e-12);
                improved = true;
                if (gain < 1e-12 * (1.0 + cost)) return true;
            } else {
                lambda *= 10.0;
            }
        }
        if (!improved) return true;  // at a minimum
    }
    return true;
}

}  // namespace

bool SolvePnP(const std::vector<Eigen::Vector3d>& X, const std::vector<Eigen::Vector2d>& px, const Pinhole& cam,
              PoseResult* out) {
    const std::size_t n = X.size();
    if (px.size() != n || n < 4) return false;
    std::vector<Eigen::Vector2d> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = cam.Normalised(px[i]);
    // Coplanar or in general position?
    const Eigen::Vector3d ev = SpreadOf(X).eig.eigenvalues();
    if (!(ev(1) > 0.0)) return false;
    const bool planar = ev(0) < 1e-4 * ev(2);
    Rigid T;
    if (planar) {
        if (!LinearPosePlanar(X, x, &T)) return false;
    } else {
        if (n < 6 || !LinearPoseGeneral(X, x, &T)) return false;
    }
    std::vector<bool> use(n, true);
    if (!Refine(X, px, use, cam, &T)) return false;
    // Drop gross outliers and refine once more.
    std::vector<double> err(n);
    for (std::size_t i = 0; i < n; ++i) {
        Eigen::Vector2d p;
        err[i] = cam.Project(T.Apply(X[i]), &p) ? (p - px[i]).norm() : std::numeric_limits<double>::infinity();
    }
    const double limit = std::max(3.0, 5.0 * Median(err));
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        use[i] = err[i] <= limit;
        if (use[i]) ++kept;
    }
    if (kept < (planar ? 4u : 6u)) return false;
    if (kept < n && !Refine(X, px, use, cam, &T)) return false;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!use[i]) continue;
        Eigen::Vector2d p;
        if (!cam.Project(T.Apply(X[i]), &p)) return false;
        sum += (p - px[i]).squaredNorm();
    }
    out->pose = T;
    out->inlier = use;
    out->inliers = static_cast<int>(kept);
    out->rms_px = std::sqrt(sum / static_cast<double>(kept));
    return std::isfinite(out->rms_px);
}

}  // namespace vyxsim::tools
