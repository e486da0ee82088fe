#!/usr/bin/env python3
"""Binary PLY save and load of a 1.3 MP point map, next to plain file I/O.

Saving goes through PointMap.Save(path, unit, isBinary=True) and loading
through PointMap.CreateFromFile; the baseline writes (and reads back) the same
number of bytes with plain write()/read() to the same directory, in the same
run, so the table shows what the format costs beyond the disk.

Run: .venv/bin/python bench/bench_ply.py [--dir /tmp]
"""
import argparse
import os
import pathlib
import statistics
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))
sys.path.append(str(BUILD / "python"))  # test-only modules such as the pybind11 floor

import numpy as np  # noqa: E402
import figures  # noqa: E402
import PyVyx as vx  # noqa: E402

WIDTH, HEIGHT = 1280, 1024


def fill_surface(points):
    """A gently curved surface about 0.5 m away, with a few holes (NaN)."""
    h, w, _ = points.shape
    ys, xs = np.mgrid[0:h, 0:w]
    points[..., 0] = (xs - w / 2) * 2.5e-4
    points[..., 1] = (ys - h / 2) * 2.5e-4
    points[..., 2] = 0.5 + 0.01 * np.sin(xs / 50.0) * np.cos(ys / 70.0)
    points[::97, ::89, :] = np.nan


def timed(fn, repeats):
    times = []
    for _ in range(repeats):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dir", default="/tmp", help="where the temporary files go")
    parser.add_argument("--repeats", type=int, default=5)
    figures.add_option(parser)
    args = parser.parse_args()

    if not vx.SystemInit():
        sys.exit(f"SystemInit failed: {vx.GetLastErrorMessage()}")
    try:
        with tempfile.TemporaryDirectory(prefix="pyvyx-bench-", dir=args.dir) as tmp:
            run(pathlib.Path(tmp), args.repeats)
    finally:
        vx.SystemShutdown()
    figures.emit(args)


def run(tmp, repeats):
    size = vx.Size(WIDTH, HEIGHT)
    pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, size)
    if not pm.IsValid():
        sys.exit(f"PointMapCreate failed: {vx.GetLastErrorMessage()}")
    fill_surface(np.asarray(pm))
    ply = tmp / "points.ply"
    raw = tmp / "plain.bin"

    def save():
        if not pm.Save(str(ply), vx.PointMapUnitEnum.Meter, True):
            sys.exit(f"Save failed: {vx.GetLastErrorMessage()}")

    loaded = []

    def load():
        m = vx.PointMap.CreateFromFile(str(ply), size, vx.PointMapUnitEnum.Meter)
        if not m.IsValid():
            sys.exit(f"CreateFromFile failed: {vx.GetLastErrorMessage()}")
        loaded.append(m)

    save_s = timed(save, repeats)
    nbytes = ply.stat().st_size
    load_s = timed(load, repeats)
    np.testing.assert_array_equal(np.asarray(loaded[-1]), np.asarray(pm))
    for m in loaded:
        vx.PointMapDestroy(m)
    vx.PointMapDestroy(pm)

    payload = os.urandom(nbytes)

    def plain_write():
        with open(raw, "wb") as f:
            f.write(payload)

    def plain_read():
        with open(raw, "rb") as f:
            f.read()

    write_s = timed(plain_write, repeats)
    read_s = timed(plain_read, repeats)

    mb = nbytes / 1e6
    print(f"binary PLY of a {WIDTH}x{HEIGHT} point map: {mb:.1f} MB in {tmp}")
    print(f"{'operation':<28} {'median ms':>10} {'MB/s':>9}")
    for name, seconds in (("PointMap.Save (binary PLY)", save_s),
                          ("plain write()", write_s),
                          ("PointMap.CreateFromFile", load_s),
                          ("plain read()", read_s)):
        print(f"{name:<28} {seconds * 1e3:10.1f} {mb / seconds:9.0f}")
    figures.figure("PLY", "PointMap.Save (binary PLY), MB/s", mb / save_s, "MB/s",
                   reference=("plain write()", mb / write_s), goal="close to 1")
    figures.figure("PLY", "PointMap.CreateFromFile (binary PLY), MB/s", mb / load_s, "MB/s",
                   reference=("plain read()", mb / read_s), goal="close to 1")


if __name__ == "__main__":
    main()
