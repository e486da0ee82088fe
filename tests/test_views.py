"""NumPy views of images, point maps and normals: zero-copy, writable, owned
by the Python wrapper, and empty whenever there is nothing readable behind
them. Also: long data calls let other Python threads run."""
import gc
import threading
import time
import weakref

import numpy as np
import pytest

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


def _longest_stall_during(call):
    """Runs `call` in a worker thread while the main thread keeps reading the
    clock. Returns how long the worker was inside the call and the longest
    time the main thread could not run meanwhile: a call that keeps the
    interpreter lock stalls the main thread for (nearly) all of its length."""
    started, finished = threading.Event(), threading.Event()
    window = {}

    def worker():
        started.set()
        window["t0"] = time.perf_counter()
        call()
        window["t1"] = time.perf_counter()
        finished.set()

    ticks = []
    thread = threading.Thread(target=worker)
    thread.start()
    started.wait()
    while not finished.is_set():
        ticks.append(time.perf_counter())
    thread.join()
    t0, t1 = window["t0"], window["t1"]
    inside = [t0] + [t for t in ticks if t0 < t < t1] + [t1]
    return t1 - t0, max(b - a for a, b in zip(inside, inside[1:]))


class TestLockReleased:
    """Calls that take long enough to observe let the main thread run."""

    @staticmethod
    def _long_call(vx, tmp_path, kind):
        size = vx.Size(2048, 1536)
        if kind == "PointMap.Save":
            pm = vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, size)
            np.asarray(pm)[...] = np.random.default_rng(1).random((1536, 2048, 3))
            path = str(tmp_path / "slow.ply")
            return lambda: pm.Save(path, vx.PointMapUnitEnum.Millimeter, False)
        if kind == "Image.SaveImage":
            img = vx.ImageCreate(vx.ImageTypeEnum.BGR8, size)
            np.asarray(img)[...] = np.random.default_rng(2).integers(0, 256, (1536, 2048, 3))
            path = str(tmp_path / "slow.png")
            return lambda: img.SaveImage(path)
        if kind == "Mesh.CreateFromPointMapData":
            ys, xs = np.mgrid[0:1536, 0:2048].astype(np.float64)
            points = np.stack([xs * 1e-3, ys * 1e-3, np.full_like(xs, 0.5)], axis=-1)
            return lambda: vx.Mesh.CreateFromPointMapData(size, points, 0.0)
        raise AssertionError(kind)

    @pytest.mark.parametrize("kind", ["PointMap.Save", "Image.SaveImage",
                                      "Mesh.CreateFromPointMapData"])
    def test_other_threads_run_during_the_call(self, vyx, tmp_path, kind):
        call = self._long_call(vyx, tmp_path, kind)
        duration, stall = _longest_stall_during(call)
        if duration < 0.05:
            pytest.skip(f"{kind} took only {duration * 1e3:.1f} ms: too short to observe")
        assert stall < 0.5 * duration, (
            f"the main thread stalled {stall * 1e3:.0f} ms of the {duration * 1e3:.0f} ms call")

    def test_a_call_holding_the_lock_is_detected(self):
        # The measurement itself: a long C loop that never releases the lock.
        duration, stall = _longest_stall_during(lambda: sorted(range(3 * 10**6, 0, -1)))
        assert stall > 0.5 * duration
