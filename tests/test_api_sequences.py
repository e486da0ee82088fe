"""Random sequences of what a program does with the public API: open cameras
of both kinds, capture, take and write views, clone, destroy objects and
cameras, shut down, reset, unplug and replug. Whatever the order, the
process survives, every call either succeeds with correct data or fails
cleanly (a False or invalid result with a last error), every view keeps
showing what it showed (or what the program wrote into it), and nothing
stays allocated once the views are dropped and the system is shut down."""
import gc
import json

import numpy as np
import pytest

import PyVyx as vx
from conftest import HAVE_STANDIN, NO_STANDIN, SANITIZED

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import settings, strategies as st  # noqa: E402
from hypothesis.stateful import (RuleBasedStateMachine, initialize, invariant,  # noqa: E402
                                 precondition, rule)

pytestmark = pytest.mark.skipif(not HAVE_STANDIN, reason=NO_STANDIN)

W, H = 64, 48
SERIAL = "SEQ-1"
CONFIG = json.dumps({"devices": [{
    "name": "Sequences", "serial": SERIAL, "port": "USB", "resolution": [W, H],
    "capabilities": {"color": True},
}]})

RESULT_GETTERS = {
    "X1": {
        "image": lambda c: c.GetImage(),
        "depth": lambda c: c.GetDepthMap(),
        "confidence": lambda c: c.GetConfidenceMap(),
        "points": lambda c: c.GetPointMap(),
        "normals": lambda c: c.GetPointMap().GetNormalDataPtr(),
    },
    "X2": {
        "image": lambda c: c.GetImage(vx.CameraID_Right),
        "depth": lambda c: c.GetDepthMap(),
        "confidence": lambda c: c.GetConfidenceMap(),
        "correspond": lambda c: c.GetCorrespondMap(),
        "points": lambda c: c.GetPointMap(),
        "normals": lambda c: c.GetPointMap().GetNormalDataPtr(),
    },
}
RESULT_NAMES = sorted({name for getters in RESULT_GETTERS.values() for name in getters})


def assert_clean_failure(what):
    code, message = vx.GetLastError(), vx.GetLastErrorMessage()
    assert code != 0 and message, f"{what} failed without a last error ({code}, {message!r})"


class Program(RuleBasedStateMachine):
    """One program's life: `cameras` are (kind, handle), `objects` the images
    and point maps it made, `views` (array, what it must show)."""

    @initialize()
    def start(self):
        import vyxsim

        self.sim = vyxsim
        self.sim.reset()
        self.sim.load_config_text(CONFIG)
        assert vx.SystemInit()
        self.cameras, self.objects, self.views = [], [], []
        self.shown = {}  # storage address -> what every view of it must show
        self.unplugged = False
        # Views of earlier sequences that Python has not collected yet (a
        # failing one's traceback holds them) are not this sequence's.
        gc.collect()
        self.retained_before = self.sim.retained_objects()
        self.bytes_before = self.sim.storage_bytes()

    # -- cameras -------------------------------------------------------------

    @rule(kind=st.sampled_from(["X1", "X2"]))
    def open_camera(self, kind):
        device = vx.SystemFindDevice(SERIAL)
        if not device.IsValid():
            assert self.unplugged or not vx.SystemIsInited()
            assert_clean_failure("SystemFindDevice")
            return
        cam = vx.X1.Create(device, vx.CameraID_Left) if kind == "X1" else vx.X2.Create(device)
        if not cam.IsValid():
            assert_clean_failure(f"{kind}.Create")
            return
        if not cam.Open():
            assert_clean_failure(f"{kind}.Open")
        self.cameras.append((kind, cam))

    @precondition(lambda self: self.cameras)
    @rule(data=st.data(), normals=st.booleans(), exposure=st.integers(3, 60))
    def capture(self, data, normals, exposure):
        kind, cam = data.draw(st.sampled_from(self.cameras))
        opts = vx.X1_CaptureOptions() if kind == "X1" else vx.X2_CaptureOptions()
        opts.calc_normal = normals
        opts.exposure_time_2d = exposure
        if not cam.Capture(opts):
            assert_clean_failure(f"{kind}.Capture")
            return
        pm = cam.GetPointMap()
        points = np.asarray(pm)
        assert points.shape == (H, W, 3)
        z = points[..., 2][np.isfinite(points[..., 2])]
        assert z.size > W * H // 4 and (z > 0).all(), "a capture without plausible points"
        assert pm.GetNormalDataPtr().IsValid() == normals
        assert np.asarray(cam.GetDepthMap()).shape == (H, W)

    @precondition(lambda self: self.cameras)
    @rule(data=st.data())
    def destroy_camera(self, data):
        kind, cam = data.draw(st.sampled_from(self.cameras))
        self.cameras.remove((kind, cam))
        cam.Close()
        (vx.X1 if kind == "X1" else vx.X2).Destroy(cam)
        assert not cam.IsValid()

    # -- views -----------------------------------------------------------------

    @precondition(lambda self: self.cameras)
    @rule(data=st.data(), name=st.sampled_from(RESULT_NAMES))
    def view_result(self, data, name):
        kind, cam = data.draw(st.sampled_from(self.cameras))
        getter = RESULT_GETTERS[kind].get(name)
        if getter is None:
            return
        self.keep_view(getter(cam))

    @precondition(lambda self: self.objects)
    @rule(data=st.data())
    def view_object(self, data):
        self.keep_view(data.draw(st.sampled_from(self.objects)))

    def keep_view(self, obj):
        array = np.asarray(obj)
        if array.ndim == 0:  # nothing behind the object: the empty view
            assert array.dtype == np.uint8 or array.size == 1
            return
        # Views of one object share its storage, and so what they must show.
        address = array.ctypes.data
        if address not in self.shown:
            self.shown[address] = array.copy()
        self.views.append((array, address))

    @precondition(lambda self: self.views)
    @rule(data=st.data(), value=st.integers(0, 200))
    def write_view(self, data, value):
        array, address = data.draw(st.sampled_from(self.views))
        array[...] = value
        self.shown[address][...] = value

    @precondition(lambda self: self.views)
    @rule(data=st.data())
    def drop_view(self, data):
        index = data.draw(st.integers(0, len(self.views) - 1))
        _, address = self.views.pop(index)
        if all(a != address for _, a in self.views):
            del self.shown[address]  # freed now: the address may come back for new storage

    # -- objects the program makes ------------------------------------------

    @rule(points=st.booleans())
    def make_object(self, points):
        if points:
            obj = vx.PointMapCreate(vx.PointMapTypeEnum.PointsNormals, vx.Size(W, H))
        else:
            obj = vx.ImageCreate(vx.ImageTypeEnum.BGR8, vx.Size(W, H))
        if not obj.IsValid():
            assert not vx.SystemIsInited()
            assert_clean_failure("creating an object")
            return
        np.asarray(obj)[...] = 5
        self.objects.append(obj)

    @precondition(lambda self: self.objects or self.cameras)
    @rule(data=st.data())
    def clone(self, data):
        sources = self.objects + [cam.GetPointMap() for _, cam in self.cameras]
        source = data.draw(st.sampled_from(sources))
        copy = source.Clone()
        if not copy.IsValid():
            assert not source.IsValid()
            assert_clean_failure("Clone")
            return
        np.testing.assert_array_equal(np.asarray(copy), np.asarray(source))
        self.objects.append(copy)

    @precondition(lambda self: self.objects)
    @rule(data=st.data())
    def destroy_object(self, data):
        obj = data.draw(st.sampled_from(self.objects))
        self.objects.remove(obj)
        (vx.Image if isinstance(obj, vx.Image) else vx.PointMap).Destroy(obj)
        assert not obj.IsValid()

    # -- the system --------------------------------------------------------------

    @rule()
    def shutdown_and_init(self):
        vx.SystemShutdown()
        for _, cam in self.cameras:
            assert not cam.IsValid()
        self.cameras, self.objects = [], []
        assert vx.SystemInit()

    @rule()
    def reset(self):
        self.sim.reset()
        self.sim.load_config_text(CONFIG)
        self.cameras, self.objects = [], []
        self.unplugged = False
        assert vx.SystemInit()

    @rule(replug=st.booleans())
    def unplug(self, replug):
        if self.unplugged and replug:
            assert self.sim.replug(SERIAL)
            self.unplugged = False
        elif not self.unplugged:
            assert self.sim.unplug(SERIAL)
            self.unplugged = True

    # -- what must hold after every step -----------------------------------------

    @invariant()
    def views_show_what_they_showed(self):
        for array, address in getattr(self, "views", []):
            np.testing.assert_array_equal(array, self.shown[address])

    def teardown(self):
        if not hasattr(self, "sim"):
            return
        self.views.clear()
        self.shown.clear()
        vx.SystemShutdown()
        gc.collect()
        assert self.sim.retained_objects() == self.retained_before
        assert self.sim.storage_bytes() == self.bytes_before
        assert self.sim.live_objects() == 0


Program.TestCase.settings = settings(
    max_examples=100 if SANITIZED else 400, stateful_step_count=30, deadline=None, derandomize=True, database=None,
    suppress_health_check=list(hypothesis.HealthCheck))
test_api_sequences = Program.TestCase
