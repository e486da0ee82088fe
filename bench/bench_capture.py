#!/usr/bin/env python3
"""Capture speed of the virtual cameras: X1 and X2 frames, two cameras in two
threads, and line-scan polls.

1. X1 on the first device (1280 x 1024): Capture with the point map, image,
   depth and confidence, then GetPointMap and numpy.asarray, pinned to one
   core; median milliseconds per frame, next to the time of allocating and
   filling the same number of output bytes in the same run (NumPy). The same
   with normals, in turns with the frames without (a change in the machine's
   speed during the run then falls on both alike).
2. X2 on the second device (1920 x 1200): both images, the correspondence
   map and the points, pinned to one core.
3. Two X1 cameras (one per device) in two threads: the overlap is the slower
   camera's time alone over the time of both in their own threads (1.0: the
   threads share nothing; 0.5: they run one after the other); medians of
   three rounds of both measurements.
4. A timed line scan of the second device in real time: the longest poll
   (GetFixedLineScanPointMap) while the scan runs, and a poll after the
   whole scan, when every profile is pending.

Run: .venv/bin/python bench/bench_capture.py
Options: --frames, --warmup, --figures (see figures.py).
"""
import argparse
import os
import pathlib
import statistics
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))
sys.path.append(str(BUILD / "python"))

import numpy as np  # noqa: E402
import figures  # noqa: E402
import PyVyx as vx  # noqa: E402
import vyxsim  # noqa: E402


def check(ok, what):
    if not ok:
        sys.exit(f"{what} failed: {vx.GetLastErrorMessage()}")


def x1_frame(cam, opts):
    check(cam.Capture(opts), "X1.Capture")
    np.asarray(cam.GetPointMap())


def x2_frame(cam, opts):
    check(cam.Capture(opts), "X2.Capture")
    np.asarray(cam.GetPointMap())


def median_s(fn, frames, warmup):
    for _ in range(warmup):
        fn()
    times = []
    for _ in range(frames):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def paired_medians_s(fns, frames, warmup):
    """Median seconds of each function, run in turns (a, b, a, b, ...), so
    that a change in the machine's speed during the run (other load, clock)
    falls on each alike and their ratio stays fair."""
    for _ in range(warmup):
        for fn in fns:
            fn()
    times = [[] for _ in fns]
    for _ in range(frames):
        for fn, t in zip(fns, times):
            t0 = time.perf_counter()
            fn()
            t.append(time.perf_counter() - t0)
    return [statistics.median(t) for t in times]


def fill_floor_s(sizes_bytes, frames):
    """Allocating and filling arrays of these byte sizes, as a capture's
    outputs, while the previous set is still held (as a camera keeps its last
    results until the next capture has made its own): the least a capture
    can cost."""
    held = []

    def fill():
        fresh = []
        for n in sizes_bytes:
            a = np.empty(n // 8, dtype=np.float64)
            a.fill(np.nan)
            fresh.append(a)
        held[:] = fresh
    return median_s(fill, frames, 2)


def pinned(fn):
    """Runs fn on one core (the process's first allowed CPU)."""
    allowed = os.sched_getaffinity(0)
    os.sched_setaffinity(0, {min(allowed)})
    try:
        return fn()
    finally:
        os.sched_setaffinity(0, allowed)


def x1_figures(device, frames, warmup):
    cam = vx.X1.Create(device, vx.CameraID_Left)
    check(cam.Open(), "X1.Open")
    try:
        size = cam.GetCameraResolution()[1]
        n = size.width * size.height
        opts = vx.X1_CaptureOptions()
        opts.enable_2d_in_capture = True
        with_normals = vx.X1_CaptureOptions()
        with_normals.enable_2d_in_capture = True
        with_normals.calc_normal = True
        x1_frame(cam, opts)
        image = np.asarray(cam.GetImage())
        channels = image.shape[2] if image.ndim == 3 else 1
        plain, normals = pinned(lambda: paired_medians_s(
            [lambda: x1_frame(cam, opts), lambda: x1_frame(cam, with_normals)], frames, warmup))
        outputs = [n * 24, n * 8, n * 8, n * channels]
        floor = pinned(lambda: fill_floor_s(outputs, frames))
    finally:
        cam.Close()
        vx.X1.Destroy(cam)
    res = f"{size.width}x{size.height}"
    print(f"X1 {res}, one core: {plain * 1e3:.1f} ms per frame ({1 / plain:.1f} fps); "
          f"filling its {sum(outputs) / 1e6:.0f} MB of outputs: {floor * 1e3:.1f} ms; "
          f"with normals: {normals * 1e3:.1f} ms")
    figures.figure("capture", f"X1 {res} frame, one core", plain * 1e3, "ms",
                   reference=("filling the output bytes", floor * 1e3), goal="ratio <= 10")
    figures.figure("capture", f"X1 {res} frames per second, one core", 1 / plain, "fps", goal=">= 20")
    figures.figure("capture", f"X1 {res} frame with normals, one core", normals * 1e3, "ms",
                   reference=("the frame without normals", plain * 1e3), goal="ratio <= 1.5")
    return plain


def x2_figures(device, frames, warmup):
    cam = vx.X2.Create(device)
    check(cam.Open(), "X2.Open")
    try:
        opts = vx.X2_CaptureOptions()
        opts.enable_2d_in_capture = True
        t = pinned(lambda: median_s(lambda: x2_frame(cam, opts), frames, warmup))
        size = cam.GetCameraResolution()[1]
    finally:
        cam.Close()
        vx.X2.Destroy(cam)
    res = f"{size.width}x{size.height}"
    print(f"X2 {res}, one core: {t * 1e3:.1f} ms per frame ({1 / t:.1f} fps)")
    figures.figure("capture", f"X2 {res} frames per second, one core", 1 / t, "fps", goal=">= 10")


ROUNDS = 3


def thread_figures(devices, frames, warmup):
    cams = []
    for d in devices[:2]:
        cam = vx.X1.Create(d, vx.CameraID_Left)
        check(cam.Open(), "X1.Open")
        cams.append(cam)
    opts = vx.X1_CaptureOptions()
    opts.enable_2d_in_capture = True
    try:
        for cam in cams:
            for _ in range(warmup):
                x1_frame(cam, opts)

        def run(cam):
            for _ in range(frames):
                x1_frame(cam, opts)

        def timed(fn):
            t0 = time.perf_counter()
            fn()
            return time.perf_counter() - t0

        def together():
            threads = [threading.Thread(target=run, args=(cam,)) for cam in cams]
            for t in threads:
                t.start()
            for t in threads:
                t.join()

        # Rounds of (each camera alone, both together), medians of each: a
        # change in the machine's speed during one round then moves one
        # sample of each, not the figure.
        samples = [[timed(lambda: run(cams[0])), timed(lambda: run(cams[1])), timed(together)]
                   for _ in range(ROUNDS)]
        alone = [statistics.median(s[i] for s in samples) for i in range(2)]
        both = statistics.median(s[2] for s in samples)
    finally:
        for cam in cams:
            cam.Close()
            vx.X1.Destroy(cam)
    overlap = max(alone) / both
    print(f"two X1 in two threads, {frames} frames each, median of {ROUNDS} rounds: alone {alone[0]:.2f} s and {alone[1]:.2f} s, "
          f"together {both:.2f} s; overlap {overlap:.2f} (cores: {len(os.sched_getaffinity(0))})")
    figures.figure("threads", "two X1 in two threads: overlap (slower alone / both)", overlap, "",
                   goal=">= 0.9")


def line_scan_figures(device):
    cam = vx.X2.Create(device)
    check(cam.Open(), "X2.Open")
    opts = vx.X2_CaptureOptions()
    opts.trigger_mode = vx.TriggerMode_FixedRate
    opts.auto_set_fixed_rate = False
    opts.fixed_rate = 1.0
    opts.line_scanner_scan_time_ms = 1300
    try:
        # Polls while the scan runs, every 100 ms.
        check(cam.StartFixedLineScan(opts), "StartFixedLineScan")
        polls = []
        end = time.perf_counter() + 1.4
        while time.perf_counter() < end:
            time.sleep(0.1)
            t0 = time.perf_counter()
            pm = cam.GetFixedLineScanPointMap()
            polls.append(time.perf_counter() - t0)
            check(pm.IsValid(), "GetFixedLineScanPointMap")
            vx.PointMapDestroy(pm)
        check(cam.StopFixedLineScan(), "StopFixedLineScan")
        # One poll after the whole scan.
        check(cam.StartFixedLineScan(opts), "StartFixedLineScan")
        time.sleep(1.4)
        t0 = time.perf_counter()
        pm = cam.GetFixedLineScanPointMap()
        last = time.perf_counter() - t0
        rows = pm.GetSize().height
        vx.PointMapDestroy(pm)
        check(cam.StopFixedLineScan(), "StopFixedLineScan")
    finally:
        cam.Close()
        vx.X2.Destroy(cam)
    print(f"line scan, 1 profile/ms for 1.3 s: longest of {len(polls)} polls {max(polls) * 1e3:.1f} ms; "
          f"one poll after the scan ({rows} rows): {last * 1e3:.1f} ms")
    figures.figure("line scan", "longest poll while the scan runs", max(polls) * 1e3, "ms", goal="<= 50")
    figures.figure("line scan", f"poll after the whole scan ({rows} rows pending)", last * 1e3, "ms",
                   goal="<= 50")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=15, help="frames timed per measurement")
    parser.add_argument("--warmup", type=int, default=2)
    figures.add_option(parser)
    args = parser.parse_args()

    vyxsim.reset()
    check(vx.SystemInit(), "SystemInit")
    try:
        status, devices = vx.SystemListDevices(vx.All)
        if status != 0 or len(devices) < 2:
            sys.exit(f"need two devices, found {len(devices)}: {vx.GetLastErrorMessage()}")
        x1_figures(devices[0], args.frames, args.warmup)
        x2_figures(devices[1], max(5, args.frames // 2), args.warmup)
        thread_figures(devices, args.frames, args.warmup)
        line_scan_figures(devices[1])
    finally:
        vx.SystemShutdown()
    figures.emit(args)


if __name__ == "__main__":
    main()
