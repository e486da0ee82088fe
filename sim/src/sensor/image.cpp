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
    // The table index of a linear value: clamped without branches, so that
    // a loop of them vectorises.
    static int Index(float v) {
        v = std::min(std::max(v, 0.0f), 1.0f);
        return static_cast<int>(v * float(kSize - 1) + 0.5f);
    }
    uint8_t At(int index) const { return table_[index]; }

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
const std::array<float, 256> kLinearF = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<float>(kLinear[i]);
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
    const float sigma = static_cast<float>(kImageNoise * GainFactor(p.gain_db));
    const std::size_t n = f.Size();
    const int channels = s.color ? 3 : 1;
    // Per channel: the response to light and the white balance, red first.
    float gain[3], ambient[3];
    for (int c = 0; c < 3; ++c) {
        gain[c] = static_cast<float>(response.scale * kColorResponse[c] * s.balance[c]);
        ambient[c] = static_cast<float>(response.ambient[c]);
    }
    const float light = static_cast<float>(response.light);
    const float scale = static_cast<float>(response.scale);
    const float ambient_grey = static_cast<float>(response.ambient_grey);
    // Blocks of pixels, each in three branch-free passes over small arrays
    // that stay in the first-level cache: the block's noise (one pair of
    // values per hash; element v of the stream for output value v, grey:
    // pixel k, colour: 3k + c for channel c, red first), the linear values
    // with their noise as gamma-table indices, and the table look-ups.
    constexpr std::size_t kBlock = 512;  // pixels; even, so each block starts a pair
    float values[3 * kBlock + 1];
    float noise_values[3 * kBlock + 1];
    int index[3 * kBlock];
    for (std::size_t k0 = 0; k0 < n; k0 += kBlock) {
        const std::size_t count = std::min(kBlock, n - k0);
        const std::size_t first = k0 * channels, m = count * channels;
        ImageNoise(noise, first / 2, (m + 1) / 2, noise_values);
        if (!s.color) {
            for (std::size_t j = 0; j < count; ++j) {
                const std::size_t k = k0 + j;
                const bool seen = f.depth[k] > 0.0f;
                const float e = f.irradiance[k] * light + ambient_grey;
                values[j] = seen ? static_cast<float>(GreyAlbedo(&f.albedo[3 * k])) * e * scale : 0.0f;
            }
        } else {
            for (std::size_t j = 0; j < count; ++j) {
                const std::size_t k = k0 + j;
                const uint8_t* a = &f.albedo[3 * k];
                const bool seen = f.depth[k] > 0.0f;
                const float e = seen ? f.irradiance[k] * light : 0.0f;
                for (int c = 0; c < 3; ++c) {
                    values[3 * j + c] = seen ? kLinearF[a[c]] * (e + ambient[c]) * gain[c] : 0.0f;
                }
            }
        }
        for (std::size_t j = 0; j < m; ++j) index[j] = gamma.Index(values[j] + sigma * noise_values[j]);
        uint8_t* o = out + first;
        if (!s.color) {
            for (std::size_t j = 0; j < m; ++j) o[j] = gamma.At(index[j]);
        } else {
            // BGR8: blue first.
            for (std::size_t j = 0; j < m; j += 3) {
                o[j] = gamma.At(index[j + 2]);
                o[j + 1] = gamma.At(index[j + 1]);
                o[j + 2] = gamma.At(index[j]);
            }
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
