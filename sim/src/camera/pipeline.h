// From a rendered frame to what a structured-light camera delivers: points,
// depth, confidence and normals of a 3D capture, the 2D image, the pattern
// images, and the statistics automatic settings use. Shared by X1 and X2.
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
#include <string>
#include <vector>

#include <Eigen/Core>

#include "rendering/projection.h"
#include "rendering/render.h"
#include "scene/scene.h"
#include "vyx/types.h"
#include "vyx/x1.h"

namespace vyxsim::cam {

constexpr double kSensitivity = 0.75;          // full scale per unit of light at 11 ms, 0 dB
constexpr double kReferenceExposureMs = 11.0;
constexpr double kReadoutMs = 3.0;             // per pattern image
// Raw response of colour sensors per channel (red, green, blue) to white.
constexpr std::array<double, 3> kColorResponse{0.80, 1.0, 0.70};
constexpr double kImageNoise = 0.35 / 255.0;   // 2D sensor noise at 0 dB, of full scale

double GainFactor(double gain_db);

// What a capture mode projects and how precise it is.
struct ModeInfo {
    double disparity_sigma_px;  // k_mode
    int gray_bits;              // Gray-code images
    bool complements;           // each Gray-code image also inverted
    int phase_steps;            // phase-shift images
    int PatternCount() const { return 2 + gray_bits * (complements ? 2 : 1) + phase_steps; }
};
ModeInfo Mode(Vyx::CaptureMode mode);
// Name of pattern image k of a mode (white, black, grayN, grayN_inverse, phaseN).
std::string PatternName(const ModeInfo& mode, int k);

struct Exposure {
    int time_ms = 11;
    double gain_db = 0.0;
    int brightness = 240;
    int scan_times = 1;
};

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

struct Params2D {
    int time_ms = 11;
    double gain_db = 0.0;
    double gamma = 1.0;
    int brightness = 240;
    bool use_projector = true;
};

Params3D Params3DFrom(const Vyx::X1::CaptureOptions& options);
Params2D Params2DFrom(const Vyx::X1::CaptureOptions& options);

// The camera doing the measuring.
struct Optics {
    const scene::RayTable* rays = nullptr;
    double fx = 1.0;
    double baseline = 0.1;  // metres between the camera and the projector
};

// Reproducible noise: one stream per device, camera, capture and purpose.
struct NoiseStream {
    uint64_t key = 0;
};
// The seed: VYX_SIM_SEED when set to a number, else a fixed default.
uint64_t NoiseSeed();
NoiseStream MakeNoiseStream(const std::string& serial, int camera_index, uint64_t capture_index,
                            uint64_t purpose);
// Standard normal-like value for element `i` (sum of four uniforms, bounded
// at +-3.46).
double Gaussian(const NoiseStream& stream, uint64_t i);

// Confidence (0 to 1) of a measurement with signal `s` seen at `view_cos`.
double Confidence(double signal, double view_cos);

// Outputs of a 3D capture, each width * height of the frame: points and
// normals 3 doubles per pixel (normals may be null), depth and confidence 1.
struct Out3D {
    double* points = nullptr;
    double* normals = nullptr;
    double* depth = nullptr;
    double* confidence = nullptr;
};
void Compute3D(const scene::Frame& frame, const Optics& optics, const Params3D& params,
               const NoiseStream& noise, const Out3D& out);

// The 2D sensor.
struct Sensor {
    bool color = false;
    std::array<float, 3> balance{1.0f, 1.0f, 1.0f};  // red, green, blue
    double ambient = 0.15;
    scene::Rgb ambient_color{1.0, 1.0, 1.0};
};
// Linear response (full scale 1) per channel before balance and noise:
// red, green, blue; for grey sensors all three hold the grey value.
std::array<double, 3> RawResponse(const scene::Frame& frame, std::size_t k, const Params2D& params,
                                  const Sensor& sensor);
// Mono8 (grey sensor) or BGR8 (colour sensor) image of the frame.
void Shade2D(const scene::Frame& frame, const Params2D& params, const Sensor& sensor,
             const NoiseStream& noise, uint8_t* out);
// Mono8 image of pattern k of a 3D capture with `exposure`.
void ShadePattern(const scene::Frame& frame, const Params3D& params, const Exposure& exposure,
                  int k, int projector_width, double ambient, uint8_t* out);

// Simulated acquisition time of a 3D capture, seconds (transfer included:
// `bytes_per_second` of the link).
double Acquisition3DSeconds(const Params3D& params, std::size_t pixels, double bytes_per_second);
double Acquisition2DSeconds(const Params2D& params, std::size_t bytes, double bytes_per_second);

// Samples for automatic settings: the per-pixel values inside the ROI (frame
// coordinates are camera pixels divided by the frame's step) of the lit
// points seen, as s for 1 ms (3D signal per millisecond at `gain_db` and
// `brightness`), and of the 2D raw response per millisecond.
struct Samples {
    std::vector<double> signal_per_ms;
    std::vector<double> image_per_ms;
    std::vector<double> depth;
};
Samples CollectSamples(const scene::Frame& frame, const Vyx::ROI& roi, double gain_db_3d, int brightness,
                       const Params2D& params2d, const Sensor& sensor);
// The value below which `fraction` of the values lie (0 for none).
double Percentile(std::vector<double> values, double fraction);

}  // namespace vyxsim::cam
