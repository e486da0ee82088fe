// Ring words of coded circle markers (see MarkerGeometry in scene.h).
#pragma once

#include <cstdint>
#include <vector>

namespace vyxsim::scene {

// Rotation-invariant code of an N-bit ring word: the smallest value among its
// N cyclic rotations.
uint32_t CanonicalCode(uint32_t word, int bits);
// True when no rotation of `word` other than the identity gives it back (the
// marker's orientation is then unambiguous).
bool IsAperiodic(uint32_t word, int bits);
// The first `count` codes (ascending) that are canonical, aperiodic and have
// 4 to 8 bits set; the built-in scenes use them in this order.
std::vector<uint32_t> DefaultMarkerCodes(int bits, int count);

}  // namespace vyxsim::scene
