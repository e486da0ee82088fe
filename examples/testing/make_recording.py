#!/usr/bin/env python3
"""Makes the small recording the example's replay test uses:

    python make_recording.py [FOLDER]     (default: recordings/three-boxes)

A virtual grey USB camera at a reduced resolution (160 x 128, so that the
committed files stay small) looks at the three boxes of scenes.THREE_BOXES;
the recorder (vyxrecord) captures three frames of it as an X1 with its
left camera. With a real camera you would record with
`python -m vyxrecord record --serial ... --frames 3 FOLDER` instead; the
replay test does not care where a recording came from.
"""
from __future__ import annotations

import json
import pathlib
import sys

import PyVyx as vx
import vyxrecord
import vyxsim

import scenes

SERIAL = "BOXES-160"
RESOLUTION = [160, 128]
FRAMES = 3


def main(argv: list[str]) -> int:
    folder = pathlib.Path(argv[1] if len(argv) > 1 else pathlib.Path(__file__).parent / "recordings" / "three-boxes")
    scene = scenes.table_with_boxes(vyxsim.default_scene_json("VX1300001"), scenes.THREE_BOXES)
    vyxsim.load_config_text(json.dumps({"devices": [{
        "name": "Vyx M130 virtual, 160 x 128", "serial": SERIAL, "port": "USB",
        "resolution": RESOLUTION, "scene": scene}]}))
    try:
        rec = vyxrecord.record(str(folder), SERIAL, FRAMES, overwrite=True)
    finally:
        vx.SystemShutdown()
        vyxsim.reset()
    print(rec)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
