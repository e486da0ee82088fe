"""The X2 against the stand-in's scene: stereo correspondence checked with the
cameras' own calibration, fixed line scans, and threads sharing one X2."""
import threading

import numpy as np
import pytest

import PyVyx as vx


@pytest.fixture(params=[0, 1], ids=["grey", "colour"])
def cam(request, vyx):
    status, devices = vyx.SystemListDevices(vyx.All)
    assert status == 0 and len(devices) >= 2
    camera = vyx.X2.Create(devices[request.param])
    assert camera.Open(), vyx.GetLastErrorMessage()
    yield camera
    camera.Close()
    vyx.X2.Destroy(camera)


def calibration(cam, cid):
    """(4 x 4 pose camera -> device, 3 x 3 camera matrix, k1 k2 p1 p2 k3)."""
    ok, pose = cam.GetExtrinsicMatrix(cid)
    assert ok
    ok, k, dist = cam.GetIntrinsicParameters(cid)
    assert ok
    return (np.array(pose, float).reshape(4, 4), np.array(k, float).reshape(3, 3),
            np.array(dist, float))


def project(points, k, dist):
    """Pixel (column, row) of camera-frame points: pinhole with radial
    (k1, k2, k3) and tangential (p1, p2) distortion."""
    x = points[:, 0] / points[:, 2]
    y = points[:, 1] / points[:, 2]
    k1, k2, p1, p2, k3 = dist
    r2 = x * x + y * y
    radial = 1.0 + k1 * r2 + k2 * r2 ** 2 + k3 * r2 ** 3
    xd = x * radial + 2.0 * p1 * x * y + p2 * (r2 + 2.0 * x * x)
    yd = y * radial + p1 * (r2 + 2.0 * y * y) + 2.0 * p2 * x * y
    return np.stack([k[0, 0] * xd + k[0, 1] * yd + k[0, 2], k[1, 1] * yd + k[1, 2]], axis=1)


# ---------------------------------------------------------------------------
# Stereo

# The correspondence map is where the right camera sees the surface point of
# each left pixel; the point map is the measured point of that left pixel, in
# the left camera's frame. Projecting the measured point into the right camera
# lands on the map's value up to the measurement noise (the stand-in's points
# scatter by a small fraction of a pixel of disparity): 0.1 px in the median,
# 0.5 px at worst. Swapping the map's two channels, or leaving out the
# distortion or the stereo pose, misses by pixels.
MEDIAN_PX = 0.1
WORST_PX = 0.5


def test_correspondence_matches_the_calibrated_cameras(vyx, cam):
    assert cam.Capture(vyx.X2_CaptureOptions())
    points = np.asarray(cam.GetPointMap())
    corr = np.asarray(cam.GetCorrespondMap())
    ok, size = cam.GetCameraResolution()
    assert ok
    assert points.shape == (size.height, size.width, 3)
    assert corr.shape == (size.height, size.width, 2)

    both = np.isfinite(points[..., 2]) & np.isfinite(corr[..., 0])
    assert both.sum() > 0.3 * both.size
    # Every measured point has a match in the right camera.
    assert not (np.isfinite(points[..., 2]) & ~np.isfinite(corr[..., 0])).any()

    left_pose, left_k, left_dist = calibration(cam, vyx.CameraID_Left)
    right_pose, right_k, right_dist = calibration(cam, vyx.CameraID_Right)
    p = points[both]

    # The measured point projects back onto its own left pixel.
    rows, cols = np.nonzero(both)
    own = project(p, left_k, left_dist)
    assert np.abs(own - np.stack([cols, rows], axis=1)).max() < 0.01

    left_to_right = np.linalg.inv(right_pose) @ left_pose
    in_right = p @ left_to_right[:3, :3].T + left_to_right[:3, 3]
    error = np.hypot(*(project(in_right, right_k, right_dist) - corr[both]).T)
    assert np.median(error) < MEDIAN_PX
    assert error.max() < WORST_PX

    # The same check fails for a map read with its channels swapped.
    swapped = np.hypot(*(project(in_right, right_k, right_dist) - corr[both][:, ::-1]).T)
    assert np.median(swapped) > 10.0


def test_both_images_come_from_one_capture(vyx, cam):
    assert cam.Capture(vyx.X2_CaptureOptions())
    left = cam.GetImage(vyx.CameraID_Left)
    right = cam.GetImage(vyx.CameraID_Right)
    assert left.IsValid() and right.IsValid()
    a, b = np.asarray(left), np.asarray(right)
    assert a.shape == b.shape and a.max() > 0 and b.max() > 0
    assert not np.array_equal(a, b)  # two viewpoints


# ---------------------------------------------------------------------------
# Fixed line scan


def rows_of(point_map):
    size = point_map.GetSize()
    return size.width, size.height


def test_software_triggered_scan_grows_by_one_row_per_call(vyx, sim, cam):
    sim.clock_manual()
    opts = vyx.X2_CaptureOptions()
    assert opts.trigger_mode == vyx.TriggerMode_SoftWare
    assert cam.StartFixedLineScan(opts)
    widths, heights, stamps = set(), [], []
    for _ in range(4):
        pm = cam.GetFixedLineScanPointMap()
        width, height = rows_of(pm)
        widths.add(width)
        heights.append(height)
        stamps.append(pm.GetTimestamp())
        assert cam.GetTimestamp() == (True, stamps[-1])  # each call triggers a profile now
        sim.clock_advance_us(5000)
    assert heights == [1, 2, 3, 4]
    assert len(widths) == 1 and widths.pop() > 0
    assert [b - a for a, b in zip(stamps, stamps[1:])] == [5000] * 3
    assert cam.StopFixedLineScan() is True


def test_timed_scan_grows_with_the_clock_and_stops_cleanly(vyx, sim, cam):
    sim.clock_manual()
    opts = vyx.X2_CaptureOptions()
    opts.trigger_mode = vyx.TriggerMode_FixedRate
    opts.auto_set_fixed_rate = False
    opts.fixed_rate = 0.5             # profiles per millisecond: one every 2 ms
    opts.line_scanner_scan_time_ms = 200
    assert cam.StartFixedLineScan(opts)
    heights, stamps = [], []
    filled = vyx.PointMap()
    for _ in range(6):
        assert cam.GetFixedLineScanPointMap(filled) is True
        heights.append(rows_of(filled)[1])
        stamps.append(filled.GetTimestamp())
        sim.clock_advance_us(50_000)
    # Profiles at 0, 2, .. 198 ms; none after the scan time.
    assert heights == [1, 26, 51, 76, 100, 100]
    assert [b - a for a, b in zip(stamps, stamps[1:])] == [50_000, 50_000, 50_000, 48_000, 0]
    z = np.asarray(filled)[..., 2]
    assert np.isfinite(z).sum() > 0.2 * z.size
    assert rows_of(cam.GetFixedLineScanPointMap())[1] == 100

    assert cam.StopFixedLineScan() is True
    # Stopped: no scan to read or stop, the camera stays open for captures.
    assert cam.StopFixedLineScan() is False
    assert "no fixed line scan" in vyx.GetLastErrorMessage()
    assert cam.GetFixedLineScanPointMap().IsValid() is False
    assert cam.IsOpen() and cam.Capture()


# ---------------------------------------------------------------------------
# Threads


def run_threads(work, count):
    errors = []
    start = threading.Barrier(count)

    def body(i):
        try:
            start.wait()
            work(i)
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=body, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors


def test_threads_share_one_x2(vyx, sim, cam):
    # Two threads capture and read the point map (a 2D capture between the
    # two would leave no point map, by design); two read state meanwhile.
    sim.set_capture_latency_ms(20)
    results = {i: [] for i in range(4)}

    def work(i):
        for _ in range(2):
            if i < 2:
                ok = cam.Capture()
                results[i].append(ok and cam.GetPointMap().IsValid())
            elif i == 2:
                ok, stamp = cam.GetTimestamp()
                results[i].append(ok and stamp >= 0)
            else:
                ok, k, dist = cam.GetIntrinsicParameters(vyx.CameraID_Left)
                results[i].append(ok and len(k) == 9 and cam.GetUserSetName(0)[0])

    run_threads(work, 4)
    assert all(results[i] == [True] * 2 for i in range(4)), results


@pytest.mark.parametrize("call", [
    lambda cam: cam.Capture(),
    lambda cam: cam.Capture2D(vx.CameraID_Left),
    lambda cam: cam.StartFixedLineScan() and cam.StopFixedLineScan(),
], ids=["Capture", "Capture2D", "line scan"])
def test_other_threads_run_python_during_a_capture(vyx, sim, cam, call):
    # The worker's call waits inside the SDK for a long simulated latency
    # (real time). This thread, which needs the interpreter lock for every
    # step, watches the stand-in until the call is waiting there, then ends
    # the wait by lowering the latency. Were the lock held for the SDK call,
    # this thread could not run before the latency had passed, and would find
    # the call finished instead.
    sim.set_capture_latency_ms(60_000)
    result = []
    worker = threading.Thread(target=lambda: result.append(call(cam)))
    worker.start()
    while sim.captures_waiting() == 0 and worker.is_alive():
        pass
    seen_waiting = worker.is_alive() and sim.captures_waiting() == 1
    sim.set_capture_latency_ms(0)
    worker.join()
    assert seen_waiting
    assert result == [True]
