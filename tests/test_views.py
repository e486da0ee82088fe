"""NumPy views of images, point maps and normals: zero-copy, writable, owned
by the Python wrapper, and empty whenever there is nothing readable behind
them. Also: SDK calls that run without the interpreter lock let other Python
threads run while they are inside the SDK."""
import gc
import threading
import time
import weakref

import numpy as np
import pytest

from cameras import BY_NAME

W, H = 640, 480


# Each maker returns (object with a view, expected shape, expected strides,
# expected dtype). The point maps and images are released by SystemShutdown.
def _image(type_name):
    def make(vx):
        img = vx.ImageCreate(getattr(vx.ImageTypeEnum, type_name), vx.Size(W, H))
        assert img.IsValid(), vx.GetLastErrorMessage()
        if type_name == "Mono8":
            return img, (H, W), (W, 1), np.uint8
        return img, (H, W, 3), (3 * W, 3, 1), np.uint8
    return make


def _points(vx):
    pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, vx.Size(W, H))
    assert pm.IsValid(), vx.GetLastErrorMessage()
    return pm, (H, W, 3), (24 * W, 24, 8), np.float64


def _normals(vx):
    pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsNormals, vx.Size(W, H))
    assert pm.IsValid(), vx.GetLastErrorMessage()
    normals = pm.GetNormalDataPtr()
    assert normals.IsValid()
    return normals, (H, W, 3), (24 * W, 24, 8), np.float64


VIEWS = {
    "Mono8": _image("Mono8"),
    "BGR8": _image("BGR8"),
    "RGB8": _image("RGB8"),
    "points": _points,
    "normals": _normals,
}


@pytest.fixture(params=sorted(VIEWS))
def viewed(request, vyx):
    return VIEWS[request.param](vyx)


def assert_empty_view(obj):
    """The empty description: no data, no item size, no format, no dimensions."""
    mv = memoryview(obj)
    assert (mv.nbytes, mv.itemsize, mv.format, mv.ndim, mv.shape) == (0, 0, "", 0, ())
    assert not mv.readonly
    assert np.asarray(obj).nbytes == 0


class TestViewLayout:
    def test_shape_strides_dtype_writable(self, viewed):
        obj, shape, strides, dtype = viewed
        a = np.asarray(obj)
        assert (a.shape, a.strides, a.dtype) == (shape, strides, dtype)
        assert a.flags.writeable and a.flags.c_contiguous
        mv = memoryview(obj)
        assert mv.format == ("B" if dtype == np.uint8 else "d")
        assert mv.itemsize == np.dtype(dtype).itemsize and not mv.readonly


class TestZeroCopy:
    def test_two_requests_describe_the_same_memory(self, viewed):
        obj = viewed[0]
        a, b = np.asarray(obj), np.asarray(obj)
        assert a.__array_interface__["data"][0] == b.__array_interface__["data"][0]
        assert np.shares_memory(a, b)
        a.flat[7] = 42
        assert b.flat[7] == 42
        assert np.shares_memory(np.asarray(memoryview(obj)), a)

    def test_numpy_array_without_copy_is_a_view(self, viewed):
        obj = viewed[0]
        a = np.array(obj, copy=False)
        assert np.shares_memory(a, np.asarray(obj))


class TestOwner:
    def test_view_owner_is_the_wrapper(self, viewed):
        obj = viewed[0]
        assert memoryview(obj).obj is obj

    @pytest.mark.parametrize("name", sorted(VIEWS))
    def test_array_keeps_the_wrapper_alive(self, vyx, name):
        obj = VIEWS[name](vyx)[0]
        ref = weakref.ref(obj)
        a = np.asarray(obj)
        del obj
        gc.collect()
        assert ref() is not None, "the array must keep its wrapper alive"
        a.flat[0] = 1  # still the SDK's live storage: the object was not destroyed
        del a
        gc.collect()
        assert ref() is None, "nothing else holds the wrapper"


class TestEmptyViews:
    @pytest.mark.parametrize("cls", ["Image", "DepthMap", "ConfidenceMap", "CorrespondMap",
                                     "PointMap", "NormalData"])
    def test_default_wrappers(self, vyx, cls):
        assert_empty_view(getattr(vyx, cls)())

    @pytest.mark.parametrize("cls", ["Image", "PointMap", "NormalData"])
    def test_default_wrappers_before_init(self, sim, cls):
        import PyVyx

        assert not PyVyx.SystemIsInited()
        assert_empty_view(getattr(PyVyx, cls)())

    @pytest.mark.parametrize("name", ["Mono8", "BGR8", "points"])
    def test_destroyed(self, vyx, name):
        obj = VIEWS[name](vyx)[0]
        if isinstance(obj, vyx.Image):
            vyx.ImageDestroy(obj)
        else:
            vyx.PointMapDestroy(obj)
        assert not obj.IsValid()
        assert_empty_view(obj)

    @pytest.mark.parametrize("name", ["Mono8", "BGR8", "RGB8", "points"])
    def test_after_system_shutdown(self, vyx, name):
        # Shutdown releases every SDK object: the wrappers name nothing any more.
        obj = VIEWS[name](vyx)[0]
        vyx.SystemShutdown()
        assert_empty_view(obj)

    @pytest.mark.parametrize("end", [
        lambda vx, pm: vx.PointMapDestroy(pm),
        lambda vx, pm: vx.SystemShutdown(),
    ])
    def test_normals_outliving_their_point_map(self, vyx, end):
        pm = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsNormals, vyx.Size(W, H))
        normals = pm.GetNormalDataPtr()
        assert np.asarray(normals).shape == (H, W, 3)
        end(vyx, pm)
        assert normals.IsValid(), "the record is a snapshot"
        assert_empty_view(normals)

    def test_points_only_map_has_no_normals(self, vyx):
        pm = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsOnly, vyx.Size(W, H))
        normals = pm.GetNormalDataPtr()
        assert not normals.IsValid()
        assert_empty_view(normals)


def run_while_held(sim, op, call, limit_ms=60_000):
    """Runs `call` in a worker thread while the stand-in holds every call of
    SDK operation `op` inside the SDK. This thread waits until the call is
    held, then lets it go. Returns how many calls the release let go and the
    worker's outcome ("result" or "error").

    This thread needs the interpreter lock for every step of its watch: if
    the worker kept the lock through the SDK call, this thread could run
    again only after the held call had gone on by itself (after `limit_ms`),
    and its release would find nothing left to let go."""
    sim.hold_calls(op, limit_ms)
    outcome = {}

    def worker():
        try:
            outcome["result"] = call()
        except BaseException as e:  # reported by the caller
            outcome["error"] = e

    thread = threading.Thread(target=worker)
    thread.start()
    while sim.held_calls(op) == 0 and thread.is_alive():
        time.sleep(0.001)  # polling only: how long anything takes does not matter
    let_go = sim.release_calls(op)
    thread.join()
    return let_go, outcome


W2, H2 = 64, 48


def _saved_points(vx, tmp_path):
    pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, vx.Size(W2, H2))
    np.asarray(pm)[...] = np.random.default_rng(1).random((H2, W2, 3))
    path = str(tmp_path / "points.ply")
    assert pm.Save(path, vx.PointMapUnitEnum.Millimeter, False), vx.GetLastErrorMessage()
    return path


def _opened(vx, model_name):
    status, found = vx.SystemListDevices(vx.All)
    assert status == 0 and found
    camera = BY_NAME[model_name].create(found[0])
    assert camera.IsValid() and camera.Open(), vx.GetLastErrorMessage()
    return camera


# Each entry: SDK operation (its trace name) -> maker(vx, tmp_path) returning
# (call, check of the call's result). Each call runs one SDK call of that
# operation with the interpreter lock released.
def _point_map_save(vx, tmp_path):
    pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, vx.Size(W2, H2))
    path = tmp_path / "saved.ply"
    return (lambda: pm.Save(str(path), vx.PointMapUnitEnum.Millimeter, False),
            lambda r: r is True and path.stat().st_size > 0)


def _image_save(vx, tmp_path):
    img = vx.ImageCreate(vx.ImageTypeEnum.BGR8, vx.Size(W2, H2))
    path = tmp_path / "saved.png"
    return lambda: img.SaveImage(str(path)), lambda r: r is True and path.stat().st_size > 0


def _mesh_from_points(vx, tmp_path):
    ys, xs = np.mgrid[0:H2, 0:W2].astype(np.float64)
    points = np.stack([xs * 1e-3, ys * 1e-3, np.full_like(xs, 0.5)], axis=-1)
    return (lambda: vx.Mesh.CreateFromPointMapData(vx.Size(W2, H2), points, 0.0),
            lambda mesh: mesh.IsValid())


def _point_map_load(vx, tmp_path):
    path = _saved_points(vx, tmp_path)
    return (lambda: vx.PointMap.CreateFromFile(path, vx.Size(W2, H2), vx.PointMapUnitEnum.Millimeter),
            lambda pm: pm.IsValid() and (pm.GetSize().width, pm.GetSize().height) == (W2, H2))


def _capture(model_name):
    def make(vx, tmp_path):
        camera = _opened(vx, model_name)
        return camera.Capture, lambda r: r is True
    return make


def _transform(vx, tmp_path):
    pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, vx.Size(W2, H2))
    np.asarray(pm)[...] = 1.0
    rotation = np.eye(3)
    translation = np.array([0.0, 0.0, 2.0])

    def check(result):
        return result is None and np.array_equal(np.asarray(pm)[..., 2], np.full((H2, W2), 3.0))
    return lambda: vx.TransformPointCloud(rotation, translation, pm), check


def _markers(vx, tmp_path):
    img = vx.ImageCreate(vx.ImageTypeEnum.Mono8, vx.Size(W2, H2))
    return lambda: vx.DetectCodedCircleMarker(img, vx.CodedCircleMarkerType()), lambda r: r == []


def _listing(vx, tmp_path):
    return lambda: vx.SystemListDevices(vx.All), lambda r: r[0] == 0 and len(r[1]) == 2


def _version(vx, tmp_path):
    return vx.GetVersion, lambda r: isinstance(r, str) and r.startswith("Vyx SDK")


RELEASING = {
    "PointMap::Save": _point_map_save,
    "Image::SaveImage": _image_save,
    "Mesh::CreateFromPointMapData": _mesh_from_points,
    "PointMap::CreateFromFile": _point_map_load,
    "X1::Capture": _capture("X1"),
    "X2::Capture": _capture("X2"),
    "TransformPointCloud": _transform,
    "DetectCodedCircleMarker": _markers,
    "SystemListDevices": _listing,
    "GetVersion": _version,
}


class TestLockReleased:
    """Calls that run without the interpreter lock let the main thread run
    while they are inside the SDK: the stand-in holds them there until the
    main thread, which can only act while it has the lock, lets them go."""

    @pytest.mark.parametrize("op", sorted(RELEASING))
    def test_other_threads_run_during_the_call(self, vyx, sim, tmp_path, op):
        call, check = RELEASING[op](vyx, tmp_path)
        let_go, outcome = run_while_held(sim, op, call)
        assert "error" not in outcome, outcome.get("error")
        assert let_go == 1, f"{op} was not waiting inside the SDK when the main thread looked"
        assert check(outcome["result"]), (outcome["result"], vyx.GetLastErrorMessage())

    # Negative control: ConfidenceMap's IsValid and GetSize keep the lock for
    # their SDK call. The main thread cannot look while the call is held, so
    # the call goes on after its (short) limit and the release finds nothing.
    @pytest.mark.parametrize("op, call, expected", [
        ("ConfidenceMap::IsValid", lambda m: m.IsValid(), False),
        ("ConfidenceMap::GetSize", lambda m: m.GetSize().width, 0),
    ], ids=["IsValid", "GetSize"])
    def test_a_call_holding_the_lock_is_detected(self, vyx, sim, op, call, expected):
        cmap = vyx.ConfidenceMap()
        let_go, outcome = run_while_held(sim, op, lambda: call(cmap), limit_ms=200)
        assert outcome == {"result": expected}
        assert let_go == 0
