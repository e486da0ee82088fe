#!/usr/bin/env python3
"""Cost of a NumPy view of a point map, next to the cost of copying its bytes.

A view is a buffer description over the SDK's own memory, so numpy.asarray
should cost the same for a 1.3 MP and a 5 MP point map, while a copy grows
with the size. Each view also pins the point map in the SDK (so the storage
outlives a destroy while the view lives); where the build has the stand-in
library without that extension (lib/without-extensions), the same views are
timed again in a second process loading it, and the difference is the cost
of the pin.

Run: .venv/bin/python bench/bench_views.py
"""
import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))
sys.path.append(str(BUILD / "python"))  # test-only modules such as the pybind11 floor

import numpy as np  # noqa: E402
import figures  # noqa: E402
import PyVyx as vx  # noqa: E402

SIZES = [("1.3 MP", 1280, 1024), ("5 MP", 2448, 2048)]


def median_ns_per_call(fn, calls_per_batch, batches):
    """Median over batches of the mean time of one call, in nanoseconds."""
    per_call = []
    for _ in range(batches):
        t0 = time.perf_counter_ns()
        for _ in range(calls_per_batch):
            fn()
        per_call.append((time.perf_counter_ns() - t0) / calls_per_batch)
    return statistics.median(per_call)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--batches", type=int, default=21)
    parser.add_argument("--calls", type=int, default=2000, help="asarray calls per batch")
    parser.add_argument("--copies", type=int, default=9, help="copies timed per size")
    parser.add_argument("--views-only", action="store_true",
                        help="time the views only and print them as JSON (for the second process)")
    figures.add_option(parser)
    args = parser.parse_args()
    if args.views_only:
        args.copies = 0

    if not vx.SystemInit():
        sys.exit(f"SystemInit failed: {vx.GetLastErrorMessage()}")
    rows = []
    try:
        for label, width, height in SIZES:
            pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, vx.Size(width, height))
            if not pm.IsValid():
                sys.exit(f"PointMapCreate {width}x{height} failed: {vx.GetLastErrorMessage()}")
            view = np.asarray(pm)
            assert view.shape == (height, width, 3) and view.dtype == np.float64
            view[...] = 1.0  # touch every page before timing copies
            asarray_ns = median_ns_per_call(lambda: np.asarray(pm), args.calls, args.batches)
            memview_ns = median_ns_per_call(lambda: memoryview(pm), args.calls, args.batches)
            copy_ns = median_ns_per_call(lambda: np.copy(view), 1, args.copies) if args.copies else 0
            rows.append((label, width, height, view.nbytes, asarray_ns, memview_ns, copy_ns))
            vx.PointMapDestroy(pm)
    finally:
        vx.SystemShutdown()

    if args.views_only:
        print(json.dumps({"library": loaded_sdk(), "views": [[r[4], r[5]] for r in rows]}))
        return
    unpinned = views_without_pins(args)

    print(f"{'point map':<10} {'grid':>11} {'MB':>8} {'asarray ns':>11} "
          f"{'memoryview ns':>14} {'no-pin asarray':>15} {'pin ns':>7} {'np.copy ms':>11} "
          f"{'copy/asarray':>13}")
    for i, (label, width, height, nbytes, asarray_ns, memview_ns, copy_ns) in enumerate(rows):
        plain = f"{unpinned[i][0]:15.0f}" if unpinned else f"{'-':>15}"
        pin = f"{asarray_ns - unpinned[i][0]:7.0f}" if unpinned else f"{'-':>7}"
        print(f"{label:<10} {f'{width}x{height}':>11} {nbytes / 1e6:8.1f} {asarray_ns:11.0f} "
              f"{memview_ns:14.0f} {plain} {pin} {copy_ns / 1e6:11.2f} {copy_ns / asarray_ns:13.0f}")
    small, large = rows[0][4], rows[-1][4]
    print(f"asarray time, {rows[-1][0]} / {rows[0][0]}: {large / small:.2f} "
          f"(bytes ratio {rows[-1][3] / rows[0][3]:.2f})")
    for label, width, height, nbytes, asarray_ns, memview_ns, copy_ns in rows:
        figures.figure("views", f"numpy.asarray(point map {width}x{height})", asarray_ns, "ns",
                       reference=("np.copy of its bytes, ns", copy_ns), ratio=copy_ns / asarray_ns,
                       goal="ratio copy / view: large")
    figures.figure("views", f"asarray time {rows[-1][0]} / {rows[0][0]}", large / small, "x",
                   goal="about 1")
    figures.emit(args)


def views_without_pins(args):
    """The view timings in a process that loads the SDK without view pins
    (the library found first on LD_LIBRARY_PATH wins over the module's own
    run path); None when the build has no such library."""
    plain = BUILD / "lib" / "without-extensions"
    if not (plain / "libvyx.so").exists():
        return None
    env = dict(os.environ, LD_LIBRARY_PATH=str(plain))
    out = subprocess.run([sys.executable, __file__, "--views-only", "--batches", str(args.batches),
                          "--calls", str(args.calls)], env=env, check=True, capture_output=True,
                         text=True).stdout
    result = json.loads(out.strip().splitlines()[-1])
    if pathlib.Path(result["library"]).parent != plain:
        sys.exit(f"the second process loaded {result['library']}, not the library in {plain}")
    return result["views"]


def loaded_sdk():
    """The path of the SDK library this process loaded."""
    with open("/proc/self/maps") as maps:
        for line in maps:
            if line.rstrip().endswith("/libvyx.so"):
                return line.split(None, 5)[-1].strip()
    return ""


if __name__ == "__main__":
    main()
