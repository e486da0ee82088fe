"""What the camera and options tests need to know about the two camera
classes, X1 and X2: how to create one, their record types, where their
calls differ, and the defaults of their capture-options records. A test
written once for both takes a `Model` and asks it for these."""
from dataclasses import dataclass

import pytest

import PyVyx as vx


@dataclass(frozen=True)
class Model:
    name: str                   # the class name, also its operations' prefix in the trace
    cls: type
    options: type               # the capture-options record
    transform: type             # the custom-transform record
    coordinate: type            # the enumeration of the transform record's coordinate_select
    camera_coordinate: object   # the coordinate that keeps points in the capturing camera's frame
    create_args: tuple          # what Create takes after the device
    cid: tuple                  # the camera argument X2's per-camera calls take first; none on X1
    own_field: str              # a capture-options field the other model's record lacks
    defaults: tuple             # every capture-options property and its default, in registration order
    enum_fields: dict           # enumeration fields: (enumeration, a value other than the default)

    def create(self, device):
        return self.cls.Create(device, *self.create_args)

    def op(self, method):
        """The trace name of the SDK operation behind `method`."""
        return f"{self.name}::{method}"


X1 = Model(
    name="X1",
    cls=vx.X1,
    options=vx.X1_CaptureOptions,
    transform=vx.X1_CustomTransformOptions,
    coordinate=vx.X1CustomTransformCoordinate,
    camera_coordinate=vx.CoordinateSelect_Camera,
    create_args=(vx.CameraID_Left,),
    cid=(),
    own_field="filter_range",
    defaults=(
        ("calc_normal", False),
        ("calc_normal_radius", 5),
        ("light_contrast_threshold", 3),
        ("transform_to_camera", True),
        ("filter_range", 0),
        ("use_auto_noise_removal", True),
        ("noise_removal_distance", 0.0),
        ("noise_removal_point_number", 40),
        ("phase_filter_range", 0),
        ("projector_brightness", 240),
        ("exposure_time_2d", 11),
        ("exposure_time_3d", 11),
        ("gain_2d", 0.0),
        ("gain_3d", 0.0),
        ("gamma_2d", 1.0),
        ("gamma_3d", 1.0),
        ("hdr_exposure_times", 0),
        ("use_projector_capturing_2d_image", True),
        ("smoothness", vx.SmoothnessLevel_Off),
        ("downsample_distance", 0.0),
        ("scan_times", 1),
        ("truncate_z_min", -9999.0),
        ("truncate_z_max", 9999.0),
        ("use_auto_bilateral_filter", True),
        ("bilateral_filter_kernal_size", 0),
        ("bilateral_filter_depth_sigma", 0.0),
        ("bilateral_filter_space_sigma", 0.0),
        ("reflection_filter_threshold", 0),
        ("smooth_sigma", 1.75),
        ("enable_2d_in_capture", True),
        ("capture_mode", vx.CaptureMode_Normal),
        ("confidence_threshold", 0.0),
        ("roi", (0, 0, 0, 0)),
    ),
    enum_fields={
        "smoothness": (vx.SmoothnessLevel, vx.SmoothnessLevel_Strong),
        "capture_mode": (vx.CaptureMode, vx.CaptureMode_Fast),
    },
)

X2 = Model(
    name="X2",
    cls=vx.X2,
    options=vx.X2_CaptureOptions,
    transform=vx.X2_CustomTransformOptions,
    coordinate=vx.X2CustomTransformCoordinate,
    camera_coordinate=vx.CoordinateSelect_CameraLeft,
    create_args=(),
    cid=(vx.CameraID_Left,),
    own_field="line_scanner_laser_position",
    defaults=(
        ("transform_to_camera", vx.CameraID_Left),
        ("projector_brightness", 240),
        ("calc_normal", False),
        ("calc_normal_radius", 5),
        ("light_contrast_threshold", 3),
        ("edge_noise_reduction_threshold", 2),
        ("exposure_time_2d", 11),
        ("exposure_time_3d", 11),
        ("gain_2d", 0.0),
        ("gain_3d", 0.0),
        ("hdr_exposure_times", 0),
        ("gamma_2d", 1.0),
        ("gamma_3d", 1.0),
        ("projector_color", vx.ProjectorColor_Blue),
        ("use_projector_capturing_2d_image", True),
        ("smoothness", vx.SmoothnessLevel_Off),
        ("use_auto_noise_removal", True),
        ("noise_removal_distance", 0.0),
        ("noise_removal_point_number", 40),
        ("downsample_distance", 0.0),
        ("capture_mode", vx.CaptureMode_Normal),
        ("confidence_threshold", 0.0),
        ("scan_times", 1),
        ("bilateral_filter_kernal_size", 0),
        ("bilateral_filter_depth_sigma", 0.0),
        ("bilateral_filter_space_sigma", 0.0),
        ("line_scanner_scan_time_ms", 1000),
        ("line_scanner_exposure_time_us", 300),
        ("line_scanner_min_distance", 0),
        ("line_scanner_max_distance", 0),
        ("correspond2d", False),
        ("line_scanner_laser_position", 32768),
        ("use_auto_bilateral_filter", True),
        ("reflection_filter_threshold", 0),
        ("smooth_sigma", 1.75),
        ("roi", (0, 0, 0, 0)),
        ("enable_2d_in_capture", True),
        ("pointcloud_completion", False),
        ("line_scanner_brightness_threshold", 5),
        ("trigger_mode", vx.TriggerMode_SoftWare),
        ("encoder_trigger_interval", 8),
        ("truncate_z_min", -29999.0),
        ("truncate_z_max", 29999.0),
        ("line_scanner_confidence", 0.72),
        ("fixed_rate", 1.0),
        ("auto_set_fixed_rate", True),
        ("enable_transfer_control", False),
    ),
    enum_fields={
        "transform_to_camera": (vx.CameraID, vx.CameraID_Right),
        "projector_color": (vx.ProjectorColor, vx.ProjectorColor_Red),
        "smoothness": (vx.SmoothnessLevel, vx.SmoothnessLevel_Strong),
        "capture_mode": (vx.CaptureMode, vx.CaptureMode_Fast),
        "trigger_mode": (vx.TriggerMode, vx.TriggerMode_FixedRate),
    },
)

MODELS = (X1, X2)
BY_NAME = {m.name: m for m in MODELS}


def each(cases):
    """Expands cases written as (model names, *values) into one
    (Model, *values) per named model, for parametrising over both models
    where some cases apply to one only."""
    return [(BY_NAME[name], *values) for names, *values in cases for name in names.split()]


def case_id(value):
    """Test ids that name the model rather than numbering it."""
    return value.name if isinstance(value, Model) else None


def over_models(argnames, table, ids=case_id):
    """Parametrises a test over a table of (Model, *values) cases, `argnames`
    naming the values; each case's Model replaces the params of the test
    module's `model` fixture."""
    return pytest.mark.parametrize("model," + argnames, table, indirect=["model"], ids=ids)


def plain_field(name, value):
    """A capture-options field as a comparable value (the ROI as a tuple)."""
    return (value.x, value.y, value.width, value.height) if name == "roi" else value


def snapshot(opts):
    """Every field and HDR entry of a capture-options record, as plain values."""
    values = {}
    for name in vars(type(opts)):
        if name.startswith(("_", "GetHDR", "SetHDR")):
            continue
        v = plain_field(name, getattr(opts, name))
        if not isinstance(v, (bool, int, float, tuple)):
            v = (type(v).__name__, int(v))
        values[name] = v
    for table in ("ExposureTime", "Gain", "ScanTimes", "ProjectorBrightness"):
        values[table] = [getattr(opts, f"GetHDR{table}Content")(i) for i in range(3)]
    return values
