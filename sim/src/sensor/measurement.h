// A structured-light 3D measurement of a rendered frame: which pixels the
// patterns decode, with what confidence, the noisy depth along each ray, the
// optional smoothing, and the points in the output frame.
#pragma once

#include "rendering/render.h"
#include "sensor/model.h"
#include "sensor/noise.h"

namespace vyxsim::cam {

// Outputs of a 3D capture, each width * height of the frame: points and
// normals 3 doubles per pixel (normals may be null), depth and confidence 1.
// Compute3D writes every value of each (NaN points and normals where there
// is none), so the maps need no filling beforehand.
struct Out3D {
    double* points = nullptr;
    double* normals = nullptr;
    double* depth = nullptr;
    double* confidence = nullptr;
};

// With `matched` (two values per pixel, as MapIntoCamera writes them), only
// pixels whose first value is a number are measured: an X2 finds a point
// only where both cameras see it.
void Compute3D(const scene::Frame& frame, const Optics& optics, const Params3D& params,
               const NoiseStream& noise, const Out3D& out, const double* matched = nullptr);

// Applies a capture's region of interest, confidence threshold, output
// transformation (`output`, from the frame the points are in) and z
// truncation to points measured before (a recorded frame), in place: a
// point dropped becomes NaN (with its normal), its depth NaN, its
// confidence 0. The same tests as a live measurement, so a frame that
// passed them passes them again unchanged.
void FilterMeasured(int width, int height, const Params3D& params, const Out3D& out);

}  // namespace vyxsim::cam
