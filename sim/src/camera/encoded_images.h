// The pattern images of a 3D capture as SaveEncodedImagesData writes them:
// the directory, and one PNG file per pattern (and exposure). Each reports
// failures through the last error, naming `op`.
#pragma once

#include <filesystem>
#include <string>

#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "rendering/projection.h"
#include "rendering/render.h"

namespace vyxsim::cam {

// Creates the directory `path` (and its parents) unless it exists.
bool MakeDirectory(const char* op, const char* path);
// Writes the pattern images of `frame` as a 3D capture with `params` took
// them: PNG files `prefix` + [exposureN_] pattern_KK_NAME.png in `dir`.
bool WritePatternImages(const char* op, const std::filesystem::path& dir, const std::string& prefix,
                        const scene::Frame& frame, const Params3D& params, int projector_width, double ambient);

}  // namespace vyxsim::cam
