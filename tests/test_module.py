"""The module as a whole: its entry point, namespace and status functions."""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import threading

import pytest

import PyVyx
from conftest import BUILD, ROOT

MISMATCH = (
    "Python version mismatch: module was compiled for Python {}, "
    "but the interpreter version is incompatible: {}."
)


def clean_env():
    """The environment without preloaded sanitizer runtimes, for tools run from a test."""
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    return env


# --- entry point -----------------------------------------------------------


def test_module_built_for_another_interpreter_refuses_to_import():
    other = BUILD / "testing" / "other_python"
    if not any(other.glob("PyVyx*.so")):
        pytest.skip("the other-interpreter build of the module is not built")
    code = (
        "import sys\n"
        f"sys.path.insert(0, {str(other)!r})\n"
        "try:\n"
        "    import PyVyx\n"
        "except ImportError as e:\n"
        "    sys.stdout.write(str(e))\n"
        "    sys.exit(3)\n"
        "sys.exit(0)\n"
    )
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert run.returncode == 3, run.stderr
    assert run.stdout == MISMATCH.format("3.12", sys.version)


@pytest.fixture(scope="module")
def version_check(tmp_path_factory):
    """The entry point's interpreter check, compiled into a small program:
    `prog RUNNING EXPECTED` exits 0 when the versions match, 1 when not."""
    compiler = shutil.which("c++") or shutil.which("g++")
    if compiler is None:
        pytest.skip("no C++ compiler")
    out = tmp_path_factory.mktemp("version_check")
    src = out / "main.cpp"
    src.write_text(
        '#include "module/version_check.h"\n'
        "int main(int argc, char** argv) {\n"
        "    if (argc != 3) return 2;\n"
        "    return pyvyx::InterpreterVersionMatches(argv[1], argv[2]) ? 0 : 1;\n"
        "}\n"
    )
    prog = out / "version_check"
    subprocess.run(
        [compiler, "-std=c++17", "-Wall", "-Werror", f"-I{ROOT / 'src'}", str(src), "-o", str(prog)],
        check=True,
        env=clean_env(),
        timeout=120,
    )
    return prog


@pytest.mark.parametrize(
    "running, expected, accepted",
    [
        ("3.11.2 (main, Mar 13 2023, 12:18:29) [GCC 12.2.0]", "3.11", True),
        ("3.11.0rc1", "3.11", True),
        ("3.11", "3.11", True),
        ("3.11+", "3.11", True),
        ("3.110", "3.11", False),
        ("3.110.1 (main)", "3.11", False),
        ("3.12.0", "3.11", False),
        ("3.1", "3.11", False),
        ("", "3.11", False),
        ("2.11.0", "3.11", False),
        (sys.version, "3.12", False),
    ],
)
def test_interpreter_version_check(version_check, running, expected, accepted):
    run = subprocess.run([str(version_check), running, expected], env=clean_env(), timeout=30)
    assert run.returncode == (0 if accepted else 1)


# --- namespace -------------------------------------------------------------

CLASSES = [
    "Size", "ROI", "ROIRange", "DeviceInfo", "Device", "Image", "DepthMap", "ConfidenceMap",
    "CorrespondMap", "PointMap", "Mesh", "NormalData", "X1_CaptureOptions",
    "X1_CustomTransformOptions", "X1", "X2_CaptureOptions", "X2_CustomTransformOptions", "X2",
    "Compensator_FixedMarkers", "CodedCircleMarkerType", "CodedCircleMarker",
]
FUNCTIONS = [
    "GetVersion", "GetLastError", "GetLastErrorMessage", "SystemListDeviceTypeToString",
    "SystemListDevices", "ImageTypeToString", "ImageTypeGetPixelSize", "ImageCreate",
    "ImageDestroy", "PointMapTypeToString", "PointMapCreate", "PointMapDestroy", "SystemInit",
    "SystemIsInited", "SystemShutdown", "SystemFindDevice", "GetExternalCameraExtrinsicMatrix",
    "GetExternalCameraPointMap", "DetectCodedCircleMarker", "DetectConcentricCircleMarker2d",
    "DetectConcentricCircleMarker3d", "GetTwoCameraTransformByCodedCircleMarker",
    "TransformPointCloud", "TestAccuracy",
]


def test_module_has_no_docstring():
    assert PyVyx.__doc__ is None


@pytest.mark.parametrize("name", CLASSES)
def test_class_is_registered(name):
    cls = getattr(PyVyx, name)
    assert isinstance(cls, type)
    assert cls.__module__ == "PyVyx"


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_is_registered(name):
    func = getattr(PyVyx, name)
    assert callable(func) and not isinstance(func, type)
    assert func.__name__ == name


# --- help texts ------------------------------------------------------------

# Signatures whose rendering depends on how the result or the accessor is
# bound: a result of fixed length still reads as a plain list, and every
# field getter names its record `self`. Types registered after the record
# (CaptureMode) keep their native name.
INFO_GETTER_TYPES = {
    "name": "str", "sn": "str", "factroydate": "str", "port": "str", "type": "PyVyx.PortType",
    "cameraid": "PyVyx.CameraID", "boardmodel": "int", "support_x2": "bool",
    "support_color": "PyVyx.ProjectorColor", "workingdist_near_mm": "int",
    "workingdist_far_mm": "int", "support_x1": "bool", "support_capture_mode": "Vyx::CaptureMode",
    "support_protective_cover": "bool", "support_extra": "bool",
}
HELP_TEXTS = [
    ("GetExternalCameraExtrinsicMatrix",
     "GetExternalCameraExtrinsicMatrix(arg0: PyVyx.Image, arg1: PyVyx.PointMap, "
     "arg2: numpy.ndarray[numpy.uint8], arg3: PyVyx.Image, arg4: PyVyx.PointMap, "
     "arg5: numpy.ndarray[numpy.uint8], arg6: PyVyx.Image, arg7: PyVyx.PointMap, "
     "arg8: numpy.ndarray[numpy.uint8], arg9: int, arg10: int, arg11: List[float], "
     "arg12: List[float]) -> Tuple[bool, List[float], float]"),
    ("GetExternalCameraPointMap",
     "GetExternalCameraPointMap(arg0: PyVyx.PointMap, arg1: int, arg2: int, "
     "arg3: List[float], arg4: List[float], arg5: List[float]) -> PyVyx.PointMap"),
] + [(f"DeviceInfo.{field}.fget", f"(self: PyVyx.DeviceInfo) -> {result}")
     for field, result in INFO_GETTER_TYPES.items()]


def resolve(path):
    obj = PyVyx
    for part in path.split("."):
        obj = getattr(obj, part)
    return obj


@pytest.mark.parametrize("path, text", HELP_TEXTS, ids=[path for path, _ in HELP_TEXTS])
def test_help_text(path, text):
    assert resolve(path).__doc__.strip() == text


def module_help_texts():
    """(name, help text) of every function, method, constructor and field
    accessor the module defines, enumeration internals aside."""
    found = []
    for name, obj in vars(PyVyx).items():
        if callable(obj) and not isinstance(obj, type):
            found.append((name, obj.__doc__))
        if not isinstance(obj, type) or hasattr(obj, "__members__"):
            continue
        for attr, member in vars(obj).items():
            if isinstance(member, property):
                found.extend((f"{name}.{attr}", accessor.__doc__)
                             for accessor in (member.fget, member.fset) if accessor is not None)
            elif isinstance(member, staticmethod):
                found.append((f"{name}.{attr}", member.__func__.__doc__))
            elif callable(member) and attr != "_pybind11_conduit_v1_" and member.__doc__:
                found.append((f"{name}.{attr}", member.__doc__))
    return found


@pytest.mark.parametrize(
    "rule, pattern",
    [
        # std::array results render as "List[float[16]]" or
        # "Annotated[List[float], FixedSize(16)]"; lists must read List[float].
        ("no fixed-size list", r"\w\[\d+\]|FixedSize"),
        # A getter or setter built outside the class names its record arg0.
        ("accessors name self", r"^\(arg0: PyVyx\."),
    ],
)
def test_help_texts_follow_rule(rule, pattern):
    texts = module_help_texts()
    assert len(texts) > 400
    offenders = [name for name, text in texts if text and re.search(pattern, text, re.M)]
    assert offenders == [], rule


# --- version and last error ------------------------------------------------


@pytest.mark.parametrize(
    "func, signature",
    [
        ("GetVersion", "GetVersion() -> str"),
        ("GetLastError", "GetLastError() -> int"),
        ("GetLastErrorMessage", "GetLastErrorMessage() -> str"),
    ],
)
def test_status_function_signature_without_docstring(func, signature):
    assert getattr(PyVyx, func).__doc__.strip() == signature


def test_version_is_text_before_system_init(sim):
    assert not PyVyx.SystemIsInited()
    version = PyVyx.GetVersion()
    assert isinstance(version, str) and version


@pytest.mark.parametrize("text", ["2.7.1", "3.0.0-bêta (Größe)", ""])
def test_version_text_round_trip(sim, text):
    sim.script_version(text)
    assert PyVyx.GetVersion() == text


def test_null_version_is_none(sim):
    real = PyVyx.GetVersion()
    sim.script_version(None)
    assert PyVyx.GetVersion() is None
    sim.clear_version_script()
    assert PyVyx.GetVersion() == real


def in_new_thread(func):
    """func() run on a thread of its own, whose SDK error record starts empty."""
    result = []
    thread = threading.Thread(target=lambda: result.append(func()))
    thread.start()
    thread.join()
    return result[0]


def test_last_error_is_empty_on_a_thread_without_failures():
    assert in_new_thread(lambda: (PyVyx.GetLastError(), PyVyx.GetLastErrorMessage())) == (0, "")


def test_failure_before_system_init_is_reported_not_raised(sim):
    assert not PyVyx.SystemIsInited()
    status, devices = PyVyx.SystemListDevices(PyVyx.All)
    assert status != 0 and devices == []
    assert PyVyx.GetLastError() != 0
    message = PyVyx.GetLastErrorMessage()
    assert "SystemListDevices" in message


@pytest.mark.parametrize(
    "message",
    ["cannot open '/tmp/Messdaten/Größe_été.ply'", "ошибка: устройство не найдено", "相机 ✓", ""],
)
def test_error_message_round_trip(sim, message):
    sim.script_next_error_message(message)
    PyVyx.SystemListDevices(PyVyx.All)  # fails: the system is not initialised
    assert PyVyx.GetLastErrorMessage() == message
    assert PyVyx.GetLastError() != 0


@pytest.mark.parametrize("raw", [b"bad \xff byte", b"cut \xc3", b"\xed\xa0\x80 surrogate"])
def test_error_message_that_is_not_utf8_raises(sim, raw):
    sim.script_next_error_message(raw)
    PyVyx.SystemListDevices(PyVyx.All)
    with pytest.raises(UnicodeDecodeError):
        PyVyx.GetLastErrorMessage()
    assert PyVyx.GetLastError() != 0


def test_error_message_is_a_private_copy(sim):
    sim.script_next_error_message("first failure")
    PyVyx.SystemListDevices(PyVyx.All)
    first = PyVyx.GetLastErrorMessage()
    sim.script_next_error_message("second failure, longer than the first one")
    PyVyx.SystemListDevices(PyVyx.All)
    assert first == "first failure"
    assert PyVyx.GetLastErrorMessage() == "second failure, longer than the first one"
