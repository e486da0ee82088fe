"""Point maps: functions, the PointMap class, its float64 view, NormalData,
saving (defaults reach the SDK), timestamps and PLY/PCD files (read back by
the SDK and by an independent reader here)."""
import re

import numpy as np
import pytest
from tracing import traced, calls, arg

W, H = 640, 480


def new_map(vx, normals=False, width=W, height=H):
    kind = vx.PointMapTypeEnum.PointsNormals if normals else vx.PointMapTypeEnum.PointsOnly
    pm = vx.PointMapCreate(kind, vx.Size(width, height))
    assert pm.IsValid(), vx.GetLastErrorMessage()
    return pm


def surface(height, width, seed=0):
    """Points of a curved surface in metres, with a few holes."""
    rng = np.random.default_rng(seed)
    ys, xs = np.mgrid[0:height, 0:width].astype(np.float64)
    pts = np.stack([(xs - width / 2) * 1e-3, (ys - height / 2) * 1e-3,
                    0.4 + 0.01 * rng.random((height, width))], axis=-1)
    pts[::7, ::5] = np.nan
    return pts


def unit_normals(height, width, seed=1):
    n = np.random.default_rng(seed).normal(size=(height, width, 3))
    return n / np.linalg.norm(n, axis=-1, keepdims=True)


def handle_text(vx, sim, obj):
    """The handle words of `obj` as the trace prints them (#a.b)."""
    _, lines = traced(sim, obj.IsValid)
    return re.search(r"#\d+\.\d+", lines[0]).group(0)


def read_ply(path):
    """A small independent PLY reader: (vertex properties dict, header lines)."""
    with open(path, "rb") as f:
        header = []
        while True:
            line = f.readline()
            assert line, "truncated PLY header"
            header.append(line.decode("ascii").strip())
            if header[-1] == "end_header":
                break
        body = f.read()
    fmt = next(h.split()[1] for h in header if h.startswith("format "))
    types = {"float": "f4", "float32": "f4", "double": "f8", "float64": "f8",
             "uchar": "u1", "uint8": "u1", "char": "i1", "int8": "i1", "short": "i2",
             "int16": "i2", "ushort": "u2", "uint16": "u2", "int": "i4", "int32": "i4",
             "uint": "u4", "uint32": "u4"}
    count, props, element = 0, [], None
    for line in header:
        words = line.split()
        if words[0] == "element":
            element = words[1]
            if element == "vertex":
                count = int(words[2])
        elif words[0] == "property" and element == "vertex":
            assert words[1] != "list", "vertex list properties are not expected"
            props.append((words[2], types[words[1]]))
    if fmt == "ascii":
        rows = body.decode("ascii").split("\n")[:count]
        table = np.array([[float(v) for v in r.split()[:len(props)]] for r in rows])
        return {name: table[:, i] for i, (name, _) in enumerate(props)}, header
    endian = "<" if fmt == "binary_little_endian" else ">"
    dtype = np.dtype([(name, endian + t) for name, t in props])
    table = np.frombuffer(body, dtype=dtype, count=count)
    return {name: table[name].astype(np.float64) for name, _ in props}, header


class TestPointMapFunctions:
    def test_type_names(self, vyx):
        names = [vyx.PointMapTypeToString(getattr(vyx.PointMapTypeEnum, t))
                 for t in ("None", "PointsOnly", "PointsNormals")]
        assert all(isinstance(n, str) and n for n in names) and len(set(names)) == 3
        assert vyx.PointMapTypeToString(vyx.PointMapTypeEnum(9)) is None

    @pytest.mark.parametrize("normals", [False, True])
    def test_create(self, vyx, sim, normals):
        pm, lines = traced(sim, lambda: new_map(vyx, normals, 5, 4))
        assert arg(calls(lines, "PointMap::Create")[0], "sdk_owns_data") == "true"
        size = pm.GetSize()
        assert (size.width, size.height) == (5, 4)
        assert np.isnan(np.asarray(pm)).all(), "new points are NaN"
        assert pm.GetNormalDataPtr().IsValid() == normals

    def test_create_argument_types(self, vyx):
        with pytest.raises(TypeError):
            vyx.PointMapCreate(1, vyx.Size(4, 3))

    @pytest.mark.parametrize("destroy", [
        lambda vx, pm: vx.PointMapDestroy(pm),
        lambda vx, pm: vx.PointMap.Destroy(pm),
    ])
    def test_destroy_passes_true(self, vyx, sim, destroy):
        pm = new_map(vyx, width=4, height=3)
        _, lines = traced(sim, lambda: destroy(vyx, pm))
        (line,) = calls(lines, "PointMap::Destroy")
        assert arg(line, "no_reuse") == "true"
        assert not pm.IsValid()

    @pytest.mark.parametrize("destroy", [
        lambda vx, pm: vx.PointMapDestroy(pm, False),
        lambda vx, pm: vx.PointMap.Destroy(pm, no_reuse=False),
    ])
    def test_destroy_offers_no_flag(self, vyx, destroy):
        pm = new_map(vyx, width=4, height=3)
        with pytest.raises(TypeError):
            destroy(vyx, pm)
        assert pm.IsValid()


class TestPointView:
    def test_layout(self, vyx):
        a = np.asarray(new_map(vyx))
        assert (a.shape, a.strides, a.dtype) == ((H, W, 3), (24 * W, 24, 8), np.float64)

    @pytest.mark.parametrize("width, height", [(1, 1), (3, 2), (641, 5)])
    def test_odd_sizes(self, vyx, width, height):
        a = np.asarray(new_map(vyx, width=width, height=height))
        assert a.shape == (height, width, 3) and a.strides == (24 * width, 24, 8)

    def test_element_order_is_row_col_xyz(self, vyx, tmp_path):
        # The file lists points row by row; [r, c, 2] must be the z of row r, column c.
        pm = new_map(vyx, width=4, height=3)
        view = np.asarray(pm)
        for r in range(3):
            for c in range(4):
                view[r, c] = (c, r, 10 * r + c + 1)
        path = tmp_path / "order.ply"
        assert pm.Save(str(path), vyx.PointMapUnitEnum.Meter, False)
        props, _ = read_ply(path)
        idx = 2 * 4 + 1  # row 2, column 1
        assert (props["x"][idx], props["y"][idx], props["z"][idx]) == (1, 2, 22)

    def test_writes_reach_sdk(self, vyx):
        pm = new_map(vyx)
        pts = surface(H, W)
        np.asarray(pm)[...] = pts
        clone = pm.Clone()
        np.testing.assert_array_equal(np.asarray(clone), pts)
        np.asarray(pm)[...] = 0
        np.testing.assert_array_equal(np.asarray(clone), pts)


class TestNormalData:
    def test_default_record(self, vyx):
        n = vyx.NormalData()
        size = n.GetSize()
        assert not n.IsValid() and (size.width, size.height) == (0, 0)

    def test_present(self, vyx):
        pm = new_map(vyx, normals=True)
        n = pm.GetNormalDataPtr()
        size = n.GetSize()
        assert n.IsValid() and (size.width, size.height) == (W, H)
        a = np.asarray(n)
        assert (a.shape, a.strides, a.dtype) == ((H, W, 3), (24 * W, 24, 8), np.float64)
        assert not np.shares_memory(a, np.asarray(pm)), "normals are not the points"

    def test_absent(self, vyx):
        n = new_map(vyx).GetNormalDataPtr()
        size = n.GetSize()
        assert not n.IsValid() and (size.width, size.height) == (W, H)
        assert memoryview(n).nbytes == 0

    def test_writes_reach_sdk(self, vyx):
        pm = new_map(vyx, normals=True)
        normals = unit_normals(H, W)
        np.asarray(pm.GetNormalDataPtr())[...] = normals
        clone = pm.Clone()
        np.testing.assert_array_equal(np.asarray(clone.GetNormalDataPtr()), normals)

    def test_records_share_the_storage(self, vyx):
        pm = new_map(vyx, normals=True)
        a, b = np.asarray(pm.GetNormalDataPtr()), np.asarray(pm.GetNormalDataPtr())
        assert np.shares_memory(a, b)


class TestSave:
    @pytest.mark.parametrize("call, unit, binary", [
        (lambda vx, pm, p: pm.Save(p), "1", "true"),
        (lambda vx, pm, p: pm.Save(p, vx.PointMapUnitEnum.Meter, False), "0", "false"),
        (lambda vx, pm, p: pm.Save(p, isBinary=False), "1", "false"),
        (lambda vx, pm, p: pm.Save(p, unit=vx.PointMapUnitEnum.Meter), "0", "true"),
        (lambda vx, pm, p: pm.Save(filename=p, isBinary=True,
                                   unit=vx.PointMapUnitEnum.Millimeter), "1", "true"),
    ])
    def test_save_arguments_reach_sdk(self, vyx, sim, tmp_path, call, unit, binary):
        pm = new_map(vyx, width=4, height=3)
        path = str(tmp_path / "p.ply")
        ok, lines = traced(sim, lambda: call(vyx, pm, path))
        assert ok, vyx.GetLastErrorMessage()
        (line,) = calls(lines, "PointMap::Save")
        assert arg(line, "unit") == unit and arg(line, "isBinary") == binary
        assert arg(line, "image") == "#0.0", "Save passes an image that names nothing"

    @pytest.mark.parametrize("call, unit, binary", [
        (lambda vx, pm, img, p: pm.SaveWithImage(p, img), "1", "true"),
        (lambda vx, pm, img, p: pm.SaveWithImage(p, img, vx.PointMapUnitEnum.Meter, False),
         "0", "false"),
        (lambda vx, pm, img, p: pm.SaveWithImage(filename=p, image=img, isBinary=False),
         "1", "false"),
    ])
    def test_save_with_image_arguments_reach_sdk(self, vyx, sim, tmp_path, call, unit, binary):
        pm = new_map(vyx, width=4, height=3)
        img = vyx.ImageCreate(vyx.ImageTypeEnum.BGR8, vyx.Size(4, 3))
        path = str(tmp_path / "p.ply")
        ok, lines = traced(sim, lambda: call(vyx, pm, img, path))
        assert ok, vyx.GetLastErrorMessage()
        (line,) = calls(lines, "PointMap::Save")
        assert arg(line, "unit") == unit and arg(line, "isBinary") == binary
        assert arg(line, "image") == handle_text(vyx, sim, img)

    def test_default_unit_and_format_in_the_file(self, vyx, tmp_path):
        pm = new_map(vyx, width=5, height=4)
        pts = surface(4, 5)
        np.asarray(pm)[...] = pts
        path = tmp_path / "default.ply"
        assert pm.Save(str(path))
        props, header = read_ply(path)
        assert any(h.startswith("format binary_little_endian") for h in header)
        finite = ~np.isnan(pts[..., 2].ravel())
        np.testing.assert_allclose(props["z"][finite], 1000 * pts[..., 2].ravel()[finite],
                                   rtol=1e-6)

    @pytest.mark.parametrize("type_name, to_rgb", [
        ("BGR8", lambda a: a[..., ::-1]),
        ("RGB8", lambda a: a),
        ("Mono8", lambda a: np.repeat(a[..., None], 3, axis=-1)),
    ])
    def test_colours_from_image(self, vyx, tmp_path, type_name, to_rgb):
        pm = new_map(vyx, width=6, height=4)
        np.asarray(pm)[...] = surface(4, 6)
        img = vyx.ImageCreate(getattr(vyx.ImageTypeEnum, type_name), vyx.Size(6, 4))
        pixels = np.random.default_rng(4).integers(0, 256, np.asarray(img).shape, np.uint8)
        np.asarray(img)[...] = pixels
        path = tmp_path / "colour.ply"
        assert pm.SaveWithImage(str(path), img, isBinary=False), vyx.GetLastErrorMessage()
        props, _ = read_ply(path)
        rgb = to_rgb(pixels).reshape(-1, 3)
        n = len(props["x"])
        assert n == 24, "organised: one vertex per grid cell"
        got = np.stack([props["red"], props["green"], props["blue"]], axis=-1)
        np.testing.assert_array_equal(got, rgb)

    def test_null_filename_fails(self, vyx, sim):
        pm = new_map(vyx, width=4, height=3)
        ok, lines = traced(sim, lambda: pm.Save(None))
        assert ok is False and arg(calls(lines, "PointMap::Save")[0], "filename") == "null"

    def test_image_argument_is_required_and_typed(self, vyx, tmp_path):
        pm = new_map(vyx, width=4, height=3)
        with pytest.raises(TypeError):
            pm.SaveWithImage(str(tmp_path / "x.ply"))
        with pytest.raises(TypeError):
            pm.SaveWithImage(str(tmp_path / "x.ply"), None)


class TestTimestamp:
    @pytest.mark.parametrize("value", [0, 1, 2**32, 2**63, 2**64 - 1])
    def test_accepted(self, vyx, value):
        pm = new_map(vyx, width=2, height=2)
        assert pm.SetTimestamp(value) is True
        assert pm.GetTimestamp() == value

    @pytest.mark.parametrize("value", [-1, 2**64, 1.5, "7", None])
    def test_rejected_before_the_sdk(self, vyx, value):
        pm = new_map(vyx, width=2, height=2)
        assert pm.SetTimestamp(123)
        with pytest.raises(TypeError):
            pm.SetTimestamp(value)
        assert pm.GetTimestamp() == 123

    def test_clone_keeps_timestamp(self, vyx):
        pm = new_map(vyx, width=2, height=2)
        pm.SetTimestamp(987654321)
        assert pm.Clone().GetTimestamp() == 987654321


class TestFiles:
    @pytest.mark.parametrize("ext", ["ply", "pcd"])
    @pytest.mark.parametrize("binary", [True, False])
    @pytest.mark.parametrize("unit", ["Meter", "Millimeter"])
    @pytest.mark.parametrize("normals", [False, True])
    def test_round_trip(self, vyx, tmp_path, ext, binary, unit, normals):
        width, height = 23, 17
        pm = new_map(vyx, normals, width, height)
        pts = surface(height, width, seed=2)
        np.asarray(pm)[...] = pts
        if normals:
            np.asarray(pm.GetNormalDataPtr())[...] = unit_normals(height, width)
        u = getattr(vyx.PointMapUnitEnum, unit)
        path = str(tmp_path / f"pm.{ext}")
        assert pm.Save(path, u, binary), vyx.GetLastErrorMessage()
        loaded = vyx.PointMap.CreateFromFile(path, vyx.Size(width, height), u)
        assert loaded.IsValid(), vyx.GetLastErrorMessage()
        size = loaded.GetSize()
        assert (size.width, size.height) == (width, height)
        # Binary metres are exact; millimetres go through * 1000 and / 1000.
        rtol = 0 if binary and unit == "Meter" else 1e-15 if binary else 1e-9
        np.testing.assert_allclose(np.asarray(loaded), pts, rtol=rtol, atol=0)
        got_normals = loaded.GetNormalDataPtr()
        assert got_normals.IsValid() == normals
        if normals:
            np.testing.assert_allclose(np.asarray(got_normals),
                                       unit_normals(height, width), rtol=rtol, atol=1e-12)

    @pytest.mark.parametrize("ext", ["ply", "pcd"])
    def test_loading_in_the_other_unit_scales(self, vyx, tmp_path, ext):
        pm = new_map(vyx, width=3, height=2)
        pts = surface(2, 3)
        np.asarray(pm)[...] = pts
        path = str(tmp_path / f"mm.{ext}")
        assert pm.Save(path, vyx.PointMapUnitEnum.Millimeter, True)
        as_metres = vyx.PointMap.CreateFromFile(path, vyx.Size(3, 2), vyx.PointMapUnitEnum.Meter)
        assert as_metres.IsValid(), vyx.GetLastErrorMessage()
        np.testing.assert_allclose(np.asarray(as_metres), 1000 * pts, rtol=1e-12)

    def test_wrong_grid_size_is_refused(self, vyx, tmp_path):
        pm = new_map(vyx, width=4, height=3)
        path = str(tmp_path / "grid.ply")
        assert pm.Save(path)
        loaded = vyx.PointMap.CreateFromFile(path, vyx.Size(3, 4 + 1), vyx.PointMapUnitEnum.Meter)
        assert not loaded.IsValid()
        assert vyx.GetLastError() != 0

    def test_missing_file(self, vyx, tmp_path):
        path = str(tmp_path / "missing.ply")
        pm = vyx.PointMap.CreateFromFile(path, vyx.Size(4, 3), vyx.PointMapUnitEnum.Meter)
        assert not pm.IsValid()
        assert path in vyx.GetLastErrorMessage()

    def test_create_from_file_argument_types(self, vyx, tmp_path):
        with pytest.raises(TypeError):
            vyx.PointMap.CreateFromFile(str(tmp_path / "x.ply"), vyx.Size(4, 3))
        with pytest.raises(TypeError):
            vyx.PointMap.CreateFromFile(str(tmp_path / "x.ply"), vyx.Size(4, 3), 1)
