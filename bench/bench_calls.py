#!/usr/bin/env python3
"""Per-call cost of small PyVyx calls, next to the least a pybind11 call of
the same shape costs (the pyvyx_floor module built beside PyVyx) and the
stand-in SDK's own cost of the call (bench_calls_bench, when built).

PyVyx minus SDK is the binding's overhead per call; it should stay close to
the floor.

Run: .venv/bin/python bench/bench_calls.py
"""
import argparse
import json
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))
sys.path.append(str(BUILD / "python"))  # test-only modules such as the pybind11 floor
sys.path.insert(0, str(ROOT / "bench"))

import figures  # noqa: E402
import PyVyx as vx  # noqa: E402
import pyvyx_floor as floor  # noqa: E402
from bench_views import median_ns_per_call  # noqa: E402


def sdk_ns():
    """The SDK's own median ns per call, by benchmark name; empty when the
    C++ benchmark is not built."""
    exe = BUILD / "bench" / "bench_calls_bench"
    if not exe.exists():
        return {}
    out = subprocess.run([str(exe), "--benchmark_format=json"], check=True,
                         capture_output=True, text=True).stdout
    return {b["run_name"].split("/")[0]: b["real_time"] for b in json.loads(out)["benchmarks"]
            if b.get("aggregate_name") == "median"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--batches", type=int, default=21)
    parser.add_argument("--calls", type=int, default=20000, help="calls per batch")
    figures.add_option(parser)
    args = parser.parse_args()

    if not vx.SystemInit():
        sys.exit(f"SystemInit failed: {vx.GetLastErrorMessage()}")
    image = vx.ImageCreate(vx.ImageTypeEnum.Mono8, vx.Size(640, 480))
    status, devices = vx.SystemListDevices(vx.All)
    camera = vx.X1.Create(devices[0], vx.CameraID_Left)
    if not (image.IsValid() and camera.Open()):
        sys.exit(f"set-up failed: {vx.GetLastErrorMessage()}")
    options, record = vx.X1_CaptureOptions(), floor.Record()

    # (what, PyVyx call, floor call of the same shape, SDK benchmark)
    rows = [
        ("SystemIsInited()", vx.SystemIsInited, floor.flag_released, "BM_SystemIsInited"),
        ("Image.IsValid()", image.IsValid, record.flag, "BM_ImageIsValid"),
        ("X1.GetProjectorTemperature()", camera.GetProjectorTemperature, record.pair,
         "BM_X1GetProjectorTemperature"),
        ("X1_CaptureOptions field read", lambda: options.exposure_time_2d,
         lambda: record.field, None),
    ]
    sdk = sdk_ns()
    print(f"{'call':32} {'PyVyx ns':>9} {'SDK ns':>7} {'binding ns':>11} {'floor ns':>9}")
    try:
        for what, call, same_shape, bench in rows:
            ours = median_ns_per_call(call, args.calls, args.batches)
            least = median_ns_per_call(same_shape, args.calls, args.batches)
            own = sdk.get(bench, 0.0) if bench else 0.0
            print(f"{what:32} {ours:9.0f} {own:7.0f} {ours - own:11.0f} {least:9.0f}")
            figures.figure("calls", f"{what}, binding ns (PyVyx - SDK)", ours - own, "ns",
                           reference=("pybind11 floor", least), goal="close to 1")
    finally:
        camera.Close()
        vx.X1.Destroy(camera)
        vx.ImageDestroy(image)
        vx.SystemShutdown()
    print("binding ns = PyVyx ns - SDK ns; floor ns: a pybind11 call of the same shape that does nothing")
    figures.emit(args)


if __name__ == "__main__":
    main()
