"""X1_CaptureOptions and X1_CustomTransformOptions as Python sees them: defaults,
registration order, the bounded HDR accessors, references into the record and
argument conversion."""
import gc
import math
import weakref

import numpy as np
import pytest

import PyVyx as vx

# Every property of a new record with its default, in registration order.
DEFAULTS = [
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
]

HDR_METHODS = [
    "GetHDRExposureTimeContent", "SetHDRExposureTimeContent",
    "GetHDRGainContent", "SetHDRGainContent",
    "GetHDRScanTimesContent", "SetHDRScanTimesContent",
    "GetHDRProjectorBrightnessContent", "SetHDRProjectorBrightnessContent",
]


def public_names(cls):
    return [n for n in vars(cls) if not n.startswith("_")]


def test_registration_order():
    names = [n for n, _ in DEFAULTS]
    expected = names[:30] + HDR_METHODS + names[30:] + ["roi"]
    assert public_names(vx.X1_CaptureOptions) == expected
    assert public_names(vx.X1_CustomTransformOptions) == ["coordinate_select", "SetTransform"]


@pytest.mark.parametrize("name,expected", DEFAULTS, ids=[n for n, _ in DEFAULTS])
def test_new_record_defaults(name, expected):
    value = getattr(vx.X1_CaptureOptions(), name)
    assert value == expected
    assert type(value) is type(expected)


def test_new_record_roi_and_transform_defaults():
    roi = vx.X1_CaptureOptions().roi
    assert (roi.x, roi.y, roi.width, roi.height) == (0, 0, 0, 0)
    t = vx.X1_CustomTransformOptions()
    assert t.coordinate_select == vx.X1CustomTransformCoordinate.CoordinateSelect_Disabled


def test_enum_properties_named_by_native_type_in_help():
    # The enumerations are registered after the class.
    assert "Vyx::SmoothnessLevel" in vx.X1_CaptureOptions.smoothness.fget.__doc__
    assert "Vyx::CaptureMode" in vx.X1_CaptureOptions.capture_mode.fget.__doc__
    assert "ROI" in vx.X1_CaptureOptions.roi.fget.__doc__


@pytest.mark.parametrize("getter,expected", [
    ("GetHDRExposureTimeContent", [11, 20, 50]),
    ("GetHDRGainContent", [0.0, 0.0, 0.0]),
    ("GetHDRScanTimesContent", [1, 1, 1]),
    ("GetHDRProjectorBrightnessContent", [240, 240, 240]),
])
def test_hdr_tables_of_a_new_record(getter, expected):
    o = vx.X1_CaptureOptions()
    assert [getattr(o, getter)(i) for i in range(3)] == expected
    for bad in (3, -1, 2**31 - 1, -2**31):
        assert getattr(o, getter)(bad) == -1
    assert type(getattr(o, getter)(3)) is type(expected[0])


HDR_SETS = [
    # (setter, getter, index, value, accepted)
    ("SetHDRExposureTimeContent", "GetHDRExposureTimeContent", 2, 3, True),
    ("SetHDRExposureTimeContent", "GetHDRExposureTimeContent", 2, 100, True),
    ("SetHDRExposureTimeContent", "GetHDRExposureTimeContent", 2, 2, False),
    ("SetHDRExposureTimeContent", "GetHDRExposureTimeContent", 2, 101, False),
    ("SetHDRExposureTimeContent", "GetHDRExposureTimeContent", 0, -2**31, False),
    ("SetHDRExposureTimeContent", "GetHDRExposureTimeContent", 0, 2**31 - 1, False),
    ("SetHDRScanTimesContent", "GetHDRScanTimesContent", 0, 1, False),
    ("SetHDRScanTimesContent", "GetHDRScanTimesContent", 0, 2, True),
    ("SetHDRScanTimesContent", "GetHDRScanTimesContent", 1, 4, True),
    ("SetHDRScanTimesContent", "GetHDRScanTimesContent", 1, 5, False),
    ("SetHDRScanTimesContent", "GetHDRScanTimesContent", 2, -3, False),
    ("SetHDRProjectorBrightnessContent", "GetHDRProjectorBrightnessContent", 1, 240, True),
    ("SetHDRProjectorBrightnessContent", "GetHDRProjectorBrightnessContent", 1, 1, True),
    ("SetHDRProjectorBrightnessContent", "GetHDRProjectorBrightnessContent", 1, 241, False),
    ("SetHDRProjectorBrightnessContent", "GetHDRProjectorBrightnessContent", 1, 0, False),
    ("SetHDRGainContent", "GetHDRGainContent", 0, 20.0, True),
    ("SetHDRGainContent", "GetHDRGainContent", 0, 0.0, True),
    ("SetHDRGainContent", "GetHDRGainContent", 0, -0.0, True),
    ("SetHDRGainContent", "GetHDRGainContent", 0, 20.0000001, True),  # narrows to 20.0f
    ("SetHDRGainContent", "GetHDRGainContent", 1, 7.25, True),
    ("SetHDRGainContent", "GetHDRGainContent", 0, 20.00001, False),
    ("SetHDRGainContent", "GetHDRGainContent", 0, -0.5, False),
    ("SetHDRGainContent", "GetHDRGainContent", 0, math.nan, False),
    ("SetHDRGainContent", "GetHDRGainContent", 0, math.inf, False),
]


@pytest.mark.parametrize("setter,getter,index,value,accepted", HDR_SETS)
def test_hdr_setter_bounds(setter, getter, index, value, accepted):
    o = vx.X1_CaptureOptions()
    before = [getattr(o, getter)(i) for i in range(3)]
    assert getattr(o, setter)(index, value) is accepted
    after = [getattr(o, getter)(i) for i in range(3)]
    if accepted:
        expected = before.copy()
        expected[index] = float(np.float32(value)) if isinstance(value, float) else value
        assert after == expected
    else:
        assert after == before


@pytest.mark.parametrize("setter,value", [
    ("SetHDRExposureTimeContent", 50),
    ("SetHDRGainContent", 1.0),
    ("SetHDRScanTimesContent", 3),
    ("SetHDRProjectorBrightnessContent", 100),
])
@pytest.mark.parametrize("index", [3, -1, -2**31, 2**31 - 1])
def test_hdr_setter_refuses_bad_index(setter, value, index):
    o = vx.X1_CaptureOptions()
    assert getattr(o, setter)(index, value) is False
    getter = setter.replace("Set", "Get", 1)
    assert [getattr(o, getter)(i) for i in range(3)] == \
        [getattr(vx.X1_CaptureOptions(), getter)(i) for i in range(3)]


@pytest.mark.parametrize("call", [
    lambda o: o.GetHDRExposureTimeContent(2**31),
    lambda o: o.SetHDRExposureTimeContent(0, 2**31),
    lambda o: o.SetHDRGainContent(0, "1"),
    lambda o: o.GetHDRGainContent(0.0),
    lambda o: o.SetHDRScanTimesContent(index=0, value=3),  # positional only
])
def test_hdr_argument_conversion_errors(call):
    with pytest.raises(TypeError):
        call(vx.X1_CaptureOptions())


def test_roi_is_a_reference_into_the_record():
    o = vx.X1_CaptureOptions()
    o.roi.x = 7
    r = o.roi
    r.width = 640
    assert (o.roi.x, o.roi.width) == (7, 640)
    # The view keeps the record alive.
    alive = weakref.ref(o)
    del o
    gc.collect()
    assert alive() is not None
    assert r.x == 7
    del r
    gc.collect()
    assert alive() is None


def test_roi_assignment_copies_the_value():
    o = vx.X1_CaptureOptions()
    roi = vx.ROI(1, 2, 3, 4)
    o.roi = roi
    roi.x = 99
    assert (o.roi.x, o.roi.y, o.roi.width, o.roi.height) == (1, 2, 3, 4)


@pytest.mark.parametrize("name,first,second", [
    ("capture_mode", vx.CaptureMode_Normal, vx.CaptureMode_Fast),
    ("smoothness", vx.SmoothnessLevel_Off, vx.SmoothnessLevel_Strong),
])
def test_enum_properties_are_views(name, first, second):
    o = vx.X1_CaptureOptions()
    seen = getattr(o, name)
    assert seen == first
    setattr(o, name, second)
    assert seen == second


def test_custom_transform_coordinate_is_a_view():
    t = vx.X1_CustomTransformOptions()
    seen = t.coordinate_select
    t.coordinate_select = vx.CoordinateSelect_Camera
    assert seen == vx.CoordinateSelect_Camera
    assert seen.value == 1


def test_float32_and_float64_fields():
    o = vx.X1_CaptureOptions()
    o.gain_2d = 0.1
    o.gamma_3d = 0.1
    o.noise_removal_distance = 0.1
    assert o.gain_2d == 0.10000000149011612
    assert o.gamma_3d == 0.10000000149011612
    assert o.noise_removal_distance == 0.1


@pytest.mark.parametrize("name,value", [
    ("exposure_time_2d", "5"),
    ("exposure_time_3d", 2**31),
    ("filter_range", -2**31 - 1),
    ("projector_brightness", 1.5),
    ("calc_normal_radius", -1),
    ("calc_normal_radius", 2**32),
    ("smoothness", 1),
    ("capture_mode", 2),
    ("smoothness", vx.CaptureMode_Fast),
    ("roi", None),
    ("roi", (0, 0, 1, 1)),
    ("gain_2d", "0.5"),
])
def test_wrong_kind_of_value_raises_and_keeps_the_field(name, value):
    o = vx.X1_CaptureOptions()
    before = getattr(o, name)
    before = (before.x, before.y, before.width, before.height) if name == "roi" else before
    with pytest.raises(TypeError):
        setattr(o, name, value)
    after = getattr(o, name)
    after = (after.x, after.y, after.width, after.height) if name == "roi" else after
    assert after == before


@pytest.mark.parametrize("name,value", [
    ("exposure_time_2d", -2**31),
    ("filter_range", 2**31 - 1),
    ("calc_normal_radius", 2**32 - 1),
    ("projector_brightness", np.int64(17)),  # index protocol
])
def test_integer_fields_take_their_full_range(name, value):
    o = vx.X1_CaptureOptions()
    setattr(o, name, value)
    assert getattr(o, name) == value


def test_records_have_no_dynamic_attributes():
    with pytest.raises(AttributeError):
        vx.X1_CaptureOptions().not_a_field = 1
    with pytest.raises(AttributeError):
        vx.X1_CustomTransformOptions().transform = None


@pytest.mark.parametrize("size", [0, 9, 15, 17, 32])
def test_set_transform_refuses_other_sizes(size):
    t = vx.X1_CustomTransformOptions()
    with pytest.raises(ValueError, match=f"got {size}"):
        t.SetTransform(np.zeros(size))


@pytest.mark.parametrize("arg", [None, 1.0, np.float32(2.0)])
def test_set_transform_refuses_scalars(arg):
    # A scalar converts to a 0-d array of one value.
    with pytest.raises(ValueError, match="got 1"):
        vx.X1_CustomTransformOptions().SetTransform(arg)


@pytest.mark.parametrize("arg", ["abc", object(), [[1, 2], [3]]])
def test_set_transform_refuses_non_numbers(arg):
    with pytest.raises(TypeError):
        vx.X1_CustomTransformOptions().SetTransform(arg)
