#!/usr/bin/env python3
"""Capture once with both cameras of the first device and save what they saw.

    stereo_capture.py [OUT_DIR]        (default: ./out)

Opens the first device found as an X2 (both cameras and the projector),
captures, prints the size and the number of valid points, and writes into
OUT_DIR:

    stereo.png          the left and the right image side by side
    correspondence.png  the horizontal disparity of each left pixel (its
                        column minus the column where the right camera sees
                        the same point), colour-mapped: near red, far blue,
                        no match black

Both files are written by the SDK's own image writer. The colour map and the
side-by-side picture are those of common.py, next to this script.
"""
import sys

import numpy as np

import PyVyx as vx
from common import (as_bgr, colourise_depth, fail, out_dir_parser, run_on_first_camera,
                    save_image, side_by_side)


def horizontal_disparity(corr):
    """Left column minus matching right column, per left pixel (NaN where the
    right camera sees no match)."""
    cols = np.arange(corr.shape[1], dtype=np.float64)[None, :]
    return cols - corr[..., 0]


def capture(cam, out_dir):
    if not cam.Capture(vx.X2_CaptureOptions()):
        return fail("Capturing")

    # Results live in the camera's buffers until its next capture.
    left = np.asarray(cam.GetImage(vx.CameraID_Left))
    right = np.asarray(cam.GetImage(vx.CameraID_Right))
    points = np.asarray(cam.GetPointMap())       # (rows, cols, 3), metres, left camera
    corr = np.asarray(cam.GetCorrespondMap())    # (rows, cols, 2): right column, row
    valid = np.isfinite(points[..., 2])
    matched = np.isfinite(corr[..., 0])
    print(f"images {left.shape[1]} x {left.shape[0]}, {int(valid.sum())} valid points, "
          f"{int(matched.sum())} left pixels matched in the right image")
    disparity = horizontal_disparity(corr)
    if matched.any():
        lo, hi = np.nanpercentile(disparity, [1, 99])
        print(f"disparity from {lo:.1f} to {hi:.1f} pixels")

    out_dir.mkdir(parents=True, exist_ok=True)
    stereo = out_dir / "stereo.png"
    if not save_image(side_by_side(as_bgr(left), as_bgr(right)), stereo):
        return fail(f"Saving {stereo}")
    print(f"wrote {stereo}")

    # A large disparity is a near point: colour it as a small depth.
    png = out_dir / "correspondence.png"
    if not save_image(colourise_depth(-disparity), png):
        return fail(f"Saving {png}")
    print(f"wrote {png}")
    return 0


def main(argv=None):
    args = out_dir_parser(__doc__, "stereo.png and correspondence.png").parse_args(argv)
    return run_on_first_camera(vx.X2, lambda cam: capture(cam, args.out_dir))


if __name__ == "__main__":
    sys.exit(main())
