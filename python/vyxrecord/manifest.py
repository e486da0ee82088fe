"""manifest.json: its constants, its atomic writing and the checks a reader
makes of it before any file is used."""
from __future__ import annotations

import json
import os
import re
import stat
from typing import Any

from .errors import RecordingError

FORMAT = "vyx-recording"
FORMAT_VERSION = 1
MANIFEST = "manifest.json"
MAX_MANIFEST_BYTES = 64 * 1024 * 1024

CAMERAS = ("X1", "X2")
CAMERA_IDS = ("Left", "Right")
IMAGE_TYPES = ("Mono8", "BGR8", "RGB8")
ROLES = {
    "X1": ("points", "depth", "confidence", "image"),
    "X2": ("points", "depth", "confidence", "left", "right", "correspondence"),
}
ALL_ROLES = frozenset(ROLES["X1"] + ROLES["X2"])
EXTENSIONS = {"points": "ply", "depth": "npy", "confidence": "npy", "correspondence": "npy",
              "image": "png", "left": "png", "right": "png"}
CALIBRATION_LENGTHS = {"camera_matrix": 9, "distortion": 5, "extrinsic": 16}

# The names the recorder gives a frame's files; with overwrite these (and
# nothing else) are removed from the folder.
RECORDER_FILE = re.compile(r"\d{6}\.(%s)\.(ply|npy|png)" % "|".join(sorted(ALL_ROLES)))


def file_name(index: int, role: str) -> str:
    return f"{index:06d}.{role}.{EXTENSIONS[role]}"


def calibration_keys(camera: str, camera_id: str | None) -> tuple[str, ...]:
    """The cameras whose calibration a recording holds."""
    return CAMERA_IDS if camera == "X2" else (str(camera_id),)


def write(folder: str, manifest: dict[str, Any]) -> None:
    """Writes manifest.json atomically: a reader sees the old file, no file,
    or the whole new one, never a part."""
    text = json.dumps(manifest, indent=2, allow_nan=False) + "\n"
    final = os.path.join(folder, MANIFEST)
    temp = os.path.join(folder, f".{MANIFEST}.{os.getpid()}.tmp")
    try:
        with open(temp, "w", encoding="utf-8") as f:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        os.replace(temp, final)
    except BaseException:
        if os.path.lexists(temp):
            os.unlink(temp)
        raise


def read(folder: str) -> dict[str, Any]:
    """Reads and checks manifest.json of ``folder``."""
    path = os.path.join(folder, MANIFEST)
    try:
        info = os.lstat(path)
    except FileNotFoundError:
        raise RecordingError(path, "missing: the folder is no recording "
                                   "(or its recording did not finish)") from None
    if not stat.S_ISREG(info.st_mode):
        raise RecordingError(path, "is not a regular file")
    if info.st_size > MAX_MANIFEST_BYTES:
        raise RecordingError(path, f"{info.st_size} bytes, larger than the "
                                   f"{MAX_MANIFEST_BYTES} a manifest may have")
    try:
        with open(path, "rb") as f:
            manifest = json.loads(f.read().decode("utf-8"))
    except (UnicodeDecodeError, json.JSONDecodeError) as e:
        raise RecordingError(path, f"not valid JSON ({e})") from None
    check(manifest, path)
    return manifest


def _is_int(value: object) -> bool:
    return isinstance(value, int) and not isinstance(value, bool)


def _is_number(value: object) -> bool:
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def safe_name(name: object) -> bool:
    """Whether ``name`` names a file directly inside the folder."""
    return (isinstance(name, str) and name not in ("", ".", "..")
            and not any(c in name for c in "/\\\0"))


def check(manifest: object, path: str) -> None:
    """Checks the manifest's structure; RecordingError names ``path`` and the
    key at fault."""
    def fail(problem: str) -> RecordingError:
        return RecordingError(path, problem)

    if not isinstance(manifest, dict):
        raise fail("is not a JSON object")
    if manifest.get("format") != FORMAT:
        raise fail(f"format is {manifest.get('format')!r}, not {FORMAT!r}")
    version = manifest.get("format_version")
    if not _is_int(version) or version != FORMAT_VERSION:
        raise fail(f"format_version {version!r}: this reader reads version {FORMAT_VERSION} only")
    camera = manifest.get("camera")
    if camera not in CAMERAS:
        raise fail(f"camera is {camera!r}, not one of {', '.join(CAMERAS)}")
    camera_id = manifest.get("camera_id")
    if camera == "X1" and camera_id not in CAMERA_IDS:
        raise fail(f"camera_id is {camera_id!r}, not one of {', '.join(CAMERA_IDS)}")
    resolution = manifest.get("resolution")
    if (not isinstance(resolution, list) or len(resolution) != 2
            or not all(_is_int(v) and v > 0 for v in resolution)):
        raise fail(f"resolution is {resolution!r}, not [width, height] in pixels")
    if manifest.get("image_type") not in IMAGE_TYPES:
        raise fail(f"image_type is {manifest.get('image_type')!r}, "
                   f"not one of {', '.join(IMAGE_TYPES)}")
    if not isinstance(manifest.get("normals"), bool):
        raise fail("normals is not true or false")
    if not isinstance(manifest.get("device"), dict):
        raise fail("device is not an object")
    settings = manifest.get("settings_file")
    if settings is not None and not isinstance(settings, str):
        raise fail("settings_file is neither a text nor null")
    options = manifest.get("options")
    kind = f"{camera}_CaptureOptions"
    if (not isinstance(options, dict) or options.get("kind") != kind
            or not isinstance(options.get("fields"), dict)):
        raise fail(f"options is not a {kind} record ({{\"kind\": ..., \"fields\": {{...}}}})")
    _check_cameras(manifest.get("cameras"), calibration_keys(camera, camera_id), fail)
    frames = manifest.get("frames")
    if not isinstance(frames, list):
        raise fail("frames is not a list")
    for i, frame in enumerate(frames):
        where = f"frames[{i}]"
        if not isinstance(frame, dict):
            raise fail(f"{where} is not an object")
        if not _is_int(frame.get("index")) or frame["index"] != i:
            raise fail(f"{where}.index is {frame.get('index')!r}, expected {i}")
        stamp = frame.get("timestamp_us")
        if isinstance(stamp, bool) or not isinstance(stamp, int) or stamp < 0:
            raise fail(f"{where}.timestamp_us is {stamp!r}, not a count of microseconds")
        files = frame.get("files")
        if not isinstance(files, dict):
            raise fail(f"{where}.files is not an object")
        for role in ROLES[camera]:
            if role not in files:
                raise fail(f"{where}.files has no {role!r} file")
        for role, name in files.items():
            if role not in ROLES[camera]:
                what = "an X1 or X2" if role not in ALL_ROLES else f"an {camera}"
                raise fail(f"{where}.files.{role}: {role!r} is not a role {what} recording has")
            if not safe_name(name):
                raise fail(f"{where}.files.{role}: file name {name!r} leaves the recording folder")


def _check_cameras(cameras: object, keys: tuple[str, ...], fail: Any) -> None:
    if not isinstance(cameras, dict) or sorted(cameras) != sorted(keys):
        found = sorted(cameras) if isinstance(cameras, dict) else cameras
        raise fail(f"cameras holds {found!r}, expected {list(keys)!r}")
    for key in keys:
        entry = cameras[key]
        if not isinstance(entry, dict):
            raise fail(f"cameras.{key} is not an object")
        for name, length in CALIBRATION_LENGTHS.items():
            values = entry.get(name)
            if (not isinstance(values, list) or len(values) != length
                    or not all(_is_number(v) for v in values)):
                raise fail(f"cameras.{key}.{name} is not a list of {length} numbers")
