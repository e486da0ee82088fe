"""X2_CaptureOptions and X2_CustomTransformOptions as Python sees them:
defaults of every field, registration order, the bounded HDR accessors,
references into the record, field widths and argument conversion."""
import gc
import math
import weakref

import numpy as np
import pytest

import PyVyx as vx

# Every property of a new record with its default, in declaration order.
DEFAULTS = [
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
]

HDR_METHODS = [
    "GetHDRExposureTimeContent", "SetHDRExposureTimeContent",
    "GetHDRGainContent", "SetHDRGainContent",
    "GetHDRProjectorBrightnessContent", "SetHDRProjectorBrightnessContent",
    "SetHDRScanTimesContent", "GetHDRScanTimesContent",
]

ENUM_FIELDS = {
    "transform_to_camera": (vx.CameraID, vx.CameraID_Right),
    "projector_color": (vx.ProjectorColor, vx.ProjectorColor_Red),
    "smoothness": (vx.SmoothnessLevel, vx.SmoothnessLevel_Strong),
    "capture_mode": (vx.CaptureMode, vx.CaptureMode_Fast),
    "trigger_mode": (vx.TriggerMode, vx.TriggerMode_FixedRate),
}


def public_names(cls):
    return [n for n in vars(cls) if not n.startswith("_")]


def plain(name, value):
    return (value.x, value.y, value.width, value.height) if name == "roi" else value


def test_registration_order():
    assert public_names(vx.X2_CaptureOptions) == [n for n, _ in DEFAULTS] + HDR_METHODS
    assert public_names(vx.X2_CustomTransformOptions) == ["coordinate_select", "SetTransform"]


@pytest.mark.parametrize("name,expected", DEFAULTS, ids=[n for n, _ in DEFAULTS])
def test_new_record_defaults(name, expected):
    value = plain(name, getattr(vx.X2_CaptureOptions(), name))
    assert value == expected
    assert type(value) is type(expected)


def test_transform_to_camera_default_is_left_camera_zero():
    value = vx.X2_CaptureOptions().transform_to_camera
    assert value == vx.CameraID_Left and value == vx.CameraID_0
    assert value.value == 1
    assert vx.X2_CustomTransformOptions().coordinate_select == \
        vx.X2CustomTransformCoordinate.CoordinateSelect_Disabled


@pytest.mark.parametrize("getter,expected", [
    ("GetHDRExposureTimeContent", [11, 20, 50]),
    ("GetHDRGainContent", [0.0, 0.0, 0.0]),
    ("GetHDRProjectorBrightnessContent", [240, 240, 240]),
    ("GetHDRScanTimesContent", [1, 1, 1]),
])
def test_hdr_tables_of_a_new_record(getter, expected):
    o = vx.X2_CaptureOptions()
    assert [getattr(o, getter)(i) for i in range(3)] == expected
    for bad in (3, -1, 2**31 - 1, -2**31):
        assert getattr(o, getter)(bad) == -1
    assert type(getattr(o, getter)(3)) is type(expected[0])


HDR_SETS = [
    # (setter, index, value, accepted)
    ("SetHDRExposureTimeContent", 0, 2, False),
    ("SetHDRExposureTimeContent", 0, 101, False),
    ("SetHDRExposureTimeContent", 0, 3, True),
    ("SetHDRExposureTimeContent", 0, 100, True),
    ("SetHDRExposureTimeContent", 1, -2**31, False),
    ("SetHDRGainContent", 1, 20.0, True),
    ("SetHDRGainContent", 1, 0.0, True),
    ("SetHDRGainContent", 1, -0.0, True),
    ("SetHDRGainContent", 1, 20.0000001, True),  # narrows to 20.0f
    ("SetHDRGainContent", 2, 3.3, True),
    ("SetHDRGainContent", 1, 20.5, False),
    ("SetHDRGainContent", 1, -0.1, False),
    ("SetHDRGainContent", 1, math.nan, False),
    ("SetHDRGainContent", 1, math.inf, False),
    ("SetHDRProjectorBrightnessContent", 2, 0, False),
    ("SetHDRProjectorBrightnessContent", 2, 241, False),
    ("SetHDRProjectorBrightnessContent", 2, 1, True),
    ("SetHDRProjectorBrightnessContent", 2, 240, True),
    ("SetHDRScanTimesContent", 0, 0, False),
    ("SetHDRScanTimesContent", 0, 9, False),
    ("SetHDRScanTimesContent", 0, 8, True),
    ("SetHDRScanTimesContent", 1, 1, True),
    ("SetHDRScanTimesContent", 2, 5, True),
    ("SetHDRScanTimesContent", 2, -1, False),
    ("SetHDRScanTimesContent", 3, 1, False),
    ("SetHDRScanTimesContent", -1, 4, False),
]


@pytest.mark.parametrize("setter,index,value,accepted", HDR_SETS)
def test_hdr_setter_bounds(setter, index, value, accepted):
    getter = setter.replace("Set", "Get", 1)
    o = vx.X2_CaptureOptions()
    o.SetHDRScanTimesContent(1, 6)  # a start that differs from the value 1 written above
    before = [getattr(o, getter)(i) for i in range(3)]
    assert getattr(o, setter)(index, value) is accepted
    after = [getattr(o, getter)(i) for i in range(3)]
    if accepted:
        expected = before.copy()
        expected[index] = float(np.float32(value)) if isinstance(value, float) else value
        assert after == expected
    else:
        assert after == before


@pytest.mark.parametrize("call", [
    lambda o: o.GetHDRScanTimesContent(2**31),
    lambda o: o.SetHDRScanTimesContent(0, 2**31),
    lambda o: o.SetHDRGainContent(0, "1"),
    lambda o: o.GetHDRProjectorBrightnessContent(0.0),
    lambda o: o.SetHDRScanTimesContent(index=0, value=3),  # positional only
    lambda o: o.SetHDRExposureTimeContent(0),
])
def test_hdr_argument_conversion_errors(call):
    with pytest.raises(TypeError):
        call(vx.X2_CaptureOptions())


@pytest.mark.parametrize("value", [0, 1, 65535, np.uint16(4096)])
def test_laser_position_takes_the_uint16_range(value):
    o = vx.X2_CaptureOptions()
    o.line_scanner_laser_position = value
    assert o.line_scanner_laser_position == value


@pytest.mark.parametrize("name,value", [
    ("line_scanner_laser_position", 65536),
    ("line_scanner_laser_position", -1),
    ("line_scanner_laser_position", 1.0),
    ("calc_normal_radius", -1),
    ("calc_normal_radius", 2**32),
    ("exposure_time_3d", 2**31),
    ("encoder_trigger_interval", -2**31 - 1),
    ("line_scanner_scan_time_ms", "1000"),
    ("transform_to_camera", 1),
    ("transform_to_camera", True),
    ("projector_color", vx.CameraID_Left),
    ("trigger_mode", 0),
    ("roi", None),
    ("roi", (0, 0, 1, 1)),
    ("fixed_rate", "1.0"),
    ("gain_3d", None),
])
def test_wrong_kind_of_value_raises_and_keeps_the_field(name, value):
    o = vx.X2_CaptureOptions()
    before = plain(name, getattr(o, name))
    with pytest.raises(TypeError):
        setattr(o, name, value)
    assert plain(name, getattr(o, name)) == before


@pytest.mark.parametrize("name,value", [
    ("exposure_time_2d", -2**31),
    ("line_scanner_max_distance", 2**31 - 1),
    ("calc_normal_radius", 2**32 - 1),
    ("encoder_trigger_interval", np.int64(17)),  # index protocol
])
def test_integer_fields_take_their_full_range(name, value):
    o = vx.X2_CaptureOptions()
    setattr(o, name, value)
    assert getattr(o, name) == value


def test_float32_and_float64_fields():
    o = vx.X2_CaptureOptions()
    for name in ("gain_2d", "gain_3d", "gamma_2d", "gamma_3d"):
        setattr(o, name, 0.1)
        assert getattr(o, name) == 0.10000000149011612
    for name in ("line_scanner_confidence", "fixed_rate", "smooth_sigma", "truncate_z_min"):
        setattr(o, name, 0.1)
        assert getattr(o, name) == 0.1


def test_fields_do_not_overlap():
    # Writing each field leaves every other field at its default: every
    # property reaches its own member of the record.
    for name, default in DEFAULTS:
        o = vx.X2_CaptureOptions()
        if name in ENUM_FIELDS:
            new = ENUM_FIELDS[name][1]
        elif name == "roi":
            new = vx.ROI(1, 2, 3, 4)
        elif isinstance(default, bool):
            new = not default
        elif isinstance(default, float):
            new = default + 0.5
        else:
            new = default + 1
        setattr(o, name, new)
        assert plain(name, getattr(o, name)) == plain(name, new)
        others = [(n, plain(n, getattr(o, n))) for n, _ in DEFAULTS if n != name]
        assert others == [(n, d) for n, d in DEFAULTS if n != name], name
        assert [o.GetHDRScanTimesContent(i) for i in range(3)] == [1, 1, 1]
        assert [o.GetHDRExposureTimeContent(i) for i in range(3)] == [11, 20, 50]


def test_roi_is_a_reference_into_the_record():
    o = vx.X2_CaptureOptions()
    o.roi.x = 10
    r = o.roi
    r.height = 480
    assert (o.roi.x, o.roi.height) == (10, 480)
    alive = weakref.ref(o)
    del o
    gc.collect()
    assert alive() is not None  # the ROI read keeps the record alive
    assert r.x == 10
    del r
    gc.collect()
    assert alive() is None


def test_roi_assignment_copies_the_value():
    o = vx.X2_CaptureOptions()
    roi = vx.ROI(1, 2, 3, 4)
    o.roi = roi
    roi.x = 99
    assert plain("roi", o.roi) == (1, 2, 3, 4)


@pytest.mark.parametrize("name", sorted(ENUM_FIELDS))
def test_enum_properties_are_views(name):
    cls, other = ENUM_FIELDS[name]
    o = vx.X2_CaptureOptions()
    seen = getattr(o, name)
    first = int(seen)
    assert isinstance(seen, cls)
    setattr(o, name, other)
    assert seen == other and int(seen) != first
    alive = weakref.ref(o)
    del o
    gc.collect()
    assert alive() is not None


def test_custom_transform_coordinate_is_a_view():
    t = vx.X2_CustomTransformOptions()
    seen = t.coordinate_select
    t.coordinate_select = vx.CoordinateSelect_CameraRight
    assert seen == vx.CoordinateSelect_CameraRight and seen.value == 2
    with pytest.raises(TypeError):
        t.coordinate_select = vx.X1CustomTransformCoordinate.CoordinateSelect_Camera
    with pytest.raises(TypeError):
        t.coordinate_select = 1


def test_records_have_no_dynamic_attributes():
    with pytest.raises(AttributeError):
        vx.X2_CaptureOptions().filter_range = 1  # an X1 field only
    with pytest.raises(AttributeError):
        vx.X2_CustomTransformOptions().transform = None


@pytest.mark.parametrize("matrix", [
    np.eye(4),
    np.arange(16),
    np.arange(16, dtype=np.float32).reshape(2, 8),
    np.asfortranarray(np.eye(4)),
    np.eye(8)[::2, ::2],
    [[1, 0, 0, 0]] * 4,
], ids=["4x4", "flat-int", "2x8-float32", "fortran", "strided", "list"])
def test_set_transform_accepts_any_shape_of_16(matrix):
    t = vx.X2_CustomTransformOptions()
    t.coordinate_select = vx.CoordinateSelect_CaliBoard
    assert t.SetTransform(matrix) is None
    assert t.coordinate_select == vx.CoordinateSelect_CaliBoard


@pytest.mark.parametrize("arg,count", [
    (np.zeros(15), 15), (np.zeros(17), 17), (np.zeros((4, 3)), 12), (np.zeros((0,)), 0),
    (np.eye(5), 25), (2.0, 1), (None, 1),
])
def test_set_transform_refuses_other_counts(arg, count):
    with pytest.raises(ValueError, match=f"got {count}$"):
        vx.X2_CustomTransformOptions().SetTransform(arg)


@pytest.mark.parametrize("arg", ["abc", object(), [[1, 2], [3]]])
def test_set_transform_refuses_non_numbers(arg):
    with pytest.raises(TypeError):
        vx.X2_CustomTransformOptions().SetTransform(arg)
