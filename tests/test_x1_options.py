"""X1_CaptureOptions and X1_CustomTransformOptions where they differ from X2's
records: registration order and the help texts of the enumeration fields.
What both records do alike is checked in test_options_common.py."""
import PyVyx as vx
from cameras import X1

HDR_METHODS = [
    "GetHDRExposureTimeContent", "SetHDRExposureTimeContent",
    "GetHDRGainContent", "SetHDRGainContent",
    "GetHDRScanTimesContent", "SetHDRScanTimesContent",
    "GetHDRProjectorBrightnessContent", "SetHDRProjectorBrightnessContent",
]


def public_names(cls):
    return [n for n in vars(cls) if not n.startswith("_")]


def test_registration_order():
    # The HDR accessors stand among the fields, after the first thirty.
    names = [n for n, _ in X1.defaults]
    expected = names[:30] + HDR_METHODS + names[30:]
    assert expected[-1] == "roi"
    assert public_names(vx.X1_CaptureOptions) == expected
    assert public_names(vx.X1_CustomTransformOptions) == ["coordinate_select", "SetTransform"]


def test_enum_properties_named_by_native_type_in_help():
    # The enumerations are registered after the class.
    assert "Vyx::SmoothnessLevel" in vx.X1_CaptureOptions.smoothness.fget.__doc__
    assert "Vyx::CaptureMode" in vx.X1_CaptureOptions.capture_mode.fget.__doc__
    assert "ROI" in vx.X1_CaptureOptions.roi.fget.__doc__
