#!/usr/bin/env python3
"""Measure the tallest box standing on a table with an X1 camera.

    tallest_box.py SERIAL

Finds the camera by its serial number, captures a point map with its left
camera, fits the table's plane to the points and prints the height of the
tallest box above that plane, in millimetres. Everything standing on the
table is taken to be a box with a flat top facing the camera, and the table
to be the largest plane in view.

The measurement, step by step (NumPy only):

1. the table plane: RANSAC over a sample of the points (planes through
   three random points, the one with most points within a few millimetres
   wins), then a least-squares fit (SVD) to all the points near it; its
   normal points toward the camera, so heights above the table are
   positive. The spread of the table's points about the plane is the
   noise the measurement reports;
2. the points standing out of the table by more than MIN_HEIGHT_MM belong
   to the boxes; the highest of them lie on the tallest box's top face;
3. the top face's height: starting from a high percentile of the boxes'
   heights, the median of the points within a few noise widths of the
   estimate, repeated until it settles. That keeps the edges of the top
   face and points on the box's sides out of it.

This file is also the code under test of the example suite beside it
(test_tallest_box.py), which runs it on the stand-in SDK's virtual cameras.
"""
from __future__ import annotations

import argparse
import sys
from dataclasses import dataclass

import numpy as np

import PyVyx as vx

# Points at least this far above the table stand on it.
MIN_HEIGHT_MM = 5.0
# A RANSAC plane's points lie within this distance of it.
PLANE_THRESHOLD_M = 0.002
# Points the RANSAC step looks at (a random sample of the valid ones).
RANSAC_SAMPLE = 20000
RANSAC_ITERATIONS = 200
# The fewest points a top face may have.
MIN_TOP_POINTS = 50


class MeasurementError(RuntimeError):
    """The camera could not be used, or what it saw has no box on a table."""


@dataclass
class Measurement:
    height_mm: float     # the tallest box's top face above the table plane
    noise_mm: float      # RMS distance of the table's points from the plane
    top_points: int      # points the top face's height is the median of
    table_points: int    # points on the table plane


def _sdk_error(what: str) -> MeasurementError:
    return MeasurementError(f"{what}: {vx.GetLastErrorMessage()} (error {vx.GetLastError()})")


def capture_points(serial: str) -> np.ndarray:
    """Opens the device `serial` as an X1 on its left camera, captures once
    and returns the valid points as an (N, 3) array in metres (camera
    frame). Raises MeasurementError with the SDK's reason when the camera is
    not there, does not open or the capture fails. The SDK must be
    initialised."""
    device = vx.SystemFindDevice(serial)
    if not device.IsValid():
        raise _sdk_error(f"camera {serial} not found")
    camera = vx.X1.Create(device, vx.CameraID_Left)
    if not camera.IsValid():
        raise _sdk_error(f"camera {serial} cannot be used as an X1")
    try:
        if not camera.Open():
            raise _sdk_error(f"camera {serial} does not open")
        if not camera.Capture(vx.X1_CaptureOptions()):
            raise _sdk_error(f"capture on camera {serial} failed")
        # A copy: the camera's buffers go with the camera.
        points = np.array(camera.GetPointMap(), dtype=np.float64).reshape(-1, 3)
    finally:
        camera.Close()
        vx.X1.Destroy(camera)
    return points[np.isfinite(points).all(axis=1)]


def fit_plane(points: np.ndarray, rng: np.random.Generator) -> tuple[np.ndarray, float, np.ndarray]:
    """The dominant plane of `points` (N, 3): its unit normal n (pointing
    toward the origin, the camera), its offset d (n . p + d is a point's
    signed height above the plane) and the mask of the points on it."""
    if len(points) < 3:
        raise MeasurementError("too few valid points to find the table")
    sample = points[rng.choice(len(points), size=min(RANSAC_SAMPLE, len(points)), replace=False)]
    best_count, best = -1, (np.array([0.0, 0.0, 1.0]), 0.0)
    for _ in range(RANSAC_ITERATIONS):
        a, b, c = sample[rng.choice(len(sample), size=3, replace=False)]
        normal = np.cross(b - a, c - a)
        length = float(np.linalg.norm(normal))
        if length < 1e-12:
            continue  # three points on a line
        normal /= length
        offset = -float(normal @ a)
        count = int((np.abs(sample @ normal + offset) < PLANE_THRESHOLD_M).sum())
        if count > best_count:
            best_count, best = count, (normal, offset)
    normal, offset = best
    on_plane = np.abs(points @ normal + offset) < PLANE_THRESHOLD_M
    if on_plane.sum() < 3:
        raise MeasurementError("no plane found among the points")
    # Least squares on the plane's points: the direction of least spread.
    centre = points[on_plane].mean(axis=0)
    normal = np.linalg.svd(points[on_plane] - centre, full_matrices=False)[2][2]
    if normal @ centre > 0:
        normal = -normal  # toward the camera, at the origin
    offset = -float(normal @ centre)
    on_plane = np.abs(points @ normal + offset) < PLANE_THRESHOLD_M
    return normal, offset, on_plane


def measure(points: np.ndarray, rng: np.random.Generator | None = None) -> Measurement:
    """The height of the tallest box in `points` (N, 3, metres) above the
    table plane; MeasurementError when there is no box."""
    rng = np.random.default_rng(0) if rng is None else rng
    normal, offset, on_table = fit_plane(points, rng)
    heights_mm = (points @ normal + offset) * 1000.0
    noise_mm = float(np.sqrt(np.mean(heights_mm[on_table] ** 2)))
    standing = heights_mm[heights_mm > MIN_HEIGHT_MM]
    if len(standing) < MIN_TOP_POINTS:
        raise MeasurementError(f"nothing stands on the table (no more than {len(standing)} points "
                               f"{MIN_HEIGHT_MM:g} mm above it)")
    # A window a few noise widths wide around the estimate, moved to the
    # median of what it holds until it stands still.
    half_window = max(3.0 * noise_mm, 0.5)
    height = float(np.percentile(standing, 99.5))
    top = standing
    for _ in range(20):
        top = standing[np.abs(standing - height) < half_window]
        if len(top) == 0:
            break
        new = float(np.median(top))
        if abs(new - height) < 1e-3:
            height = new
            break
        height = new
    if len(top) < MIN_TOP_POINTS:
        raise MeasurementError(f"the highest points ({len(top)}) are too few to be a box's top")
    return Measurement(height_mm=height, noise_mm=noise_mm, top_points=len(top),
                       table_points=int(on_table.sum()))


def measure_tallest_box(serial: str) -> Measurement:
    """Captures with camera `serial` and measures the tallest box it sees.
    The SDK must be initialised."""
    return measure(capture_points(serial))


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0] if __doc__ else None)
    parser.add_argument("serial", help="the camera's serial number")
    args = parser.parse_args(argv)
    if not vx.SystemInit():
        print(f"starting the SDK failed: {vx.GetLastErrorMessage()}", file=sys.stderr)
        return 1
    try:
        m = measure_tallest_box(args.serial)
    except MeasurementError as e:
        print(e, file=sys.stderr)
        return 1
    finally:
        vx.SystemShutdown()
    print(f"tallest box: {m.height_mm:.2f} mm above the table "
          f"(top face {m.top_points} points, table {m.table_points} points, noise {m.noise_mm:.2f} mm)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
