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

}  // namespace vyxsim::cam
