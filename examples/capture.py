#!/usr/bin/python3
"""Capture one frame from the first camera device and save what it saw.

    capture.py [OUT_DIR]        (default: ./out)

Opens the first device found as an X1 (left camera and projector), captures
a point map with normals and the 2D image, prints the size, the number of
valid points and the z range, and writes into OUT_DIR:

    points.ply   the point map with normals and the image's colours (mm)
    capture.png  the 2D image beside a colour-mapped depth map (near red,
                 far blue, no measurement black)

Both files are written by the SDK itself; the script needs only NumPy.
"""
import argparse
import pathlib
import sys

import numpy as np

import PyVyx as vx

# Polynomial fit of the Turbo colour map (x in [0, 1] -> r, g, b in [0, 1]),
# coefficients of 1, x, ..., x^5 per channel.
TURBO = np.array([
    [0.13572138, 4.61539260, -42.66032258, 132.13108234, -152.94239396, 59.28637943],
    [0.09140261, 2.19418839, 4.84296658, -14.18503333, 4.27729857, 2.82956604],
    [0.10667330, 12.64194608, -60.58204836, 110.36276771, -89.90310912, 27.34824973],
])


def colourise_depth(z):
    """BGR8 rendering of a depth grid: near red, far blue, NaN black."""
    valid = np.isfinite(z)
    out = np.zeros(z.shape + (3,), np.uint8)
    if not valid.any():
        return out
    near, far = np.percentile(z[valid], [1, 99])
    # The darkest tenth of the map is left out, so the far end stays apart
    # from the black of missing points.
    x = 0.1 + 0.9 * np.clip((far - z[valid]) / max(far - near, 1e-9), 0.0, 1.0)
    powers = x[:, None] ** np.arange(6)          # (n, 6)
    rgb = np.clip(powers @ TURBO.T, 0.0, 1.0)    # (n, 3)
    out[valid] = (rgb[:, ::-1] * 255.0 + 0.5).astype(np.uint8)  # to BGR
    return out


def as_bgr(pixels):
    """A camera image (Mono8 or BGR8 view) as an (h, w, 3) BGR array."""
    if pixels.ndim == 2:
        return np.repeat(pixels[:, :, None], 3, axis=2)
    return pixels


def save_side_by_side(left, right, path):
    """Writes two BGR arrays side by side as one PNG through the SDK."""
    h = max(left.shape[0], right.shape[0])
    w = left.shape[1] + right.shape[1]
    canvas = vx.ImageCreate(vx.ImageTypeEnum.BGR8, vx.Size(w, h))
    try:
        view = np.asarray(canvas)
        view[:] = 0
        view[:left.shape[0], :left.shape[1]] = left
        view[:right.shape[0], left.shape[1]:] = right
        return canvas.SaveImage(str(path))
    finally:
        vx.ImageDestroy(canvas)


def fail(what):
    print(f"{what} failed: {vx.GetLastErrorMessage()} (error {vx.GetLastError()})",
          file=sys.stderr)
    return 1


def run(out_dir):
    status, devices = vx.SystemListDevices(vx.All)
    if status != 0 or not devices:
        return fail("Finding a device")
    ok, info = devices[0].GetDeviceInfo()
    if ok:
        print(f"device {info.name} ({info.sn}) on {info.port}")

    cam = vx.X1.Create(devices[0], vx.CameraID_Left)
    if not cam.IsValid():
        return fail("Creating the camera")
    try:
        if not cam.Open():
            return fail("Opening the camera")
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
        if not save_side_by_side(as_bgr(np.asarray(image)), colourise_depth(z), png):
            return fail(f"Saving {png}")
        print(f"wrote {png}")
        cam.Close()
        return 0
    finally:
        vx.X1.Destroy(cam)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out_dir", nargs="?", default="out", type=pathlib.Path,
                        help="where to write points.ply and capture.png (default: ./out)")
    args = parser.parse_args(argv)
    if not vx.SystemInit():
        return fail("Starting the SDK")
    try:
        return run(args.out_dir)
    finally:
        vx.SystemShutdown()


if __name__ == "__main__":
    sys.exit(main())
