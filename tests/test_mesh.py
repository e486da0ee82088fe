"""Meshes: building from point data (the whole grid must reach the SDK, and
a grid that does not match its Size is refused), building from a point map,
saving in every format (read back here) and destruction."""
import re
import struct

import numpy as np
import pytest
from tracing import traced, calls, arg

ROWS, COLS = 4, 5
SPACING = 1e-3  # metres between neighbouring grid points


def grid(rows=ROWS, cols=COLS, seed=0):
    rng = np.random.default_rng(seed)
    ys, xs = np.mgrid[0:rows, 0:cols].astype(np.float64)
    z = 0.5 + 1e-5 * rng.random((rows, cols))
    return np.stack([xs * SPACING, ys * SPACING, z], axis=-1)


def full_triangles(rows, cols):
    return 2 * (rows - 1) * (cols - 1)


def read_vertices(path):
    """Vertex coordinates of a PLY, OBJ or STL file, as an (n, 3) array; STL
    repeats a vertex for every triangle that uses it."""
    data = path.read_bytes()
    suffix = path.suffix.lower()
    if suffix == ".obj":
        rows = [line.split()[1:4] for line in data.decode("ascii").splitlines()
                if line.startswith("v ")]
        return np.array(rows, dtype=np.float64)
    if suffix == ".stl":
        if data.startswith(b"solid") and b"facet" in data[:300]:
            rows = [line.split()[1:4] for line in data.decode("ascii").splitlines()
                    if line.strip().startswith("vertex")]
            return np.array(rows, dtype=np.float64)
        (count,) = struct.unpack_from("<I", data, 80)
        tri = np.frombuffer(data, dtype=np.dtype([("n", "<f4", 3), ("v", "<f4", (3, 3)),
                                                  ("attr", "<u2")]), count=count, offset=84)
        return tri["v"].reshape(-1, 3).astype(np.float64)
    assert suffix == ".ply"
    head, _, body = data.partition(b"end_header\n")
    header = head.decode("ascii").splitlines()
    fmt = next(h.split()[1] for h in header if h.startswith("format "))
    count = next(int(h.split()[2]) for h in header if h.startswith("element vertex"))
    props, in_vertex = [], False
    for h in header:
        w = h.split()
        if w[0] == "element":
            in_vertex = w[1] == "vertex"
        elif w[0] == "property" and in_vertex:
            props.append((w[-1], {"float": "f4", "float32": "f4", "double": "f8",
                                  "float64": "f8", "uchar": "u1", "uint8": "u1"}[w[1]]))
    if fmt == "ascii":
        rows = [r.split()[:3] for r in body.decode("ascii").splitlines()[:count]]
        return np.array(rows, dtype=np.float64)
    table = np.frombuffer(body, np.dtype([(n, "<" + t) for n, t in props]), count=count)
    return np.stack([table["x"], table["y"], table["z"]], axis=-1).astype(np.float64)


def sorted_rows(a):
    return a[np.lexsort(a.T[::-1])]


class TestCreateFromPointMapData:
    @pytest.mark.parametrize("form", [
        lambda p: p,                                # (rows, cols, 3)
        lambda p: p.reshape(-1),                    # flat
        lambda p: p.reshape(-1, 3),                 # one point per row
        lambda p: p.reshape(-1).tolist(),           # plain Python floats
        lambda p: p.astype(np.float32),             # converted to float64
        lambda p: np.asfortranarray(p),             # not C-contiguous
        lambda p: np.repeat(p, 2, axis=1)[:, ::2],  # strided view
    ])
    def test_whole_grid_reaches_sdk(self, vyx, tmp_path, form):
        pts = grid()
        given = form(pts)
        expected = np.asarray(given, dtype=np.float64).reshape(-1, 3)
        mesh = vyx.Mesh.CreateFromPointMapData(vyx.Size(COLS, ROWS), given, 0.0)
        assert mesh.IsValid(), vyx.GetLastErrorMessage()
        size = mesh.GetSize()
        assert (size.width, size.height) == (ROWS * COLS, full_triangles(ROWS, COLS))
        path = tmp_path / "m.obj"
        assert mesh.Save(str(path), vyx.PointMapUnitEnum.Meter)
        np.testing.assert_allclose(sorted_rows(read_vertices(path)),
                                   sorted_rows(expected), rtol=1e-9)

    def test_holes_drop_triangles(self, vyx):
        pts = grid()
        pts[1, 2] = np.nan
        mesh = vyx.Mesh.CreateFromPointMapData(vyx.Size(COLS, ROWS), pts, 0.0)
        assert mesh.IsValid(), vyx.GetLastErrorMessage()
        assert 0 < mesh.GetSize().height < full_triangles(ROWS, COLS)

    def test_max_edge_reaches_sdk(self, vyx, sim):
        pts = grid()
        mesh, lines = traced(sim, lambda: vyx.Mesh.CreateFromPointMapData(
            vyx.Size(COLS, ROWS), pts, 0.0025))
        (line,) = calls(lines, "Mesh::CreateFromPointMapData")
        assert float(arg(line, "max_edge")) == 0.0025
        # Diagonals (1.41 mm) fit; an edge limit below the spacing leaves nothing.
        assert mesh.GetSize().height == full_triangles(ROWS, COLS)
        tight = vyx.Mesh.CreateFromPointMapData(vyx.Size(COLS, ROWS), pts, 0.5 * SPACING)
        assert not tight.IsValid() or tight.GetSize().height == 0

    @pytest.mark.parametrize("points, actual", [
        (np.zeros((ROWS, COLS, 2)), ROWS * COLS * 2),
        (np.zeros((ROWS - 1, COLS, 3)), (ROWS - 1) * COLS * 3),
        (np.zeros(ROWS * COLS * 3 + 1), ROWS * COLS * 3 + 1),
        (np.zeros(0), 0),
        (0.5, 1),  # a single float, as a point pointer would once have been
    ])
    def test_mismatch_is_refused(self, vyx, sim, points, actual):
        sim.trace_clear()
        sim.trace_enable(True)
        with pytest.raises(ValueError) as err:
            vyx.Mesh.CreateFromPointMapData(vyx.Size(COLS, ROWS), points, 0.0)
        sim.trace_enable(False)
        assert str(ROWS * COLS * 3) in str(err.value) and f"got {actual}" in str(err.value)
        assert not calls(sim.trace(), "Mesh::CreateFromPointMapData"), "nothing reaches the SDK"

    def test_negative_size_is_refused(self, vyx):
        with pytest.raises(ValueError):
            vyx.Mesh.CreateFromPointMapData(vyx.Size(-COLS, ROWS), grid(), 0.0)

    @pytest.mark.parametrize("points", ["abc", [[1.0, "x", 2.0]], object()])
    def test_not_numbers(self, vyx, points):
        with pytest.raises(TypeError):
            vyx.Mesh.CreateFromPointMapData(vyx.Size(1, 1), points, 0.0)

    def test_argument_order(self, vyx):
        doc = vyx.Mesh.CreateFromPointMapData.__doc__
        assert re.search(r"CreateFromPointMapData\(arg0: PyVyx\.Size, arg1: numpy\.ndarray\["
                         r"numpy\.float64\], arg2: float\) -> PyVyx\.Mesh", doc), doc


class TestCreateFromPointMap:
    def test_same_mesh_as_from_data(self, vyx, sim, tmp_path):
        pts = grid()
        pm = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsOnly, vyx.Size(COLS, ROWS))
        np.asarray(pm)[...] = pts
        mesh, lines = traced(sim, lambda: vyx.Mesh.CreateFromPointMap(pm, 2.0))
        assert mesh.IsValid(), vyx.GetLastErrorMessage()
        assert float(arg(calls(lines, "Mesh::CreateFromPointMap")[0], "max_edge")) == 2.0
        direct = vyx.Mesh.CreateFromPointMapData(vyx.Size(COLS, ROWS), pts, 2.0)
        a, b = mesh.GetSize(), direct.GetSize()
        assert (a.width, a.height) == (b.width, b.height) == (ROWS * COLS,
                                                              full_triangles(ROWS, COLS))
        pa, pb = tmp_path / "a.ply", tmp_path / "b.ply"
        assert mesh.Save(str(pa), vyx.PointMapUnitEnum.Meter)
        assert direct.Save(str(pb), vyx.PointMapUnitEnum.Meter)
        np.testing.assert_allclose(sorted_rows(read_vertices(pa)),
                                   sorted_rows(read_vertices(pb)), rtol=1e-6)

    def test_invalid_point_map(self, vyx):
        mesh = vyx.Mesh.CreateFromPointMap(vyx.PointMap(), 0.0)
        assert not mesh.IsValid() and vyx.GetLastError() != 0


class TestMeshMethods:
    def mesh(self, vx):
        mesh = vx.Mesh.CreateFromPointMapData(vx.Size(COLS, ROWS), grid(), 0.0)
        assert mesh.IsValid(), vx.GetLastErrorMessage()
        return mesh

    @pytest.mark.parametrize("ext", ["ply", "obj", "stl"])
    @pytest.mark.parametrize("unit, scale", [("Meter", 1.0), ("Millimeter", 1000.0)])
    def test_save_formats(self, vyx, sim, tmp_path, ext, unit, scale):
        path = tmp_path / f"mesh.{ext}"
        ok, lines = traced(sim, lambda: self.mesh(vyx).Save(
            str(path), getattr(vyx.PointMapUnitEnum, unit)))
        assert ok, vyx.GetLastErrorMessage()
        assert arg(calls(lines, "Mesh::Save")[0], "unit") == str(int(scale == 1000.0))
        got = np.unique(read_vertices(path), axis=0)
        want = np.unique(scale * grid().reshape(-1, 3), axis=0)
        # STL stores float32.
        np.testing.assert_allclose(sorted_rows(got), sorted_rows(want), rtol=1e-6)

    def test_save_needs_a_unit(self, vyx, tmp_path):
        with pytest.raises(TypeError):
            self.mesh(vyx).Save(str(tmp_path / "m.ply"))

    def test_destroy_passes_true(self, vyx, sim):
        mesh = self.mesh(vyx)
        clone = mesh.Clone()
        _, lines = traced(sim, lambda: vyx.Mesh.Destroy(mesh))
        assert arg(calls(lines, "Mesh::Destroy")[0], "no_reuse") == "true"
        assert not mesh.IsValid()
        size = clone.GetSize()
        assert clone.IsValid() and size.height == full_triangles(ROWS, COLS)

    def test_empty_wrapper(self, vyx, tmp_path):
        mesh = vyx.Mesh()
        size = mesh.GetSize()
        assert not mesh.IsValid() and (size.width, size.height) == (0, 0)
        assert mesh.Save(str(tmp_path / "m.ply"), vyx.PointMapUnitEnum.Meter) is False

    def test_no_view(self, vyx):
        with pytest.raises(BufferError):
            memoryview(self.mesh(vyx))
