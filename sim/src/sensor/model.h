// The sensor's own description of a capture: the exposures, the measurement
// and image settings, the optics that triangulate and the 2D sensor. Both
// cameras' capture options map onto these records (camera/options.h), and
// every step of the sensor layer reads them rather than SDK option types.
//
// Sensor model (see CAMERA.md for the full text):
//   signal s = albedo * E * (brightness / 255) * (exposure_ms / 11) * 10^(gain_dB / 20) * 0.75
// with E the projector irradiance of the frame; 1.0 is the sensor's full
// scale. Depth noise along the viewing ray:
//   sigma_z = k_mode * z^2 / (fx * baseline) / sqrt(scan_times)
// with k_mode the disparity precision of the capture mode in pixels.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/scene.h"
#include "vyx/types.h"

namespace vyxsim::cam {

constexpr double kSensitivity = 0.75;          // full scale per unit of light at 11 ms, 0 dB
constexpr double kReferenceExposureMs = 11.0;
constexpr double kReadoutMs = 3.0;             // per pattern image
// Raw response of colour sensors per channel (red, green, blue) to white.
constexpr std::array<double, 3> kColorResponse{0.80, 1.0, 0.70};
constexpr double kImageNoise = 0.35 / 255.0;   // 2D sensor noise at 0 dB, of full scale

struct Exposure {
    int time_ms = 11;
    double gain_db = 0.0;
    int brightness = 240;
    int scan_times = 1;
};

// A 3D measurement.
struct Params3D {
    std::vector<Exposure> exposures;  // one, or the HDR exposures
    Vyx::CaptureMode mode = Vyx::CaptureMode_Normal;
    int light_contrast_threshold = 3;
    double confidence_threshold = 0.0;
    Vyx::ROI roi{0, 0, 0, 0};  // zero size: the whole image
    double truncate_min_mm = -9999.0, truncate_max_mm = 9999.0;
    bool calc_normal = false;
    int normal_radius = 5;
    Vyx::SmoothnessLevel smoothness = Vyx::SmoothnessLevel_Off;
    double gamma = 1.0;  // of the pattern images
    // Camera frame to the frame of the returned points (4 x 4, may scale).
    Eigen::Matrix4d output = Eigen::Matrix4d::Identity();
};

// A 2D image.
struct Params2D {
    int time_ms = 11;
    double gain_db = 0.0;
    double gamma = 1.0;
    int brightness = 240;
    bool use_projector = true;
};

// The camera doing the measuring.
struct Optics {
    const scene::RayTable* rays = nullptr;
    double fx = 1.0;
    double baseline = 0.1;  // metres between the camera and the projector (or the other camera)
};

// The 2D sensor.
struct Sensor {
    bool color = false;
    std::array<float, 3> balance{1.0f, 1.0f, 1.0f};  // red, green, blue
    double ambient = 0.15;
    scene::Rgb ambient_color{1.0, 1.0, 1.0};
};

// Grey reflectance (0 to 1) of a frame pixel's linear 8-bit albedo.
inline double GreyAlbedo(const uint8_t* rgb) {
    return (0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]) * (1.0 / 255.0);
}

// Camera pixel (u, v) inside the ROI (zero size: the whole image).
inline bool InRoi(const Vyx::ROI& roi, int u, int v) {
    if (roi.width == 0 && roi.height == 0) return true;
    return u >= roi.x && v >= roi.y && u < roi.x + roi.width && v < roi.y + roi.height;
}

// The confidence threshold and the z truncation (output z, millimetres) of
// a measurement: what every 3D result, measured or replayed, passes.
inline bool KeepsConfidence(const Params3D& p, double confidence) { return confidence >= p.confidence_threshold; }
inline bool WithinTruncation(const Params3D& p, double z_mm) {
    return z_mm >= p.truncate_min_mm && z_mm <= p.truncate_max_mm;
}

}  // namespace vyxsim::cam
