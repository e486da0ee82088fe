// Rendered frames and stereo correspondences, kept between captures.
//
// A virtual device looks at a static scene from fixed camera poses, so what
// its cameras see does not change from one capture to the next: only the
// sensor's noise, exposure and options do, and those act on the frame after
// it is rendered. The cache keeps the last few whole-camera frames, keyed by
// everything the renderer reads: the scene's content (its JSON form, so two
// devices or two configurations with the same scene share a frame), the
// camera and projector models (intrinsics, distortion and pose), the
// reference distance and the step. A new scene, a moved camera or another
// projector is another key; entries are evicted oldest first, by count and
// by bytes. Frames are immutable once cached and shared by reference.
#pragma once

#include <memory>
#include <vector>

#include "core/devices.h"
#include "rendering/render.h"
#include "scene/scene.h"

namespace vyxsim::scene {

// What `setup.camera` sees of `scene` (see Render), whole rows only: a setup
// with a row range is rendered afresh and not kept. Null when the camera
// model is unusable.
std::shared_ptr<const Frame> RenderCached(const Scene& scene, const RenderSetup& setup);

// Where camera `to` sees the points of `frame` (what `from` sees of `scene`,
// as RenderCached returned it): MapIntoCamera's two values per pixel,
// computed once per frame and target camera.
std::shared_ptr<const std::vector<double>> CorrespondenceCached(const Scene& scene, const CameraModel& from,
                                                               const std::shared_ptr<const Frame>& frame,
                                                               const CameraModel& to);

// Drops every cached frame and correspondence (for tests).
void ClearRenderCache();
// Frames and correspondences held, and their bytes.
std::size_t RenderCacheEntries();
std::size_t RenderCacheBytes();

}  // namespace vyxsim::scene
