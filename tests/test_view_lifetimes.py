"""A NumPy view (or memoryview) keeps showing what it showed when it was made,
however the SDK object behind it ends: the camera's next capture, Destroy of
the object or of its camera, SystemShutdown, a reset or an unplug of the
device. The stand-in keeps such storage allocated until the last view of it
is released (and never hands it to another object meanwhile); the handle
itself is released at once. Under the sanitizers a read or write through a
stale view is an error, so these tests also prove no view reaches freed
memory."""
import gc
import json
import os
import pathlib
import subprocess
import sys
import threading

import numpy as np
import pytest

import PyVyx as vx
from conftest import BUILD, HAVE_STANDIN, NO_STANDIN, ROOT

pytestmark = pytest.mark.skipif(not HAVE_STANDIN, reason=NO_STANDIN)

W, H = 160, 128
SERIAL = "SMALL-1"
SMALL_DEVICE = {
    "name": "Small", "serial": SERIAL, "port": "USB", "resolution": [W, H],
    "capabilities": {"color": True, "capture_modes": ["Normal", "FixedLineScan"]},
}


@pytest.fixture
def small(sim):
    """One small colour device, the system initialised; shut down afterwards."""
    sim.load_config_text(json.dumps({"devices": [SMALL_DEVICE]}))
    assert vx.SystemInit()
    yield sim
    vx.SystemShutdown()


def open_camera(kind):
    device = vx.SystemFindDevice(SERIAL)
    assert device.IsValid(), vx.GetLastErrorMessage()
    cam = vx.X1.Create(device, vx.CameraID_Left) if kind == "X1" else vx.X2.Create(device)
    assert cam.IsValid() and cam.Open(), vx.GetLastErrorMessage()
    return cam


def capture(cam, kind, **fields):
    opts = vx.X1_CaptureOptions() if kind == "X1" else vx.X2_CaptureOptions()
    opts.calc_normal = True
    for name, value in fields.items():
        setattr(opts, name, value)
    assert cam.Capture(opts), vx.GetLastErrorMessage()


# Every view a camera's results offer: (camera kind, name, result getter).
# The normals' view is the point map's NormalData record.
RESULTS = [
    ("X1", "image", lambda c: c.GetImage()),
    ("X1", "depth", lambda c: c.GetDepthMap()),
    ("X1", "confidence", lambda c: c.GetConfidenceMap()),
    ("X1", "points", lambda c: c.GetPointMap()),
    ("X1", "normals", lambda c: c.GetPointMap()),
    ("X2", "left image", lambda c: c.GetImage(vx.CameraID_Left)),
    ("X2", "right image", lambda c: c.GetImage(vx.CameraID_Right)),
    ("X2", "depth", lambda c: c.GetDepthMap()),
    ("X2", "confidence", lambda c: c.GetConfidenceMap()),
    ("X2", "correspond", lambda c: c.GetCorrespondMap()),
    ("X2", "points", lambda c: c.GetPointMap()),
    ("X2", "normals", lambda c: c.GetPointMap()),
]


def _next_capture(cam, kind, sim):
    capture(cam, kind, exposure_time_2d=40)  # other data in the new results


def _destroy_camera(cam, kind, sim):
    cam.Close()
    type(cam).Destroy(cam)


def _shutdown(cam, kind, sim):
    vx.SystemShutdown()


def _reset(cam, kind, sim):
    sim.reset()


def _unplug(cam, kind, sim):
    assert sim.unplug(SERIAL)


ENDINGS = {
    "next capture": _next_capture,
    "camera Destroy": _destroy_camera,
    "SystemShutdown": _shutdown,
    "reset": _reset,
    "unplug": _unplug,
}


@pytest.fixture
def released(small):
    """How many objects views retain beyond those retained when the test
    began (a failed earlier test's traceback may still hold its arrays)."""
    gc.collect()
    before = small.retained_objects()

    def count():
        gc.collect()
        return small.retained_objects() - before
    return count


@pytest.mark.parametrize("ending", sorted(ENDINGS))
@pytest.mark.parametrize("kind, name, result", RESULTS, ids=[f"{k} {n}" for k, n, _ in RESULTS])
@pytest.mark.parametrize("export", [np.asarray, memoryview], ids=["asarray", "memoryview"])
def test_a_camera_result_view_outlives_its_object(small, released, kind, name, result, ending,
                                                  export):
    sim = small
    cam = open_camera(kind)
    capture(cam, kind)
    obj = result(cam)
    view = export(obj.GetNormalDataPtr() if name == "normals" else obj)
    array = np.asarray(view)
    assert array.size > 0
    if np.issubdtype(array.dtype, np.floating):
        assert np.isfinite(array).any()  # something to compare against
    else:
        assert array.any()
    seen = array.copy()
    bytes_before = sim.storage_bytes()
    ENDINGS[ending](cam, kind, sim)
    # The handle goes at once (after an unplug the last results stay).
    assert obj.IsValid() == (ending == "unplug")
    assert released() >= 1 or ending == "unplug"
    np.testing.assert_array_equal(array, seen)  # unchanged, readable
    array[...] = 7  # and writable, into storage nothing else uses
    assert (array == 7).all()
    del view, array
    assert released() == 0
    # What stays is exactly the results of a camera that is still there.
    assert sim.storage_bytes() == (bytes_before if ending in ("next capture", "unplug") else 0)
    vx.SystemShutdown()  # the device's handle (and the camera's, if left) go too
    assert sim.storage_bytes() == 0 and sim.live_objects() == 0


def test_views_of_one_result_share_it_until_the_last_goes(small, released):
    sim = small
    cam = open_camera("X1")
    capture(cam, "X1")
    pm = cam.GetPointMap()
    first, second = np.asarray(pm), memoryview(pm)
    nbytes = first.nbytes
    seen = first.copy()
    capture(cam, "X1", exposure_time_2d=40)
    assert released() == 1
    del first
    assert released() == 1  # the memoryview still holds the old points
    np.testing.assert_array_equal(np.asarray(second), seen)
    held = sim.storage_bytes()
    del second
    assert released() == 0
    assert held - sim.storage_bytes() >= nbytes


# Objects a program makes itself: (name, maker returning a handle, its class's Destroy).
def _image(vxm):
    img = vxm.ImageCreate(vxm.ImageTypeEnum.BGR8, vxm.Size(W, H))
    np.asarray(img)[...] = np.arange(W * H * 3, dtype=np.uint64).reshape(H, W, 3) % 251
    return img


def _points(vxm):
    pm = vxm.PointMapCreate(vxm.PointMapTypeEnum.PointsNormals, vxm.Size(W, H))
    np.asarray(pm)[...] = np.arange(W * H * 3, dtype=np.float64).reshape(H, W, 3)
    return pm


def _image_from_file(tmp_path):
    def make(vxm):
        path = str(tmp_path / "made.png")
        assert _image(vxm).SaveImage(path)
        return vxm.Image.CreateFromFile(path)
    return make


def _points_from_file(tmp_path):
    def make(vxm):
        path = str(tmp_path / "made.ply")
        assert _points(vxm).Save(path, vxm.PointMapUnitEnum.Meter)
        return vxm.PointMap.CreateFromFile(path, vxm.Size(W, H), vxm.PointMapUnitEnum.Meter)
    return make


OWN = ["image", "image clone", "image from file", "points", "points clone", "points from file",
       "normals"]


def make_own(name, tmp_path):
    makers = {
        "image": _image,
        "image clone": lambda v: _image(v).Clone(),
        "image from file": _image_from_file(tmp_path),
        "points": _points,
        "points clone": lambda v: _points(v).Clone(),
        "points from file": _points_from_file(tmp_path),
    }
    if name == "normals":
        pm = _points(vx)
        return pm, pm.GetNormalDataPtr(), vx.PointMap.Destroy
    obj = makers[name](vx)
    assert obj.IsValid(), vx.GetLastErrorMessage()
    destroy = vx.Image.Destroy if isinstance(obj, vx.Image) else vx.PointMap.Destroy
    return obj, obj, destroy


@pytest.mark.parametrize("ending", ["Destroy", "SystemShutdown", "reset"])
@pytest.mark.parametrize("name", OWN)
def test_a_view_of_an_object_the_program_made_outlives_it(small, released, tmp_path, name, ending):
    sim = small
    obj, viewed, destroy = make_own(name, tmp_path)
    array = np.asarray(viewed)
    seen = array.copy()
    {"Destroy": lambda: destroy(obj), "SystemShutdown": vx.SystemShutdown,
     "reset": sim.reset}[ending]()
    assert not obj.IsValid()
    np.testing.assert_array_equal(array, seen)
    array[...] = 3
    del array
    assert released() == 0


def test_a_clone_and_its_original_have_separate_storage_and_views(small, released):
    sim = small
    original = _image(vx)
    clone = original.Clone()
    kept = np.asarray(clone)
    seen = kept.copy()
    vx.Image.Destroy(clone)
    kept[...] = 0  # lands in the destroyed clone's storage only
    np.testing.assert_array_equal(np.asarray(original), seen)
    del kept
    assert released() == 0


@pytest.mark.parametrize("make, destroy", [
    (lambda: vx.ImageCreate(vx.ImageTypeEnum.Mono8, vx.Size(W, H)),
     lambda i: vx.ImageDestroy(i, False)),
    (lambda: vx.PointMapCreate(vx.PointMapTypeEnum.PointsOnly, vx.Size(W, H)),
     vx.PointMapDestroy),
], ids=["image, storage offered for reuse", "point map"])
def test_a_stale_view_never_writes_into_a_newer_object(small, make, destroy):
    old = make()
    stale = np.asarray(old)
    destroy(old)  # the caller allows reuse, but a view still describes the storage
    newer = make()
    fresh = np.asarray(newer).copy()
    stale[...] = 9
    np.testing.assert_array_equal(np.asarray(newer), fresh)
    assert np.asarray(newer).ctypes.data != stale.ctypes.data


def test_a_view_handed_to_another_thread_stays_put_while_the_camera_captures(small, released):
    sim = small
    cam = open_camera("X1")
    capture(cam, "X1")
    points = np.asarray(cam.GetPointMap())
    expected = float(np.nansum(points))
    sums, stop = [], threading.Event()

    def worker(view):
        while not stop.is_set() or not sums:
            sums.append(float(np.nansum(view)))

    thread = threading.Thread(target=worker, args=(points,))
    del points
    thread.start()
    for exposure in (20, 30, 40, 50):
        capture(cam, "X1", exposure_time_2d=exposure)
    stop.set()
    thread.join()
    assert sums and all(s == expected for s in sums)
    assert released() == 0


def test_line_scan_maps_outlive_the_scan_and_the_camera(small, released):
    sim = small
    cam = open_camera("X2")
    opts = vx.X2_CaptureOptions()
    opts.capture_mode = vx.CaptureMode_FixedLineScan
    assert cam.StartFixedLineScan(opts), vx.GetLastErrorMessage()
    made = cam.GetFixedLineScanPointMap()
    assert made.IsValid(), vx.GetLastErrorMessage()
    given = vx.PointMap()
    assert cam.GetFixedLineScanPointMap(given), vx.GetLastErrorMessage()
    views = [np.asarray(made), np.asarray(given)]
    seen = [v.copy() for v in views]
    assert cam.StopFixedLineScan()
    cam.Close()
    vx.X2.Destroy(cam)
    vx.SystemShutdown()
    for view, copy in zip(views, seen):
        np.testing.assert_array_equal(view, copy)
    del views, view
    assert released() == 0


def test_memory_returns_to_its_level_after_many_kept_and_dropped_views(small, released):
    sim = small
    cam = open_camera("X1")
    capture(cam, "X1")
    level = sim.storage_bytes()
    kept = []
    for i in range(6):
        kept.append(np.asarray(cam.GetPointMap()))
        kept.append(np.asarray(cam.GetImage()))
        capture(cam, "X1", exposure_time_2d=20 + i)
    assert released() == 12
    assert sim.storage_bytes() > level
    kept.clear()
    assert released() == 0
    assert sim.storage_bytes() == level


def test_the_module_needs_no_view_pins_from_the_sdk():
    """The pin functions are weak references: an SDK without them loads."""
    module = pathlib.Path(vx.__file__)
    symbols = subprocess.run(["nm", "-D", str(module)], check=True, capture_output=True,
                             text=True).stdout
    pins = [line.split() for line in symbols.splitlines() if "PinView" in line]
    assert pins and all(fields[0] == "w" for fields in pins), pins


PLAIN_SDK = BUILD / "lib" / "without-extensions"


@pytest.mark.skipif(not (PLAIN_SDK / "libvyx.so").exists(),
                    reason="needs the build's stand-in library without extensions")
def test_views_with_an_sdk_without_view_pins_work_as_before():
    """Loaded with an SDK that lacks the extension, views are plain views:
    correct while their object lives, and nothing is retained after it."""
    script = r"""
import numpy as np, PyVyx as vx, vyxsim
with open("/proc/self/maps") as maps:
    assert any(line.rstrip().endswith("without-extensions/libvyx.so") for line in maps)
assert vx.SystemInit()
img = vx.ImageCreate(vx.ImageTypeEnum.Mono8, vx.Size(32, 16))
view = np.asarray(img)
view[3, 4] = 200
assert view.shape == (16, 32) and np.asarray(img)[3, 4] == 200
del view
vx.ImageDestroy(img)
assert vyxsim.retained_objects() == 0 and vyxsim.storage_bytes() == 0
vx.SystemShutdown()
print("ok")
"""
    env = dict(os.environ, LD_LIBRARY_PATH=str(PLAIN_SDK))
    done = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True,
                          cwd=ROOT, timeout=120)
    assert done.returncode == 0 and done.stdout.strip() == "ok", done.stderr
