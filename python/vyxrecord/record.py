"""Recording frames from a camera through PyVyx's public API.

Nothing here knows the stand-in SDK: the same code records from a real
camera through a vendor SDK. The SDK reports failures as False, invalid
handles or statuses; every one of them becomes a RecordError naming the
operation, with GetLastErrorMessage() read right after it.
"""
from __future__ import annotations

import datetime
import math
import os
import sys
from collections.abc import Mapping
from typing import Any, Optional, Union

import numpy as np
import PyVyx as vx

from . import __version__, files, manifest as mf, options as opt
from .errors import RecordError
from .reader import Recording, open_recording

Camera = Union[vx.X1, vx.X2]
OptionsArg = Union[vx.X1_CaptureOptions, vx.X2_CaptureOptions, Mapping[str, object], None]

_CAMERA_IDS = {"Left": vx.CameraID_Left, "Right": vx.CameraID_Right}
_PORT_NAMES = {"PortType_USB": "USB", "PortType_GIGE": "GigE"}


def _check(ok: bool, operation: str) -> None:
    if not ok:
        raise RecordError(operation, vx.GetLastErrorMessage())


def _device_json(info: vx.DeviceInfo) -> dict[str, Any]:
    """Every DeviceInfo field under its own name: texts, numbers and flags as
    they are, the port kind by name, the bit sets as integers."""
    out: dict[str, Any] = {}
    for name, value in vars(type(info)).items():
        if not isinstance(value, property) or name.startswith("_"):
            continue
        field = getattr(info, name)
        if isinstance(field, vx.PortType):
            out[name] = _PORT_NAMES.get(field.name, field.name.removeprefix("PortType_"))
        elif isinstance(field, (bool, int, float, str)):
            out[name] = field
        else:
            out[name] = int(field)
    return out


def _float32(value: float, what: str) -> float:
    """A 32-bit float as the shortest decimal that reads back to it."""
    if not math.isfinite(value):
        raise RecordError(what, f"returned the non-finite value {value}")
    return float(str(np.float32(value)))


def _calibration(cam: Camera, camera: str, camera_id: str) -> dict[str, Any]:
    out = {}
    for key in mf.calibration_keys(camera, camera_id):
        args = () if camera == "X1" else (_CAMERA_IDS[key],)
        ok, matrix, distortion = cam.GetIntrinsicParameters(*args)
        _check(ok, f"{camera}::GetIntrinsicParameters")
        ok, extrinsic = cam.GetExtrinsicMatrix(*args)
        _check(ok, f"{camera}::GetExtrinsicMatrix")
        out[key] = {name: [_float32(v, f"{camera}::{getter}") for v in values]
                    for name, getter, values in (
                        ("camera_matrix", "GetIntrinsicParameters", matrix),
                        ("distortion", "GetIntrinsicParameters", distortion),
                        ("extrinsic", "GetExtrinsicMatrix", extrinsic))}
    return out


def _view(obj: Any, operation: str, shape: tuple[int, ...], dtype: type) -> Any:
    """The NumPy view of one capture result, checked against the expected
    shape: a result that is missing or of another size is an SDK failure."""
    if not obj.IsValid():
        raise RecordError(operation, vx.GetLastErrorMessage())
    array = np.asarray(obj)
    if array.shape != shape or array.dtype != dtype:
        raise RecordError(operation, f"gave {array.dtype} {array.shape}, "
                                     f"expected {np.dtype(dtype)} {shape}")
    return array


def _resolve_camera(camera: str, camera_id: str) -> tuple[str, str]:
    kind = camera.upper() if isinstance(camera, str) else camera
    if kind not in mf.CAMERAS:
        raise ValueError(f"camera must be 'X1' or 'X2', not {camera!r}")
    cid = camera_id.capitalize() if isinstance(camera_id, str) else camera_id
    if cid not in _CAMERA_IDS:
        raise ValueError(f"camera_id must be 'Left' or 'Right', not {camera_id!r}")
    return kind, cid


def _prepare_folder(folder: str, overwrite: bool, clear: bool) -> None:
    """Refuses a non-empty folder unless ``overwrite``. With ``clear`` it
    makes the folder and, when overwriting, removes the old manifest first
    (so that it can never describe the new files) and then the files the
    recorder names; other files are left alone."""
    if os.path.lexists(folder) and not os.path.isdir(folder):
        raise FileExistsError(f"{folder}: exists and is not a folder")
    entries = os.listdir(folder) if os.path.isdir(folder) else []
    if entries and not overwrite:
        raise FileExistsError(f"{folder}: the folder is not empty (overwrite to record into it)")
    if not clear:
        return
    os.makedirs(folder, exist_ok=True)
    manifest = os.path.join(folder, mf.MANIFEST)
    if os.path.lexists(manifest):
        os.unlink(manifest)
    for name in entries:
        if mf.RECORDER_FILE.fullmatch(name):
            os.unlink(os.path.join(folder, name))


class _Progress:
    """A tqdm bar on standard error, or nothing."""

    def __init__(self, show: Optional[bool], total: int, label: str) -> None:
        if show is None:
            show = sys.stderr.isatty()
        self._bar: Any = None
        if show:
            from tqdm import tqdm  # type: ignore[import-untyped]

            self._bar = tqdm(total=total, desc=label, unit="frame", file=sys.stderr)

    def update(self) -> None:
        if self._bar is not None:
            self._bar.update(1)

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()


def _capture(cam: Camera, camera: str, options: Any, size: tuple[int, int],
             normals: bool) -> tuple[dict[str, Any], int, str]:
    """One capture: the arrays by role (views of the camera's results, valid
    until its next capture), the timestamp and the image type's name."""
    width, height = size
    _check(cam.Capture(options), f"{camera}::Capture")
    point_map = cam.GetPointMap()
    grid = (height, width)
    arrays: dict[str, Any] = {
        "points": _view(point_map, f"{camera}::GetPointMap", grid + (3,), np.float64)}
    if normals:
        normal_data = point_map.GetNormalDataPtr()
        if not normal_data.IsValid():
            raise RecordError("PointMap::GetNormalDataPtr",
                              "the point map has no normals although calc_normal is set")
        arrays["normals"] = _view(normal_data, "PointMap::GetNormalDataPtr", grid + (3,),
                                  np.float64)
    arrays["depth"] = _view(cam.GetDepthMap(), f"{camera}::GetDepthMap", grid, np.float64)
    arrays["confidence"] = _view(cam.GetConfidenceMap(), f"{camera}::GetConfidenceMap", grid,
                                 np.float64)
    if camera == "X1":
        images = {"image": cam.GetImage()}  # type: ignore[call-arg]
        timestamp = point_map.GetTimestamp()
    else:
        assert isinstance(cam, vx.X2)
        images = {"left": cam.GetImage(vx.CameraID_Left), "right": cam.GetImage(vx.CameraID_Right)}
        arrays["correspondence"] = _view(cam.GetCorrespondMap(), "X2::GetCorrespondMap",
                                         grid + (2,), np.float64)
        ok, timestamp = cam.GetTimestamp()
        _check(ok, "X2::GetTimestamp")
    image_type = ""
    for role, image in images.items():
        operation = f"{camera}::GetImage"
        _check(image.IsValid(), operation)
        kind = image.GetType().name
        if kind not in files.PNG_COLOUR_TYPES or image_type not in ("", kind):
            raise RecordError(operation, f"image of type {kind} (after {image_type or 'none'})")
        image_type = kind
        channels = files.PNG_COLOUR_TYPES[kind][1]
        arrays[role] = _view(image, operation, grid if channels == 1 else grid + (channels,),
                             np.uint8)
    return arrays, int(timestamp), image_type


def _write_frame(folder: str, index: int, arrays: dict[str, Any], image_type: str,
                 roles: tuple[str, ...]) -> dict[str, str]:
    names = {role: mf.file_name(index, role) for role in roles}
    for role, name in names.items():
        path = os.path.join(folder, name)
        if role == "points":
            files.write_ply(path, arrays["points"], arrays.get("normals"))
        elif mf.EXTENSIONS[role] == "npy":
            files.write_npy(path, arrays[role])
        else:
            files.write_png(path, arrays[role], image_type)
    return names


def _options_for(camera: str, cam: Camera, options: OptionsArg,
                 settings_file: Optional[str]) -> Any:
    """The record every capture uses: a record as given; a mapping applied
    over the stored options of the settings file's current user set, or over
    the SDK's defaults without a settings file; without options the stored
    ones, or the defaults."""
    kind = opt.record_type(camera)
    if options is not None and not isinstance(options, Mapping):
        return options
    if settings_file is not None:
        ok, base = cam.LoadCaptureOptionParameters()
        _check(ok, f"{camera}::LoadCaptureOptionParameters")
    else:
        base = kind()
    return opt.apply(base, options or {})


def _check_options_arg(camera: str, options: OptionsArg) -> None:
    """Refuses an options argument that cannot be used, before any SDK call."""
    kind = opt.record_type(camera)
    if options is None:
        return
    if isinstance(options, Mapping):
        opt.apply(kind(), options)   # unknown fields and wrong values, early
    elif not isinstance(options, kind):
        raise TypeError(f"options for an {camera} must be an {kind.__name__} or a dict, "
                        f"not {type(options).__name__}")


def record(folder: Union[str, os.PathLike[str]], serial: str, frames: int, *,
           camera: str = "X1", camera_id: str = "Left", options: OptionsArg = None,
           settings_file: Optional[Union[str, os.PathLike[str]]] = None,
           progress: Optional[bool] = None, overwrite: bool = False) -> Recording:
    """Records ``frames`` captures of the device ``serial`` into ``folder``
    and returns the recording as :func:`open_recording` reads it.

    ``camera`` "X1" (with ``camera_id`` "Left" or "Right") or "X2";
    ``options`` an options record of that camera, or a dict of fields set
    over the SDK's defaults (over the settings file's stored options when
    ``settings_file`` is given); ``settings_file`` is loaded into the camera
    first; ``progress`` shows a tqdm bar on standard error (by default when
    it is a terminal); ``overwrite`` records into a non-empty folder.

    Raises RecordError for any SDK failure, ValueError or TypeError for
    arguments that cannot be used (an unknown option field among them),
    FileExistsError for a non-empty folder without ``overwrite``.
    """
    camera, camera_id = _resolve_camera(camera, camera_id)
    if isinstance(frames, bool) or not isinstance(frames, int) or frames < 1:
        raise ValueError(f"frames must be a positive integer, not {frames!r}")
    folder = os.fspath(folder)
    settings = os.fspath(settings_file) if settings_file is not None else None
    _check_options_arg(camera, options)
    _prepare_folder(folder, overwrite, clear=False)

    cls: Any = vx.X1 if camera == "X1" else vx.X2
    initialised_here = False
    cam: Optional[Camera] = None
    bar: Optional[_Progress] = None
    try:
        if not vx.SystemIsInited():
            _check(vx.SystemInit(), "SystemInit")
            initialised_here = True
        device = vx.SystemFindDevice(serial)
        _check(device.IsValid(), "SystemFindDevice")
        ok, info = device.GetDeviceInfo()
        _check(ok, "Device::GetDeviceInfo")
        cam = cls.Create(device, _CAMERA_IDS[camera_id]) if camera == "X1" else cls.Create(device)
        _check(cam.IsValid(), f"{camera}::Create")
        _check(cam.Open(), f"{camera}::Open")
        if settings is not None:
            _check(cam.LoadSettingFromFile(settings), f"{camera}::LoadSettingFromFile")
        capture_options = _options_for(camera, cam, options, settings)
        if not capture_options.enable_2d_in_capture:
            raise ValueError("enable_2d_in_capture is off: a recording holds every frame's "
                             "2D images, which a capture takes only with it on")
        normals = bool(capture_options.calc_normal)
        ok, size = cam.GetCameraResolution()
        _check(ok, f"{camera}::GetCameraResolution")
        resolution = (size.width, size.height)
        manifest: dict[str, Any] = {
            "format": mf.FORMAT,
            "format_version": mf.FORMAT_VERSION,
            "recorder": f"vyxrecord {__version__}",
            "created": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
            "camera": camera,
        }
        if camera == "X1":
            manifest["camera_id"] = camera_id
        manifest.update({
            "device": _device_json(info),
            "resolution": list(resolution),
            "image_type": None,
            "cameras": _calibration(cam, camera, camera_id),
            "options": opt.to_json(capture_options),
            "settings_file": settings,
            "normals": normals,
            "frames": [],
        })

        _prepare_folder(folder, overwrite, clear=True)
        bar = _Progress(progress, frames, f"{serial} {camera}")
        for index in range(frames):
            arrays, timestamp, image_type = _capture(cam, camera, capture_options,
                                                     resolution, normals)
            if manifest["image_type"] not in (None, image_type):
                raise RecordError(f"{camera}::GetImage", f"frame {index} has {image_type} images, "
                                  f"the first had {manifest['image_type']}")
            manifest["image_type"] = image_type
            names = _write_frame(folder, index, arrays, image_type, mf.ROLES[camera])
            del arrays   # the views end before the camera's next capture
            manifest["frames"].append({"index": index, "timestamp_us": timestamp, "files": names})
            bar.update()
        mf.write(folder, manifest)
    finally:
        if bar is not None:
            bar.close()
        if cam is not None and cam.IsValid():
            cam.Close()
            cls.Destroy(cam)
        if initialised_here:
            vx.SystemShutdown()
    return open_recording(folder)
