"""Files are written whole or not at all, and only regular files are read or
replaced: a write that fails part way (a full disk, here a file-size limit)
leaves the previous file as it was and no temporary file behind; a
directory, FIFO or device at the target is refused and left alone; a
symbolic link is followed and kept; a FIFO or device given to a reader is
refused at once instead of blocking or reading without end."""
import json
import os
import pathlib
import subprocess
import sys
import textwrap

import pytest

import PyVyx as vx
from conftest import HAVE_STANDIN, NO_STANDIN

pytestmark = pytest.mark.skipif(not HAVE_STANDIN, reason=NO_STANDIN)

SERIAL = "SMALL-1"
SMALL_CONFIG = json.dumps({"devices": [
    {"name": "Small", "serial": serial, "port": "USB", "resolution": [160, 128],
     "capabilities": {"color": True}}
    for serial in (SERIAL, "SMALL-2")
]})

# Each writer: name -> Python source of a call that returns its result,
# given `cam` (an X1 after one capture with normals) and `x2` (an X2 after
# one capture) and `p` (the target path).
WRITERS = {
    "image.png": "cam.GetImage().SaveImage(p)",
    "image.bmp": "cam.GetImage().SaveImage(p)",
    "depth.png": "cam.GetDepthMap().SaveDepthMap(p, False)",
    "depth.tif": "cam.GetDepthMap().SaveDepthMap(p, True)",
    "points.ply": "cam.GetPointMap().Save(p)",
    "points-ascii.ply": "cam.GetPointMap().Save(p, vx.Millimeter, False)",
    "points.pcd": "cam.GetPointMap().Save(p)",
    "coloured.ply": "cam.GetPointMap().SaveWithImage(p, cam.GetImage())",
    "mesh.ply": "cam.GetMesh().Save(p, vx.Millimeter)",
    "mesh.obj": "cam.GetMesh().Save(p, vx.Millimeter)",
    "mesh.stl": "cam.GetMesh().Save(p, vx.Millimeter)",
    "x1-settings.json": "cam.SaveSettingToFile(p)",
    "x2-settings.json": "x2.SaveSettingToFile(p)",
    "x1-patterns": "cam.SaveEncodedImagesData(p)",
    "x2-patterns": "x2.SaveEncodedImagesData(p)",
}

CHILD_SETUP = f"""
import json, os, pathlib, resource, signal, sys
import PyVyx as vx
import vyxsim
vyxsim.load_config_text({SMALL_CONFIG!r})
assert vx.SystemInit()
device = vx.SystemFindDevice({SERIAL!r})
cam = vx.X1.Create(device, vx.CameraID_Left)
assert cam.Open()
opts = vx.X1_CaptureOptions()
opts.calc_normal = True
assert cam.Capture(opts), vx.GetLastErrorMessage()
x2 = vx.X2.Create(vx.SystemFindDevice("SMALL-2"))
assert x2.Open()
assert x2.Capture(vx.X2_CaptureOptions()), vx.GetLastErrorMessage()
"""


def tree(path):
    """Every file under `path` (or `path` itself) with its bytes."""
    path = pathlib.Path(path)
    if path.is_dir():
        return {str(f.relative_to(path)): f.read_bytes() for f in sorted(path.rglob("*")) if f.is_file()}
    return {"": path.read_bytes()}


@pytest.fixture(scope="module")
def limited_writes(tmp_path_factory):
    """Runs every writer twice in a child process: once freely, then again
    under a file-size limit that no output fits in. Returns, per writer, the
    two results and the last error of the second."""
    folder = tmp_path_factory.mktemp("full-disk")
    code = CHILD_SETUP + textwrap.dedent(f"""
        writers = {WRITERS!r}
        folder = pathlib.Path({str(folder)!r})
        first = {{}}
        for name, call in writers.items():
            p = str(folder / name)
            first[name] = eval(call)
        # From here every write beyond 100 bytes fails as on a full disk.
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (100, resource.RLIM_INFINITY))
        out = {{}}
        for name, call in writers.items():
            p = str(folder / name)
            ok = eval(call)
            out[name] = [first[name], ok, vx.GetLastError(), vx.GetLastErrorMessage()]
        print(json.dumps(out))
    """)
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    return folder, json.loads(run.stdout.splitlines()[-1])


@pytest.fixture(scope="module")
def good_files(tmp_path_factory):
    """The files every writer makes without a limit, for comparison."""
    folder = tmp_path_factory.mktemp("reference")
    code = CHILD_SETUP + textwrap.dedent(f"""
        for name, call in {WRITERS!r}.items():
            p = str(pathlib.Path({str(folder)!r}) / name)
            assert eval(call), (name, vx.GetLastErrorMessage())
    """)
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    return folder


@pytest.mark.parametrize("name", WRITERS)
def test_a_failed_write_keeps_the_previous_file(name, limited_writes, good_files):
    folder, results = limited_writes
    first, second, code, message = results[name]
    assert first is True
    assert second is False
    assert code == 8, message  # kIoError
    # Exactly what the unlimited run wrote (the captures are seeded alike)...
    assert tree(folder / name).keys() == tree(good_files / name).keys()
    assert all(len(data) > 100 for data in tree(folder / name).values())
    # ...and no temporary file left anywhere in the folder.
    leftovers = [f.name for f in folder.rglob(".*")]
    assert leftovers == []


@pytest.fixture
def camera(sim):
    sim.load_config_text(SMALL_CONFIG)
    assert vx.SystemInit()
    cam = vx.X1.Create(vx.SystemFindDevice(SERIAL), vx.CameraID_Left)
    assert cam.Open()
    assert cam.Capture(vx.X1_CaptureOptions()), vx.GetLastErrorMessage()
    yield cam
    vx.SystemShutdown()


SIMPLE_WRITERS = {
    "image.png": lambda cam, p: cam.GetImage().SaveImage(p),
    "points.ply": lambda cam, p: cam.GetPointMap().Save(p),
    "depth.tif": lambda cam, p: cam.GetDepthMap().SaveDepthMap(p, True),
    "settings.json": lambda cam, p: cam.SaveSettingToFile(p),
}


def make_node(kind, path):
    """Makes a file system entry at `path` that is not a regular file: a
    directory, a FIFO, or a symbolic link to a device."""
    if kind == "directory":
        path.mkdir()
    elif kind == "fifo":
        os.mkfifo(path)
    else:
        path.symlink_to("/dev/null" if kind == "device" else "/dev/zero")
    return path


NODES = [("directory", "is a directory"), ("fifo", "is a FIFO"), ("device", "is a device")]


@pytest.mark.parametrize("kind, says", NODES)
@pytest.mark.parametrize("writer", SIMPLE_WRITERS)
def test_a_target_that_is_not_a_regular_file_is_refused_and_left_alone(camera, tmp_path, writer, kind, says):
    path = make_node(kind, tmp_path / writer)
    before = os.stat(path)
    assert SIMPLE_WRITERS[writer](camera, str(path)) is False
    assert vx.GetLastError() == 8
    assert says in vx.GetLastErrorMessage()
    after = os.stat(path)
    assert (after.st_mode, after.st_ino, after.st_rdev) == (before.st_mode, before.st_ino, before.st_rdev)
    assert kind != "device" or path.is_symlink()
    assert [f.name for f in tmp_path.iterdir() if f.name.startswith(".")] == []


@pytest.mark.parametrize("writer", SIMPLE_WRITERS)
def test_a_symbolic_link_is_followed_and_kept(camera, tmp_path, writer):
    real = tmp_path / "real" / writer
    real.parent.mkdir()
    real.write_bytes(b"old")
    os.chmod(real, 0o640)
    link = tmp_path / ("link-" + writer)
    link.symlink_to(os.path.relpath(real, tmp_path))
    assert SIMPLE_WRITERS[writer](camera, str(link)) is True, vx.GetLastErrorMessage()
    assert link.is_symlink() and link.resolve() == real.resolve()
    assert real.read_bytes() != b"old" and len(real.read_bytes()) > 100
    assert real.stat().st_mode & 0o777 == 0o640  # the replaced file keeps its permissions
    # A link to a file not there yet creates that file.
    dangling = tmp_path / ("new-" + writer)
    dangling.symlink_to(tmp_path / "real" / ("made-" + writer))
    assert SIMPLE_WRITERS[writer](camera, str(dangling)) is True, vx.GetLastErrorMessage()
    assert dangling.is_symlink() and (tmp_path / "real" / ("made-" + writer)).is_file()


READER_CODE = """
import json, os, sys
import PyVyx as vx
import vyxsim
folder = sys.argv[1]
vyxsim.load_config_text({config!r})
assert vx.SystemInit()
cam = vx.X1.Create(vx.SystemFindDevice({serial!r}), vx.CameraID_Left)
assert cam.Open()
readers = {{
    "image.png": lambda p: vx.Image.CreateFromFile(p).IsValid(),
    "image.bmp": lambda p: vx.Image.CreateFromFile(p).IsValid(),
    "points.ply": lambda p: vx.PointMap.CreateFromFile(p, vx.Size(160, 128), vx.Millimeter).IsValid(),
    "points.pcd": lambda p: vx.PointMap.CreateFromFile(p, vx.Size(160, 128), vx.Millimeter).IsValid(),
    "settings.json": lambda p: cam.LoadSettingFromFile(p),
}}
out = {{}}
for name, read in readers.items():
    out[name] = [read(os.path.join(folder, name)), vx.GetLastError(), vx.GetLastErrorMessage()]
print(json.dumps(out))
"""


def run_child(code, *args, env=None):
    run = subprocess.run([sys.executable, "-c", code, *args], capture_output=True, text=True,
                         timeout=120, env=env, stdin=subprocess.DEVNULL)
    assert run.returncode == 0, run.stderr
    return json.loads(run.stdout.splitlines()[-1])


@pytest.mark.parametrize("kind, says", NODES + [("endless device", "is a device")])
def test_readers_refuse_what_is_not_a_regular_file_without_blocking(tmp_path, kind, says):
    for name in ("image.png", "image.bmp", "points.ply", "points.pcd", "settings.json"):
        make_node(kind, tmp_path / name)
    # In a child process: a reader that blocked would hang it, not the suite.
    results = run_child(READER_CODE.format(config=SMALL_CONFIG, serial=SERIAL), str(tmp_path))
    for name, (ok, code, message) in results.items():
        assert ok is False, name
        assert code == 8 and says in message, (name, message)


@pytest.mark.parametrize("kind, says", [
    ("fifo", "is a FIFO"), ("endless device", "is a device"), ("directory", "is a directory"),
    ("missing", "No such file or directory"), ("too large", "larger than the"),
])
def test_a_start_configuration_that_cannot_be_read_says_why(tmp_path, kind, says):
    if kind == "too large":
        path = tmp_path / "huge.json"
        with open(path, "wb") as f:
            f.truncate(65 << 20)  # sparse: takes no space
    elif kind == "missing":
        path = tmp_path / "none.json"
    else:
        path = make_node(kind, tmp_path / "devices.json")
    code = ("import json, PyVyx as vx\n"
            "print(json.dumps([vx.SystemInit(), vx.GetLastError(), vx.GetLastErrorMessage()]))")
    ok, error, message = run_child(code, env={**os.environ, "VYX_SIM_CONFIG": str(path)})
    assert ok is False and error == 9
    assert message.startswith(f"SystemInit: cannot read configuration file '{path}': "), message
    assert says in message


@pytest.mark.parametrize("path, code, says", [
    ("missing.json", 4, "No such file or directory"),
    ("file/inside-a-file.json", 8, "Not a directory"),
    ("", 8, "is a directory"),
])
def test_an_unreadable_settings_path_says_why(camera, tmp_path, path, code, says):
    (tmp_path / "file").write_text("{}")
    assert camera.LoadSettingFromFile(str(tmp_path / path)) is False
    assert vx.GetLastError() == code
    assert says in vx.GetLastErrorMessage()
