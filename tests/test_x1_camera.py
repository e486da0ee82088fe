"""The X1 class against the stand-in's virtual devices, where it differs from
X2: registration, the camera argument of Create, argument errors, outputs
written before a failure, captures checked against the scene, and threads.
What X1 shares with X2 is checked for both in test_camera_common.py."""
import threading

import numpy as np
import pytest

import PyVyx as vx
from cameras import X1
from tracing import traced, calls

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


def plain(values):
    """Result outputs with records turned into tuples of their fields."""
    out = []
    for v in values:
        if isinstance(v, vx.Size):
            v = (v.width, v.height)
        out.append(v)
    return out


@pytest.fixture
def model():
    return X1


# ---------------------------------------------------------------------------
# Registration


def test_method_registration_order():
    names = [n for n in vars(vx.X1) if not n.startswith("_")]
    assert names == METHOD_ORDER


def test_signatures_of_overloads_and_defaults():
    doc = vx.X1.Capture2D.__doc__
    assert "Capture2D(self: PyVyx.X1, opts: PyVyx.X1_CaptureOptions = " in doc
    assert "Capture2D(self: PyVyx.X1) -> bool" in doc
    doc = vx.X1.Capture.__doc__
    assert doc.index("arg0: PyVyx.X1_CaptureOptions") < doc.index("Capture(self: PyVyx.X1) -> bool")
    assert "camid: PyVyx.CameraID = <CameraID.CameraID_0: 1>" in vx.X1.Create.__doc__
    assert "-> Tuple[bool, List[float], List[float]]" in vx.X1.GetIntrinsicParameters.__doc__
    assert "-> Tuple[bool, str]" in vx.X1.GetUserSetName.__doc__


# ---------------------------------------------------------------------------
# Which SDK call each form reaches


@pytest.mark.parametrize("call", [
    lambda vx, d: vx.X1.Create(d),
    lambda vx, d: vx.X1.Create(d, vx.CameraID_Left),
    lambda vx, d: vx.X1.Create(device=d, camid=vx.CameraID_0),
    lambda vx, d: vx.X1.Create(d, camid=vx.CameraID(1)),
])
def test_create_forms_make_the_same_call(vyx, sim, devices, call):
    _, reference = traced(sim, lambda: vyx.X1.Create(devices[0], vyx.CameraID_Left))
    cam, lines = traced(sim, lambda: call(vyx, devices[0]))
    created = calls(lines, "X1::Create")
    assert len(created) == 1 and created == calls(reference, "X1::Create")
    assert cam.IsValid()


def test_create_refuses_a_plain_int_camera(vyx, devices):
    with pytest.raises(TypeError):
        vyx.X1.Create(devices[0], 1)
    with pytest.raises(TypeError):
        vyx.X1.Create(None)


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
    # The worker's call waits inside the SDK for a long simulated latency
    # (real time). This thread, which needs the interpreter lock for every
    # step, watches the stand-in until the call is waiting there, then ends
    # the wait by lowering the latency. Were the lock held for the SDK call,
    # this thread could not run before the latency had passed, and would find
    # the call finished instead.
    sim.set_capture_latency_ms(60_000)
    result = []
    worker = threading.Thread(target=lambda: result.append(call(cam, vyx)))
    worker.start()
    while sim.captures_waiting() == 0 and worker.is_alive():
        pass
    seen_waiting = worker.is_alive() and sim.captures_waiting() == 1
    sim.set_capture_latency_ms(0)
    worker.join()
    assert seen_waiting
    assert result == [True]