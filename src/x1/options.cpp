// X1_CaptureOptions and X1_CustomTransformOptions: the SDK records with
// their inline defaults, every field as a read-write property, the bounded
// HDR accessors and SetTransform.
#include "module/camera_common.h"
#include "module/registration.h"
#include "vyx/x1.h"

namespace pyvyx {

namespace {

using Opts = Vyx::X1::CaptureOptions;
using Transform = Vyx::X1::CustomTransformOptions;

// Scan counts an X1 HDR step accepts (inclusive).
constexpr int32_t kX1HdrScanTimesMin = 2;
constexpr int32_t kX1HdrScanTimesMax = 4;

}  // namespace

void RegisterX1Options(py::module_& m) {
    // filter_range: the SDK's record leaves it without a value of its own; the
    // header this module compiles against initialises it to 0, so a new
    // record always starts at 0.
    //
    // roi, smoothness and capture_mode are returned by reference into the
    // record (def_readwrite's reference_internal): edits through the value
    // read change the record, and the value keeps the record alive.
    // SmoothnessLevel and CaptureMode are registered after this class, so the
    // help texts of those two properties name the native types.
    py::class_<Opts>(m, "X1_CaptureOptions")
        .def(py::init<>(), ReleaseGil())
        .def_readwrite("calc_normal", &Opts::calc_normal)
        .def_readwrite("calc_normal_radius", &Opts::calc_normal_radius)
        .def_readwrite("light_contrast_threshold", &Opts::light_contrast_threshold)
        .def_readwrite("transform_to_camera", &Opts::transform_to_camera)
        .def_readwrite("filter_range", &Opts::filter_range)
        .def_readwrite("use_auto_noise_removal", &Opts::use_auto_noise_removal)
        .def_readwrite("noise_removal_distance", &Opts::noise_removal_distance)
        .def_readwrite("noise_removal_point_number", &Opts::noise_removal_point_number)
        .def_readwrite("phase_filter_range", &Opts::phase_filter_range)
        .def_readwrite("projector_brightness", &Opts::projector_brightness)
        .def_readwrite("exposure_time_2d", &Opts::exposure_time_2d)
        .def_readwrite("exposure_time_3d", &Opts::exposure_time_3d)
        .def_readwrite("gain_2d", &Opts::gain_2d)
        .def_readwrite("gain_3d", &Opts::gain_3d)
        .def_readwrite("gamma_2d", &Opts::gamma_2d)
        .def_readwrite("gamma_3d", &Opts::gamma_3d)
        .def_readwrite("hdr_exposure_times", &Opts::hdr_exposure_times)
        .def_readwrite("use_projector_capturing_2d_image", &Opts::use_projector_capturing_2d_image)
        .def_readwrite("smoothness", &Opts::smoothness)
        .def_readwrite("downsample_distance", &Opts::downsample_distance)
        .def_readwrite("scan_times", &Opts::scan_times)
        .def_readwrite("truncate_z_min", &Opts::truncate_z_min)
        .def_readwrite("truncate_z_max", &Opts::truncate_z_max)
        .def_readwrite("use_auto_bilateral_filter", &Opts::use_auto_bilateral_filter)
        .def_readwrite("bilateral_filter_kernal_size", &Opts::bilateral_filter_kernal_size)
        .def_readwrite("bilateral_filter_depth_sigma", &Opts::bilateral_filter_depth_sigma)
        .def_readwrite("bilateral_filter_space_sigma", &Opts::bilateral_filter_space_sigma)
        .def_readwrite("reflection_filter_threshold", &Opts::reflection_filter_threshold)
        .def_readwrite("smooth_sigma", &Opts::smooth_sigma)
        .def_readwrite("enable_2d_in_capture", &Opts::enable_2d_in_capture)
        .def("GetHDRExposureTimeContent", &HdrGetInt<&Opts::hdr_exposure_time_content>,
             ReleaseGil())
        .def("SetHDRExposureTimeContent",
             &HdrSetInt<&Opts::hdr_exposure_time_content, kHdrExposureTimeMin,
                        kHdrExposureTimeMax>,
             ReleaseGil())
        .def("GetHDRGainContent", &HdrGetGain<&Opts::hdr_gain_content>, ReleaseGil())
        .def("SetHDRGainContent", &HdrSetGain<&Opts::hdr_gain_content>, ReleaseGil())
        .def("GetHDRScanTimesContent", &HdrGetInt<&Opts::hdr_scan_times_content>, ReleaseGil())
        .def("SetHDRScanTimesContent",
             &HdrSetInt<&Opts::hdr_scan_times_content, kX1HdrScanTimesMin, kX1HdrScanTimesMax>,
             ReleaseGil())
        .def("GetHDRProjectorBrightnessContent",
             &HdrGetInt<&Opts::hdr_projector_brightness_content>, ReleaseGil())
        .def("SetHDRProjectorBrightnessContent",
             &HdrSetInt<&Opts::hdr_projector_brightness_content, kHdrProjectorBrightnessMin,
                        kHdrProjectorBrightnessMax>,
             ReleaseGil())
        .def_readwrite("capture_mode", &Opts::capture_mode)
        .def_readwrite("confidence_threshold", &Opts::confidence_threshold)
        .def_readwrite("roi", &Opts::roi);

    // The matrix has no property: SetTransform writes it, and a record read
    // from the camera carries it back to SetCustomTransformation unchanged.
    py::class_<Transform>(m, "X1_CustomTransformOptions")
        .def(py::init<>(), ReleaseGil())
        .def_readwrite("coordinate_select", &Transform::coordinate_select)
        .def("SetTransform", &SetTransformFromArray<Transform>);
}

}  // namespace pyvyx
