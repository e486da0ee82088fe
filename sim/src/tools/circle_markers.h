// Coded and concentric circle markers in a grey image.
//
// A marker is printed as a dark disc carrying a bright centre dot of radius
// r0, a dark gap out to r1 and a ring from r1 to r2 cut into N equal sectors,
// each bright (bit set) or dark; a concentric marker has every sector bright.
// Sector k spans the angles [k, k + 1) * 360 / N degrees, counted the way the
// image's u axis turns into its v axis.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/ellipse.h"
#include "tools/raster.h"

namespace vyxsim::tools {

struct RingGeometry {
    int bits = 12;
    double r1 = 2.0;  // gap's outer radius over r0
    double r2 = 3.0;  // ring's outer radius over r0
};

// True when the geometry can be detected: 3 <= bits <= 31 and
// 1.2 <= r1, r1 + 0.3 <= r2 <= 50.
bool ValidRingGeometry(const RingGeometry& g);

// The smallest of the `bits`-bit cyclic rotations of `word`: the code a
// marker has whatever its orientation.
uint32_t RotationInvariantCode(uint32_t word, int bits);

struct RingMarker {
    Ellipse dot;            // outline of the centre dot; its centre is the marker's
    uint32_t word = 0;      // the ring's bits as read, from an arbitrary sector
    uint32_t code = 0;      // RotationInvariantCode(word)
    bool concentric = false;
    double ring_inner = 0;  // measured ring radii, in units of the dot
    double ring_outer = 0;
};

// Bright elliptical blobs that may be centre dots, as the ellipses of their
// second moments: evenly darker all round at DotOutside(gap), where `gap` is
// how far, in units of the dot, the dark gap around a dot reaches at least.
std::vector<Ellipse> FindDotCandidates(const Grey& grey, double gap);
double DotOutside(double gap);
// The sub-pixel outline of a candidate dot; false when it cannot be refined.
bool RefineDot(const Grey& grey, const Ellipse& dot, double gap, Ellipse* out);

// Coded markers of geometry `g`: the ring read at the given radii, every
// sector clearly bright or dark, transitions on the sector grid, the ring's
// edges within 0.3 r0 of r1 and r2. Rings with no sector or every sector
// bright are not coded markers and are left out. Sorted top to bottom, then
// left to right.
std::vector<RingMarker> DetectCodedMarkers(const Grey& grey, const RingGeometry& g);

// Concentric markers: the same dot and gap, and a ring bright all the way
// round (its radii are measured, not given).
std::vector<RingMarker> DetectConcentricMarkers(const Grey& grey);

}  // namespace vyxsim::tools
