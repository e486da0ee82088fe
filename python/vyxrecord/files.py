"""The files of a recording: organised point clouds as binary PLY, float maps
as ``.npy`` and 8-bit images as PNG.

Each format has a writer, a ``check_*`` function that reads only the header
and the file's size and says whether the file holds exactly what the
manifest announces (so that a damaged recording is refused before any frame
is used), and a ``read_*`` function for the data. Problems are reported as
:class:`RecordingError` naming the file.
"""
from __future__ import annotations

import os
import struct
from typing import Optional

import numpy as np
import numpy.typing as npt

from .errors import RecordingError

FloatArray = npt.NDArray[np.float64]
ByteArray = npt.NDArray[np.uint8]

_F8 = np.dtype("<f8")

# Image types the SDK hands out, with the PNG colour type and the number of
# channels each is stored with.
PNG_COLOUR_TYPES = {"Mono8": (0, 1), "BGR8": (2, 3), "RGB8": (2, 3)}


def _size_check(path: str, data_offset: int, data_bytes: int) -> None:
    """Refuses a file whose payload after the header is not exactly
    ``data_bytes`` long."""
    have = os.path.getsize(path) - data_offset
    if have < data_bytes:
        raise RecordingError(path, f"truncated: {have} bytes of data after the header, "
                                   f"{data_bytes} expected")
    if have > data_bytes:
        raise RecordingError(path, f"{have - data_bytes} unexpected bytes after the data")


# --- PLY ---------------------------------------------------------------------

_PLY_MAX_HEADER = 64 * 1024
_PLY_POINTS = ("x", "y", "z")
_PLY_NORMALS = ("nx", "ny", "nz")


def write_ply(path: str, points: FloatArray, normals: Optional[FloatArray] = None) -> None:
    """Writes an organised point map, (H, W, 3) metres, and optionally its
    normals, as a binary little-endian PLY of H x W vertices in row order.
    Invalid points stay NaN so that the grid is kept."""
    height, width = points.shape[:2]
    names = _PLY_POINTS + (_PLY_NORMALS if normals is not None else ())
    vertices = np.empty((height, width), dtype=np.dtype([(n, _F8) for n in names]))
    for i, n in enumerate(_PLY_POINTS):
        vertices[n] = points[..., i]
    if normals is not None:
        for i, n in enumerate(_PLY_NORMALS):
            vertices[n] = normals[..., i]
    header = ["ply", "format binary_little_endian 1.0",
              f"comment width {width}", f"comment height {height}",
              f"element vertex {width * height}"]
    header += [f"property double {n}" for n in names]
    header.append("end_header")
    with open(path, "wb") as f:
        f.write(("\n".join(header) + "\n").encode("ascii"))
        vertices.tofile(f)


def check_ply(path: str, width: int, height: int, normals: bool) -> int:
    """Checks a point-map PLY's header and size against the expected grid and
    properties; returns the offset of the vertex data."""
    with open(path, "rb") as f:
        head = f.read(_PLY_MAX_HEADER)
    end = head.find(b"end_header\n")
    if not head.startswith(b"ply\n"):
        raise RecordingError(path, "not a PLY file")
    if end < 0:
        raise RecordingError(path, "PLY header has no end_header line "
                                   f"within its first {_PLY_MAX_HEADER} bytes")
    offset = end + len(b"end_header\n")
    try:
        lines = head[:end].decode("ascii").split("\n")[1:]
    except UnicodeDecodeError:
        raise RecordingError(path, "PLY header is not ASCII text") from None
    fmt: Optional[str] = None
    comments: dict[str, str] = {}
    elements: list[tuple[str, str]] = []
    properties: list[str] = []
    for line in lines:
        words = line.split()
        if not words:
            continue
        key = words[0]
        if key == "format":
            fmt = " ".join(words[1:])
        elif key == "comment":
            if len(words) == 3:
                comments.setdefault(words[1], words[2])
        elif key == "obj_info":
            continue
        elif key == "element" and len(words) == 3:
            elements.append((words[1], words[2]))
        elif key == "property":
            if len(elements) != 1:
                raise RecordingError(path, "PLY property outside the vertex element")
            if len(words) != 3 or words[1] not in ("double", "float64"):
                raise RecordingError(path, f"PLY property {' '.join(words[1:])!r} is not a double")
            properties.append(words[2])
        else:
            raise RecordingError(path, f"unexpected PLY header line {line!r}")
    if fmt != "binary_little_endian 1.0":
        raise RecordingError(path, f"PLY format is {fmt!r}, not binary_little_endian 1.0")
    if [name for name, _ in elements] != ["vertex"]:
        raise RecordingError(path, f"PLY elements are {[n for n, _ in elements]}, "
                                   "expected one vertex element")
    for name, value in (("width", width), ("height", height)):
        if name not in comments:
            raise RecordingError(path, f"PLY header has no 'comment {name}' line")
        if comments[name] != str(value):
            raise RecordingError(path, f"PLY {name} is {comments[name]}, the recording's is {value}")
    count = elements[0][1]
    if count != str(width * height):
        raise RecordingError(path, f"PLY has {count} vertices, {width} x {height} = "
                                   f"{width * height} expected")
    expected = list(_PLY_POINTS + (_PLY_NORMALS if normals else ()))
    if properties != expected:
        raise RecordingError(path, f"PLY vertex properties are {properties}, expected {expected}")
    _size_check(path, offset, width * height * len(expected) * _F8.itemsize)
    return offset


def read_ply(path: str, width: int, height: int,
             normals: bool) -> tuple[FloatArray, Optional[FloatArray]]:
    """The points (H, W, 3) and, when recorded, normals (H, W, 3) of a
    point-map PLY, after the checks of :func:`check_ply`."""
    offset = check_ply(path, width, height, normals)
    fields = 6 if normals else 3
    data = np.fromfile(path, dtype=_F8, count=width * height * fields, offset=offset)
    data = data.reshape(height, width, fields).astype(np.float64, copy=False)
    points = np.ascontiguousarray(data[..., :3])
    return points, (np.ascontiguousarray(data[..., 3:]) if normals else None)


# --- NPY ---------------------------------------------------------------------

def write_npy(path: str, array: FloatArray) -> None:
    """Writes a float map as ``.npy`` format 1.0, little-endian float64, C order."""
    data = np.ascontiguousarray(array, dtype=_F8)
    with open(path, "wb") as f:
        np.lib.format.write_array(f, data, version=(1, 0), allow_pickle=False)


def check_npy(path: str, shape: tuple[int, ...]) -> int:
    """Checks an ``.npy`` file's header (version 1.0, ``<f8``, C order,
    ``shape``) and size; returns the offset of the data."""
    with open(path, "rb") as f:
        try:
            version = np.lib.format.read_magic(f)
        except ValueError:
            raise RecordingError(path, "not a NumPy .npy file") from None
        if version != (1, 0):
            raise RecordingError(path, f".npy format {version[0]}.{version[1]}, expected 1.0")
        try:
            found_shape, fortran, dtype = np.lib.format.read_array_header_1_0(f)
        except ValueError as e:
            raise RecordingError(path, f"damaged .npy header ({e})") from None
        offset = f.tell()
    if dtype.str != _F8.str:
        raise RecordingError(path, f"dtype {dtype.str}, expected {_F8.str}")
    if fortran:
        raise RecordingError(path, "array is in Fortran order, expected C order")
    if tuple(found_shape) != tuple(shape):
        raise RecordingError(path, f"shape {tuple(found_shape)}, expected {tuple(shape)}")
    _size_check(path, offset, int(np.prod(shape)) * _F8.itemsize)
    return offset


def read_npy(path: str, shape: tuple[int, ...]) -> FloatArray:
    """The float64 array of an ``.npy`` file, after the checks of :func:`check_npy`."""
    offset = check_npy(path, shape)
    data = np.fromfile(path, dtype=_F8, count=int(np.prod(shape)), offset=offset)
    return data.reshape(shape).astype(np.float64, copy=False)


# --- PNG ---------------------------------------------------------------------

_PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def write_png(path: str, image: ByteArray, image_type: str) -> None:
    """Writes an SDK image, (H, W) or (H, W, 3) uint8, as an 8-bit PNG: grey
    for Mono8, RGB for colour images (a BGR8 image's channels are reversed,
    since a PNG stores red first)."""
    from PIL import Image

    pixels = np.asarray(image, dtype=np.uint8)
    if image_type == "BGR8":
        pixels = pixels[..., ::-1]
    Image.fromarray(np.ascontiguousarray(pixels)).save(path, format="PNG", compress_level=1)


def check_png(path: str, width: int, height: int, image_type: str) -> None:
    """Checks a PNG's header (IHDR) against the recording's size and image
    type: 8 bits per sample, grey or RGB, no interlacing."""
    with open(path, "rb") as f:
        head = f.read(33)
    if len(head) < 33 or not head.startswith(_PNG_SIGNATURE) or head[12:16] != b"IHDR":
        raise RecordingError(path, "not a PNG file")
    w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", head[16:29])
    if (w, h) != (width, height):
        raise RecordingError(path, f"PNG is {w} x {h}, the recording's resolution is "
                                   f"{width} x {height}")
    if depth != 8:
        raise RecordingError(path, f"PNG has {depth} bits per sample, expected 8")
    expected = PNG_COLOUR_TYPES[image_type][0]
    if colour != expected:
        raise RecordingError(path, f"PNG colour type {colour}, expected {expected} for {image_type}")
    if interlace != 0:
        raise RecordingError(path, "PNG is interlaced")


def read_png(path: str, width: int, height: int, image_type: str) -> ByteArray:
    """The pixels of a PNG in the SDK's layout and channel order, after the
    checks of :func:`check_png`: (H, W) for Mono8, (H, W, 3) for colour,
    BGR order again for BGR8."""
    from PIL import Image

    check_png(path, width, height, image_type)
    try:
        with Image.open(path) as im:
            im.load()
            pixels = np.asarray(im)
    except (OSError, SyntaxError, ValueError, Image.DecompressionBombError) as e:
        raise RecordingError(path, f"damaged PNG ({e})") from None
    channels = PNG_COLOUR_TYPES[image_type][1]
    shape = (height, width) if channels == 1 else (height, width, channels)
    if pixels.dtype != np.uint8 or pixels.shape != shape:
        raise RecordingError(path, f"PNG decodes to {pixels.dtype} {pixels.shape}, "
                                   f"expected uint8 {shape}")
    if image_type == "BGR8":
        pixels = pixels[..., ::-1]
    return np.ascontiguousarray(pixels)
