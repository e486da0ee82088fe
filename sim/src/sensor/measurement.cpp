// Decoding, depth noise, smoothing and the output frame of a 3D capture.
#include "sensor/measurement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "sensor/exposure.h"
#include "sensor/normals.h"
#include "vyx/types.h"

namespace vyxsim::cam {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The signal scale and noise factor of one exposure.
struct ExposureTerms {
    double scale;        // signal per unit albedo * irradiance
    double sigma_scale;  // 1 / sqrt(scan_times)
};

// Per pixel: decodes the patterns of every exposure, keeps the most
// confident one and draws the noisy depth. Fills `z` (NaN where no point is
// measured), `sigma` (the depth noise used) and the confidence, every
// element of each; sets every output depth to NaN (WritePoints writes those
// kept).
void MeasureDepth(const scene::Frame& f, const Optics& optics, const Params3D& p, const NoiseStream& noise,
                  const double* matched, std::vector<double>* z, std::vector<float>* sigma, double* depth_out, double* confidence) {
    const int w = f.width, h = f.height, step = f.step;
    const ModeInfo mode = Mode(p.mode);
    const double k_sigma = mode.disparity_sigma_px / (optics.fx * std::max(optics.baseline, 1e-6));
    std::vector<ExposureTerms> terms;
    for (const Exposure& e : p.exposures) {
        terms.push_back({e.brightness / 255.0 * e.time_ms / kReferenceExposureMs * GainFactor(e.gain_db) * kSensitivity,
                         1.0 / std::sqrt(static_cast<double>(std::max(1, e.scan_times)))});
    }
    const double threshold = p.light_contrast_threshold;
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * w + i;
            confidence[k] = 0.0;
            depth_out[k] = kNaN;
            (*z)[k] = kNaN;
            (*sigma)[k] = 0.0f;
            const double d = f.depth[k];
            const double e_irr = f.irradiance[k];
            if (!(d > 0.0) || !(e_irr > 0.0)) continue;
            if (matched && std::isnan(matched[2 * k])) continue;
            if (!InRoi(p.roi, i * step, j * step)) continue;
            const double lum = GreyAlbedo(&f.albedo[3 * k]);
            const double vc = f.view_cos[k] * (1.0 / 255.0);
            double best_c = 0.0, best_sigma = 0.0;
            for (const ExposureTerms& t : terms) {
                const double s = lum * e_irr * t.scale;
                if (255.0 * std::min(s, 1.0) < threshold) continue;
                const double c = Confidence(s, vc);
                if (c > best_c) {
                    best_c = c;
                    best_sigma = t.sigma_scale;
                }
            }
            if (best_c <= 0.0 || !KeepsConfidence(p, best_c)) continue;
            const double sz = k_sigma * d * d * best_sigma;
            (*z)[k] = d + sz * Gaussian(noise, k);
            (*sigma)[k] = static_cast<float>(sz);
            confidence[k] = best_c;
        }
    }
}

// Half width of the smoothing window of a smoothness level (0: none).
int SmoothingHalfWidth(Vyx::SmoothnessLevel level) {
    switch (level) {
        case Vyx::SmoothnessLevel_Weak: return 1;
        case Vyx::SmoothnessLevel_Normal: return 2;
        case Vyx::SmoothnessLevel_Strong: return 3;
        default: return 0;
    }
}

// Edge-preserving smoothing: each depth becomes the mean of the valid depths
// of its window that lie within 6 sigma + 0.2 mm of it.
void SmoothDepth(int w, int h, int half, const std::vector<float>& sigma, std::vector<double>* depth) {
    const std::vector<double>& z = *depth;
    std::vector<double> smoothed(z);
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * w + i;
            if (std::isnan(z[k])) continue;
            const double tol = 6.0 * sigma[k] + 2e-4;
            double sum = 0.0;
            int count = 0;
            for (int dj = -half; dj <= half; ++dj) {
                const int jj = j + dj;
                if (jj < 0 || jj >= h) continue;
                for (int di = -half; di <= half; ++di) {
                    const int ii = i + di;
                    if (ii < 0 || ii >= w) continue;
                    const double zn = z[static_cast<std::size_t>(jj) * w + ii];
                    if (std::abs(zn - z[k]) <= tol) {
                        sum += zn;
                        ++count;
                    }
                }
            }
            smoothed[k] = sum / count;
        }
    }
    depth->swap(smoothed);
}

// Turns the depths into points of the output frame, drops those outside the
// z truncation (and any the transformation makes infinite), and writes the
// points and depths kept; every other point is NaN. Dropped pixels get NaN
// depth in `z` and confidence 0.
void WritePoints(const scene::Frame& f, const scene::RayTable& rays, const Params3D& p, std::vector<double>* depth,
                 const Out3D& out) {
    std::vector<double>& z = *depth;
    const int w = f.width, h = f.height, step = f.step;
    const Eigen::Matrix4d& M = p.output;
    const bool affine = M(3, 0) == 0.0 && M(3, 1) == 0.0 && M(3, 2) == 0.0 && M(3, 3) == 1.0;
    for (int j = 0; j < h; ++j) {
        const std::size_t ray_row = static_cast<std::size_t>(j * step) * rays.width;
        for (int i = 0; i < w; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * w + i;
            double* pt = out.points + 3 * k;
            if (std::isnan(z[k])) {
                pt[0] = pt[1] = pt[2] = kNaN;
                continue;
            }
            const std::size_t r = ray_row + static_cast<std::size_t>(i * step);
            const Eigen::Vector3d pc(z[k] * rays.x[r], z[k] * rays.y[r], z[k]);
            Eigen::Vector4d po = M * pc.homogeneous();
            if (!affine) po /= po.w();
            const double zmm = po.z() * 1000.0;
            if (!WithinTruncation(p, zmm) || !po.allFinite()) {
                z[k] = kNaN;
                out.confidence[k] = 0.0;
                pt[0] = pt[1] = pt[2] = kNaN;
                continue;
            }
            pt[0] = po.x();
            pt[1] = po.y();
            pt[2] = po.z();
            out.depth[k] = z[k];
        }
    }
}

}  // namespace

void Compute3D(const scene::Frame& f, const Optics& optics, const Params3D& p, const NoiseStream& noise,
               const Out3D& out, const double* matched) {
    const std::size_t n = f.Size();
    // Scratch kept per thread: fresh buffers of this size would cost their
    // page faults on every capture.
    thread_local std::vector<double> z;
    thread_local std::vector<float> sigma;
    z.resize(n);  // MeasureDepth writes every element
    sigma.resize(n);
    MeasureDepth(f, optics, p, noise, matched, &z, &sigma, out.depth, out.confidence);
    if (const int half = SmoothingHalfWidth(p.smoothness); half > 0) SmoothDepth(f.width, f.height, half, sigma, &z);
    WritePoints(f, *optics.rays, p, &z, out);
    if (out.normals) {
        EstimateNormals(z.data(), f.width, f.height, f.step, *optics.rays, p.normal_radius,
                        p.output.block<3, 3>(0, 0).inverse().transpose(), out.normals);
    }
}

void FilterMeasured(int width, int height, const Params3D& p, const Out3D& out) {
    const Eigen::Matrix4d& M = p.output;
    // The identity leaves the values alone (bit for bit: 1 * x + 0 would
    // turn -0 into +0).
    const bool identity = M == Eigen::Matrix4d::Identity();
    const bool affine = M(3, 0) == 0.0 && M(3, 1) == 0.0 && M(3, 2) == 0.0 && M(3, 3) == 1.0;
    const Eigen::Matrix3d normal_map = M.block<3, 3>(0, 0).inverse().transpose();
    const bool rotation_only = (normal_map * normal_map.transpose() - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff() < 1e-12;
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * width + i;
            double* pt = out.points + 3 * k;
            double* n = out.normals ? out.normals + 3 * k : nullptr;
            if (std::isnan(pt[0]) || std::isnan(pt[1]) || std::isnan(pt[2])) continue;
            bool keep = InRoi(p.roi, i, j) && KeepsConfidence(p, out.confidence[k]);
            Eigen::Vector4d po(pt[0], pt[1], pt[2], 1.0);
            if (keep && !identity) {
                po = M * po;
                if (!affine) po /= po.w();
            }
            keep = keep && WithinTruncation(p, po.z() * 1000.0) && po.allFinite();
            if (!keep) {
                pt[0] = pt[1] = pt[2] = kNaN;
                if (n) n[0] = n[1] = n[2] = kNaN;
                out.depth[k] = kNaN;
                out.confidence[k] = 0.0;
                continue;
            }
            if (identity) continue;
            pt[0] = po.x();
            pt[1] = po.y();
            pt[2] = po.z();
            if (n && !std::isnan(n[0])) {
                Eigen::Vector3d no = normal_map * Eigen::Vector3d(n[0], n[1], n[2]);
                if (!rotation_only) no.normalize();
                n[0] = no.x();
                n[1] = no.y();
                n[2] = no.z();
            }
        }
    }
}

}  // namespace vyxsim::cam
