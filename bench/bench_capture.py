#!/usr/bin/env python3
"""Capture throughput of an X1: one camera, then two cameras in two threads.

1. Capture + GetPointMap + numpy.asarray on the first (default 1.3 MP)
   device: median milliseconds per frame and frames per second.
2. The first two devices, one X1 each: the same frames captured by one
   thread taking turns between the cameras, then by two threads with one
   camera each. The ratio of the two throughputs shows how much the module's
   release of the interpreter lock lets the SDK work in parallel.

Run: .venv/bin/python bench/bench_capture.py
Options: --frames, --warmup, --latency-ms (simulated capture latency of the
stand-in, as a real camera's exposure and transfer would add).
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
sys.path.append(str(BUILD / "python"))  # test-only modules such as the pybind11 floor

import numpy as np  # noqa: E402
import PyVyx as vx  # noqa: E402
import vyxsim  # noqa: E402


def open_camera(device):
    cam = vx.X1.Create(device, vx.CameraID_Left)
    if not cam.Open():
        sys.exit(f"Open failed: {vx.GetLastErrorMessage()}")
    return cam


def frame(cam, opts):
    """One frame: capture, fetch the point map, view it. Returns the point count."""
    if not cam.Capture(opts):
        sys.exit(f"Capture failed: {vx.GetLastErrorMessage()}")
    points = np.asarray(cam.GetPointMap())
    return points.shape[0] * points.shape[1]


def single_camera(cam, opts, frames, warmup):
    for _ in range(warmup):
        frame(cam, opts)
    times = []
    for _ in range(frames):
        t0 = time.perf_counter()
        frame(cam, opts)
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def one_thread(cams, opts, frames):
    t0 = time.perf_counter()
    for _ in range(frames):
        for cam in cams:
            frame(cam, opts)
    return len(cams) * frames / (time.perf_counter() - t0)


def two_threads(cams, opts, frames):
    start = threading.Barrier(len(cams) + 1)

    def work(cam):
        start.wait()
        for _ in range(frames):
            frame(cam, opts)

    threads = [threading.Thread(target=work, args=(cam,)) for cam in cams]
    for t in threads:
        t.start()
    start.wait()
    t0 = time.perf_counter()
    for t in threads:
        t.join()
    return len(cams) * frames / (time.perf_counter() - t0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=15, help="frames timed per measurement")
    parser.add_argument("--warmup", type=int, default=2)
    parser.add_argument("--latency-ms", type=int, default=0)
    args = parser.parse_args()

    vyxsim.reset()
    vyxsim.set_capture_latency_ms(args.latency_ms)
    if not vx.SystemInit():
        sys.exit(f"SystemInit failed: {vx.GetLastErrorMessage()}")
    cams = []
    try:
        status, devices = vx.SystemListDevices(vx.All)
        if status != 0 or len(devices) < 2:
            sys.exit(f"need two devices, found {len(devices)}: {vx.GetLastErrorMessage()}")
        cams = [open_camera(d) for d in devices[:2]]
        opts = vx.X1_CaptureOptions()
        sizes = [c.GetCameraResolution()[1] for c in cams]

        median_s = single_camera(cams[0], opts, args.frames, args.warmup)
        print(f"capture latency (simulated): {args.latency_ms} ms")
        print(f"one camera, {sizes[0].width} x {sizes[0].height}: "
              f"median {median_s * 1e3:.1f} ms per frame, {1.0 / median_s:.1f} fps")

        for cam in cams[1:]:
            for _ in range(args.warmup):
                frame(cam, opts)
        serial = one_thread(cams, opts, args.frames)
        parallel = two_threads(cams, opts, args.frames)
        print(f"two cameras ({sizes[0].width} x {sizes[0].height} and "
              f"{sizes[1].width} x {sizes[1].height}), {args.frames} frames each:")
        print(f"  one thread taking turns: {serial:.2f} frames/s")
        print(f"  two threads, one camera each: {parallel:.2f} frames/s")
        print(f"  throughput ratio two threads / one thread: {parallel / serial:.2f}")
        print(f"  (cores available: {len(os.sched_getaffinity(0))})")
    finally:
        for cam in cams:
            cam.Close()
            vx.X1.Destroy(cam)
        vx.SystemShutdown()
        vyxsim.set_capture_latency_ms(0)


if __name__ == "__main__":
    main()
