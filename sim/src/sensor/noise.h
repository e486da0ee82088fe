// Reproducible sensor noise: one counter-based stream per device, camera,
// capture and purpose, so that the same captures give the same data on any
// thread timing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vyxsim::cam {

struct NoiseStream {
    uint64_t key = 0;
};

// The seed: VYX_SIM_SEED when set to a number, else a fixed default.
uint64_t NoiseSeed();
NoiseStream MakeNoiseStream(const std::string& serial, int camera_index, uint64_t capture_index,
                            uint64_t purpose);

// SplitMix64's finaliser: a well-mixed 64-bit value of `z`.
inline uint64_t MixBits(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Standard normal-like value for element `i`: the sum of four 16-bit
// uniforms of one hash, centred and scaled to unit variance (bounded at
// +-3.46). Inline: captures draw one per value.
inline double Gaussian(const NoiseStream& s, uint64_t i) {
    const uint64_t r = MixBits(s.key + (i + 1) * 0x9e3779b97f4a7c15ULL);
    const uint64_t sum = (r & 0xffffu) + ((r >> 16) & 0xffffu) + ((r >> 32) & 0xffffu) + (r >> 48);
    // Each uniform is (x + 0.5) / 65536; their sum less 2, times sqrt(3).
    return ((static_cast<double>(sum) + 2.0) / 65536.0 - 2.0) * 1.7320508075688772;
}

// Image noise: values 2i and 2i + 1 of the stream, for i from `first_pair`
// to first_pair + pairs - 1, into out[0, 2 * pairs). One hash gives a pair,
// each the sum of four of its 8-bit uniforms, centred and scaled to unit
// variance (bounded at +-3.46). Their resolution (1/256 of that range) is far
// finer than an 8-bit image's grey levels. Every value is an exact integer
// times one constant, so the vectorised and the plain builds of the loop
// give the same floats.
void ImageNoise(const NoiseStream& s, uint64_t first_pair, std::size_t pairs, float* out);

}  // namespace vyxsim::cam
