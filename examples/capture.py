#!/usr/bin/env python3
"""Capture one frame from the first camera device and save what it saw.

    capture.py [OUT_DIR]        (default: ./out)

Opens the first device found as an X1 (left camera and projector), captures
a point map with normals and the 2D image, prints the size, the number of
valid points and the z range, and writes into OUT_DIR:

    points.ply   the point map with normals and the image's colours (mm)
    capture.png  the 2D image beside a colour-mapped depth map (near red,
                 far blue, no measurement black)

Both files are written by the SDK itself; the script needs only NumPy and
common.py, next to it.
"""
import sys

import numpy as np

import PyVyx as vx
from common import (as_bgr, colourise_depth, fail, out_dir_parser, run_on_first_camera,
                    save_image, side_by_side)


def capture(cam, out_dir):
    opts = vx.X1_CaptureOptions()
    opts.calc_normal = True
    if not cam.Capture(opts):
        return fail("Capturing")

    # Results live in the camera's buffers until its next capture; the
    # views below are read before that.
    point_map = cam.GetPointMap()
    image = cam.GetImage()
    points = np.asarray(point_map)                # (rows, cols, 3), metres
    z = points[..., 2]
    valid = np.isfinite(z)
    size = point_map.GetSize()
    print(f"point map {size.width} x {size.height}, {int(valid.sum())} valid points")
    if valid.any():
        print(f"z from {np.nanmin(z):.4f} m to {np.nanmax(z):.4f} m")
    normals = point_map.GetNormalDataPtr()
    print(f"normals: {'yes' if normals.IsValid() else 'no'}")

    out_dir.mkdir(parents=True, exist_ok=True)
    ply = out_dir / "points.ply"
    if not point_map.SaveWithImage(str(ply), image):
        return fail(f"Saving {ply}")
    print(f"wrote {ply}")

    png = out_dir / "capture.png"
    if not save_image(side_by_side(as_bgr(np.asarray(image)), colourise_depth(z)), png):
        return fail(f"Saving {png}")
    print(f"wrote {png}")
    return 0


def main(argv=None):
    args = out_dir_parser(__doc__, "points.ply and capture.png").parse_args(argv)
    return run_on_first_camera(vx.X1, lambda cam: capture(cam, args.out_dir), vx.CameraID_Left)


if __name__ == "__main__":
    sys.exit(main())
