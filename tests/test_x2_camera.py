"""The X2 class against the stand-in: registration, the forms of each call that
reach the SDK, starting values of outputs, private copies of records, paths
and user sets, the custom transformation, and argument errors."""
import gc
import math
import re

import numpy as np
import pytest

import PyVyx as vx

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

OPTION_FIELDS = [n for n in vars(vx.X2_CaptureOptions)
                 if not n.startswith("_") and not n.startswith(("GetHDR", "SetHDR"))]
ROI_RANGE_FIELDS = ("x_step", "y_step", "width_step", "height_step",
                    "width_min", "height_min", "width_max", "height_max")


def snapshot(opts):
    """Every field and HDR entry of an options record, as plain values."""
    values = {}
    for name in OPTION_FIELDS:
        v = getattr(opts, name)
        if name == "roi":
            v = (v.x, v.y, v.width, v.height)
        elif not isinstance(v, (bool, int, float)):
            v = (type(v).__name__, int(v))
        values[name] = v
    for table in ("ExposureTime", "Gain", "ScanTimes", "ProjectorBrightness"):
        values[table] = [getattr(opts, f"GetHDR{table}Content")(i) for i in range(3)]
    return values


def traced(sim, fn, prefix):
    """Runs fn with tracing on; returns its result and the trace lines that
    start with prefix."""
    sim.trace_enable(True)
    sim.trace_clear()
    result = fn()
    lines = [line for line in sim.trace() if line.startswith(prefix)]
    sim.trace_enable(False)
    return result, lines


@pytest.fixture
def devices(vyx):
    status, found = vyx.SystemListDevices(vyx.All)
    assert status == 0 and len(found) >= 2
    return found


def opened(vyx, device):
    camera = vyx.X2.Create(device)
    assert camera.IsValid(), vyx.GetLastErrorMessage()
    assert camera.Open(), vyx.GetLastErrorMessage()
    return camera


@pytest.fixture
def cam(vyx, devices):
    """The first device (grey cameras, no cover) opened as an X2."""
    camera = opened(vyx, devices[0])
    yield camera
    camera.Close()
    vyx.X2.Destroy(camera)


@pytest.fixture
def colour_cam(vyx, devices):
    """The second device (colour cameras, protective cover) opened as an X2."""
    camera = opened(vyx, devices[1])
    yield camera
    camera.Close()
    vyx.X2.Destroy(camera)


# ---------------------------------------------------------------------------
# Registration


def test_method_registration_order():
    assert [n for n in vars(vx.X2) if not n.startswith("_")] == METHOD_ORDER


def test_defaults_are_separate_objects_built_once():
    def addresses(method):
        return re.findall(r"= <PyVyx\.(X2_CaptureOptions|ROI) object at (0x[0-9a-f]+)>",
                          getattr(vx.X2, method).__doc__)

    found = []
    for method in ("GetAutoCaptureSetting", "GetAutoHdrCaptureSetting", "GetAuto2DExposureTime"):
        pairs = addresses(method)
        assert [kind for kind, _ in pairs] == ["X2_CaptureOptions", "ROI"]
        assert addresses(method) == pairs
        found += [addr for _, addr in pairs]
    capture2d = addresses("Capture2D")
    assert [kind for kind, _ in capture2d] == ["X2_CaptureOptions"]
    found += [addr for _, addr in capture2d]
    assert len(set(found)) == 7


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


def test_new_handle_names_no_camera(vyx):
    cam = vyx.X2()
    assert cam.IsValid() is False
    assert cam.Open() is False
    assert vyx.GetLastError() != 0
    assert cam.IsOpen() is False


# ---------------------------------------------------------------------------
# Which SDK form each call reaches


@pytest.mark.parametrize("method", ["Capture", "StartFixedLineScan"])
def test_calls_without_options_reach_the_sdk_form_without_options(vyx, sim, cam, method):
    ok, bare = traced(sim, lambda: getattr(cam, method)(), f"X2::{method}(")
    assert ok and len(bare) == 1 and "options" not in bare[0]
    if method == "StartFixedLineScan":
        assert cam.StopFixedLineScan()
    ok, with_opts = traced(sim, lambda: getattr(cam, method)(vyx.X2_CaptureOptions()),
                           f"X2::{method}(")
    assert ok and len(with_opts) == 1 and "options" in with_opts[0]
    if method == "StartFixedLineScan":
        assert cam.StopFixedLineScan()


def test_capture2d_with_a_camera_only_uses_the_default_record(vyx, sim, cam):
    ok, default = traced(sim, lambda: cam.Capture2D(vyx.CameraID_Right), "X2::Capture2D(")
    assert ok and len(default) == 1 and "options" in default[0]
    ok, explicit = traced(sim, lambda: cam.Capture2D(vyx.CameraID_Right, vyx.X2_CaptureOptions()),
                          "X2::Capture2D(")
    assert ok and explicit == default
    opts = vyx.X2_CaptureOptions()
    opts.exposure_time_2d = 42
    ok, keywords = traced(sim, lambda: cam.Capture2D(cid=vyx.CameraID_Right, opts=opts),
                          "X2::Capture2D(")
    assert ok and len(keywords) == 1 and keywords != default
    ok, positional = traced(sim, lambda: cam.Capture2D(vyx.CameraID_Right, opts), "X2::Capture2D(")
    assert ok and positional == keywords


def test_captures_leave_the_callers_record_alone(vyx, cam):
    opts = vyx.X2_CaptureOptions()
    opts.roi = vyx.ROI(8, 8, 64, 64)
    opts.SetHDRScanTimesContent(2, 7)
    before = snapshot(opts)
    assert cam.Capture(opts)
    assert cam.Capture2D(vyx.CameraID_Left, opts)
    assert cam.StartFixedLineScan(opts)
    assert cam.StopFixedLineScan()
    assert snapshot(opts) == before


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
# Outputs on failure


def zero_roi_range(out):
    return [getattr(out[0], f) for f in ROI_RANGE_FIELDS] == [0] * 8


PRESETS = [
    # (SDK operation, call, check of the outputs after a failure that writes nothing)
    ("X2::GetCustomTransformation", lambda c: c.GetCustomTransformation(),
     lambda out: out[0].coordinate_select == vx.X2CustomTransformCoordinate.CoordinateSelect_Disabled),
    ("X2::GetCameraResolution", lambda c: c.GetCameraResolution(),
     lambda out: (out[0].width, out[0].height) == (0, 0)),
    ("X2::GetTimestamp", lambda c: c.GetTimestamp(), lambda out: out == (0,)),
    ("X2::GetProjectorTemperature", lambda c: c.GetProjectorTemperature(),
     lambda out: math.isnan(out[0])),
    ("X2::GetExtrinsicMatrix", lambda c: c.GetExtrinsicMatrix(vx.CameraID_Right),
     lambda out: out == ([0.0] * 16,)),
    ("X2::GetIntrinsicParameters", lambda c: c.GetIntrinsicParameters(vx.CameraID_Left),
     lambda out: out == ([0.0] * 9, [0.0] * 5)),
    ("X2::GetExposureTimeRange", lambda c: c.GetExposureTimeRange(), lambda out: out == (0, 0)),
    ("X2::GetGainRange", lambda c: c.GetGainRange(), lambda out: out == (0.0, 0.0)),
    ("X2::GetGammaRange", lambda c: c.GetGammaRange(), lambda out: out == (0.0, 0.0)),
    ("X2::GetCameraTemperature",
     lambda c: c.GetCameraTemperature(vx.CameraID_Left, vx.CameraTempSelector_Sensor),
     lambda out: math.isnan(out[0])),
    ("X2::LoadCaptureOptionParameters", lambda c: c.LoadCaptureOptionParameters(),
     lambda out: snapshot(out[0]) == snapshot(vx.X2_CaptureOptions())),
    ("X2::GetRoiRange", lambda c: c.GetRoiRange(), zero_roi_range),
    ("X2::GetProtectiveCoverStatus", lambda c: c.GetProtectiveCoverStatus(),
     lambda out: out[0] == vx.ProtectiveCoverStatus.ProtectiveCoverStatus_Unknown
     and isinstance(out[0], vx.ProtectiveCoverStatus)),
    ("X2::GetCurrentUserSet", lambda c: c.GetCurrentUserSet(), lambda out: out == (-1,)),
    ("X2::GetUserSetName", lambda c: c.GetUserSetName(0), lambda out: out == ("",)),
]


@pytest.mark.parametrize("op,call,check", PRESETS, ids=[p[0] for p in PRESETS])
def test_outputs_keep_their_starting_values_on_failure(sim, colour_cam, op, call, check):
    sim.fail_next(op)
    result = call(colour_cam)
    assert result[0] is False
    assert check(result[1:])
    # The failure was injected once: the same call then answers for real.
    assert call(colour_cam)[0] is True


@pytest.mark.parametrize("op,call,check", PRESETS, ids=[p[0] for p in PRESETS])
def test_a_zero_handle_gets_the_starting_values(vyx, op, call, check):
    result = call(vyx.X2())
    assert result[0] is False
    assert check(result[1:])
    assert vyx.GetLastError() != 0


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


def test_timestamp_is_a_non_negative_int_that_advances(vyx, cam):
    ok, first = cam.GetTimestamp()
    assert ok is True and isinstance(first, int) and first >= 0
    assert cam.Capture()
    ok, later = cam.GetTimestamp()
    assert ok and later > first
    assert cam.ResetTimestamp() is True
    ok, reset = cam.GetTimestamp()
    assert ok and 0 <= reset < later


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
# Automatic settings on private copies

AUTO = [
    ("GetAutoCaptureSetting", True),
    ("GetAutoHdrCaptureSetting", True),
    ("GetAuto2DExposureTime", True),
    ("GetAutoNoiseRemovalSetting", False),
]


@pytest.mark.parametrize("method,takes_roi", AUTO)
def test_automatic_settings_leave_the_callers_record(vyx, cam, method, takes_roi):
    opts = vyx.X2_CaptureOptions()
    opts.exposure_time_2d = 97
    opts.exposure_time_3d = 97
    opts.use_auto_noise_removal = False
    opts.roi = vyx.ROI(16, 16, 320, 240)
    before = snapshot(opts)
    args = (opts, vyx.ROI(0, 0, 320, 240)) if takes_roi else (opts,)
    ok, suggested = getattr(cam, method)(*args)
    assert ok is True
    assert suggested is not opts
    assert snapshot(opts) == before
    assert snapshot(suggested) != before  # the SDK did suggest something


@pytest.mark.parametrize("method", [m for m, roi in AUTO if roi])
def test_automatic_settings_start_from_the_defaults(vyx, sim, method):
    # Failing without writing, the call returns its starting record: the
    # default options, the same on every call.
    for _ in range(2):
        sim.fail_next(f"X2::{method}")
        ok, returned = getattr(vyx.X2(), method)()
        assert ok is False
        assert snapshot(returned) == snapshot(vyx.X2_CaptureOptions())


@pytest.mark.parametrize("method", [m for m, roi in AUTO if roi])
def test_automatic_settings_defaults_never_change(vyx, cam, method):
    first = getattr(cam, method)()
    second = getattr(cam, method)()
    assert first[0] and second[0]
    assert snapshot(first[1]) == snapshot(second[1])


@pytest.mark.parametrize("method,takes_roi", AUTO)
def test_automatic_settings_return_the_copy_on_failure(vyx, sim, cam, method, takes_roi):
    opts = vyx.X2_CaptureOptions()
    opts.exposure_time_3d = 33
    opts.line_scanner_laser_position = 7
    sim.fail_next(f"X2::{method}")
    args = (opts, vyx.ROI()) if takes_roi else (opts,)
    ok, returned = getattr(cam, method)(*args)
    assert ok is False and returned is not opts
    assert snapshot(returned) == snapshot(opts)


# ---------------------------------------------------------------------------
# Regions, cover, user sets, paths


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


@pytest.mark.parametrize("name", ["line A", "Prüfstand 3", "x" * 63, ""])
def test_user_set_name_round_trip(cam, name):
    assert cam.SetUserSetName(2, name) is True
    assert cam.GetUserSetName(2) == (True, name)


def test_user_set_name_that_does_not_fit_is_refused(vyx, cam):
    assert cam.SetUserSetName(3, "kept")
    assert cam.SetUserSetName(3, "y" * 64) is False
    assert vyx.GetLastError() != 0
    assert cam.GetUserSetName(3) == (True, "kept")


def test_user_set_name_that_is_not_utf8_raises(cam):
    assert cam.SetUserSetName(4, b"caf\xe9") is True
    with pytest.raises(UnicodeDecodeError):
        cam.GetUserSetName(4)


def test_current_user_set(cam):
    assert cam.SetCurrentUserSet(1) is True
    assert cam.GetCurrentUserSet() == (True, 1)


@pytest.mark.parametrize("call", [
    lambda c: c.SaveEncodedImagesData(None),
    lambda c: c.LoadSettingFromFile(None),
    lambda c: c.SaveSettingToFile(None),
    lambda c: c.SetUserSetName(1, None),
], ids=["SaveEncodedImagesData", "LoadSettingFromFile", "SaveSettingToFile", "SetUserSetName"])
def test_null_texts_fail_cleanly(vyx, cam, call):
    assert cam.Capture()
    assert call(cam) is False
    assert vyx.GetLastError() != 0
    assert "null" in vyx.GetLastErrorMessage()
    assert cam.GetUserSetName(1)[0] is True


def test_settings_file_round_trip(vyx, cam, tmp_path):
    path = tmp_path / "settings.json"
    assert cam.SetUserSetName(5, "saved")
    assert cam.SaveSettingToFile(str(path))
    assert cam.SetUserSetName(5, "changed")
    assert cam.LoadSettingFromFile(str(path))
    assert cam.GetUserSetName(5) == (True, "saved")


# ---------------------------------------------------------------------------
# Custom transformation

PERMUTE = np.array([[0, 0, 1, 0],    # x' = z
                    [1, 0, 0, 0],    # y' = x
                    [0, 1, 0, 0],    # z' = y
                    [0, 0, 0, 1]], dtype=np.float64)


@pytest.mark.parametrize("matrix", [
    PERMUTE,
    PERMUTE.astype(np.float32),
    PERMUTE.ravel().astype(np.int64),
    np.asfortranarray(PERMUTE),
    np.kron(PERMUTE, np.ones((2, 2)))[::2, ::2],
], ids=["float64", "float32", "flat-int", "fortran", "strided"])
def test_set_transform_rows_reach_the_camera(vyx, cam, matrix):
    plain_opts = vyx.X2_CaptureOptions()
    assert cam.Capture(plain_opts)
    before = np.asarray(cam.GetPointMap()).copy()

    t = vyx.X2_CustomTransformOptions()
    t.coordinate_select = vyx.CoordinateSelect_CameraLeft
    t.SetTransform(matrix)
    assert cam.SetCustomTransformation(t)
    ok, back = cam.GetCustomTransformation()
    assert ok and back.coordinate_select == vyx.CoordinateSelect_CameraLeft

    assert cam.Capture(plain_opts)
    moved = np.asarray(cam.GetPointMap())
    both = np.isfinite(before[..., 0]) & np.isfinite(moved[..., 0])
    assert both.sum() > 1000
    error = np.abs(moved[both] - before[both][:, [2, 0, 1]])
    transposed = np.abs(moved[both] - before[both][:, [1, 2, 0]])
    assert np.median(error) < 1e-3
    assert np.median(transposed) > 0.05


# ---------------------------------------------------------------------------
# Argument errors, lifetime


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
    _, lines = traced(sim, lambda: pytest.raises(TypeError, call, cam), "X2::")
    assert lines == []  # no SDK call was made


def test_destroy_clears_the_handle(vyx, devices):
    cam = vyx.X2.Create(devices[0])
    assert cam.IsValid()
    assert vyx.X2.Destroy(cam) is None
    assert cam.IsValid() is False
    assert cam.Open() is False


def test_dropping_a_camera_neither_closes_nor_destroys_it(vyx, sim, devices):
    cam = vyx.X2.Create(devices[0])
    assert cam.Open()
    before = sim.live_objects()

    def drop():
        nonlocal cam
        del cam
        gc.collect()

    _, lines = traced(sim, drop, "X2::")
    assert lines == []
    assert sim.live_objects() == before
