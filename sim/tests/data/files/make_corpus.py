#!/usr/bin/env python3
"""Writes the file corpus next to this script: small valid files of every
format the stand-in reads (fuzzing seeds and load checks) and hand-made
damaged or hostile ones (each named for what is wrong with it).

The C++ tests (sim/tests/test_formats_corpus.cpp) list every file with the
outcome expected when it is loaded. Run again after changing this script.
"""
import math
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent


def put(name, data):
    (HERE / name).write_bytes(data)


# ---------------------------------------------------------------- PNG
def chunk(kind, body, crc=None):
    c = zlib.crc32(kind + body) if crc is None else crc
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", c & 0xFFFFFFFF)


def png(width, height, colour_type, bit_depth, rows, extra=b"", ihdr_crc=None, palette=None):
    sig = b"\x89PNG\r\n\x1a\n"
    ihdr = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    raw = b"".join(b"\x00" + r for r in rows)
    out = sig + chunk(b"IHDR", ihdr, ihdr_crc)
    if palette is not None:
        out += chunk(b"PLTE", palette)
    out += extra + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    return out


grey_rows = [bytes((x * 40 + y * 7) % 256 for x in range(5)) for y in range(4)]
rgb_rows = [bytes(v for x in range(5) for v in (x * 50, y * 60, 200 - x * 10)) for y in range(4)]
put("good_grey.png", png(5, 4, 0, 8, grey_rows))
put("good_rgb.png", png(5, 4, 2, 8, rgb_rows))
put("good_palette.png", png(3, 2, 3, 8, [b"\x00\x01\x02", b"\x02\x01\x00"],
                            palette=b"\xff\x00\x00\x00\xff\x00\x00\x00\xff"))
rgba16_rows = [b"".join(struct.pack(">HHHH", x * 1000, y * 2000, 65535, 1234) for x in range(3))
               for y in range(2)]
put("good_rgba16.png", png(3, 2, 6, 16, rgba16_rows))
put("bad_signature.png", b"this is not a PNG file at all\n")
whole = png(64, 64, 0, 8, [bytes((x ^ y) & 255 for x in range(64)) for y in range(64)])
put("truncated.png", whole[: len(whole) // 2 + 40])
put("bad_crc.png", png(5, 4, 0, 8, grey_rows, ihdr_crc=0x12345678))
put("huge_dims.png", png(100000, 100000, 2, 8, [b"\x00" * 3]))
put("zero_width.png", png(0, 4, 0, 8, [b""] * 4))
put("empty.png", b"")
put("png_named.bmp", png(5, 4, 0, 8, grey_rows))


# ---------------------------------------------------------------- BMP
def bmp(width, height, bpp, pixels_rows, palette=b"", info_size=40, compression=0,
        colors_used=None, offset=None, file_size=None, planes=1):
    stride = (width * bpp + 31) // 32 * 4 if width > 0 else 0
    body = b"".join(r + b"\x00" * (stride - len(r)) for r in pixels_rows)
    off = 14 + info_size + len(palette) if offset is None else offset
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, planes, bpp, compression,
                       len(body), 2835, 2835,
                       (len(palette) // 4 if colors_used is None else colors_used), 0)
    info += b"\x00" * (info_size - len(info))
    size = off + len(body) if file_size is None else file_size
    return b"BM" + struct.pack("<IHHI", size, 0, 0, off) + info + palette + body


grey_palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
bgr_rows = [bytes(v for x in range(5) for v in (10 * x, 20 * y, 30)) for y in range(3)]
put("good_grey.bmp", bmp(5, 3, 8, [bytes(range(y * 5, y * 5 + 5)) for y in range(3)], grey_palette))
put("good_bgr.bmp", bmp(5, 3, 24, bgr_rows))
put("good_topdown.bmp", bmp(5, -3, 24, bgr_rows))
put("good_bgrx32.bmp", bmp(2, 2, 32, [b"\x01\x02\x03\xff\x04\x05\x06\xff"] * 2))
put("good_v5header.bmp", bmp(5, 3, 24, bgr_rows, info_size=124))
put("bad_magic.bmp", b"XX" + bmp(5, 3, 24, bgr_rows)[2:])
put("truncated.bmp", bmp(5, 3, 24, bgr_rows)[:-10])
put("huge_dims.bmp", bmp(1 << 30, 1 << 20, 24, []))
put("negative_width.bmp", bmp(-5, 3, 24, bgr_rows))
put("int_min_height.bmp", bmp(5, -(1 << 31), 24, []))
put("palette_overflow.bmp", bmp(2, 2, 8, [b"\x00\x01"] * 2, b"\x00" * 16, colors_used=1000))
put("bad_index.bmp", bmp(2, 2, 8, [b"\x00\x05"] * 2, b"\x00\x00\x00\x00\xff\xff\xff\x00"))
put("offset_beyond.bmp", bmp(5, 3, 24, bgr_rows, offset=1 << 30))
put("offset_in_header.bmp", bmp(5, 3, 24, bgr_rows, offset=20))
put("rle8.bmp", bmp(2, 2, 8, [b"\x00\x01"] * 2, grey_palette, compression=1))
put("bpp4.bmp", bmp(2, 2, 4, [b"\x01"] * 2, b"\x00" * 64))
put("os2_header.bmp", bmp(2, 2, 24, [b"\x00" * 6] * 2, info_size=12)[:26] + b"\x00" * 16)
put("zero_planes.bmp", bmp(5, 3, 24, bgr_rows, planes=0))
put("header_only.bmp", bmp(5, 3, 24, bgr_rows)[:30])


# ---------------------------------------------------------------- PLY
def ply_header(fmt, count, props, comments=(), extra=""):
    lines = ["ply", "format %s 1.0" % fmt] + ["comment " + c for c in comments]
    lines += ["element vertex %d" % count] + ["property %s %s" % p for p in props]
    return ("\n".join(lines) + "\n" + extra + "end_header\n").encode()


xyz = [("double", "x"), ("double", "y"), ("double", "z")]
pts = [(0.1, 0.2, 0.5), (float("nan"),) * 3, (-0.1, 0.25, 0.55), (0.0, 0.0, 1.0)]
put("good_ascii.ply", ply_header("ascii", 4, xyz, ["organized width 2 height 2", "timestamp 77"]) +
    "".join("%r %r %r\n" % p for p in pts).replace("nan", "nan").encode())
nrm = [("double", "nx"), ("double", "ny"), ("double", "nz")]
col = [("uchar", "red"), ("uchar", "green"), ("uchar", "blue")]
body = b"".join(struct.pack("<dddddd", i * 0.01, i * 0.02, 0.5, 0, 0, -1) + bytes((i, 2 * i, 3 * i))
                for i in range(6))
put("good_binary.ply", ply_header("binary_little_endian", 6, xyz + nrm + col,
                                  ["organized width 3 height 2", "timestamp 123456789"]) + body)
f32 = [("float", "x"), ("float", "y"), ("float", "z")]
put("good_be.ply", ply_header("binary_big_endian", 4, f32, ["organized width 2 height 2"]) +
    b"".join(struct.pack(">fff", *p) for p in pts))
put("good_nogrid.ply", ply_header("ascii", 4, xyz) + b"1 2 3\n4 5 6\n7 8 9\n10 11 12\n")
put("good_faces.ply", ply_header("ascii", 4, f32, [], "element face 2\nproperty list uchar int vertex_indices\n") +
    b"0 0 1\n1 0 1\n0 1 1\n1 1 1\n3 0 2 1\n4 1 2 3 0\n")
put("good_skip_before.ply", b"ply\nformat binary_little_endian 1.0\nelement camera 1\n"
    b"property list uchar float params\nelement vertex 1\nproperty float x\nproperty float y\n"
    b"property float z\nproperty int flags\nend_header\n" + b"\x02" + struct.pack("<ff", 1, 2) +
    struct.pack("<fffi", 1.5, 2.5, 3.5, 7))
put("ply_zero_vertices.ply", b"ply\nformat binary_little_endian 1.0\nelement vertex 0\nproperty float x\n"
    b"property float y\nproperty float z\nend_header\n")
put("ply_no_magic.ply", b"plx\nformat ascii 1.0\nelement vertex 0\nend_header\n")
put("ply_no_end_header.ply", ply_header("ascii", 1, xyz)[:-11])
put("ply_bad_format.ply", ply_header("binary_middle_endian", 1, xyz) + b"\x00" * 24)
put("ply_huge_count.ply", ply_header("binary_little_endian", 10 ** 15, xyz) + b"\x00" * 48)
put("ply_negative_count.ply", ply_header("ascii", 0, xyz).replace(b"vertex 0", b"vertex -5") + b"1 2 3\n")
put("ply_truncated_binary.ply", ply_header("binary_little_endian", 4, xyz, ["organized width 2 height 2"]) +
    b"\x00" * (24 * 4 - 5))
put("ply_truncated_ascii.ply", ply_header("ascii", 4, xyz) + b"1 2 3\n4 5 6\n7 8")
put("ply_bad_number.ply", ply_header("ascii", 1, xyz) + b"1 abc 3\n")
put("ply_no_xyz.ply", ply_header("ascii", 1, [("double", "x"), ("double", "y")]) + b"1 2\n")
put("ply_grid_lie.ply", ply_header("ascii", 4, xyz, ["organized width 5 height 5"]) + b"0 0 0\n" * 4)
put("ply_list_lie.ply", b"ply\nformat binary_little_endian 1.0\nelement junk 3\n"
    b"property list uint double values\nelement vertex 1\nproperty double x\nproperty double y\n"
    b"property double z\nend_header\n" + struct.pack("<I", 0xFFFFFFF0) + b"\x00" * 64)
put("ply_bad_type.ply", ply_header("ascii", 1, [("quaternion", "x"), ("double", "y"), ("double", "z")]) + b"1 2 3\n")
put("ply_float_list_count.ply", b"ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\n"
    b"property double y\nproperty double z\nproperty list float int idx\nend_header\n1 2 3 1 1\n")
put("ply_property_first.ply", b"ply\nformat ascii 1.0\nproperty double x\nelement vertex 1\nend_header\n1\n")
put("ply_no_format.ply", b"ply\nelement vertex 1\nproperty double x\nproperty double y\n"
    b"property double z\nend_header\n1 2 3\n")
put("ply_no_vertex.ply", b"ply\nformat ascii 1.0\nelement face 0\nproperty list uchar int vertex_indices\nend_header\n")
put("ply_header_only.ply", b"ply\nformat binary_little_endian 1.0\n")


# ---------------------------------------------------------------- PCD
def pcd_header(fields, sizes, types, width, height, data, points=None, counts=None, comment=None):
    n = len(fields)
    lines = ["# .PCD v0.7 - Point Cloud Data file format"]
    if comment:
        lines.append("# " + comment)
    lines += ["VERSION 0.7", "FIELDS " + " ".join(fields), "SIZE " + " ".join(map(str, sizes)),
              "TYPE " + " ".join(types), "COUNT " + " ".join(map(str, counts or [1] * n)),
              "WIDTH %d" % width, "HEIGHT %d" % height, "VIEWPOINT 0 0 0 1 0 0 0",
              "POINTS %d" % (width * height if points is None else points), "DATA " + data]
    return ("\n".join(lines) + "\n").encode()


put("good_ascii.pcd", pcd_header("x y z".split(), [4] * 3, "FFF", 2, 2, "ascii", comment="timestamp 42") +
    b"0.1 0.2 0.5\nnan nan nan\n-0.1 0.25 0.55\n0 0 1\n")
rgb = struct.unpack("<f", struct.pack("<I", 0x00FF8000))[0]
put("good_binary.pcd",
    pcd_header("x y z normal_x normal_y normal_z rgb".split(), [8] * 6 + [4], "FFFFFFF", 3, 2, "binary") +
    b"".join(struct.pack("<ddddddf", i * 0.01, i * 0.02, 0.5, 0, 0, 1, rgb) for i in range(6)))
put("good_unorganized.pcd", pcd_header("x y z intensity".split(), [4, 4, 4, 2], "FFFU", 4, 1, "ascii") +
    b"1 2 3 9\n4 5 6 9\n7 8 9 9\n10 11 12 9\n")
put("pcd_no_data.pcd", pcd_header("x y z".split(), [4] * 3, "FFF", 1, 1, "ascii")[:-11])
put("pcd_compressed.pcd", pcd_header("x y z".split(), [4] * 3, "FFF", 1, 1, "binary_compressed") + b"\x00" * 20)
put("pcd_huge_points.pcd", pcd_header("x y z".split(), [8] * 3, "FFF", 2000000000, 2000000000, "binary") + b"\x00" * 48)
put("pcd_points_mismatch.pcd", pcd_header("x y z".split(), [4] * 3, "FFF", 2, 2, "ascii", points=5) + b"0 0 0\n" * 5)
put("pcd_truncated_binary.pcd", pcd_header("x y z".split(), [4] * 3, "FFF", 2, 2, "binary") + b"\x00" * 40)
put("pcd_truncated_ascii.pcd", pcd_header("x y z".split(), [4] * 3, "FFF", 2, 2, "ascii") + b"0 0 0\n0 0 0\n0 0")
put("pcd_bad_size.pcd", pcd_header("x y z".split(), [4, 3, 4], "FFF", 1, 1, "ascii") + b"0 0 0\n")
put("pcd_fields_mismatch.pcd", pcd_header("x y z".split(), [4, 4], "FFF", 1, 1, "ascii") + b"0 0 0\n")
put("pcd_no_xyz.pcd", pcd_header("a b c".split(), [4] * 3, "FFF", 1, 1, "ascii") + b"0 0 0\n")
put("pcd_bad_number.pcd", pcd_header("x y z".split(), [4] * 3, "FFF", 1, 1, "ascii") + b"0 zero 0\n")
put("pcd_bad_type.pcd", pcd_header("x y z".split(), [4] * 3, "FQF", 1, 1, "ascii") + b"0 0 0\n")
put("pcd_not_pcd.pcd", b"hello world\n")


# ---------------------------------------------------------------- TIFF
def tiff_float(width, height, values, sample_format=3, bits=32, strip_bytes=None, big=False):
    e = ">" if big else "<"
    pix = b"".join(struct.pack(e + "f", v) for v in values)
    entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, bits), (259, 3, 1, 1),
               (262, 3, 1, 1), (273, 4, 1, 0), (277, 3, 1, 1), (278, 4, 1, height),
               (279, 4, 1, len(pix) if strip_bytes is None else strip_bytes), (339, 3, 1, sample_format)]
    ifd_offset = 8
    data_offset = ifd_offset + 2 + 12 * len(entries) + 4
    ifd = struct.pack(e + "H", len(entries))
    for tag, typ, count, value in entries:
        if tag == 273:
            value = data_offset
        if typ == 3:
            ifd += struct.pack(e + "HHIH2x", tag, typ, count, value)
        else:
            ifd += struct.pack(e + "HHII", tag, typ, count, value)
    ifd += struct.pack(e + "I", 0)
    return (b"MM" if big else b"II") + struct.pack(e + "HI", 42, ifd_offset) + ifd + pix


vals = [0.5, float("nan"), 1.25, -2.0, 3.0e-3, 10.0]
put("good_float.tif", tiff_float(3, 2, vals))
put("good_float_be.tif", tiff_float(3, 2, vals, big=True))
put("tiff_bad_magic.tif", b"XX" + tiff_float(3, 2, vals)[2:])
put("tiff_truncated.tif", tiff_float(3, 2, vals)[:-9])
put("tiff_int32.tif", tiff_float(3, 2, vals, sample_format=1))
put("tiff_strip_count_lie.tif", tiff_float(3, 2, vals, strip_bytes=1 << 30))
put("tiff_huge_dims.tif", tiff_float(1 << 15, 1 << 15, vals))
