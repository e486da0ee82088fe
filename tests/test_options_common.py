"""The capture-options and custom-transform records of X1 and X2 as Python
sees them, where both behave alike: defaults of every field, the bounded HDR
accessors, references into the record, field widths and argument
conversion. Registration order and what one record alone has are in
test_x1_options.py and test_x2_options.py."""
import gc
import math
import weakref

import numpy as np
import pytest

import PyVyx as vx
from cameras import MODELS, case_id, each, over_models, plain_field


@pytest.fixture(params=MODELS, ids=case_id)
def model(request):
    return request.param


def other(model):
    """The other camera model."""
    return next(m for m in MODELS if m is not model)


# ---------------------------------------------------------------------------
# New records


@over_models("name,expected", [(m, n, v) for m in MODELS for n, v in m.defaults])
def test_new_record_defaults(model, name, expected):
    value = plain_field(name, getattr(model.options(), name))
    assert value == expected
    assert type(value) is type(expected)


def test_new_transform_record_is_disabled(model):
    assert model.transform().coordinate_select == model.coordinate.CoordinateSelect_Disabled


def test_fields_do_not_overlap(model):
    # Writing each field leaves every other field at its default: every
    # property reaches its own member of the record.
    for name, default in model.defaults:
        o = model.options()
        if name in model.enum_fields:
            new = model.enum_fields[name][1]
        elif name == "roi":
            new = vx.ROI(1, 2, 3, 4)
        elif isinstance(default, bool):
            new = not default
        elif isinstance(default, float):
            new = default + 0.5
        else:
            new = default + 1
        setattr(o, name, new)
        assert plain_field(name, getattr(o, name)) == plain_field(name, new)
        others = [(n, plain_field(n, getattr(o, n))) for n, _ in model.defaults if n != name]
        assert others == [(n, d) for n, d in model.defaults if n != name], name
        assert [o.GetHDRScanTimesContent(i) for i in range(3)] == [1, 1, 1]
        assert [o.GetHDRExposureTimeContent(i) for i in range(3)] == [11, 20, 50]


# ---------------------------------------------------------------------------
# HDR tables


@pytest.mark.parametrize("getter,expected", [
    ("GetHDRExposureTimeContent", [11, 20, 50]),
    ("GetHDRGainContent", [0.0, 0.0, 0.0]),
    ("GetHDRScanTimesContent", [1, 1, 1]),
    ("GetHDRProjectorBrightnessContent", [240, 240, 240]),
])
def test_hdr_tables_of_a_new_record(model, getter, expected):
    o = model.options()
    assert [getattr(o, getter)(i) for i in range(3)] == expected
    for bad in (3, -1, 2**31 - 1, -2**31):
        assert getattr(o, getter)(bad) == -1
    assert type(getattr(o, getter)(3)) is type(expected[0])


HDR_SETS = each([
    # (models, setter, index, value, accepted)
    ("X1 X2", "SetHDRExposureTimeContent", 2, 3, True),
    ("X1 X2", "SetHDRExposureTimeContent", 0, 3, True),
    ("X1 X2", "SetHDRExposureTimeContent", 2, 100, True),
    ("X1 X2", "SetHDRExposureTimeContent", 0, 100, True),
    ("X1 X2", "SetHDRExposureTimeContent", 2, 2, False),
    ("X1 X2", "SetHDRExposureTimeContent", 0, 2, False),
    ("X1 X2", "SetHDRExposureTimeContent", 2, 101, False),
    ("X1 X2", "SetHDRExposureTimeContent", 0, 101, False),
    ("X1 X2", "SetHDRExposureTimeContent", 0, -2**31, False),
    ("X1 X2", "SetHDRExposureTimeContent", 1, -2**31, False),
    ("X1 X2", "SetHDRExposureTimeContent", 0, 2**31 - 1, False),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 1, 240, True),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 2, 240, True),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 1, 1, True),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 2, 1, True),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 1, 241, False),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 2, 241, False),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 1, 0, False),
    ("X1 X2", "SetHDRProjectorBrightnessContent", 2, 0, False),
    ("X1 X2", "SetHDRGainContent", 0, 20.0, True),
    ("X1 X2", "SetHDRGainContent", 1, 20.0, True),
    ("X1 X2", "SetHDRGainContent", 0, 0.0, True),
    ("X1 X2", "SetHDRGainContent", 1, 0.0, True),
    ("X1 X2", "SetHDRGainContent", 0, -0.0, True),
    ("X1 X2", "SetHDRGainContent", 1, -0.0, True),
    ("X1 X2", "SetHDRGainContent", 0, 20.0000001, True),  # narrows to 20.0f
    ("X1 X2", "SetHDRGainContent", 1, 20.0000001, True),
    ("X1 X2", "SetHDRGainContent", 1, 7.25, True),
    ("X1 X2", "SetHDRGainContent", 2, 3.3, True),
    ("X1 X2", "SetHDRGainContent", 0, 20.00001, False),
    ("X1 X2", "SetHDRGainContent", 1, 20.5, False),
    ("X1 X2", "SetHDRGainContent", 0, -0.5, False),
    ("X1 X2", "SetHDRGainContent", 1, -0.1, False),
    ("X1 X2", "SetHDRGainContent", 0, math.nan, False),
    ("X1 X2", "SetHDRGainContent", 1, math.nan, False),
    ("X1 X2", "SetHDRGainContent", 0, math.inf, False),
    ("X1 X2", "SetHDRGainContent", 1, math.inf, False),
    # The scan-time bounds differ: 2 to 4 on X1, 1 to 8 on X2.
    ("X1", "SetHDRScanTimesContent", 0, 1, False),
    ("X1 X2", "SetHDRScanTimesContent", 0, 2, True),
    ("X1", "SetHDRScanTimesContent", 1, 4, True),
    ("X1", "SetHDRScanTimesContent", 1, 5, False),
    ("X1", "SetHDRScanTimesContent", 2, -3, False),
    ("X2", "SetHDRScanTimesContent", 0, 0, False),
    ("X2", "SetHDRScanTimesContent", 0, 9, False),
    ("X2", "SetHDRScanTimesContent", 0, 8, True),
    ("X2", "SetHDRScanTimesContent", 1, 1, True),
    ("X2", "SetHDRScanTimesContent", 2, 5, True),
    ("X2", "SetHDRScanTimesContent", 2, -1, False),
    ("X1 X2", "SetHDRScanTimesContent", 3, 1, False),
    ("X1 X2", "SetHDRScanTimesContent", -1, 4, False),
])


@over_models("setter,index,value,accepted", HDR_SETS)
def test_hdr_setter_bounds(model, setter, index, value, accepted):
    getter = setter.replace("Set", "Get", 1)
    o = model.options()
    # A start other than the default 1, so that writing 1 shows.
    assert o.SetHDRScanTimesContent(1, 3)
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
def test_hdr_setter_refuses_bad_index(model, setter, value, index):
    o = model.options()
    assert getattr(o, setter)(index, value) is False
    getter = setter.replace("Set", "Get", 1)
    assert [getattr(o, getter)(i) for i in range(3)] == \
        [getattr(model.options(), getter)(i) for i in range(3)]


@pytest.mark.parametrize("call", [
    lambda o: o.GetHDRExposureTimeContent(2**31),
    lambda o: o.GetHDRScanTimesContent(2**31),
    lambda o: o.SetHDRExposureTimeContent(0, 2**31),
    lambda o: o.SetHDRScanTimesContent(0, 2**31),
    lambda o: o.SetHDRGainContent(0, "1"),
    lambda o: o.GetHDRGainContent(0.0),
    lambda o: o.GetHDRProjectorBrightnessContent(0.0),
    lambda o: o.SetHDRScanTimesContent(index=0, value=3),  # positional only
    lambda o: o.SetHDRExposureTimeContent(0),
])
def test_hdr_argument_conversion_errors(model, call):
    with pytest.raises(TypeError):
        call(model.options())


# ---------------------------------------------------------------------------
# References into the record


def test_roi_is_a_reference_into_the_record(model):
    o = model.options()
    o.roi.x = 7
    r = o.roi
    r.width = 640
    r.height = 480
    assert (o.roi.x, o.roi.width, o.roi.height) == (7, 640, 480)
    # The view keeps the record alive.
    alive = weakref.ref(o)
    del o
    gc.collect()
    assert alive() is not None
    assert r.x == 7
    del r
    gc.collect()
    assert alive() is None


def test_roi_assignment_copies_the_value(model):
    o = model.options()
    roi = vx.ROI(1, 2, 3, 4)
    o.roi = roi
    roi.x = 99
    assert plain_field("roi", o.roi) == (1, 2, 3, 4)


@over_models("name", [(m, n) for m in MODELS for n in sorted(m.enum_fields)])
def test_enum_properties_are_views(model, name):
    cls, other_value = model.enum_fields[name]
    o = model.options()
    seen = getattr(o, name)
    first = int(seen)
    assert isinstance(seen, cls)
    setattr(o, name, other_value)
    assert seen == other_value and int(seen) != first
    alive = weakref.ref(o)
    del o
    gc.collect()
    assert alive() is not None


@over_models("coordinate,value", each([
    ("X1", "CoordinateSelect_Camera", 1),
    ("X2", "CoordinateSelect_CameraRight", 2),
]))
def test_custom_transform_coordinate_is_a_view(model, coordinate, value):
    t = model.transform()
    seen = t.coordinate_select
    t.coordinate_select = getattr(model.coordinate, coordinate)
    assert seen == getattr(model.coordinate, coordinate) and seen.value == value
    # Neither the other record's coordinates nor plain numbers are taken.
    with pytest.raises(TypeError):
        t.coordinate_select = other(model).camera_coordinate
    with pytest.raises(TypeError):
        t.coordinate_select = 1


# ---------------------------------------------------------------------------
# Field widths and conversions


@pytest.mark.parametrize("name", ["gain_2d", "gain_3d", "gamma_2d", "gamma_3d"])
def test_float32_fields_narrow(model, name):
    o = model.options()
    setattr(o, name, 0.1)
    assert getattr(o, name) == 0.10000000149011612


@over_models("name", each([
    ("X1 X2", "noise_removal_distance"), ("X1 X2", "smooth_sigma"),
    ("X1 X2", "truncate_z_min"), ("X2", "line_scanner_confidence"), ("X2", "fixed_rate"),
]))
def test_float64_fields_keep_the_value(model, name):
    o = model.options()
    setattr(o, name, 0.1)
    assert getattr(o, name) == 0.1


@over_models("name,value", each([
    ("X1 X2", "exposure_time_2d", "5"),
    ("X1 X2", "exposure_time_3d", 2**31),
    ("X1", "filter_range", -2**31 - 1),
    ("X2", "encoder_trigger_interval", -2**31 - 1),
    ("X1 X2", "projector_brightness", 1.5),
    ("X1 X2", "calc_normal_radius", -1),
    ("X1 X2", "calc_normal_radius", 2**32),
    ("X2", "line_scanner_laser_position", 65536),
    ("X2", "line_scanner_laser_position", -1),
    ("X2", "line_scanner_laser_position", 1.0),
    ("X2", "line_scanner_scan_time_ms", "1000"),
    ("X1 X2", "smoothness", 1),
    ("X1 X2", "capture_mode", 2),
    ("X1 X2", "smoothness", vx.CaptureMode_Fast),
    ("X2", "transform_to_camera", 1),
    ("X2", "transform_to_camera", True),
    ("X2", "projector_color", vx.CameraID_Left),
    ("X2", "trigger_mode", 0),
    ("X1 X2", "roi", None),
    ("X1 X2", "roi", (0, 0, 1, 1)),
    ("X1 X2", "gain_2d", "0.5"),
    ("X1 X2", "gain_3d", None),
    ("X2", "fixed_rate", "1.0"),
]))
def test_wrong_kind_of_value_raises_and_keeps_the_field(model, name, value):
    o = model.options()
    before = plain_field(name, getattr(o, name))
    with pytest.raises(TypeError):
        setattr(o, name, value)
    assert plain_field(name, getattr(o, name)) == before


@over_models("name,value", each([
    ("X1 X2", "exposure_time_2d", -2**31),
    ("X1", "filter_range", 2**31 - 1),
    ("X2", "line_scanner_max_distance", 2**31 - 1),
    ("X1 X2", "calc_normal_radius", 2**32 - 1),
    ("X1 X2", "projector_brightness", np.int64(17)),  # index protocol
    ("X2", "encoder_trigger_interval", np.int64(17)),
]))
def test_integer_fields_take_their_full_range(model, name, value):
    o = model.options()
    setattr(o, name, value)
    assert getattr(o, name) == value


def test_records_have_no_dynamic_attributes(model):
    with pytest.raises(AttributeError):
        model.options().not_a_field = 1
    with pytest.raises(AttributeError):
        setattr(model.options(), other(model).own_field, 1)
    with pytest.raises(AttributeError):
        model.transform().transform = None


# ---------------------------------------------------------------------------
# SetTransform


@pytest.mark.parametrize("matrix", [
    np.eye(4),
    np.arange(16),
    np.arange(16, dtype=np.float32).reshape(2, 8),
    np.asfortranarray(np.eye(4)),
    np.eye(8)[::2, ::2],
    [[1, 0, 0, 0]] * 4,
], ids=["4x4", "flat-int", "2x8-float32", "fortran", "strided", "list"])
def test_set_transform_accepts_any_shape_of_16(model, matrix):
    t = model.transform()
    t.coordinate_select = model.coordinate.CoordinateSelect_CaliBoard
    assert t.SetTransform(matrix) is None
    assert t.coordinate_select == model.coordinate.CoordinateSelect_CaliBoard


@pytest.mark.parametrize("arg,count", [
    (np.zeros(0), 0), (np.zeros(9), 9), (np.zeros(15), 15), (np.zeros(17), 17),
    (np.zeros(32), 32), (np.zeros((4, 3)), 12), (np.eye(5), 25),
    # A scalar converts to a 0-d array of one value.
    (None, 1), (1.0, 1), (2.0, 1), (np.float32(2.0), 1),
])
def test_set_transform_refuses_other_counts(model, arg, count):
    with pytest.raises(ValueError, match=f"got {count}$"):
        model.transform().SetTransform(arg)


@pytest.mark.parametrize("arg", ["abc", object(), [[1, 2], [3]]])
def test_set_transform_refuses_non_numbers(model, arg):
    with pytest.raises(TypeError):
        model.transform().SetTransform(arg)
