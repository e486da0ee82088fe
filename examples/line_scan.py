#!/usr/bin/env python3
"""Scan a part carried past the laser line of the first device and save it.

    line_scan.py [OUT_DIR] [--scan-ms MS] [--rate PROFILES_PER_MS]

Opens the first device found as an X2, starts a fixed line scan triggered at
a fixed rate, and polls the scan's point map until the part has passed (the
scan time is over and no new profile arrives), at most the scan time plus
30 seconds. Then it stops the scan, prints the number of rows (profiles) and
valid points, and writes OUT_DIR/line_scan.ply (millimetres, binary).
The start-up, the device and failure reports come from common.py, next to
this script.
"""
import sys
import time

import numpy as np

import PyVyx as vx
from common import fail, out_dir_parser, run_on_first_camera

POLL_SECONDS = 0.1
GRACE_SECONDS = 30.0


def poll_until_passed(cam, point_map, scan_seconds):
    """Refreshes point_map with the rows scanned so far until the scan time
    is over and a poll brings no new row. Returns the row count, or None when
    a poll fails or the time runs out."""
    start = time.monotonic()
    deadline = start + scan_seconds + GRACE_SECONDS
    rows = -1
    while time.monotonic() < deadline:
        if not cam.GetFixedLineScanPointMap(point_map):
            return None
        now_rows = point_map.GetSize().height
        if now_rows == rows and time.monotonic() - start > scan_seconds:
            return rows
        if now_rows != rows:
            print(f"  {time.monotonic() - start:5.2f} s: {now_rows} rows")
        rows = now_rows
        time.sleep(POLL_SECONDS)
    return None


def scan(cam, opts, out_dir):
    if not cam.StartFixedLineScan(opts):
        return fail("Starting the line scan")
    # The SDK fills this map in place on every poll.
    point_map = vx.PointMap()
    try:
        rows = poll_until_passed(cam, point_map, opts.line_scanner_scan_time_ms / 1000.0)
        if rows is None:
            fail("Polling the line scan")
            cam.StopFixedLineScan()
            return 1
        if not cam.StopFixedLineScan():
            return fail("Stopping the line scan")

        points = np.asarray(point_map)
        valid = int(np.isfinite(points[..., 2]).sum()) if points.size else 0
        print(f"{rows} rows of {point_map.GetSize().width} points, {valid} valid points")

        out_dir.mkdir(parents=True, exist_ok=True)
        ply = out_dir / "line_scan.ply"
        if not point_map.Save(str(ply)):
            return fail(f"Saving {ply}")
        print(f"wrote {ply}")
        return 0
    finally:
        if point_map.IsValid():
            vx.PointMapDestroy(point_map)


def fixed_rate_options(scan_ms, rate):
    """Options of a scan triggered at `rate` profiles per millisecond for
    `scan_ms` milliseconds."""
    opts = vx.X2_CaptureOptions()
    opts.trigger_mode = vx.TriggerMode_FixedRate
    opts.auto_set_fixed_rate = False
    opts.fixed_rate = rate
    opts.line_scanner_scan_time_ms = scan_ms
    return opts


def main(argv=None):
    parser = out_dir_parser(__doc__, "line_scan.ply")
    parser.add_argument("--scan-ms", type=int, default=1000,
                        help="how long the scan acquires, milliseconds (default: 1000)")
    parser.add_argument("--rate", type=float, default=0.5,
                        help="profiles per millisecond (default: 0.5)")
    args = parser.parse_args(argv)
    opts = fixed_rate_options(args.scan_ms, args.rate)
    return run_on_first_camera(vx.X2, lambda cam: scan(cam, opts, args.out_dir), announce=False)


if __name__ == "__main__":
    sys.exit(main())
