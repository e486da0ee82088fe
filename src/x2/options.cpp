// X2_CaptureOptions and X2_CustomTransformOptions: the SDK records with their
// inline defaults, every field as a read-write property, the bounded HDR
// accessors and SetTransform.
#include "x2/options.h"

#include "module/camera_common.h"
#include "vyx/x2.h"

namespace pyvyx {

namespace {

using Opts = Vyx::X2::CaptureOptions;
using Transform = Vyx::X2::CustomTransformOptions;

// Scan counts an X2 HDR step accepts (inclusive).
constexpr int32_t kX2HdrScanTimesMin = 1;
constexpr int32_t kX2HdrScanTimesMax = 8;

}  // namespace

void RegisterX2Options(py::module_& m) {
    // Fields in the record's declaration order, then the HDR accessors. roi
    // and the enumeration fields are returned by reference into the record
    // (def_readwrite's reference_internal): edits through the value read
    // change the record, and the value keeps the record alive. The field
    // accessors keep the interpreter lock.
    //
    // The scan-count pair is registered setter first and, unlike the other
    // six accessors, runs holding the interpreter lock.
    py::class_<Opts>(m, "X2_CaptureOptions")
        .def(py::init<>(), ReleaseGil())
        .def_readwrite("transform_to_camera", &Opts::transform_to_camera)
        .def_readwrite("projector_brightness", &Opts::projector_brightness)
        .def_readwrite("calc_normal", &Opts::calc_normal)
        .def_readwrite("calc_normal_radius", &Opts::calc_normal_radius)
        .def_readwrite("light_contrast_threshold", &Opts::light_contrast_threshold)
        .def_readwrite("edge_noise_reduction_threshold", &Opts::edge_noise_reduction_threshold)
        .def_readwrite("exposure_time_2d", &Opts::exposure_time_2d)
        .def_readwrite("exposure_time_3d", &Opts::exposure_time_3d)
        .def_readwrite("gain_2d", &Opts::gain_2d)
        .def_readwrite("gain_3d", &Opts::gain_3d)
        .def_readwrite("hdr_exposure_times", &Opts::hdr_exposure_times)
        .def_readwrite("gamma_2d", &Opts::gamma_2d)
        .def_readwrite("gamma_3d", &Opts::gamma_3d)
        .def_readwrite("projector_color", &Opts::projector_color)
        .def_readwrite("use_projector_capturing_2d_image", &Opts::use_projector_capturing_2d_image)
        .def_readwrite("smoothness", &Opts::smoothness)
        .def_readwrite("use_auto_noise_removal", &Opts::use_auto_noise_removal)
        .def_readwrite("noise_removal_distance", &Opts::noise_removal_distance)
        .def_readwrite("noise_removal_point_number", &Opts::noise_removal_point_number)
        .def_readwrite("downsample_distance", &Opts::downsample_distance)
        .def_readwrite("capture_mode", &Opts::capture_mode)
        .def_readwrite("confidence_threshold", &Opts::confidence_threshold)
        .def_readwrite("scan_times", &Opts::scan_times)
        .def_readwrite("bilateral_filter_kernal_size", &Opts::bilateral_filter_kernal_size)
        .def_readwrite("bilateral_filter_depth_sigma", &Opts::bilateral_filter_depth_sigma)
        .def_readwrite("bilateral_filter_space_sigma", &Opts::bilateral_filter_space_sigma)
        .def_readwrite("line_scanner_scan_time_ms", &Opts::line_scanner_scan_time_ms)
        .def_readwrite("line_scanner_exposure_time_us", &Opts::line_scanner_exposure_time_us)
        .def_readwrite("line_scanner_min_distance", &Opts::line_scanner_min_distance)
        .def_readwrite("line_scanner_max_distance", &Opts::line_scanner_max_distance)
        .def_readwrite("correspond2d", &Opts::correspond2d)
        .def_readwrite("line_scanner_laser_position", &Opts::line_scanner_laser_position)
        .def_readwrite("use_auto_bilateral_filter", &Opts::use_auto_bilateral_filter)
        .def_readwrite("reflection_filter_threshold", &Opts::reflection_filter_threshold)
        .def_readwrite("smooth_sigma", &Opts::smooth_sigma)
        .def_readwrite("roi", &Opts::roi)
        .def_readwrite("enable_2d_in_capture", &Opts::enable_2d_in_capture)
        .def_readwrite("pointcloud_completion", &Opts::pointcloud_completion)
        .def_readwrite("line_scanner_brightness_threshold", &Opts::line_scanner_brightness_threshold)
        .def_readwrite("trigger_mode", &Opts::trigger_mode)
        .def_readwrite("encoder_trigger_interval", &Opts::encoder_trigger_interval)
        .def_readwrite("truncate_z_min", &Opts::truncate_z_min)
        .def_readwrite("truncate_z_max", &Opts::truncate_z_max)
        .def_readwrite("line_scanner_confidence", &Opts::line_scanner_confidence)
        .def_readwrite("fixed_rate", &Opts::fixed_rate)
        .def_readwrite("auto_set_fixed_rate", &Opts::auto_set_fixed_rate)
        .def_readwrite("enable_transfer_control", &Opts::enable_transfer_control)
        .def("GetHDRExposureTimeContent", &HdrGetInt<&Opts::hdr_exposure_time_content>,
             ReleaseGil())
        .def("SetHDRExposureTimeContent",
             &HdrSetInt<&Opts::hdr_exposure_time_content, kHdrExposureTimeMin,
                        kHdrExposureTimeMax>,
             ReleaseGil())
        .def("GetHDRGainContent", &HdrGetGain<&Opts::hdr_gain_content>, ReleaseGil())
        .def("SetHDRGainContent", &HdrSetGain<&Opts::hdr_gain_content>, ReleaseGil())
        .def("GetHDRProjectorBrightnessContent",
             &HdrGetInt<&Opts::hdr_projector_brightness_content>, ReleaseGil())
        .def("SetHDRProjectorBrightnessContent",
             &HdrSetInt<&Opts::hdr_projector_brightness_content, kHdrProjectorBrightnessMin,
                        kHdrProjectorBrightnessMax>,
             ReleaseGil())
        .def("SetHDRScanTimesContent",
             &HdrSetInt<&Opts::hdr_scan_times_content, kX2HdrScanTimesMin, kX2HdrScanTimesMax>)
        .def("GetHDRScanTimesContent", &HdrGetInt<&Opts::hdr_scan_times_content>);

    // The matrix has no property: SetTransform writes it (holding the
    // interpreter lock), and a record read from the camera carries it back to
    // SetCustomTransformation unchanged.
    py::class_<Transform>(m, "X2_CustomTransformOptions")
        .def(py::init<>(), ReleaseGil())
        .def_readwrite("coordinate_select", &Transform::coordinate_select)
        .def("SetTransform", &SetTransformFromArray<Transform>);
}

}  // namespace pyvyx
