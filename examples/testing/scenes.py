"""The box scenes the example's tests and its recording use: the table of a
device's default scene with boxes of known heights standing on it."""
from __future__ import annotations

import json
import math
from typing import Any

FOOTPRINT_M = 0.06  # each box's width and depth
# (x along the table, height) in millimetres: the scene of the nominal test
# and of the committed recording.
THREE_BOXES = [(-110.0, 30.0), (0.0, 80.0), (110.0, 55.0)]


def table_with_boxes(default_scene_json: str, boxes_mm: list[tuple[float, float]]) -> dict[str, Any]:
    """The default scene (as vyxsim.default_scene_json gives it) with only its
    table kept and boxes of the given (x along the table, height) in
    millimetres standing on it, in a row across the middle."""
    scene = json.loads(default_scene_json)
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
