"""The built wheel: its name and tags, exactly the files the package installs
(the two modules, the stand-in library beside them, the stubs and their
markers, the recorder package, the pytest plugin, the metadata) and nothing
from the build tree, the stubs, the recorder and the plugin as checked in,
the plugin's entry point, the runtime requirements, and binaries that find
the library beside them.

The test command builds the wheel into the folder PYVYX_WHEEL_DIR names;
without it these tests skip.
"""
import email.parser
import importlib.machinery
import os
import pathlib
import platform
import shutil
import subprocess
import zipfile

import pytest

from conftest import HAVE_STANDIN, ROOT

WHEEL_DIR = os.environ.get("PYVYX_WHEEL_DIR")
pytestmark = pytest.mark.skipif(not WHEEL_DIR, reason="PYVYX_WHEEL_DIR names no built wheel")

EXT = importlib.machinery.EXTENSION_SUFFIXES[0]  # .cpython-311-x86_64-linux-gnu.so
TAG = f"cp311-cp311-linux_{platform.machine()}"
DIST_INFO = "pyvyx-0.1.0.dist-info"
# The pytest plugin, in every build (its fixtures skip without the stand-in).
PLUGIN_FILES = ("vyxsim_pytest/__init__.py", "vyxsim_pytest/plugin.py")


@pytest.fixture(scope="module")
def wheel():
    wheels = sorted(pathlib.Path(WHEEL_DIR).glob("*.whl"))
    assert len(wheels) == 1, wheels
    with zipfile.ZipFile(wheels[0]) as zf:
        yield wheels[0], zf


RECORDER = ROOT / "python" / "vyxrecord"


def recorder_files():
    """The recorder's sources as the wheel names them (in both builds)."""
    return {f"vyxrecord/{p.name}" for p in RECORDER.iterdir()
            if p.suffix == ".py" or p.name == "py.typed"}


def expected_files():
    files = {f"PyVyx{EXT}", "PyVyx-stubs/__init__.pyi", "PyVyx-stubs/py.typed", *PLUGIN_FILES}
    files |= recorder_files()
    if HAVE_STANDIN:
        files |= {f"vyxsim{EXT}", "libvyx.so", "vyxsim-stubs/__init__.pyi", "vyxsim-stubs/py.typed"}
    return files | {f"{DIST_INFO}/{name}" for name in ("METADATA", "WHEEL", "RECORD", "entry_points.txt")}


def test_name_and_tags(wheel):
    path, zf = wheel
    assert path.name == f"pyvyx-0.1.0-{TAG}.whl"
    info = email.parser.Parser().parsestr(zf.read(f"{DIST_INFO}/WHEEL").decode())
    assert info.get_all("Tag") == [TAG]
    assert info["Root-Is-Purelib"] == "false"


def test_holds_exactly_the_package(wheel):
    _, zf = wheel
    assert set(zf.namelist()) == expected_files()


def test_metadata_pins_python_and_numpy(wheel):
    _, zf = wheel
    meta = email.parser.Parser().parsestr(zf.read(f"{DIST_INFO}/METADATA").decode())
    assert meta["Name"] == "PyVyx"
    assert meta["Requires-Python"] == "==3.11.*"
    runtime = {r.replace(" ", "").lower() for r in meta.get_all("Requires-Dist")
               if "extra ==" not in r}
    # NumPy, and the recorder's image writer and progress bar.
    recorder = {"pillow>=9", "tqdm>=4.60"}
    assert recorder <= runtime
    assert runtime - recorder in ({"numpy<2,>=1.23"}, {"numpy>=1.23,<2"})


def test_recorder_is_the_checked_in_one(wheel):
    _, zf = wheel
    for name in recorder_files():
        assert zf.read(name) == (ROOT / "python" / name).read_bytes(), name


@pytest.mark.parametrize("module", ["PyVyx", "vyxsim"])
def test_stubs_are_the_checked_in_ones(wheel, module):
    if module == "vyxsim" and not HAVE_STANDIN:
        pytest.skip("no stand-in in this build")
    _, zf = wheel
    assert zf.read(f"{module}-stubs/__init__.pyi") == (ROOT / "stubs" / f"{module}.pyi").read_bytes()


@pytest.mark.parametrize("name", PLUGIN_FILES)
def test_plugin_is_the_checked_in_one(wheel, name):
    _, zf = wheel
    assert zf.read(name) == (ROOT / "sim" / "python" / name).read_bytes()


def test_plugin_is_registered_with_pytest(wheel):
    _, zf = wheel
    entry_points = zf.read(f"{DIST_INFO}/entry_points.txt").decode().splitlines()
    group = entry_points.index("[pytest11]")
    assert entry_points[group + 1].replace(" ", "") == "vyxsim=vyxsim_pytest.plugin"


@pytest.mark.parametrize("name", [f"PyVyx{EXT}", f"vyxsim{EXT}", "libvyx.so"])
def test_binaries_are_stripped_and_find_the_library_beside_them(wheel, tmp_path, name):
    _, zf = wheel
    if name not in zf.namelist():
        pytest.skip(f"{name} is not in this build")
    if shutil.which("readelf") is None:
        pytest.skip("readelf is not installed")
    path = pathlib.Path(zf.extract(name, tmp_path))
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True, check=True).stdout
    sections = subprocess.run(["readelf", "-S", "-W", path], capture_output=True, text=True,
                              check=True).stdout
    assert ".debug_info" not in sections
    # Nothing points into the build tree: the modules look beside themselves.
    assert str(ROOT) not in dynamic
    if name != "libvyx.so" and HAVE_STANDIN:
        assert "Library runpath: [$ORIGIN]" in dynamic
        assert "Shared library: [libvyx.so]" in dynamic
