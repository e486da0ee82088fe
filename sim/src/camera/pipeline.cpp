// The sensor and measurement model of the virtual structured-light camera.
#include "camera/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vyxsim::cam {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

uint64_t Fnv(const std::string& s) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

double Lum(const uint8_t* rgb) { return (0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]) / 255.0; }

// 8-bit output of a linear value through gamma, by table.
class GammaTable {
public:
    explicit GammaTable(double gamma) {
        const double inv = 1.0 / gamma;
        for (int i = 0; i < kSize; ++i) {
            table_[i] = static_cast<uint8_t>(std::lround(255.0 * std::pow(i / double(kSize - 1), inv)));
        }
    }
    uint8_t operator()(double v) const {
        v = std::clamp(v, 0.0, 1.0);
        return table_[static_cast<int>(v * (kSize - 1) + 0.5)];
    }

private:
    static constexpr int kSize = 4096;
    uint8_t table_[kSize];
};

bool InRoi(const Vyx::ROI& roi, int u, int v) {
    if (roi.width == 0 && roi.height == 0) return true;
    return u >= roi.x && v >= roi.y && u < roi.x + roi.width && v < roi.y + roi.height;
}

}  // namespace

double GainFactor(double gain_db) { return std::pow(10.0, gain_db / 20.0); }

ModeInfo Mode(Vyx::CaptureMode mode) {
    switch (mode) {
        case Vyx::CaptureMode_Fast: return {0.12, 5, false, 4};
        case Vyx::CaptureMode_Ultra: return {0.045, 7, false, 8};
        case Vyx::CaptureMode_Robust: return {0.09, 7, true, 4};
        case Vyx::CaptureMode_AntiInterReflection: return {0.08, 7, true, 8};
        case Vyx::CaptureMode_Normal:
        default: return {0.07, 7, false, 4};
    }
}

std::string PatternName(const ModeInfo& m, int k) {
    if (k == 0) return "white";
    if (k == 1) return "black";
    int g = k - 2;
    const int per = m.complements ? 2 : 1;
    if (g < m.gray_bits * per) {
        std::string s = "gray" + std::to_string(g / per);
        if (m.complements && g % 2 == 1) s += "_inverse";
        return s;
    }
    return "phase" + std::to_string(g - m.gray_bits * per);
}

Params3D Params3DFrom(const Vyx::X1::CaptureOptions& o) {
    Params3D p;
    if (o.hdr_exposure_times > 0) {
        for (int i = 0; i < std::min(o.hdr_exposure_times, 3); ++i) {
            p.exposures.push_back({o.hdr_exposure_time_content[i], o.hdr_gain_content[i],
                                   o.hdr_projector_brightness_content[i], o.hdr_scan_times_content[i]});
        }
    } else {
        p.exposures.push_back({o.exposure_time_3d, o.gain_3d, o.projector_brightness, o.scan_times});
    }
    p.mode = o.capture_mode;
    p.light_contrast_threshold = o.light_contrast_threshold;
    p.confidence_threshold = o.confidence_threshold;
    p.roi = o.roi;
    p.truncate_min_mm = o.truncate_z_min;
    p.truncate_max_mm = o.truncate_z_max;
    p.calc_normal = o.calc_normal;
    p.normal_radius = static_cast<int>(std::clamp<uint32_t>(o.calc_normal_radius, 1u, 1000u));
    p.smoothness = o.smoothness;
    p.gamma = o.gamma_3d;
    return p;
}

Params2D Params2DFrom(const Vyx::X1::CaptureOptions& o) {
    Params2D p;
    p.time_ms = o.exposure_time_2d;
    p.gain_db = o.gain_2d;
    p.gamma = o.gamma_2d;
    p.brightness = o.projector_brightness;
    p.use_projector = o.use_projector_capturing_2d_image;
    return p;
}

uint64_t NoiseSeed() {
    if (const char* s = std::getenv("VYX_SIM_SEED")) {
        char* end = nullptr;
        unsigned long long v = std::strtoull(s, &end, 0);
        if (end && end != s && *end == '\0') return v;
    }
    return 0x5eed2024ULL;
}

NoiseStream MakeNoiseStream(const std::string& serial, int camera_index, uint64_t capture_index, uint64_t purpose) {
    uint64_t h = Mix(NoiseSeed());
    h = Mix(h ^ Fnv(serial));
    h = Mix(h ^ (static_cast<uint64_t>(camera_index + 1) * 0x9e3779b97f4a7c15ULL));
    h = Mix(h ^ (capture_index * 0xd1b54a32d192ed03ULL));
    h = Mix(h ^ (purpose * 0xabc98388fb8fac03ULL));
    return {h};
}

double Gaussian(const NoiseStream& s, uint64_t i) {
    const uint64_t r = Mix(s.key + (i + 1) * 0x9e3779b97f4a7c15ULL);
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) sum += (static_cast<double>((r >> (16 * k)) & 0xffffu) + 0.5) / 65536.0;
    return (sum - 2.0) * 1.7320508075688772;  // variance of the sum of four uniforms is 1/3
}

double Confidence(double s, double view_cos) {
    double c = s <= 1.0 ? std::min(1.0, s / 0.4) : std::max(0.0, 1.0 - (s - 1.0) / 0.5);
    return c * (0.25 + 0.75 * std::clamp(view_cos, 0.0, 1.0));
}

void Compute3D(const scene::Frame& f, const Optics& optics, const Params3D& p, const NoiseStream& noise,
               const Out3D& out) {
    const int w = f.width, h = f.height, step = f.step;
    const std::size_t n = f.Size();
    const ModeInfo mode = Mode(p.mode);
    const double k_sigma = mode.disparity_sigma_px / (optics.fx * std::max(optics.baseline, 1e-6));
    const scene::RayTable& rays = *optics.rays;

    struct ExposureTerms {
        double scale;        // signal per unit albedo * irradiance
        double sigma_scale;  // 1 / sqrt(scan_times)
    };
    std::vector<ExposureTerms> terms;
    for (const Exposure& e : p.exposures) {
        terms.push_back({e.brightness / 255.0 * e.time_ms / kReferenceExposureMs * GainFactor(e.gain_db) * kSensitivity,
                         1.0 / std::sqrt(static_cast<double>(std::max(1, e.scan_times)))});
    }

    std::vector<double> z(n, kNaN);
    std::vector<float> sigma(n, 0.0f);
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * w + i;
            out.depth[k] = kNaN;
            out.confidence[k] = 0.0;
            const double d = f.depth[k];
            const double e_irr = f.irradiance[k];
            if (!(d > 0.0) || !(e_irr > 0.0)) continue;
            if (!InRoi(p.roi, i * step, j * step)) continue;
            const double lum = Lum(&f.albedo[3 * k]);
            const double vc = f.view_cos[k] / 255.0;
            double best_c = 0.0, best_sigma = 0.0;
            for (const ExposureTerms& t : terms) {
                const double s = lum * e_irr * t.scale;
                if (255.0 * std::min(s, 1.0) < p.light_contrast_threshold) continue;
                const double c = Confidence(s, vc);
                if (c > best_c) {
                    best_c = c;
                    best_sigma = t.sigma_scale;
                }
            }
            if (best_c <= 0.0 || best_c < p.confidence_threshold) continue;
            const double sz = k_sigma * d * d * best_sigma;
            z[k] = d + sz * Gaussian(noise, k);
            sigma[k] = static_cast<float>(sz);
            out.confidence[k] = best_c;
        }
    }

    // Edge-preserving smoothing of the depth over a square window.
    const int half = p.smoothness == Vyx::SmoothnessLevel_Weak     ? 1
                     : p.smoothness == Vyx::SmoothnessLevel_Normal ? 2
                     : p.smoothness == Vyx::SmoothnessLevel_Strong ? 3
                                                                   : 0;
    if (half > 0) {
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
        z.swap(smoothed);
    }

    const Eigen::Matrix4d& M = p.output;
    const bool affine = M(3, 0) == 0.0 && M(3, 1) == 0.0 && M(3, 2) == 0.0 && M(3, 3) == 1.0;
    auto camera_point = [&](std::size_t k, int i, int j) {
        const std::size_t r = static_cast<std::size_t>(j * step) * rays.width + static_cast<std::size_t>(i * step);
        return Eigen::Vector3d(z[k] * rays.x[r], z[k] * rays.y[r], z[k]);
    };
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * w + i;
            if (std::isnan(z[k])) continue;
            const Eigen::Vector3d pc = camera_point(k, i, j);
            Eigen::Vector4d po = M * pc.homogeneous();
            if (!affine) po /= po.w();
            const double zmm = po.z() * 1000.0;
            if (!(zmm >= p.truncate_min_mm && zmm <= p.truncate_max_mm) || !po.allFinite()) {
                z[k] = kNaN;
                out.confidence[k] = 0.0;
                continue;
            }
            out.points[3 * k + 0] = po.x();
            out.points[3 * k + 1] = po.y();
            out.points[3 * k + 2] = po.z();
            out.depth[k] = z[k];
        }
    }

    if (!out.normals) return;
    // Normals: the least-squares plane of the valid points in the
    // (2r+1) x (2r+1) window around each point (the eigenvector of the
    // smallest eigenvalue of their covariance), oriented toward the camera.
    // Window sums run as sliding sums, so the cost does not grow with r.
    const Eigen::Matrix3d normal_map = M.block<3, 3>(0, 0).inverse().transpose();
    const int r = std::max(1, p.normal_radius / step);
    const int win = 2 * r + 1;
    constexpr int C = 10;  // count, x, y, z, xx, xy, xz, yy, yz, zz
    const std::size_t row_len = static_cast<std::size_t>(w) * C;
    std::vector<double> ring(static_cast<std::size_t>(win) * row_len, 0.0);  // horizontal sums of `win` rows
    std::vector<double> vert(row_len, 0.0);
    std::vector<double> vals(row_len);
    auto horizontal = [&](int j, double* hsum) {
        for (int i = 0; i < w; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * w + i;
            double* v = &vals[static_cast<std::size_t>(i) * C];
            if (std::isnan(z[k])) {
                std::fill(v, v + C, 0.0);
                continue;
            }
            const Eigen::Vector3d q = camera_point(k, i, j);
            const double x = q.x(), y = q.y(), zz = q.z();
            v[0] = 1.0;
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
        double acc[C] = {0};
        for (int i = 0; i < w + r; ++i) {
            if (i < w) {
                for (int c = 0; c < C; ++c) acc[c] += vals[static_cast<std::size_t>(i) * C + c];
            }
            if (i - win >= 0) {
                for (int c = 0; c < C; ++c) acc[c] -= vals[static_cast<std::size_t>(i - win) * C + c];
            }
            if (i - r >= 0) std::copy(acc, acc + C, hsum + static_cast<std::size_t>(i - r) * C);
        }
    };
    auto slot = [&](int j) { return ring.data() + static_cast<std::size_t>(j % win) * row_len; };
    auto add_row = [&](int j, double sign) {
        const double* hs = slot(j);
        for (std::size_t t = 0; t < row_len; ++t) vert[t] += sign * hs[t];
    };
    for (int j = 0; j <= r && j < h; ++j) {
        horizontal(j, slot(j));
        add_row(j, 1.0);
    }
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * w + i;
            double* nout = out.normals + 3 * k;
            nout[0] = nout[1] = nout[2] = kNaN;
            if (std::isnan(z[k])) continue;
            const double* S = &vert[static_cast<std::size_t>(i) * C];
            const double cnt = S[0];
            if (cnt < 3.0) continue;
            const Eigen::Vector3d mean(S[1] / cnt, S[2] / cnt, S[3] / cnt);
            const double c00 = S[4] / cnt - mean.x() * mean.x(), c01 = S[5] / cnt - mean.x() * mean.y(),
                         c02 = S[6] / cnt - mean.x() * mean.z(), c11 = S[7] / cnt - mean.y() * mean.y(),
                         c12 = S[8] / cnt - mean.y() * mean.z(), c22 = S[9] / cnt - mean.z() * mean.z();
            // The adjugate of the covariance has the same eigenvectors, with
            // eigenvalues l1 l2, l0 l2, l0 l1: the plane's normal (smallest
            // l0) is its dominant one, found by a few power iterations from
            // its longest column.
            Eigen::Matrix3d A;
            A(0, 0) = c11 * c22 - c12 * c12;
            A(0, 1) = A(1, 0) = c02 * c12 - c01 * c22;
            A(0, 2) = A(2, 0) = c01 * c12 - c02 * c11;
            A(1, 1) = c00 * c22 - c02 * c02;
            A(1, 2) = A(2, 1) = c01 * c02 - c00 * c12;
            A(2, 2) = c00 * c11 - c01 * c01;
            int best = 0;
            double best_norm = A.col(0).squaredNorm();
            for (int col = 1; col < 3; ++col) {
                const double q = A.col(col).squaredNorm();
                if (q > best_norm) {
                    best_norm = q;
                    best = col;
                }
            }
            const double scale = c00 + c11 + c22;
            if (!(best_norm > 1e-24 * scale * scale * scale * scale)) continue;  // points on a line
            // Rescaled once: four products with entries of about 1e-12
            // stay far inside the range of doubles.
            Eigen::Vector3d nc = A.col(best) / std::sqrt(best_norm);
            for (int it = 0; it < 4; ++it) nc = (A * nc).eval();
            nc.normalize();
            if (!nc.allFinite()) continue;
            if (nc.dot(camera_point(k, i, j)) > 0.0) nc = -nc;  // toward the camera
            const Eigen::Vector3d no = (normal_map * nc).normalized();
            if (!no.allFinite()) continue;
            nout[0] = no.x();
            nout[1] = no.y();
            nout[2] = no.z();
        }
        // Slide the window down one row.
        if (j - r >= 0) add_row(j - r, -1.0);
        if (j + r + 1 < h) {
            horizontal(j + r + 1, slot(j + r + 1));
            add_row(j + r + 1, 1.0);
        }
    }
}

std::array<double, 3> RawResponse(const scene::Frame& f, std::size_t k, const Params2D& p, const Sensor& s) {
    if (!(f.depth[k] > 0.0f)) return {0.0, 0.0, 0.0};
    const double e = p.use_projector ? f.irradiance[k] * (p.brightness / 255.0) : 0.0;
    const double scale = p.time_ms / kReferenceExposureMs * GainFactor(p.gain_db) * kSensitivity;
    const uint8_t* a = &f.albedo[3 * k];
    if (!s.color) {
        const double v = Lum(a) * (e + s.ambient * scene::Luminance(s.ambient_color)) * scale;
        return {v, v, v};
    }
    const double amb[3] = {s.ambient_color.r, s.ambient_color.g, s.ambient_color.b};
    std::array<double, 3> out{};
    for (int c = 0; c < 3; ++c) out[c] = a[c] / 255.0 * (e + s.ambient * amb[c]) * scale * kColorResponse[c];
    return out;
}

void Shade2D(const scene::Frame& f, const Params2D& p, const Sensor& s, const NoiseStream& noise, uint8_t* out) {
    const GammaTable gamma(p.gamma);
    const double sigma = kImageNoise * GainFactor(p.gain_db);
    const std::size_t n = f.Size();
    for (std::size_t k = 0; k < n; ++k) {
        const std::array<double, 3> raw = RawResponse(f, k, p, s);
        if (!s.color) {
            out[k] = gamma(raw[0] + sigma * Gaussian(noise, k));
            continue;
        }
        // BGR8: blue first.
        for (int c = 0; c < 3; ++c) {
            const double v = raw[c] * s.balance[c] + sigma * Gaussian(noise, 3 * k + c);
            out[3 * k + (2 - c)] = gamma(v);
        }
    }
}

void ShadePattern(const scene::Frame& f, const Params3D& p, const Exposure& e, int pattern, int projector_width,
                  double ambient, uint8_t* out) {
    const GammaTable gamma(p.gamma);
    const ModeInfo m = Mode(p.mode);
    const double scale = e.time_ms / kReferenceExposureMs * GainFactor(e.gain_db) * kSensitivity;
    const double light = e.brightness / 255.0;
    const int levels = 1 << m.gray_bits;
    const double period = projector_width / double(levels) * 2.0;
    const int per = m.complements ? 2 : 1;
    const double kTwoPi = 6.283185307179586;
    const std::size_t n = f.Size();
    for (std::size_t k = 0; k < n; ++k) {
        if (!(f.depth[k] > 0.0f)) {
            out[k] = 0;
            continue;
        }
        double value = 0.0;  // projector pixel value, 0 to 1
        const float pu = f.proj_u[k];
        if (f.irradiance[k] > 0.0f && !std::isnan(pu)) {
            if (pattern == 0) {
                value = 1.0;
            } else if (pattern == 1) {
                value = 0.0;
            } else if (pattern - 2 < m.gray_bits * per) {
                const int g = pattern - 2;
                const int bit = g / per;
                int column = static_cast<int>(std::floor((pu + 0.5) * levels / projector_width));
                column = std::clamp(column, 0, levels - 1);
                const int gray = column ^ (column >> 1);
                value = (gray >> (m.gray_bits - 1 - bit)) & 1;
                if (m.complements && g % 2 == 1) value = 1.0 - value;
            } else {
                const int step = pattern - 2 - m.gray_bits * per;
                value = 0.5 + 0.5 * std::cos(kTwoPi * pu / period + kTwoPi * step / m.phase_steps);
            }
        }
        const double lum = Lum(&f.albedo[3 * k]);
        out[k] = gamma(lum * (f.irradiance[k] * light * value + ambient) * scale);
    }
}

double Acquisition3DSeconds(const Params3D& p, std::size_t pixels, double bytes_per_second) {
    const int patterns = Mode(p.mode).PatternCount();
    double s = 0.0;
    for (const Exposure& e : p.exposures) s += e.scan_times * patterns * (e.time_ms + kReadoutMs) / 1000.0;
    return s + static_cast<double>(pixels) * 12.0 / std::max(bytes_per_second, 1.0);
}

double Acquisition2DSeconds(const Params2D& p, std::size_t bytes, double bytes_per_second) {
    return (p.time_ms + kReadoutMs) / 1000.0 + static_cast<double>(bytes) / std::max(bytes_per_second, 1.0);
}

Samples CollectSamples(const scene::Frame& f, const Vyx::ROI& roi, double gain_db_3d, int brightness,
                       const Params2D& params2d, const Sensor& sensor) {
    Samples out;
    Params2D per_ms = params2d;
    per_ms.time_ms = 1;
    const double signal_scale = brightness / 255.0 / kReferenceExposureMs * GainFactor(gain_db_3d) * kSensitivity;
    for (int j = 0; j < f.height; ++j) {
        for (int i = 0; i < f.width; ++i) {
            if (!InRoi(roi, i * f.step, j * f.step)) continue;
            const std::size_t k = static_cast<std::size_t>(j) * f.width + i;
            if (!(f.depth[k] > 0.0f)) continue;
            out.depth.push_back(f.depth[k]);
            const std::array<double, 3> raw = RawResponse(f, k, per_ms, sensor);
            double v = raw[0];
            if (sensor.color) {
                v = 0.0;
                for (int c = 0; c < 3; ++c) v = std::max(v, raw[c] * sensor.balance[c]);
            }
            out.image_per_ms.push_back(v);
            if (f.irradiance[k] > 0.0f) {
                out.signal_per_ms.push_back(Lum(&f.albedo[3 * k]) * f.irradiance[k] * signal_scale);
            }
        }
    }
    return out;
}

double Percentile(std::vector<double> v, double fraction) {
    if (v.empty()) return 0.0;
    const std::size_t idx = std::min(v.size() - 1, static_cast<std::size_t>(std::clamp(fraction, 0.0, 1.0) * (v.size() - 1)));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(idx), v.end());
    return v[idx];
}

}  // namespace vyxsim::cam
