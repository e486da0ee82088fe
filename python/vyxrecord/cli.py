"""The command line: ``python -m vyxrecord record ...`` and ``... info OUT``.

Exit codes: 0 on success, 1 when recording or reading fails (one line on
standard error), 2 for usage errors (argparse's own, and arguments the
recorder refuses, such as an unknown option field).
"""
from __future__ import annotations

import argparse
import json
import sys
from collections.abc import Sequence
from typing import Optional

from .errors import RecordError, RecordingError

PROG = "python -m vyxrecord"


def _option(text: str) -> tuple[str, object]:
    """``name=value``; the value is read as JSON (true, 20, 1.5, [0, 0, 640,
    480]) and otherwise taken as a text (an enumeration's member name)."""
    name, sep, value = text.partition("=")
    if not sep or not name:
        raise argparse.ArgumentTypeError(f"expected name=value, got {text!r}")
    if value in ("True", "False"):
        return name, value == "True"
    try:
        return name, json.loads(value)
    except ValueError:
        return name, value


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG, description="Record frames of a Vyx camera into a folder, or check one.")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    rec = commands.add_parser(
        "record", help="capture frames into a recording folder",
        description="Capture frames from the device with the given serial number and write "
                    "them, with manifest.json, into OUT.")
    rec.add_argument("--serial", required=True, help="serial number of the device")
    which = rec.add_mutually_exclusive_group()
    which.add_argument("--x2", action="store_true", help="open the device as an X2 (both cameras)")
    which.add_argument("--camera", choices=("left", "right"), default="left",
                       help="the X1's camera (default: left)")
    rec.add_argument("--frames", type=int, required=True, help="number of frames to capture")
    rec.add_argument("--settings", metavar="FILE",
                     help="device settings file to load first; captures then use its stored "
                          "options, with --option values over them")
    rec.add_argument("--option", action="append", type=_option, default=[],
                     metavar="NAME=VALUE",
                     help="capture-option field, repeatable (calc_normal=true, "
                          "exposure_time_3d=20, roi=[0,0,640,480], "
                          "smoothness=SmoothnessLevel_Weak)")
    rec.add_argument("--force", action="store_true", help="record into a non-empty folder")
    progress = rec.add_mutually_exclusive_group()
    progress.add_argument("--progress", action="store_true", default=None,
                          help="show a progress bar (default: when standard error is a terminal)")
    progress.add_argument("--no-progress", dest="progress", action="store_false")
    rec.add_argument("out", metavar="OUT", help="the recording folder")

    info = commands.add_parser("info", help="check a recording and summarise it",
                               description="Check a recording folder and print a summary.")
    info.add_argument("--verify", action="store_true",
                      help="also read every frame's data, not only the files' headers")
    info.add_argument("out", metavar="OUT", help="the recording folder")
    return parser


def _summary(recording: object) -> str:
    from .reader import Recording

    assert isinstance(recording, Recording)
    device = recording.device
    width, height = recording.resolution
    stamps = recording.timestamps_us
    camera = recording.camera + (f" {recording.camera_id}" if recording.camera_id else "")
    lines = [
        f"recording   {recording.folder}",
        f"device      {device.get('name')} ({device.get('sn')}, {device.get('type')})",
        f"camera      {camera}",
        f"resolution  {width} x {height}, {recording.image_type}, "
        f"normals {'yes' if recording.normals else 'no'}",
        f"frames      {len(recording)}",
    ]
    if stamps:
        span = (max(stamps) - min(stamps)) / 1e6
        lines.append(f"timestamps  {min(stamps)} .. {max(stamps)} us ({span:.3f} s)")
    return "\n".join(lines)


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = _parser()
    args = parser.parse_args(argv)
    try:
        if args.command == "record":
            from .record import record

            recording = record(args.out, args.serial, args.frames,
                               camera="X2" if args.x2 else "X1",
                               camera_id=args.camera.capitalize(),
                               options=dict(args.option) if args.option else None,
                               settings_file=args.settings, progress=args.progress,
                               overwrite=args.force)
        else:
            from .reader import open_recording

            recording = open_recording(args.out)
            if args.verify:
                for index in range(len(recording)):
                    recording.frame(index)
        print(_summary(recording))
        return 0
    except (RecordError, RecordingError, OSError) as e:
        print(f"vyxrecord: error: {e}", file=sys.stderr)
        return 1
    except (ValueError, TypeError) as e:
        parser.print_usage(sys.stderr)
        print(f"vyxrecord: error: {e}", file=sys.stderr)
        return 2
