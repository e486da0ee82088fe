// Shading the 2D image and the pattern images.
#include "sensor/image.h"

#include <algorithm>
#include <cmath>

#include "sensor/exposure.h"

namespace vyxsim::cam {

namespace {

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

// Linear albedo of each byte value, by table (a division per value costs).
const std::array<double, 256> kLinear = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = i / 255.0;
    return t;
}();

// The terms of RawResponse that do not depend on the pixel.
struct Response {
    double light;  // projector light per unit irradiance (0 without it)
    double scale;  // exposure, gain and sensitivity
    double ambient_grey;
    std::array<double, 3> ambient;  // per channel
    Response(const Params2D& p, const Sensor& s)
        : light(p.use_projector ? p.brightness / 255.0 : 0.0),
          scale(p.time_ms / kReferenceExposureMs * GainFactor(p.gain_db) * kSensitivity),
          ambient_grey(s.ambient * scene::Luminance(s.ambient_color)),
          ambient{s.ambient * s.ambient_color.r, s.ambient * s.ambient_color.g, s.ambient * s.ambient_color.b} {}

    std::array<double, 3> At(const scene::Frame& f, std::size_t k, bool color) const {
        if (!(f.depth[k] > 0.0f)) return {0.0, 0.0, 0.0};
        const double e = f.irradiance[k] * light;
        const uint8_t* a = &f.albedo[3 * k];
        if (!color) {
            const double v = GreyAlbedo(a) * (e + ambient_grey) * scale;
            return {v, v, v};
        }
        std::array<double, 3> out{};
        for (int c = 0; c < 3; ++c) out[c] = kLinear[a[c]] * (e + ambient[c]) * scale * kColorResponse[c];
        return out;
    }
};

}  // namespace

std::array<double, 3> RawResponse(const scene::Frame& f, std::size_t k, const Params2D& p, const Sensor& s) {
    return Response(p, s).At(f, k, s.color);
}

void Shade2D(const scene::Frame& f, const Params2D& p, const Sensor& s, const NoiseStream& noise, uint8_t* out) {
    const GammaTable gamma(p.gamma);
    const Response response(p, s);
    const double sigma = kImageNoise * GainFactor(p.gain_db);
    const std::size_t n = f.Size();
    // Noise: one pair of values per hash, element v of the stream for output
    // value v (grey: pixel k; colour: 3k + c for channel c, red first).
    auto noise_at = [&](std::size_t v, double* pair, std::size_t* pair_index) {
        if (v / 2 != *pair_index) {
            *pair_index = v / 2;
            GaussianPair(noise, *pair_index, &pair[0], &pair[1]);
        }
        return pair[v & 1];
    };
    double pair[2] = {0.0, 0.0};
    std::size_t pair_index = static_cast<std::size_t>(-1);
    if (!s.color) {
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = gamma(response.At(f, k, false)[0] + sigma * noise_at(k, pair, &pair_index));
        }
        return;
    }
    // Per channel: the response to light and the white balance.
    double gain[3], ambient[3];
    for (int c = 0; c < 3; ++c) {
        gain[c] = response.scale * kColorResponse[c] * s.balance[c];
        ambient[c] = response.ambient[c];
    }
    for (std::size_t k = 0; k < n; ++k) {
        const uint8_t* a = &f.albedo[3 * k];
        const bool seen = f.depth[k] > 0.0f;
        const double e = seen ? f.irradiance[k] * response.light : 0.0;
        // BGR8: blue first.
        for (int c = 0; c < 3; ++c) {
            const double raw = seen ? kLinear[a[c]] * (e + ambient[c]) * gain[c] : 0.0;
            out[3 * k + (2 - c)] = gamma(raw + sigma * noise_at(3 * k + c, pair, &pair_index));
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
        const double lum = GreyAlbedo(&f.albedo[3 * k]);
        out[k] = gamma(lum * (f.irradiance[k] * light * value + ambient) * scale);
    }
}

}  // namespace vyxsim::cam
