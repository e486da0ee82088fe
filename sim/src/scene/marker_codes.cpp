// Ring words of coded circle markers: rotation-invariant codes, aperiodic
// words and the codes the built-in scenes print.
#include "scene/marker_codes.h"

#include <algorithm>
#include <bitset>

namespace vyxsim::scene {

namespace {

uint32_t RotateRight(uint32_t w, int r, int bits) {
    uint32_t mask = bits >= 32 ? 0xffffffffu : ((1u << bits) - 1u);
    r %= bits;
    if (r == 0) return w & mask;
    return ((w >> r) | (w << (bits - r))) & mask;
}

}  // namespace

uint32_t CanonicalCode(uint32_t word, int bits) {
    if (bits <= 0 || bits > 31) return word;
    uint32_t best = RotateRight(word, 0, bits);
    for (int r = 1; r < bits; ++r) best = std::min(best, RotateRight(word, r, bits));
    return best;
}

bool IsAperiodic(uint32_t word, int bits) {
    for (int r = 1; r < bits; ++r) {
        if (RotateRight(word, r, bits) == RotateRight(word, 0, bits)) return false;
    }
    return true;
}

std::vector<uint32_t> DefaultMarkerCodes(int bits, int count) {
    std::vector<uint32_t> out;
    if (bits <= 0 || bits > 20) return out;
    for (uint32_t w = 1; w < (1u << bits) && static_cast<int>(out.size()) < count; ++w) {
        int ones = static_cast<int>(std::bitset<32>(w).count());
        if (ones < 4 || ones > 8) continue;
        if (CanonicalCode(w, bits) != w || !IsAperiodic(w, bits)) continue;
        out.push_back(w);
    }
    return out;
}

}  // namespace vyxsim::scene
