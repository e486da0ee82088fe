#!/usr/bin/python3
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
side-by-side writer are those of capture.py, next to this script.
"""
import argparse
import pathlib
import sys

import numpy as np

import PyVyx as vx
from capture import as_bgr, colourise_depth, fail, save_side_by_side


def horizontal_disparity(corr):
    """Left column minus matching right column, per left pixel (NaN where the
    right camera sees no match)."""
    cols = np.arange(corr.shape[1], dtype=np.float64)[None, :]
    return cols - corr[..., 0]


def save_image(pixels, path):
    """Writes a BGR array as a PNG through the SDK."""
    h, w = pixels.shape[:2]
    image = vx.ImageCreate(vx.ImageTypeEnum.BGR8, vx.Size(w, h))
    try:
        np.asarray(image)[:] = pixels
        return image.SaveImage(str(path))
    finally:
        vx.ImageDestroy(image)


def run(out_dir):
    status, devices = vx.SystemListDevices(vx.All)
    if status != 0 or not devices:
        return fail("Finding a device")
    ok, info = devices[0].GetDeviceInfo()
    if ok:
        print(f"device {info.name} ({info.sn}) on {info.port}")

    cam = vx.X2.Create(devices[0])
    if not cam.IsValid():
        return fail("Creating the camera")
    try:
        if not cam.Open():
            return fail("Opening the camera")
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
        if not save_side_by_side(as_bgr(left), as_bgr(right), stereo):
            return fail(f"Saving {stereo}")
        print(f"wrote {stereo}")

        # A large disparity is a near point: colour it as a small depth.
        png = out_dir / "correspondence.png"
        if not save_image(colourise_depth(-disparity), png):
            return fail(f"Saving {png}")
        print(f"wrote {png}")
        cam.Close()
        return 0
    finally:
        vx.X2.Destroy(cam)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out_dir", nargs="?", default="out", type=pathlib.Path,
                        help="where to write stereo.png and correspondence.png (default: ./out)")
    args = parser.parse_args(argv)
    if not vx.SystemInit():
        return fail("Starting the SDK")
    try:
        return run(args.out_dir)
    finally:
        vx.SystemShutdown()


if __name__ == "__main__":
    sys.exit(main())
