"""X2_CaptureOptions and X2_CustomTransformOptions where they differ from X1's
records: registration order, the camera-valued transform_to_camera and the
16-bit laser position. What both records do alike is checked in
test_options_common.py."""
import numpy as np
import pytest

import PyVyx as vx
from cameras import X2

HDR_METHODS = [
    "GetHDRExposureTimeContent", "SetHDRExposureTimeContent",
    "GetHDRGainContent", "SetHDRGainContent",
    "GetHDRProjectorBrightnessContent", "SetHDRProjectorBrightnessContent",
    "SetHDRScanTimesContent", "GetHDRScanTimesContent",
]


def public_names(cls):
    return [n for n in vars(cls) if not n.startswith("_")]


def test_registration_order():
    assert public_names(vx.X2_CaptureOptions) == [n for n, _ in X2.defaults] + HDR_METHODS
    assert public_names(vx.X2_CustomTransformOptions) == ["coordinate_select", "SetTransform"]


def test_transform_to_camera_default_is_left_camera_zero():
    value = vx.X2_CaptureOptions().transform_to_camera
    assert value == vx.CameraID_Left and value == vx.CameraID_0
    assert value.value == 1


@pytest.mark.parametrize("value", [0, 1, 65535, np.uint16(4096)])
def test_laser_position_takes_the_uint16_range(value):
    o = vx.X2_CaptureOptions()
    o.line_scanner_laser_position = value
    assert o.line_scanner_laser_position == value
