"""Reading a recording folder: every check first, then frames on demand."""
from __future__ import annotations

import os
import pathlib
import stat
from collections.abc import Callable, Iterator
from typing import Any, Optional

from . import files, manifest as mf
from .errors import RecordingError


class Recording:
    """A checked recording folder (from :func:`open_recording`).

    ``manifest`` is the parsed manifest.json; ``len()`` the number of frames;
    :meth:`frame` reads one frame's arrays."""

    def __init__(self, folder: pathlib.Path, manifest: dict[str, Any]) -> None:
        self.folder = folder
        self.manifest = manifest

    @property
    def camera(self) -> str:
        """"X1" or "X2"."""
        return str(self.manifest["camera"])

    @property
    def camera_id(self) -> Optional[str]:
        """"Left" or "Right" for an X1 recording, None for X2."""
        return self.manifest.get("camera_id") if self.camera == "X1" else None

    @property
    def resolution(self) -> tuple[int, int]:
        """(width, height) of every map and image, pixels."""
        width, height = self.manifest["resolution"]
        return int(width), int(height)

    @property
    def image_type(self) -> str:
        """"Mono8", "BGR8" or "RGB8"."""
        return str(self.manifest["image_type"])

    @property
    def normals(self) -> bool:
        """Whether the point maps carry normals."""
        return bool(self.manifest["normals"])

    @property
    def device(self) -> dict[str, Any]:
        """The device's DeviceInfo fields."""
        return dict(self.manifest["device"])

    @property
    def timestamps_us(self) -> list[int]:
        """Every frame's timestamp, microseconds of the device clock."""
        return [int(f["timestamp_us"]) for f in self.manifest["frames"]]

    def __len__(self) -> int:
        return len(self.manifest["frames"])

    def __iter__(self) -> Iterator[dict[str, Any]]:
        for i in range(len(self)):
            yield self.frame(i)

    def __repr__(self) -> str:
        width, height = self.resolution
        return (f"<Recording {str(self.folder)!r}: {self.camera} of {self.device.get('sn')!r}, "
                f"{len(self)} frames of {width} x {height}>")

    def path(self, index: int, role: str) -> pathlib.Path:
        """The file of one frame's role."""
        return self.folder / self.manifest["frames"][index]["files"][role]

    def _role(self, role: str) -> tuple[Callable[[str], Any], Callable[[str], Any]]:
        """The header check and the reader of a role's files."""
        width, height = self.resolution
        if role == "points":
            return (lambda p: files.check_ply(p, width, height, self.normals),
                    lambda p: files.read_ply(p, width, height, self.normals))
        if mf.EXTENSIONS[role] == "npy":
            shape = (height, width, 2) if role == "correspondence" else (height, width)
            return lambda p: files.check_npy(p, shape), lambda p: files.read_npy(p, shape)
        return (lambda p: files.check_png(p, width, height, self.image_type),
                lambda p: files.read_png(p, width, height, self.image_type))

    def _file(self, index: int, role: str) -> str:
        """The path of one frame's role, once it is known to be a regular file."""
        path = str(self.path(index, role))
        try:
            info = os.lstat(path)
        except FileNotFoundError:
            raise RecordingError(path, f"missing (frames[{index}].files.{role} "
                                       "in manifest.json)") from None
        if not stat.S_ISREG(info.st_mode):
            raise RecordingError(path, "is not a regular file")
        return path

    def check_files(self) -> None:
        """Checks that every listed file exists as a regular file inside the
        folder and that its header agrees with the manifest."""
        for index in range(len(self)):
            for role in mf.ROLES[self.camera]:
                check, _ = self._role(role)
                check(self._file(index, role))

    def frame(self, index: int) -> dict[str, Any]:
        """One frame as NumPy arrays by role: ``points`` (H, W, 3) float64,
        ``normals`` (when recorded), ``depth`` and ``confidence`` (H, W),
        ``image`` (X1) or ``left``, ``right`` (X2) as uint8 (H, W) or
        (H, W, 3) in the SDK's channel order, ``correspondence`` (X2,
        (H, W, 2)), and ``timestamp_us``. Negative indices count from the end."""
        count = len(self)
        if not -count <= index < count:
            raise IndexError(f"frame {index} of a recording of {count} frames")
        index %= count
        out: dict[str, Any] = {}
        for role in mf.ROLES[self.camera]:
            _, read = self._role(role)
            value = read(self._file(index, role))
            if role == "points":
                out["points"], normals = value
                if normals is not None:
                    out["normals"] = normals
            else:
                out[role] = value
        out["timestamp_us"] = int(self.manifest["frames"][index]["timestamp_us"])
        return out


def open_recording(folder: str | os.PathLike[str]) -> Recording:
    """Opens a recording folder after checking the manifest and every file's
    header; RecordingError names the file and the problem."""
    path = pathlib.Path(folder)
    if not path.is_dir():
        raise RecordingError(path, "is not a folder")
    recording = Recording(path, mf.read(str(path)))
    recording.check_files()
    return recording

