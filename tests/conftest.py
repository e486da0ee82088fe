"""Test set-up: the fixtures several test modules share (the system, the
devices, opened cameras of the module's camera model, a new image and point
map).

The tests import PyVyx and vyxsim as installed in the running environment.
PYVYX_BUILD_DIR names the build tree that holds test-only artefacts (the
module built for another interpreter); it defaults to ./build.
PYVYX_SANITIZED=1 (scripts/sanitize) shortens the longest repetitions. A PyVyx built
against another SDK has no vyxsim: the tests that need the stand-in's virtual
devices then skip, and the rest run.
"""
import importlib.metadata
import importlib.util
import os
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))
HAVE_STANDIN = importlib.util.find_spec("vyxsim") is not None
NO_STANDIN = ("needs the stand-in SDK's virtual devices and its control module vyxsim, "
              "which a PyVyx built against another SDK does not have")
# Set by scripts/sanitize: an instrumented build runs several times slower,
# so the suites that repeat the same code paths many times (random API
# sequences, full-size recordings) run fewer repetitions there. The plain
# run keeps the full counts.
SANITIZED = os.environ.get("PYVYX_SANITIZED") == "1"


def _plugin_args():
    """What a child pytest run needs to load the package's pytest plugin
    (vyxsim_pytest): nothing where the package is installed, whose entry
    point loads it in every run; `-p` with its module where the package is
    a build tree on PYTHONPATH, which has no entry point."""
    registered = any(ep.value == "vyxsim_pytest.plugin"
                     for ep in importlib.metadata.entry_points(group="pytest11"))
    return [] if registered else ["-p", "vyxsim_pytest.plugin"]


PLUGIN_ARGS = _plugin_args()


@pytest.fixture(autouse=True)
def standin_reset():
    """Puts the stand-in back to its default devices around each test."""
    if not HAVE_STANDIN:
        yield
        return
    import vyxsim

    vyxsim.reset()
    yield
    vyxsim.reset()


@pytest.fixture
def sim(standin_reset):
    """The stand-in's control module (the test skips without the stand-in)."""
    if not HAVE_STANDIN:
        pytest.skip(NO_STANDIN)
    import vyxsim

    return vyxsim


@pytest.fixture
def vyx(sim):
    """PyVyx with the system initialised for the test."""
    import PyVyx

    assert PyVyx.SystemInit()
    yield PyVyx
    PyVyx.SystemShutdown()


@pytest.fixture
def devices(vyx):
    """The stand-in's devices: the first with grey cameras and no cover, the
    second with colour cameras and a protective cover."""
    status, found = vyx.SystemListDevices(vyx.All)
    assert status == 0 and len(found) >= 2
    return found


@pytest.fixture
def open_camera(vyx, devices, model):
    """Opens devices[index] as the test module's camera model (its `model`
    fixture, a cameras.Model); closes and destroys what it opened after the test."""
    opened = []

    def open_device(index):
        camera = model.create(devices[index])
        assert camera.IsValid(), vyx.GetLastErrorMessage()
        opened.append(camera)
        assert camera.Open(), vyx.GetLastErrorMessage()
        return camera

    yield open_device
    for camera in opened:
        camera.Close()
        model.cls.Destroy(camera)


@pytest.fixture
def cam(open_camera):
    """The first device (grey cameras, no cover), opened."""
    return open_camera(0)


@pytest.fixture
def colour_cam(open_camera):
    """The second device (colour cameras, protective cover), opened."""
    return open_camera(1)


@pytest.fixture
def img(vyx, map_size):
    """A new Mono8 image of the size the test module's `map_size` fixture gives."""
    i = vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, vyx.Size(*map_size))
    assert i.IsValid()
    return i


@pytest.fixture
def pm(vyx, map_size):
    """A new points-only point map of the size the test module's `map_size` fixture gives."""
    m = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsOnly, vyx.Size(*map_size))
    assert m.IsValid()
    return m
