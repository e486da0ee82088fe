"""Tests of tallest_box.py on the stand-in SDK's virtual cameras, written
against the fixtures of the vyxsim pytest plugin that PyVyx installs
(vyx_system, vyx_sim, vyx_scene, vyx_fail), as a user's own suite would be.

Run from this folder: python -m pytest
"""
import math
import pathlib

import pytest

import scenes
import tallest_box

SERIAL = "VX1300001"  # the built-in grey X1 device the scenes are given to
BOXES_MM = scenes.THREE_BOXES
RECORDING = pathlib.Path(__file__).parent / "recordings" / "three-boxes"


def table_with_boxes(vyx_sim, boxes_mm):
    """The device's default scene with only its table kept and the boxes
    (x along the table, height; millimetres) standing on it."""
    return scenes.table_with_boxes(vyx_sim.default_scene_json(SERIAL), boxes_mm)


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
# recordings/three-boxes holds three frames of the three-box scene, made by
# make_recording.py with the recorder on a 160 x 128 virtual camera (a real
# camera's recording works the same). At that resolution a pixel covers
# about 3 mm of the table and the depth noise is about 1 mm, so a frame's
# height is good to a millimetre or two.
RECORDED_TOLERANCE_MM = 2.0


def test_measures_every_recorded_frame(vyx_system, vyx_replay):
    serial = vyx_replay(str(RECORDING), at_end="fail")
    heights = [tallest_box.measure_tallest_box(serial).height_mm for _ in range(3)]
    assert heights == pytest.approx([80.0] * 3, abs=RECORDED_TOLERANCE_MM)
    assert len(set(heights)) == 3, "each capture hands out the next recorded frame"
    # The recording is used up: the pipeline reports the failed capture.
    with pytest.raises(tallest_box.MeasurementError, match=rf"^capture on camera {serial} failed: "):
        tallest_box.measure_tallest_box(serial)


def test_a_recorded_frame_measures_the_same_every_time(vyx_system, vyx_sim, vyx_replay):
    serial = vyx_replay(str(RECORDING), at_end="loop")
    vyx_sim.replay_stepping(serial, True)
    vyx_sim.replay_seek(serial, 2)
    first = tallest_box.measure_tallest_box(serial)
    assert tallest_box.measure_tallest_box(serial) == first
    assert vyx_sim.replay_frame(serial) == 2
