"""The X2 class against the stand-in, where it differs from X1: registration,
overloads and signatures, the fixed line scan, calibration of each camera,
the timestamp, regions, the cover and argument errors. What X2 shares with X1
is checked for both in test_camera_common.py."""
import pytest

import PyVyx as vx
from cameras import X2
from tracing import traced, class_calls

METHOD_ORDER = [
    "Create", "Destroy", "Open", "IsOpen", "Close", "IsValid", "IsPhysicallyConnected",
    "Capture", "StartFixedLineScan", "GetFixedLineScanPointMap", "StopFixedLineScan",
    "Capture2D", "SetBandwidth", "SetCustomTransformation", "GetCustomTransformation",
    "GetCameraResolution", "GetTimestamp", "ResetTimestamp", "GetProjectorTemperature",
    "GetImage", "GetPointMap", "GetMesh", "GetConfidenceMap", "GetCorrespondMap",
    "SaveEncodedImagesData", "GetDepthMap", "AutoWhiteBalance", "GetExtrinsicMatrix",
    "GetIntrinsicParameters", "GetExposureTimeRange", "GetGainRange", "GetGammaRange",
    "GetCameraTemperature", "SaveCaptureOptionParameters", "LoadCaptureOptionParameters",
    "GetAutoCaptureSetting", "GetAutoHdrCaptureSetting", "GetAutoNoiseRemovalSetting",
    "LoadSettingFromFile", "SaveSettingToFile", "CheckRoi", "AutoAdjustRoi", "GetRoiRange",
    "OpenProtectiveCover", "CloseProtectiveCover", "ResetProtectiveCover",
    "OpenProtectiveCoverAsync", "CloseProtectiveCoverAsync", "GetProtectiveCoverStatus",
    "GetAuto2DExposureTime", "SetCurrentUserSet", "GetCurrentUserSet", "SetUserSetName",
    "GetUserSetName",
]


@pytest.fixture
def model():
    return X2


# ---------------------------------------------------------------------------
# Registration


def test_method_registration_order():
    assert [n for n in vars(vx.X2) if not n.startswith("_")] == METHOD_ORDER


@pytest.mark.parametrize("method,first,second", [
    ("Capture", "Capture(self: PyVyx.X2, arg0: PyVyx.X2_CaptureOptions) -> bool",
     "Capture(self: PyVyx.X2) -> bool"),
    ("StartFixedLineScan",
     "StartFixedLineScan(self: PyVyx.X2, arg0: PyVyx.X2_CaptureOptions) -> bool",
     "StartFixedLineScan(self: PyVyx.X2) -> bool"),
    ("GetFixedLineScanPointMap", "GetFixedLineScanPointMap(self: PyVyx.X2) -> PyVyx.PointMap",
     "GetFixedLineScanPointMap(self: PyVyx.X2, arg0: PyVyx.PointMap) -> bool"),
    ("Capture2D", "Capture2D(self: PyVyx.X2, cid: PyVyx.CameraID, opts: PyVyx.X2_CaptureOptions = <",
     "Capture2D(self: PyVyx.X2, cid: PyVyx.CameraID) -> bool"),
])
def test_overload_order(method, first, second):
    doc = getattr(vx.X2, method).__doc__
    assert first in doc and second in doc
    assert doc.index(first) < doc.index(second)


@pytest.mark.parametrize("method,signature", [
    ("Create", "Create(device: PyVyx.Device) -> PyVyx.X2"),
    ("Destroy", "Destroy(arg0: PyVyx.X2) -> None"),
    ("GetTimestamp", "GetTimestamp(self: PyVyx.X2) -> Tuple[bool, int]"),
    ("GetImage", "GetImage(self: PyVyx.X2, arg0: PyVyx.CameraID) -> PyVyx.Image"),
    ("GetExtrinsicMatrix", "(self: PyVyx.X2, arg0: PyVyx.CameraID) -> Tuple[bool, List[float]]"),
    ("GetIntrinsicParameters",
     "(self: PyVyx.X2, arg0: PyVyx.CameraID) -> Tuple[bool, List[float], List[float]]"),
    ("GetCameraTemperature",
     "(self: PyVyx.X2, arg0: PyVyx.CameraID, arg1: PyVyx.CameraTempSelector) -> Tuple[bool, float]"),
    ("GetUserSetName", "GetUserSetName(self: PyVyx.X2, arg0: int) -> Tuple[bool, str]"),
    ("GetProtectiveCoverStatus", "-> Tuple[bool, PyVyx.ProtectiveCoverStatus]"),
    ("GetAutoNoiseRemovalSetting",
     "(self: PyVyx.X2, arg0: PyVyx.X2_CaptureOptions) -> Tuple[bool, PyVyx.X2_CaptureOptions]"),
])
def test_signatures(method, signature):
    assert signature in getattr(vx.X2, method).__doc__


# ---------------------------------------------------------------------------
# The fixed line scan


def test_filling_line_scan_map_changes_the_callers_object(vyx, cam):
    assert cam.StartFixedLineScan()
    try:
        pm = vyx.PointMap()
        assert pm.IsValid() is False
        result = cam.GetFixedLineScanPointMap(pm)
        assert result is True
        assert pm.IsValid()
        fresh = cam.GetFixedLineScanPointMap()
        assert isinstance(fresh, vyx.PointMap) and fresh is not pm and fresh.IsValid()
    finally:
        assert cam.StopFixedLineScan()


def test_filling_line_scan_map_on_failure_returns_only_false(vyx, sim, cam):
    pm = vyx.PointMap()
    sim.fail_next("X2::GetFixedLineScanPointMap")
    assert cam.GetFixedLineScanPointMap(pm) is False
    assert pm.IsValid() is False
    sim.fail_next("X2::GetFixedLineScanPointMap")
    fresh = cam.GetFixedLineScanPointMap()
    assert isinstance(fresh, vyx.PointMap) and fresh.IsValid() is False


# ---------------------------------------------------------------------------
# Calibration, timestamp and reads


@pytest.mark.parametrize("call,lengths", [
    (lambda c: c.GetExtrinsicMatrix(vx.CameraID_Left), (16,)),
    (lambda c: c.GetExtrinsicMatrix(vx.CameraID_Right), (16,)),
    (lambda c: c.GetIntrinsicParameters(vx.CameraID_Left), (9, 5)),
    (lambda c: c.GetIntrinsicParameters(vx.CameraID_Right), (9, 5)),
])
@pytest.mark.parametrize("fails", [False, True])
def test_calibration_lists_have_fixed_lengths(sim, cam, call, lengths, fails):
    if fails:
        sim.fail_next("X2::GetExtrinsicMatrix", write_outputs=True)
        sim.fail_next("X2::GetIntrinsicParameters", write_outputs=True)
    result = call(cam)
    assert result[0] is (not fails)
    assert tuple(len(v) for v in result[1:]) == lengths
    assert all(type(x) is float for v in result[1:] for x in v)
    assert any(x != 0.0 for v in result[1:] for x in v)  # the SDK wrote them
    sim.clear_failures()


def test_timestamp_is_an_int_that_follows_the_device_clock(vyx, sim, cam):
    sim.clock_manual()
    ok, first = cam.GetTimestamp()
    assert ok is True and isinstance(first, int) and first >= 0
    sim.clock_advance_us(1234)
    assert cam.GetTimestamp() == (True, first + 1234)
    assert cam.Capture()
    ok, later = cam.GetTimestamp()
    assert ok and later > first + 1234  # the capture's acquisition time
    assert cam.ResetTimestamp() is True
    assert cam.GetTimestamp() == (True, 0)
    sim.clock_advance_us(2**33 + 5)  # beyond 32 bits
    assert cam.GetTimestamp() == (True, 2**33 + 5)


def test_successful_reads(vyx, cam):
    ok, size = cam.GetCameraResolution()
    assert ok and size.width > 0 and size.height > 0
    for cid in (vyx.CameraID_Left, vyx.CameraID_Right):
        ok, k, dist = cam.GetIntrinsicParameters(cid)
        assert ok and k[0] > 0 and k[4] > 0 and k[8] == 1.0
        ok, extrinsic = cam.GetExtrinsicMatrix(cid)
        assert ok and extrinsic[15] == 1.0
        ok, celsius = cam.GetCameraTemperature(cid, vyx.CameraTempSelector_Sensor)
        assert ok and 0.0 < celsius < 100.0
    ok, lo, hi = cam.GetExposureTimeRange()
    assert ok and isinstance(lo, int) and lo < hi
    ok, lo, hi = cam.GetGainRange()
    assert ok and lo <= hi
    ok, celsius = cam.GetProjectorTemperature()
    assert ok and 0.0 < celsius < 100.0
    ok, rng = cam.GetRoiRange()
    assert ok and rng.width_max > 0


# ---------------------------------------------------------------------------
# Regions and the cover


def test_auto_adjust_roi_returns_a_new_roi(vyx, cam):
    roi = vyx.ROI(3, 5, 101, 77)
    adjusted = cam.AutoAdjustRoi(roi)
    assert isinstance(adjusted, vyx.ROI) and adjusted is not roi
    assert (roi.x, roi.y, roi.width, roi.height) == (3, 5, 101, 77)
    assert cam.CheckRoi(adjusted) is True
    adjusted.x = 1000
    assert roi.x == 3


def test_protective_cover(vyx, colour_cam, cam):
    assert colour_cam.CloseProtectiveCover() is True
    assert colour_cam.GetProtectiveCoverStatus() == (True, vyx.ProtectiveCoverStatus.ProtectiveCoverStatus_Closed)
    assert colour_cam.OpenProtectiveCover() is True
    assert colour_cam.GetProtectiveCoverStatus() == (True, vyx.ProtectiveCoverStatus.ProtectiveCoverStatus_Open)
    # The first device has no cover: failure with the status unknown.
    assert cam.GetProtectiveCoverStatus() == (False, vyx.ProtectiveCoverStatus.ProtectiveCoverStatus_Unknown)


# ---------------------------------------------------------------------------
# Argument errors


@pytest.mark.parametrize("call", [
    lambda c: vx.X2.Create(),
    lambda c: vx.X2.Create(None),
    lambda c: vx.X2.Create(c),
    lambda c: c.Capture(None),
    lambda c: c.Capture(vx.X1_CaptureOptions()),
    lambda c: c.StartFixedLineScan(vx.X1_CaptureOptions()),
    lambda c: c.GetFixedLineScanPointMap(None),
    lambda c: c.GetFixedLineScanPointMap(vx.DepthMap()),
    lambda c: c.Capture2D(),
    lambda c: c.Capture2D(2),
    lambda c: c.Capture2D(vx.CameraID_Right, None),
    lambda c: c.Capture2D(opts=vx.X2_CaptureOptions()),
    lambda c: c.GetImage(),
    lambda c: c.GetImage(1),
    lambda c: c.GetExtrinsicMatrix(),
    lambda c: c.GetCameraTemperature(vx.CameraTempSelector_Sensor),
    lambda c: c.GetCameraTemperature(vx.CameraID_Left, 4),
    lambda c: c.AutoWhiteBalance(1, vx.X2_CaptureOptions()),
    lambda c: c.GetAutoNoiseRemovalSetting(),
    lambda c: c.GetAutoCaptureSetting(vx.X1_CaptureOptions()),
    lambda c: c.SetCustomTransformation(vx.X1_CustomTransformOptions()),
    lambda c: c.SetBandwidth("1"),
    lambda c: c.SetCurrentUserSet(1.0),
    lambda c: c.GetUserSetName(),
    lambda c: c.CheckRoi(None),
])
def test_argument_errors(vyx, sim, call):
    cam = vyx.X2()
    _, lines = traced(sim, lambda: pytest.raises(TypeError, call, cam))
    assert class_calls(lines, "X2") == []  # no SDK call was made
