"""What the example scripts share: the OUT_DIR command line, the SDK and the
first device's camera opened around a script's work, failure reports, and
pictures written through the SDK's own image writer (a colour-mapped depth
grid, camera images side by side).

Scripts next to this file import it by name: Python puts a script's own
folder first on the module path, from whatever folder it is started.
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


def fail(what):
    """Reports the SDK's last error for `what` on stderr; returns the exit status 1."""
    print(f"{what} failed: {vx.GetLastErrorMessage()} (error {vx.GetLastError()})",
          file=sys.stderr)
    return 1


def out_dir_parser(doc, writes):
    """A command line of one optional OUT_DIR (default ./out), described by
    the first line of the script's `doc`; `writes` names what lands there."""
    parser = argparse.ArgumentParser(description=doc.split("\n")[0])
    parser.add_argument("out_dir", nargs="?", default="out", type=pathlib.Path,
                        help=f"where to write {writes} (default: ./out)")
    return parser


def run_on_first_camera(cls, work, *create_args, announce=True):
    """Starts the SDK, opens the first device found as a camera of class
    `cls` (X1 or X2, created with `create_args` after the device) and runs
    work(camera); then closes and destroys the camera and shuts the SDK
    down. With `announce`, prints the device's name, serial number and
    port first. Returns the exit status: work's, or 1 after a reported
    failure."""
    if not vx.SystemInit():
        return fail("Starting the SDK")
    try:
        status, devices = vx.SystemListDevices(vx.All)
        if status != 0 or not devices:
            return fail("Finding a device")
        ok, info = devices[0].GetDeviceInfo()
        if ok and announce:
            print(f"device {info.name} ({info.sn}) on {info.port}")
        return _with_camera(cls, devices[0], work, create_args)
    finally:
        vx.SystemShutdown()


def _with_camera(cls, device, work, create_args):
    cam = cls.Create(device, *create_args)
    if not cam.IsValid():
        return fail("Creating the camera")
    try:
        if not cam.Open():
            return fail("Opening the camera")
        status = work(cam)
        cam.Close()
        return status
    finally:
        cls.Destroy(cam)


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


def side_by_side(left, right):
    """Two BGR arrays beside each other, top-aligned on black."""
    canvas = np.zeros((max(left.shape[0], right.shape[0]), left.shape[1] + right.shape[1], 3),
                      np.uint8)
    canvas[:left.shape[0], :left.shape[1]] = left
    canvas[:right.shape[0], left.shape[1]:] = right
    return canvas


def save_image(pixels, path):
    """Writes an (h, w, 3) BGR array as a PNG through the SDK; returns
    whether the SDK wrote it."""
    h, w = pixels.shape[:2]
    image = vx.ImageCreate(vx.ImageTypeEnum.BGR8, vx.Size(w, h))
    try:
        np.asarray(image)[:] = pixels
        return image.SaveImage(str(path))
    finally:
        vx.ImageDestroy(image)
