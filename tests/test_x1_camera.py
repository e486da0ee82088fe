"""The X1 class against the stand-in's virtual devices: registration, the
forms of each call that reach the SDK, starting values of outputs, private
copies of records, user sets, captures checked against the scene, and
threads."""
import gc
import math
import re
import threading
import time

import numpy as np
import pytest

import PyVyx as vx

METHOD_ORDER = [
    "Create", "Destroy", "Open", "IsOpen", "Close", "IsValid", "IsPhysicallyConnected",
    "Capture", "Capture2D", "SetBandwidth", "SetCustomTransformation",
    "GetCustomTransformation", "GetCameraResolution", "GetProjectorTemperature", "GetImage",
    "GetExposureTimeRange", "GetGainRange", "GetGammaRange", "GetCameraTemperature",
    "GetDepthMap", "GetPointMap", "GetMesh", "GetConfidenceMap", "SaveEncodedImagesData",
    "SetBalanceRatio", "GetBalanceRatio", "GetBalanceRange", "AutoWhiteBalance",
    "GetExtrinsicMatrix", "GetIntrinsicParameters", "SaveCaptureOptionParameters",
    "LoadCaptureOptionParameters", "GetAutoCaptureSetting", "GetAutoHdrCaptureSetting",
    "GetAutoNoiseRemovalSetting", "LoadSettingFromFile", "SaveSettingToFile", "CheckRoi",
    "AutoAdjustRoi", "GetRoiRange", "OpenProtectiveCover", "CloseProtectiveCover",
    "ResetProtectiveCover", "OpenProtectiveCoverAsync", "CloseProtectiveCoverAsync",
    "GetProtectiveCoverStatus", "GetAuto2DExposureTime", "SetCurrentUserSet",
    "GetCurrentUserSet", "SetUserSetName", "GetUserSetName",
]

OPTION_FIELDS = [n for n in vars(vx.X1_CaptureOptions)
                 if not n.startswith("_") and not n.startswith(("GetHDR", "SetHDR"))]


def plain(values):
    """Result outputs with records turned into tuples of their fields."""
    out = []
    for v in values:
        if isinstance(v, vx.Size):
            v = (v.width, v.height)
        out.append(v)
    return out


def snapshot(opts):
    """Every field and HDR entry of an options record, as plain values."""
    values = {}
    for name in OPTION_FIELDS:
        v = getattr(opts, name)
        values[name] = (v.x, v.y, v.width, v.height) if name == "roi" else (
            int(v) if isinstance(v, (vx.SmoothnessLevel, vx.CaptureMode)) else v)
    for table in ("ExposureTime", "Gain", "ScanTimes", "ProjectorBrightness"):
        values[table] = [getattr(opts, f"GetHDR{table}Content")(i) for i in range(3)]
    return values


@pytest.fixture
def devices(vyx):
    status, found = vyx.SystemListDevices(vyx.All)
    assert status == 0 and len(found) >= 2
    return found


def opened(vyx, device):
    camera = vyx.X1.Create(device, vyx.CameraID_Left)
    assert camera.IsValid()
    assert camera.Open()
    return camera


@pytest.fixture
def cam(vyx, devices):
    """The left camera of the first device (grey, no cover)."""
    camera = opened(vyx, devices[0])
    yield camera
    camera.Close()
    vyx.X1.Destroy(camera)


@pytest.fixture
def colour_cam(vyx, devices):
    """The left camera of the second device (colour, with a protective cover)."""
    camera = opened(vyx, devices[1])
    yield camera
    camera.Close()
    vyx.X1.Destroy(camera)


def traced(sim, fn, prefix):
    """Runs fn with tracing on; returns its result and the trace lines that
    start with prefix."""
    sim.trace_enable(True)
    sim.trace_clear()
    result = fn()
    lines = [line for line in sim.trace() if line.startswith(prefix)]
    sim.trace_enable(False)
    return result, lines


# ---------------------------------------------------------------------------
# Registration


def test_method_registration_order():
    names = [n for n in vars(vx.X1) if not n.startswith("_")]
    assert names == METHOD_ORDER


def test_defaults_are_separate_objects_built_once():
    # Every method with defaults holds its own objects: distinct addresses in
    # the help texts, the same ones each time the text is read.
    def addresses(method):
        return re.findall(r"= <PyVyx\.(X1_CaptureOptions|ROI) object at (0x[0-9a-f]+)>",
                          getattr(vx.X1, method).__doc__)

    found = []
    for method in ("GetAutoCaptureSetting", "GetAutoHdrCaptureSetting", "GetAuto2DExposureTime"):
        pairs = addresses(method)
        assert [kind for kind, _ in pairs] == ["X1_CaptureOptions", "ROI"]
        assert addresses(method) == pairs
        found += [addr for _, addr in pairs]
    capture2d = addresses("Capture2D")
    assert [kind for kind, _ in capture2d] == ["X1_CaptureOptions"]
    found += [addr for _, addr in capture2d]
    assert len(set(found)) == 7


def test_signatures_of_overloads_and_defaults():
    doc = vx.X1.Capture2D.__doc__
    assert "Capture2D(self: PyVyx.X1, opts: PyVyx.X1_CaptureOptions = " in doc
    assert "Capture2D(self: PyVyx.X1) -> bool" in doc
    doc = vx.X1.Capture.__doc__
    assert doc.index("arg0: PyVyx.X1_CaptureOptions") < doc.index("Capture(self: PyVyx.X1) -> bool")
    assert "camid: PyVyx.CameraID = <CameraID.CameraID_0: 1>" in vx.X1.Create.__doc__
    assert "-> Tuple[bool, List[float], List[float]]" in vx.X1.GetIntrinsicParameters.__doc__
    assert "-> Tuple[bool, str]" in vx.X1.GetUserSetName.__doc__


def test_new_handle_names_no_camera(vyx):
    cam = vyx.X1()
    assert cam.IsValid() is False
    assert cam.Open() is False
    assert vyx.GetLastError() != 0


# ---------------------------------------------------------------------------
# Which SDK call each form reaches


@pytest.mark.parametrize("call", [
    lambda vx, d: vx.X1.Create(d),
    lambda vx, d: vx.X1.Create(d, vx.CameraID_Left),
    lambda vx, d: vx.X1.Create(device=d, camid=vx.CameraID_0),
    lambda vx, d: vx.X1.Create(d, camid=vx.CameraID(1)),
])
def test_create_forms_make_the_same_call(vyx, sim, devices, call):
    reference, ref_lines = traced(sim, lambda: vyx.X1.Create(devices[0], vyx.CameraID_Left),
                                  "X1::Create")
    cam, lines = traced(sim, lambda: call(vyx, devices[0]), "X1::Create")
    assert len(lines) == 1 and lines == ref_lines
    assert cam.IsValid()


def test_create_refuses_a_plain_int_camera(vyx, devices):
    with pytest.raises(TypeError):
        vyx.X1.Create(devices[0], 1)
    with pytest.raises(TypeError):
        vyx.X1.Create(None)


def test_capture_without_options_reaches_the_sdk_form_without_options(vyx, sim, cam):
    ok, lines = traced(sim, lambda: cam.Capture(), "X1::Capture")
    assert ok and len(lines) == 1
    ok, with_opts = traced(sim, lambda: cam.Capture(vyx.X1_CaptureOptions()), "X1::Capture")
    assert ok and len(with_opts) == 1
    assert lines[0] != with_opts[0]
    assert "options" not in lines[0] and "options" in with_opts[0]


def test_capture2d_without_options_uses_a_default_record(vyx, sim, cam):
    ok, lines = traced(sim, lambda: cam.Capture2D(), "X1::Capture2D")
    assert ok and len(lines) == 1
    ok, explicit = traced(sim, lambda: cam.Capture2D(vyx.X1_CaptureOptions()), "X1::Capture2D")
    assert ok and explicit == lines
    assert "options" in lines[0]
    opts = vyx.X1_CaptureOptions()
    opts.exposure_time_2d = 42
    ok, changed = traced(sim, lambda: cam.Capture2D(opts=opts), "X1::Capture2D")
    assert ok and changed != lines


def test_capture_leaves_the_callers_record_alone(vyx, cam):
    opts = vyx.X1_CaptureOptions()
    opts.roi = vyx.ROI(8, 8, 64, 64)
    before = snapshot(opts)
    assert cam.Capture(opts)
    assert cam.Capture2D(opts)
    assert snapshot(opts) == before


@pytest.mark.parametrize("call", [
    lambda cam, vx: cam.GetAutoNoiseRemovalSetting(),
    lambda cam, vx: cam.AutoWhiteBalance(1, vx.X1_CaptureOptions()),
    lambda cam, vx: cam.AutoWhiteBalance(1),
    lambda cam, vx: cam.Capture(None),
    lambda cam, vx: cam.GetCameraTemperature(0),
    lambda cam, vx: cam.SetBalanceRatio(1, 1.0),
    lambda cam, vx: cam.GetUserSetName(),
    lambda cam, vx: cam.SetCurrentUserSet(1.0),
    lambda cam, vx: cam.CheckRoi(None),
])
def test_argument_errors(vyx, cam, call):
    with pytest.raises(TypeError):
        call(cam, vyx)


# ---------------------------------------------------------------------------
# Outputs on failure


def identity():
    return [1.0 if i in (0, 5, 10, 15) else 0.0 for i in range(16)]


PRESETS = [
    # (SDK operation, call, expected outputs after a failure that writes nothing)
    ("X1::GetCustomTransformation", lambda c: c.GetCustomTransformation(),
     lambda out: out[0].coordinate_select == vx.X1CustomTransformCoordinate.CoordinateSelect_Disabled),
    ("X1::GetCameraResolution", lambda c: c.GetCameraResolution(),
     lambda out: (out[0].width, out[0].height) == (0, 0)),
    ("X1::GetExtrinsicMatrix", lambda c: c.GetExtrinsicMatrix(),
     lambda out: out[0] == identity()),
    ("X1::GetIntrinsicParameters", lambda c: c.GetIntrinsicParameters(),
     lambda out: out[0] == [0.0] * 9 and out[1] == [0.0] * 5),
    ("X1::LoadCaptureOptionParameters", lambda c: c.LoadCaptureOptionParameters(),
     lambda out: snapshot(out[0]) == snapshot(vx.X1_CaptureOptions())),
    ("X1::GetProtectiveCoverStatus", lambda c: c.GetProtectiveCoverStatus(),
     lambda out: out[0] == vx.ProtectiveCoverStatus.ProtectiveCoverStatus_Unknown
     and isinstance(out[0], vx.ProtectiveCoverStatus)),
    ("X1::GetProjectorTemperature", lambda c: c.GetProjectorTemperature(),
     lambda out: math.isnan(out[0])),
    ("X1::GetCameraTemperature", lambda c: c.GetCameraTemperature(vx.CameraTempSelector_Sensor),
     lambda out: math.isnan(out[0])),
    ("X1::GetExposureTimeRange", lambda c: c.GetExposureTimeRange(),
     lambda out: out == (0, 0)),
    ("X1::GetGainRange", lambda c: c.GetGainRange(), lambda out: out == (0.0, 0.0)),
    ("X1::GetGammaRange", lambda c: c.GetGammaRange(), lambda out: out == (0.0, 0.0)),
    ("X1::GetBalanceRatio", lambda c: c.GetBalanceRatio(vx.BalanceSelector_Red),
     lambda out: out == (0.0,)),
    ("X1::GetBalanceRange", lambda c: c.GetBalanceRange(vx.BalanceSelector_Blue),
     lambda out: out == (0.0, 0.0)),
    ("X1::GetRoiRange", lambda c: c.GetRoiRange(),
     lambda out: [getattr(out[0], f) for f in ("x_step", "y_step", "width_step", "height_step",
                                                "width_min", "height_min", "width_max",
                                                "height_max")] == [0] * 8),
    ("X1::GetCurrentUserSet", lambda c: c.GetCurrentUserSet(), lambda out: out == (-1,)),
    ("X1::GetUserSetName", lambda c: c.GetUserSetName(0), lambda out: out == ("",)),
]


@pytest.mark.parametrize("op,call,check", PRESETS, ids=[p[0] for p in PRESETS])
def test_outputs_keep_their_starting_values_on_failure(sim, colour_cam, op, call, check):
    sim.fail_next(op)
    result = call(colour_cam)
    assert result[0] is False
    assert check(result[1:])
    # The next call is not failed: the same method then answers for real.
    assert call(colour_cam)[0] is True


@pytest.mark.parametrize("op,call", [
    ("X1::GetCameraResolution", lambda c: c.GetCameraResolution()),
    ("X1::GetIntrinsicParameters", lambda c: c.GetIntrinsicParameters()),
    ("X1::GetExposureTimeRange", lambda c: c.GetExposureTimeRange()),
])
def test_outputs_written_before_a_failure_are_returned(sim, cam, op, call):
    good = call(cam)
    sim.fail_next(op, write_outputs=True)
    failed = call(cam)
    assert failed[0] is False
    assert plain(failed[1:]) == plain(good[1:])


def test_successful_reads(vyx, cam):
    ok, size = cam.GetCameraResolution()
    assert ok and size.width > 0 and size.height > 0
    ok, k, dist = cam.GetIntrinsicParameters()
    assert ok and len(k) == 9 and len(dist) == 5
    assert k[0] > 0 and k[4] > 0 and k[8] == 1.0  # fx, fy and the homogeneous 1
    ok, lo, hi = cam.GetExposureTimeRange()
    assert ok and lo < hi and isinstance(lo, int)
    ok, celsius = cam.GetProjectorTemperature()
    assert ok and 0.0 < celsius < 100.0
    ok, extrinsic = cam.GetExtrinsicMatrix()
    assert ok and len(extrinsic) == 16 and extrinsic[15] == 1.0


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
    opts = vyx.X1_CaptureOptions()
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
def test_automatic_settings_defaults_never_change(vyx, cam, method):
    first = getattr(cam, method)()
    second = getattr(cam, method)()
    assert first[0] and second[0]
    assert snapshot(first[1]) == snapshot(second[1])


@pytest.mark.parametrize("method,takes_roi", AUTO)
def test_automatic_settings_return_the_copy_on_failure(vyx, sim, cam, method, takes_roi):
    opts = vyx.X1_CaptureOptions()
    opts.exposure_time_3d = 33
    sim.fail_next(f"X1::{method}")
    args = (opts, vyx.ROI()) if takes_roi else (opts,)
    ok, returned = getattr(cam, method)(*args)
    assert ok is False
    assert snapshot(returned) == snapshot(opts)


# ---------------------------------------------------------------------------
# Custom transformation


PERMUTE = np.array([[0, 0, 1, 0],    # x' = z
                    [1, 0, 0, 0],    # y' = x
                    [0, 1, 0, 0],    # z' = y
                    [0, 0, 0, 1]], dtype=np.float64)


@pytest.mark.parametrize("matrix", [
    PERMUTE,
    PERMUTE.astype(np.int32),
    PERMUTE.astype(np.float32),
    PERMUTE.ravel(),
    np.asfortranarray(PERMUTE),
    np.kron(PERMUTE, np.ones((2, 2)))[::2, ::2],  # strided, not contiguous
    PERMUTE.tolist(),
], ids=["float64", "int32", "float32", "flat", "fortran", "strided", "list"])
def test_set_transform_rows_reach_the_camera(vyx, cam, matrix):
    plain_opts = vyx.X1_CaptureOptions()
    assert cam.Capture(plain_opts)
    before = np.asarray(cam.GetPointMap()).copy()

    t = vyx.X1_CustomTransformOptions()
    t.coordinate_select = vyx.CoordinateSelect_Camera
    t.SetTransform(matrix)
    assert t.coordinate_select == vyx.CoordinateSelect_Camera
    assert cam.SetCustomTransformation(t)
    ok, back = cam.GetCustomTransformation()
    assert ok and back.coordinate_select == vyx.CoordinateSelect_Camera

    assert cam.Capture(plain_opts)
    moved = np.asarray(cam.GetPointMap())
    both = np.isfinite(before[..., 0]) & np.isfinite(moved[..., 0])
    assert both.sum() > 1000
    # Rows in order: x' = z, y' = x, z' = y (up to the capture noise); the
    # transposed matrix would give (y, z, x).
    error = np.abs(moved[both] - before[both][:, [2, 0, 1]])
    transposed = np.abs(moved[both] - before[both][:, [1, 2, 0]])
    assert np.median(error) < 1e-3
    assert np.median(transposed) > 0.05


def test_transform_record_round_trips_through_the_camera(vyx, cam):
    # The matrix is not readable from Python; a record read back from the
    # camera must carry it unchanged to a second camera call.
    t = vyx.X1_CustomTransformOptions()
    t.coordinate_select = vyx.CoordinateSelect_Camera
    t.SetTransform(PERMUTE)
    assert cam.SetCustomTransformation(t)
    ok, back = cam.GetCustomTransformation()
    assert ok
    assert cam.SetCustomTransformation(back)
    opts = vyx.X1_CaptureOptions()
    assert cam.Capture(opts)
    z_after = np.asarray(cam.GetPointMap())[..., 0]  # x' = z
    assert np.nanmin(z_after) > 0.05


# ---------------------------------------------------------------------------
# User sets


@pytest.mark.parametrize("name", ["line A", "Prüfstand 3 — Nacht", "x" * 63, "é" * 31 + "x", ""])
def test_user_set_name_round_trip(cam, name):
    assert cam.SetUserSetName(2, name) is True
    assert cam.GetUserSetName(2) == (True, name)


@pytest.mark.parametrize("name", ["x" * 64, "é" * 32, "y" * 500])
def test_user_set_name_that_does_not_fit_is_refused(vyx, cam, name):
    assert cam.SetUserSetName(3, "kept")
    assert cam.SetUserSetName(3, name) is False
    assert vyx.GetLastError() != 0
    assert cam.GetUserSetName(3) == (True, "kept")


def test_user_set_name_that_is_not_utf8_raises(cam):
    assert cam.SetUserSetName(4, b"caf\xe9") is True
    with pytest.raises(UnicodeDecodeError):
        cam.GetUserSetName(4)


def test_current_user_set(cam):
    assert cam.SetCurrentUserSet(1) is True
    assert cam.GetCurrentUserSet() == (True, 1)
    assert cam.SetCurrentUserSet(-1) is False


@pytest.mark.parametrize("method", ["SaveSettingToFile", "LoadSettingFromFile",
                                    "SaveEncodedImagesData"])
def test_null_paths_are_refused_by_the_sdk(vyx, cam, method):
    assert getattr(cam, method)(None) is False
    assert vyx.GetLastError() != 0


def test_settings_file_round_trip(vyx, cam, tmp_path):
    path = tmp_path / "settings.json"
    assert cam.SetUserSetName(5, "saved")
    assert cam.SaveSettingToFile(str(path))
    assert cam.SetUserSetName(5, "changed")
    assert cam.LoadSettingFromFile(str(path))
    assert cam.GetUserSetName(5) == (True, "saved")


# ---------------------------------------------------------------------------
# Captures against the scene


def working_range_m(device):
    ok, info = device.GetDeviceInfo()
    assert ok and info.workingdist_far_mm > info.workingdist_near_mm > 0
    return info.workingdist_near_mm / 1000.0, info.workingdist_far_mm / 1000.0


def test_capture_produces_points_in_the_working_range(vyx, devices, cam):
    opts = vyx.X1_CaptureOptions()
    opts.calc_normal = True
    assert cam.Capture(opts)
    pm = cam.GetPointMap()
    ok, size = cam.GetCameraResolution()
    points = np.asarray(pm)
    assert points.shape == (size.height, size.width, 3)
    z = points[..., 2]
    valid = np.isfinite(z)
    assert valid.sum() > 0.2 * z.size
    near, far = working_range_m(devices[0])
    assert near * 0.9 <= np.nanmin(z) and np.nanmax(z) <= far * 1.1
    normals = np.asarray(pm.GetNormalDataPtr())
    lengths = np.linalg.norm(normals[valid], axis=1)
    assert np.allclose(lengths[np.isfinite(lengths)], 1.0, atol=1e-3)
    image = np.asarray(cam.GetImage())
    assert image.shape[:2] == z.shape
    depth = np.asarray(cam.GetDepthMap())
    assert np.array_equal(np.isfinite(depth), valid)


def test_roi_leaves_nan_outside(vyx, cam):
    opts = vyx.X1_CaptureOptions()
    opts.roi = vyx.ROI(100, 80, 400, 300)
    assert cam.Capture(opts)
    z = np.asarray(cam.GetPointMap())[..., 2]
    inside = np.zeros(z.shape, bool)
    inside[80:380, 100:500] = True
    assert np.isfinite(z[inside]).sum() > 0
    assert not np.isfinite(z[~inside]).any()


def test_z_truncation_leaves_nan_outside(vyx, cam):
    assert cam.Capture(vyx.X1_CaptureOptions())
    z_all = np.asarray(cam.GetPointMap())[..., 2].copy()
    lo, hi = np.nanpercentile(z_all, [25, 75])
    opts = vyx.X1_CaptureOptions()
    opts.truncate_z_min = lo * 1000.0   # option distances are millimetres
    opts.truncate_z_max = hi * 1000.0
    assert cam.Capture(opts)
    z = np.asarray(cam.GetPointMap())[..., 2]
    kept = np.isfinite(z)
    assert 0 < kept.sum() < np.isfinite(z_all).sum()
    assert z[kept].min() >= lo - 1e-6 and z[kept].max() <= hi + 1e-6


def test_capture2d_gives_an_image(vyx, cam):
    assert cam.Capture2D()
    image = cam.GetImage()
    assert image.IsValid()
    assert np.asarray(image).max() > 0


# ---------------------------------------------------------------------------
# Device state, lifetime, threads


def test_unplug_and_replug(vyx, sim, devices, cam):
    ok, info = devices[0].GetDeviceInfo()
    assert cam.IsPhysicallyConnected()
    assert sim.unplug(info.sn)
    assert cam.IsPhysicallyConnected() is False
    assert cam.Capture() is False
    assert vyx.GetLastError() != 0
    assert info.sn in vyx.GetLastErrorMessage()
    assert sim.replug(info.sn)
    assert cam.IsPhysicallyConnected()
    if not cam.IsOpen():
        assert cam.Open()
    assert cam.Capture()


def test_destroy_clears_the_handle(vyx, devices):
    cam = vyx.X1.Create(devices[0])
    copy_ok = cam.IsValid()
    assert copy_ok
    assert vyx.X1.Destroy(cam) is None
    assert cam.IsValid() is False
    assert cam.Open() is False


def test_dropping_a_camera_neither_closes_nor_destroys_it(vyx, sim, devices):
    cam = vyx.X1.Create(devices[0])
    assert cam.Open()
    before = sim.live_objects()

    def drop():
        nonlocal cam
        del cam
        gc.collect()

    _, lines = traced(sim, drop, "X1::")
    assert lines == []
    assert sim.live_objects() == before


def test_two_threads_capture_from_two_devices(vyx, sim, devices):
    sim.set_capture_latency_ms(50)
    cams = [vyx.X1.Create(d) for d in devices[:2]]
    assert all(c.Open() for c in cams)
    results = [None, None]
    errors = []
    start = threading.Barrier(2)

    def work(i):
        try:
            start.wait()
            counts = []
            for _ in range(3):
                assert cams[i].Capture()
                counts.append(int(np.isfinite(np.asarray(cams[i].GetPointMap())[..., 2]).sum()))
            results[i] = counts
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors
    assert all(r and min(r) > 0 for r in results)
    for c in cams:
        c.Close()
        vyx.X1.Destroy(c)


@pytest.mark.parametrize("call", [
    lambda cam, vx: cam.Capture(),
    lambda cam, vx: cam.Capture(vx.X1_CaptureOptions()),
    lambda cam, vx: cam.Capture2D(),
], ids=["Capture()", "Capture(opts)", "Capture2D()"])
def test_other_threads_run_python_during_a_capture(vyx, sim, cam, call):
    # The worker's call waits inside the SDK for the simulated latency. This
    # thread sleeps a little first (which lets the worker enter the call),
    # then counts until the call returns; the worker reads the count at once.
    # With the interpreter lock released for the SDK call, this thread wakes
    # and counts during the call; were the lock held, it could not wake before
    # the call returned, and the worker would see no count.
    sim.set_capture_latency_ms(500)
    entered = threading.Event()
    done = threading.Event()
    count = [0]
    seen = []

    def capture():
        entered.set()
        result = call(cam, vyx)
        seen.append(count[0])
        seen.append(result)
        done.set()

    worker = threading.Thread(target=capture)
    worker.start()
    entered.wait()
    time.sleep(0.1)
    while not done.is_set():
        count[0] += 1
    worker.join()
    assert seen[1] is True
    assert seen[0] > 10_000
