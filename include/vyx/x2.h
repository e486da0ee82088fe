// A device used with both cameras and the projector.
#pragma once

#include <cstdint>

#include "vyx/data.h"
#include "vyx/export.h"
#include "vyx/system.h"
#include "vyx/types.h"
#include "vyx/x1.h"

namespace Vyx {

class VYX_API X2 {
public:
    struct CaptureOptions {
        CameraID transform_to_camera = CameraID_Left;
        int32_t projector_brightness = 240;
        bool calc_normal = false;
        uint32_t calc_normal_radius = 5;
        int32_t light_contrast_threshold = 3;
        int32_t edge_noise_reduction_threshold = 2;
        int32_t exposure_time_2d = 11;
        int32_t exposure_time_3d = 11;
        float gain_2d = 0.0f;
        float gain_3d = 0.0f;
        int32_t hdr_exposure_times = 0;
        int32_t hdr_exposure_time_content[3] = {11, 20, 50};
        float hdr_gain_content[3] = {0.0f, 0.0f, 0.0f};
        int32_t hdr_projector_brightness_content[3] = {240, 240, 240};
        float gamma_2d = 1.0f;
        float gamma_3d = 1.0f;
        ProjectorColor projector_color = ProjectorColor_Blue;
        bool use_projector_capturing_2d_image = true;
        SmoothnessLevel smoothness = SmoothnessLevel_Off;
        bool use_auto_noise_removal = true;
        double noise_removal_distance = 0.0;
        int32_t noise_removal_point_number = 40;
        double downsample_distance = 0.0;
        CaptureMode capture_mode = CaptureMode_Normal;
        double confidence_threshold = 0.0;
        int32_t scan_times = 1;
        int32_t hdr_scan_times_content[3] = {1, 1, 1};
        int32_t bilateral_filter_kernal_size = 0;
        double bilateral_filter_depth_sigma = 0.0;
        double bilateral_filter_space_sigma = 0.0;
        int32_t line_scanner_scan_time_ms = 1000;
        int32_t line_scanner_exposure_time_us = 300;
        int32_t line_scanner_min_distance = 0;
        int32_t line_scanner_max_distance = 0;
        bool correspond2d = false;
        uint16_t line_scanner_laser_position = 32768;
        bool use_auto_bilateral_filter = true;
        int32_t reflection_filter_threshold = 0;
        double smooth_sigma = 1.75;
        ROI roi{0, 0, 0, 0};
        bool enable_2d_in_capture = true;
        bool pointcloud_completion = false;
        int32_t line_scanner_brightness_threshold = 5;
        TriggerMode trigger_mode = TriggerMode_SoftWare;
        int32_t encoder_trigger_interval = 8;
        double truncate_z_min = -29999.0;
        double truncate_z_max = 29999.0;
        double line_scanner_confidence = 0.72;
        double fixed_rate = 1.0;
        bool auto_set_fixed_rate = true;
        bool enable_transfer_control = false;
    };

    struct CustomTransformOptions {
        enum CoordinateSelect : int32_t {
            CoordinateSelect_Disabled = 0,
            CoordinateSelect_CameraLeft = 1,
            CoordinateSelect_CameraRight = 2,
            CoordinateSelect_CaliBoard = 3,
            CoordinateSelect_CameraExtra = 4,
        };
        CoordinateSelect coordinate_select = CoordinateSelect_Disabled;
        // Row-major 4 x 4 matrix applied to the points.
        double transform[16] = {1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0,
                                0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0};
    };

    X2() = default;

    static X2 Create(const Device& device);
    // Closes and releases the camera and its result buffers; the handle is
    // cleared.
    static void Destroy(X2& camera);

    bool Open();
    bool IsOpen() const;
    void Close();
    bool IsValid() const;
    bool IsPhysicallyConnected() const;

    bool Capture(const CaptureOptions& options);
    bool Capture();

    // Starts a fixed line scan of a part carried past the laser line;
    // GetFixedLineScanPointMap returns the rows scanned so far.
    bool StartFixedLineScan(const CaptureOptions& options);
    bool StartFixedLineScan();
    PointMap GetFixedLineScanPointMap();
    bool GetFixedLineScanPointMap(PointMap& map);
    bool StopFixedLineScan();

    bool Capture2D(CameraID camera, const CaptureOptions& options);
    bool Capture2D(CameraID camera);

    bool SetBandwidth(float bandwidth);
    bool SetCustomTransformation(const CustomTransformOptions& options);
    bool GetCustomTransformation(CustomTransformOptions& options) const;
    bool GetCameraResolution(Size& size) const;
    // Microseconds since the camera was opened or the timestamp was reset.
    bool GetTimestamp(uint64_t& timestamp) const;
    bool ResetTimestamp();
    bool GetProjectorTemperature(float& celsius) const;

    Image GetImage(CameraID camera);
    PointMap GetPointMap();
    Mesh GetMesh();
    ConfidenceMap GetConfidenceMap();
    CorrespondMap GetCorrespondMap();
    bool SaveEncodedImagesData(const char* path);
    DepthMap GetDepthMap();

    bool AutoWhiteBalance(int frames, const CaptureOptions& options, const ROI& roi);
    // Row-major 4 x 4 pose of the camera (camera to device frame).
    bool GetExtrinsicMatrix(CameraID camera, float* matrix16) const;
    // Camera matrix (row-major 3 x 3) and distortion k1, k2, p1, p2, k3.
    bool GetIntrinsicParameters(CameraID camera, float* camera_matrix9, float* distortion5) const;
    bool GetExposureTimeRange(int* min, int* max) const;
    bool GetGainRange(float* min, float* max) const;
    bool GetGammaRange(float* min, float* max) const;
    bool GetCameraTemperature(CameraID camera, CameraTempSelector selector, float& celsius) const;

    bool SaveCaptureOptionParameters(const CaptureOptions& options);
    bool LoadCaptureOptionParameters(CaptureOptions& options) const;
    bool GetAutoCaptureSetting(CaptureOptions& options, const ROI& roi);
    bool GetAutoHdrCaptureSetting(CaptureOptions& options, const ROI& roi);
    bool GetAutoNoiseRemovalSetting(CaptureOptions& options);

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

    bool GetAuto2DExposureTime(CaptureOptions& options, const ROI& roi);

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

static_assert(sizeof(X2) == 8, "handles are two 32-bit words");

#define VYX_X2_OPT(a, b) VYX_LAYOUT_FOLLOWS(X2::CaptureOptions, a, b)
VYX_X2_OPT(transform_to_camera, projector_brightness);
VYX_X2_OPT(projector_brightness, calc_normal);
VYX_X2_OPT(calc_normal, calc_normal_radius);
VYX_X2_OPT(calc_normal_radius, light_contrast_threshold);
VYX_X2_OPT(light_contrast_threshold, edge_noise_reduction_threshold);
VYX_X2_OPT(edge_noise_reduction_threshold, exposure_time_2d);
VYX_X2_OPT(exposure_time_2d, exposure_time_3d);
VYX_X2_OPT(exposure_time_3d, gain_2d);
VYX_X2_OPT(gain_2d, gain_3d);
VYX_X2_OPT(gain_3d, hdr_exposure_times);
VYX_X2_OPT(hdr_exposure_times, hdr_exposure_time_content);
VYX_X2_OPT(hdr_exposure_time_content, hdr_gain_content);
VYX_X2_OPT(hdr_gain_content, hdr_projector_brightness_content);
VYX_X2_OPT(hdr_projector_brightness_content, gamma_2d);
VYX_X2_OPT(gamma_2d, gamma_3d);
VYX_X2_OPT(gamma_3d, projector_color);
VYX_X2_OPT(projector_color, use_projector_capturing_2d_image);
VYX_X2_OPT(use_projector_capturing_2d_image, smoothness);
VYX_X2_OPT(smoothness, use_auto_noise_removal);
VYX_X2_OPT(use_auto_noise_removal, noise_removal_distance);
VYX_X2_OPT(noise_removal_distance, noise_removal_point_number);
VYX_X2_OPT(noise_removal_point_number, downsample_distance);
VYX_X2_OPT(downsample_distance, capture_mode);
VYX_X2_OPT(capture_mode, confidence_threshold);
VYX_X2_OPT(confidence_threshold, scan_times);
VYX_X2_OPT(scan_times, hdr_scan_times_content);
VYX_X2_OPT(hdr_scan_times_content, bilateral_filter_kernal_size);
VYX_X2_OPT(bilateral_filter_kernal_size, bilateral_filter_depth_sigma);
VYX_X2_OPT(bilateral_filter_depth_sigma, bilateral_filter_space_sigma);
VYX_X2_OPT(bilateral_filter_space_sigma, line_scanner_scan_time_ms);
VYX_X2_OPT(line_scanner_scan_time_ms, line_scanner_exposure_time_us);
VYX_X2_OPT(line_scanner_exposure_time_us, line_scanner_min_distance);
VYX_X2_OPT(line_scanner_min_distance, line_scanner_max_distance);
VYX_X2_OPT(line_scanner_max_distance, correspond2d);
VYX_X2_OPT(correspond2d, line_scanner_laser_position);
VYX_X2_OPT(line_scanner_laser_position, use_auto_bilateral_filter);
VYX_X2_OPT(use_auto_bilateral_filter, reflection_filter_threshold);
VYX_X2_OPT(reflection_filter_threshold, smooth_sigma);
VYX_X2_OPT(smooth_sigma, roi);
VYX_X2_OPT(roi, enable_2d_in_capture);
VYX_X2_OPT(enable_2d_in_capture, pointcloud_completion);
VYX_X2_OPT(pointcloud_completion, line_scanner_brightness_threshold);
VYX_X2_OPT(line_scanner_brightness_threshold, trigger_mode);
VYX_X2_OPT(trigger_mode, encoder_trigger_interval);
VYX_X2_OPT(encoder_trigger_interval, truncate_z_min);
VYX_X2_OPT(truncate_z_min, truncate_z_max);
VYX_X2_OPT(truncate_z_max, line_scanner_confidence);
VYX_X2_OPT(line_scanner_confidence, fixed_rate);
VYX_X2_OPT(fixed_rate, auto_set_fixed_rate);
VYX_X2_OPT(auto_set_fixed_rate, enable_transfer_control);
#undef VYX_X2_OPT
static_assert(offsetof(X2::CaptureOptions, transform_to_camera) == 0, "X2::CaptureOptions layout");
static_assert(sizeof(X2::CustomTransformOptions) == 136 &&
                  offsetof(X2::CustomTransformOptions, transform) == 8,
              "X2::CustomTransformOptions layout");

}  // namespace Vyx
