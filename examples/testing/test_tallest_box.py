"""Tests of tallest_box.py on the stand-in SDK's virtual cameras, written
against the fixtures of the vyxsim pytest plugin that PyVyx installs
(vyx_system, vyx_sim, vyx_scene, vyx_fail), as a user's own suite would be.

Run from this folder: python -m pytest
"""
import json
import math

import pytest

import tallest_box

SERIAL = "VX1300001"  # the built-in grey X1 device the scenes are given to
BOXES_MM = [(-110.0, 30.0), (0.0, 80.0), (110.0, 55.0)]  # (x along the table, height)
FOOTPRINT_M = 0.06


def table_with_boxes(vyx_sim, boxes_mm):
    """The device's default scene with only its table kept and boxes of the
    given heights standing on it, in a row across the middle."""
    scene = json.loads(vyx_sim.default_scene_json(SERIAL))
    table = next(o for o in scene["objects"] if o.get("name") == "table")
    tx, ty, tz = table["pose"]["position"]
    rx, ry, rz = table["pose"]["rotation_deg"]
    assert abs(ry) < 1e-9 and abs(rz) < 1e-9, "the default table is tilted about x alone"
    # The table's local +z points into it, away from the camera: a box of
    # height h stands with its centre h / 2 along local -z from the surface.
    c, s = math.cos(math.radians(rx)), math.sin(math.radians(rx))
    objects = [table]
    for x_mm, h_mm in boxes_mm:
        x, up = x_mm / 1000, -h_mm / 2000
        objects.append({
            "type": "box", "name": f"box {h_mm:g} mm",
            "size": [FOOTPRINT_M, FOOTPRINT_M, h_mm / 1000],
            "pose": {"position": [tx + x, ty - s * up, tz + c * up], "rotation_deg": [rx, 0, 0]},
            "albedo": 0.7,
        })
    return {"objects": objects}


def assert_height(m, expected_mm):
    """The measured height is `expected_mm` within what the noise allows:
    the height is a median of the top face's points, each as noisy as the
    table's, so it is off by a few noise widths over the square root of
    their number at most, plus as much again for the fitted plane."""
    assert 0 < m.noise_mm < 1.0
    assert m.top_points > 1000
    tolerance_mm = 4 * m.noise_mm * (1 / math.sqrt(m.top_points) + 1 / math.sqrt(m.table_points))
    assert m.height_mm == pytest.approx(expected_mm, abs=tolerance_mm)


def test_measures_the_tallest_box(vyx_system, vyx_sim, vyx_scene):
    vyx_scene(table_with_boxes(vyx_sim, BOXES_MM), SERIAL)
    assert_height(tallest_box.measure_tallest_box(SERIAL), max(h for _, h in BOXES_MM))


def test_the_tallest_box_may_stand_anywhere(vyx_system, vyx_sim, vyx_scene):
    vyx_scene(table_with_boxes(vyx_sim, [(-110.0, 70.0), (0.0, 25.0), (110.0, 40.0)]), SERIAL)
    assert_height(tallest_box.measure_tallest_box(SERIAL), 70.0)


def test_an_empty_table_is_reported(vyx_system, vyx_sim, vyx_scene):
    vyx_scene(table_with_boxes(vyx_sim, []), SERIAL)
    with pytest.raises(tallest_box.MeasurementError, match="nothing stands on the table"):
        tallest_box.measure_tallest_box(SERIAL)


def test_an_unplugged_camera_is_reported(vyx_system, vyx_sim):
    vyx_sim.unplug(SERIAL)
    with pytest.raises(tallest_box.MeasurementError,
                       match=rf"^camera {SERIAL} not found: .*\(error 6\)$"):
        tallest_box.measure_tallest_box(SERIAL)


def test_an_unknown_camera_is_reported(vyx_system):
    with pytest.raises(tallest_box.MeasurementError, match=r"^camera NOPE not found: .*\(error 4\)$"):
        tallest_box.measure_tallest_box("NOPE")


@pytest.mark.parametrize("write_outputs", [False, True])
def test_a_failed_capture_is_reported(vyx_system, vyx_fail, write_outputs):
    # With write_outputs the capture fills its point map and still reports
    # failure: the pipeline must go by the result, not by the data.
    with vyx_fail("X1::Capture", write_outputs=write_outputs):
        with pytest.raises(tallest_box.MeasurementError,
                           match=rf"^capture on camera {SERIAL} failed: .*\(error 10\)$"):
            tallest_box.measure_tallest_box(SERIAL)


def test_the_camera_is_released_after_a_failure(vyx_system, vyx_sim, vyx_fail):
    with vyx_fail("X1::Capture"):
        with pytest.raises(tallest_box.MeasurementError):
            tallest_box.measure_tallest_box(SERIAL)
    # Only the device handle the pipeline found is left.
    assert vyx_sim.live_objects() == 1


# --- Replaying a recording ----------------------------------------------------
# The test on a recorded capture belongs here: a small recording of the box
# scene committed beside this file, replayed by a device that
# vyx_replay(folder) adds, measured by the pipeline like a live camera.
