// A device used with one of its cameras and the projector.
#pragma once

#include <cstdint>

#include "vyx/data.h"
#include "vyx/export.h"
#include "vyx/system.h"
#include "vyx/types.h"

namespace Vyx {

// Size in bytes of the buffer that GetUserSetName of X1 and X2 fills: names
// hold at most 63 bytes of UTF-8 and a NUL.
constexpr int kUserSetNameCapacity = 64;
// Number of user sets a device keeps (indices 0 to kUserSetCount - 1).
constexpr int kUserSetCount = 8;

class VYX_API X1 {
public:
    struct CaptureOptions {
        bool calc_normal = false;
        bool transform_to_camera = true;
        int32_t filter_range = 0;
        bool use_auto_noise_removal = true;
        double noise_removal_distance = 0.0;
        int32_t noise_removal_point_number = 40;
        int32_t light_contrast_threshold = 3;
        int32_t phase_filter_range = 0;
        int32_t exposure_time_2d = 11;
        int32_t exposure_time_3d = 11;
        int32_t projector_brightness = 240;
        float gain_2d = 0.0f;
        float gain_3d = 0.0f;
        int32_t hdr_exposure_times = 0;
        int32_t hdr_exposure_time_content[3] = {11, 20, 50};
        float hdr_gain_content[3] = {0.0f, 0.0f, 0.0f};
        int32_t hdr_scan_times_content[3] = {1, 1, 1};
        int32_t hdr_projector_brightness_content[3] = {240, 240, 240};
        uint32_t calc_normal_radius = 5;
        float gamma_2d = 1.0f;
        float gamma_3d = 1.0f;
        bool use_projector_capturing_2d_image = true;
        SmoothnessLevel smoothness = SmoothnessLevel_Off;
        double downsample_distance = 0.0;
        CaptureMode capture_mode = CaptureMode_Normal;
        double confidence_threshold = 0.0;
        ROI roi{0, 0, 0, 0};
        double truncate_z_min = -9999.0;
        double truncate_z_max = 9999.0;
        int32_t bilateral_filter_kernal_size = 0;
        double bilateral_filter_depth_sigma = 0.0;
        double bilateral_filter_space_sigma = 0.0;
        int32_t scan_times = 1;
        bool use_auto_bilateral_filter = true;
        int32_t reflection_filter_threshold = 0;
        double smooth_sigma = 1.75;
        bool enable_2d_in_capture = true;
    };

    struct CustomTransformOptions {
        enum CoordinateSelect : int32_t {
            CoordinateSelect_Disabled = 0,
            CoordinateSelect_Camera = 1,
            CoordinateSelect_CaliBoard = 2,
        };
        CoordinateSelect coordinate_select = CoordinateSelect_Disabled;
        // Row-major 4 x 4 matrix applied to the points.
        double transform[16] = {1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0,
                                0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0};
    };

    X1() = default;

    static X1 Create(const Device& device, CameraID camid = CameraID_Left);
    // Closes and releases the camera and its result buffers; the handle is
    // cleared.
    static void Destroy(X1& camera);

    bool Open();
    bool IsOpen() const;
    void Close();
    bool IsValid() const;
    bool IsPhysicallyConnected() const;

    // Captures with the given options; without options, with the options
    // last stored by SaveCaptureOptionParameters (the defaults at first).
    bool Capture(const CaptureOptions& options);
    bool Capture();
    bool Capture2D(const CaptureOptions& options);
    bool Capture2D();

    bool SetBandwidth(float bandwidth);
    bool SetCustomTransformation(const CustomTransformOptions& options);
    bool GetCustomTransformation(CustomTransformOptions& options) const;
    bool GetCameraResolution(Size& size) const;
    bool GetProjectorTemperature(float& celsius) const;

    Image GetImage();
    bool GetExposureTimeRange(int* min, int* max) const;
    bool GetGainRange(float* min, float* max) const;
    bool GetGammaRange(float* min, float* max) const;
    bool GetCameraTemperature(CameraTempSelector selector, float& celsius) const;

    DepthMap GetDepthMap();
    PointMap GetPointMap();
    Mesh GetMesh();
    ConfidenceMap GetConfidenceMap();
    bool SaveEncodedImagesData(const char* path);

    bool SetBalanceRatio(BalanceSelector selector, float ratio);
    bool GetBalanceRatio(BalanceSelector selector, float& ratio) const;
    bool GetBalanceRange(BalanceSelector selector, float& min, float& max) const;
    bool AutoWhiteBalance(int frames, const CaptureOptions& options, const ROI& roi);

    // Row-major 4 x 4 pose of the camera (camera to device frame).
    bool GetExtrinsicMatrix(float* matrix16) const;
    // Camera matrix (row-major 3 x 3) and distortion k1, k2, p1, p2, k3.
    bool GetIntrinsicParameters(float* camera_matrix9, float* distortion5) const;

    bool SaveCaptureOptionParameters(const CaptureOptions& options);
    bool LoadCaptureOptionParameters(CaptureOptions& options) const;
    bool GetAutoCaptureSetting(CaptureOptions& options, const ROI& roi);
    bool GetAutoHdrCaptureSetting(CaptureOptions& options, const ROI& roi);
    bool GetAutoNoiseRemovalSetting(CaptureOptions& options);
    bool GetAuto2DExposureTime(CaptureOptions& options, const ROI& roi);

    bool LoadSettingFromFile(const char* path);
    bool SaveSettingToFile(const char* path) const;

    bool CheckRoi(ROI roi) const;
    ROI AutoAdjustRoi(ROI roi) const;
    bool GetRoiRange(ROIRange& range) const;

    bool OpenProtectiveCover();
    bool CloseProtectiveCover();
    bool ResetProtectiveCover();
    bool OpenProtectiveCoverAsync();
    bool CloseProtectiveCoverAsync();
    bool GetProtectiveCoverStatus(ProtectiveCoverStatus& status) const;

    bool SetCurrentUserSet(const int& index);
    bool GetCurrentUserSet(int& index) const;
    // Names hold at most kUserSetNameCapacity - 1 bytes; a longer one is
    // refused.
    bool SetUserSetName(const int& index, const char* name);
    // `name` must hold kUserSetNameCapacity bytes.
    bool GetUserSetName(const int& index, char* name) const;

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

static_assert(sizeof(X1) == 8, "handles are two 32-bit words");

#define VYX_X1_OPT(a, b) VYX_LAYOUT_FOLLOWS(X1::CaptureOptions, a, b)
VYX_X1_OPT(calc_normal, transform_to_camera);
VYX_X1_OPT(transform_to_camera, filter_range);
VYX_X1_OPT(filter_range, use_auto_noise_removal);
VYX_X1_OPT(use_auto_noise_removal, noise_removal_distance);
VYX_X1_OPT(noise_removal_distance, noise_removal_point_number);
VYX_X1_OPT(noise_removal_point_number, light_contrast_threshold);
VYX_X1_OPT(light_contrast_threshold, phase_filter_range);
VYX_X1_OPT(phase_filter_range, exposure_time_2d);
VYX_X1_OPT(exposure_time_2d, exposure_time_3d);
VYX_X1_OPT(exposure_time_3d, projector_brightness);
VYX_X1_OPT(projector_brightness, gain_2d);
VYX_X1_OPT(gain_2d, gain_3d);
VYX_X1_OPT(gain_3d, hdr_exposure_times);
VYX_X1_OPT(hdr_exposure_times, hdr_exposure_time_content);
VYX_X1_OPT(hdr_exposure_time_content, hdr_gain_content);
VYX_X1_OPT(hdr_gain_content, hdr_scan_times_content);
VYX_X1_OPT(hdr_scan_times_content, hdr_projector_brightness_content);
VYX_X1_OPT(hdr_projector_brightness_content, calc_normal_radius);
VYX_X1_OPT(calc_normal_radius, gamma_2d);
VYX_X1_OPT(gamma_2d, gamma_3d);
VYX_X1_OPT(gamma_3d, use_projector_capturing_2d_image);
VYX_X1_OPT(use_projector_capturing_2d_image, smoothness);
VYX_X1_OPT(smoothness, downsample_distance);
VYX_X1_OPT(downsample_distance, capture_mode);
VYX_X1_OPT(capture_mode, confidence_threshold);
VYX_X1_OPT(confidence_threshold, roi);
VYX_X1_OPT(roi, truncate_z_min);
VYX_X1_OPT(truncate_z_min, truncate_z_max);
VYX_X1_OPT(truncate_z_max, bilateral_filter_kernal_size);
VYX_X1_OPT(bilateral_filter_kernal_size, bilateral_filter_depth_sigma);
VYX_X1_OPT(bilateral_filter_depth_sigma, bilateral_filter_space_sigma);
VYX_X1_OPT(bilateral_filter_space_sigma, scan_times);
VYX_X1_OPT(scan_times, use_auto_bilateral_filter);
VYX_X1_OPT(use_auto_bilateral_filter, reflection_filter_threshold);
VYX_X1_OPT(reflection_filter_threshold, smooth_sigma);
VYX_X1_OPT(smooth_sigma, enable_2d_in_capture);
#undef VYX_X1_OPT
static_assert(offsetof(X1::CaptureOptions, calc_normal) == 0 &&
                  offsetof(X1::CaptureOptions, roi) == 152 && sizeof(X1::CaptureOptions) == 240,
              "X1::CaptureOptions layout");
static_assert(sizeof(X1::CustomTransformOptions) == 136 &&
                  offsetof(X1::CustomTransformOptions, transform) == 8,
              "X1::CustomTransformOptions layout");

}  // namespace Vyx
