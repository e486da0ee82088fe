// Seeding the noise streams.
#include "sensor/noise.h"

#include <cstdlib>

namespace vyxsim::cam {

namespace {

uint64_t Fnv(const std::string& s) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

}  // namespace

uint64_t NoiseSeed() {
    if (const char* s = std::getenv("VYX_SIM_SEED")) {
        char* end = nullptr;
        unsigned long long v = std::strtoull(s, &end, 0);
        if (end && end != s && *end == '\0') return v;
    }
    return 0x5eed2024ULL;
}

NoiseStream MakeNoiseStream(const std::string& serial, int camera_index, uint64_t capture_index, uint64_t purpose) {
    uint64_t h = MixBits(NoiseSeed());
    h = MixBits(h ^ Fnv(serial));
    h = MixBits(h ^ (static_cast<uint64_t>(camera_index + 1) * 0x9e3779b97f4a7c15ULL));
    h = MixBits(h ^ (capture_index * 0xd1b54a32d192ed03ULL));
    h = MixBits(h ^ (purpose * 0xabc98388fb8fac03ULL));
    return {h};
}

// The hashes are independent 64-bit multiplications: with AVX2 or AVX-512
// the loop runs several lanes at once, chosen when the library loads.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
void ImageNoise(const NoiseStream& s, uint64_t first_pair, std::size_t pairs, float* out) {
    constexpr uint64_t kBytes = 0x00ff00ff00ff00ffULL, kHalves = 0x0000ffff0000ffffULL;
    // Each uniform is (x + 0.5) / 256; the sum of four less 2, times sqrt(3),
    // is (sum - 510) * sqrt(3) / 256.
    constexpr float kScale = 1.7320508075688772f / 256.0f;
    for (std::size_t j = 0; j < pairs; ++j) {
        const uint64_t r = MixBits(s.key + (first_pair + j + 1) * 0xd6e8feb86659fd93ULL);
        // The byte sums of each 32-bit half, side by side.
        uint64_t t = (r & kBytes) + ((r >> 8) & kBytes);
        t = (t & kHalves) + ((t >> 16) & kHalves);
        out[2 * j] = static_cast<float>(static_cast<int32_t>(t & 0xffffffffu) - 510) * kScale;
        out[2 * j + 1] = static_cast<float>(static_cast<int32_t>(t >> 32) - 510) * kScale;
    }
}

}  // namespace vyxsim::cam
