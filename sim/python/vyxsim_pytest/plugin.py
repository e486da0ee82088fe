"""The fixtures of the vyxsim pytest plugin (see the package's docstring).

Nothing here runs at import: PyVyx and vyxsim are imported by the fixtures
that need them, when a test asks for one, so that loading the plugin leaves
every other test as it was.
"""
from __future__ import annotations

import contextlib
import json
import os
from typing import Any, Callable, Iterator, Mapping, Sequence

import pytest

# The built-in devices the camera fixtures open.
X1_SERIAL = "VX1300001"
X2_SERIAL = "VX2300002"

NO_STANDIN = ("the vyx_* fixtures need the stand-in SDK's virtual devices and its control "
              "module vyxsim, which this PyVyx (built against another SDK) does not have")

# How many trace lines an assertion message shows at most (the first and the
# last half of them when there are more).
SHOWN_LINES = 40


def _vyxsim() -> Any:
    """The control module; skips the test when this build has none."""
    try:
        import vyxsim
    except ImportError:
        pytest.skip(NO_STANDIN)
    return vyxsim


def _last_error(vx: Any) -> str:
    return f"{vx.GetLastErrorMessage()} (error {vx.GetLastError()})"


@pytest.fixture
def vyx_sim() -> Iterator[Any]:
    """The stand-in's control module ``vyxsim``, put back to its starting
    state before and after the test by ``vyxsim.reset()``: the configured
    devices (their scenes, state and capture counts, so the noise repeats),
    no injected failures or held calls, no scripted answers, the trace empty
    and off, no capture latency, the clock in real mode, the SDK shut down."""
    vyxsim = _vyxsim()
    vyxsim.reset()
    yield vyxsim
    vyxsim.reset()


@pytest.fixture
def vyx_system(vyx_sim: Any) -> Iterator[Any]:
    """The ``PyVyx`` module with the SDK initialised (``SystemInit``) for the
    test and shut down (``SystemShutdown``) after it, on a stand-in reset by
    ``vyx_sim``. A ``SystemInit`` that fails (an unusable ``VYX_SIM_CONFIG``
    file) fails the test with the SDK's reason."""
    import PyVyx as vx

    if not vx.SystemInit():
        pytest.fail(f"vyx_system: SystemInit failed: {_last_error(vx)}", pytrace=False)
    yield vx
    vx.SystemShutdown()


class _Cameras:
    """The cameras one opening fixture opened, to close and destroy after
    the test."""

    def __init__(self, vx: Any, fixture: str, cls: Any, default_serial: str) -> None:
        self.vx, self.fixture, self.cls, self.default_serial = vx, fixture, cls, default_serial
        self.opened: list[Any] = []

    def open(self, serial: str | None, create: Callable[[Any], Any]) -> Any:
        """Finds device `serial` (or the default one), makes a camera of it
        with create(device) and opens it; RuntimeError with the SDK's reason
        when one of the steps fails."""
        vx, fixture = self.vx, self.fixture
        serial = self.default_serial if serial is None else serial
        device = vx.SystemFindDevice(serial)
        if not device.IsValid():
            raise RuntimeError(f"{fixture}: no device {serial!r} to open: {_last_error(vx)}")
        camera = create(device)
        if not camera.IsValid():
            raise RuntimeError(f"{fixture}: cannot make a camera of {serial!r}: {_last_error(vx)}")
        self.opened.append(camera)
        if not camera.Open():
            raise RuntimeError(f"{fixture}: cannot open {serial!r}: {_last_error(vx)}")
        return camera

    def close_all(self) -> None:
        for camera in reversed(self.opened):
            camera.Close()
            self.cls.Destroy(camera)
        self.opened.clear()


@pytest.fixture
def vyx_open_x1(vyx_system: Any) -> Iterator[Callable[..., Any]]:
    """Opens ``X1`` cameras: ``vyx_open_x1(serial=None, camera_id=None)``
    returns an open ``PyVyx.X1`` on device ``serial`` (default ``VX1300001``,
    the built-in grey USB device) and camera ``camera_id`` (default
    ``CameraID_Left``). Raises ``RuntimeError`` with the SDK's reason when
    the device is not there (unknown, unplugged) or does not open. Every
    camera it opened is closed and destroyed after the test."""
    vx = vyx_system
    cameras = _Cameras(vx, "vyx_open_x1", vx.X1, X1_SERIAL)

    def vyx_open_x1(serial: str | None = None, camera_id: Any = None) -> Any:
        which = vx.CameraID_Left if camera_id is None else camera_id
        return cameras.open(serial, lambda device: vx.X1.Create(device, which))

    yield vyx_open_x1
    cameras.close_all()


@pytest.fixture
def vyx_open_x2(vyx_system: Any) -> Iterator[Callable[..., Any]]:
    """Opens ``X2`` cameras: ``vyx_open_x2(serial=None)`` returns an open
    ``PyVyx.X2`` on device ``serial`` (default ``VX2300002``, the built-in
    colour GigE device with a protective cover). Raises ``RuntimeError``
    with the SDK's reason when the device is not there or does not open.
    Every camera it opened is closed and destroyed after the test."""
    vx = vyx_system
    cameras = _Cameras(vx, "vyx_open_x2", vx.X2, X2_SERIAL)

    def vyx_open_x2(serial: str | None = None) -> Any:
        return cameras.open(serial, vx.X2.Create)

    yield vyx_open_x2
    cameras.close_all()


@pytest.fixture
def vyx_x1(vyx_open_x1: Callable[..., Any]) -> Any:
    """An open ``PyVyx.X1`` on the built-in device ``VX1300001`` (grey
    1280 x 1024 cameras, USB, no cover), its left camera; closed and
    destroyed after the test."""
    return vyx_open_x1()


@pytest.fixture
def vyx_x2(vyx_open_x2: Callable[..., Any]) -> Any:
    """An open ``PyVyx.X2`` on the built-in device ``VX2300002`` (colour
    1920 x 1200 cameras, GigE, protective cover); closed and destroyed after
    the test."""
    return vyx_open_x2()


def _json_text(value: Any) -> str:
    return value if isinstance(value, str) else json.dumps(value)


@pytest.fixture
def vyx_scene(vyx_sim: Any) -> Callable[..., str]:
    """Gives a device a scene: ``vyx_scene(scene, serial=None)`` makes device
    ``serial`` (default ``VX1300001``) see ``scene`` (a dict in the scene
    format of sim/CAMERA.md, or its JSON text) from its next capture on, and
    returns the serial number. ``vyxsim.default_scene_json()`` is a starting
    point to edit. The scene is checked at once: a mistake raises
    ``ValueError`` naming the place (``scene.objects[2].sise: unknown
    key ...``); a serial number no configured device has raises
    ``LookupError``. The scene lasts for the test."""

    def vyx_scene(scene: Mapping[str, Any] | str, serial: str | None = None) -> str:
        serial = X1_SERIAL if serial is None else serial
        if not vyx_sim.set_scene(serial, _json_text(scene)):
            raise LookupError(f"vyx_scene: no configured device has serial number {serial!r} "
                              f"(configured: {', '.join(vyx_sim.serials()) or 'none'})")
        return serial

    return vyx_scene


@pytest.fixture
def vyx_config(vyx_sim: Any) -> Callable[..., list[str]]:
    """Replaces the devices: ``vyx_config(config)`` loads a configuration
    (a dict with a ``"devices"`` list, as sim/README.md describes, or its
    JSON text; ``vyxsim.default_config_json()`` is the built-in one) and
    returns the serial numbers it configured. Refused configurations raise
    ``ValueError`` naming the place, scenes included. Load it before opening
    cameras: cameras on replaced devices see them as unplugged. The
    configuration lasts for the test."""

    def vyx_config(config: Mapping[str, Any] | str) -> list[str]:
        vyx_sim.load_config_text(_json_text(config))
        return list(vyx_sim.serials())

    return vyx_config


@pytest.fixture
def vyx_replay(vyx_sim: Any) -> Callable[..., str]:
    """Adds a device that replays a recording: ``vyx_replay(folder,
    at_end="loop", serial=None)`` adds a replay device for the recording
    folder (docs/recording-format.md) and returns its serial number (the
    recorded device's, or ``serial``). Its captures give the recorded frames
    in order; after the last one it starts again (``"loop"``), repeats the
    last (``"hold"``) or fails (``"fail"``). Refused entries (a folder that
    is no recording, an unknown ``at_end``, a serial number already
    configured) raise ``ValueError``. The device lasts for the test."""

    def vyx_replay(folder: str | os.PathLike[str], at_end: str = "loop",
                   serial: str | None = None) -> str:
        entry: dict[str, Any] = {"recording": os.path.abspath(os.fspath(folder)), "at_end": at_end}
        if serial is not None:
            entry["serial"] = serial
        before = set(vyx_sim.serials())
        vyx_sim.add_device(json.dumps(entry))
        added: list[str] = [s for s in vyx_sim.serials() if s not in before]
        if not added:
            raise RuntimeError(f"vyx_replay: the replay device for {entry['recording']!r} "
                               "was accepted but is not configured")
        return added[-1]

    return vyx_replay


@pytest.fixture
def vyx_fail(vyx_sim: Any) -> Callable[..., contextlib.AbstractContextManager[None]]:
    """Injects failures for a block:
    ``with vyx_fail("X1::Capture", count=1, write_outputs=False): ...`` makes
    the next ``count`` calls of the SDK operation (named as in the trace:
    ``Class::Method`` or the function's name) fail with error 10 (injected
    fault); with ``write_outputs`` they write their outputs first. What is
    left of the count is withdrawn when the block ends."""

    @contextlib.contextmanager
    def vyx_fail(op: str, count: int = 1, write_outputs: bool = False) -> Iterator[None]:
        vyx_sim.fail_next(op, count, write_outputs)
        try:
            yield
        finally:
            vyx_sim.fail_next(op, 0)

    return vyx_fail


def _op_matches(line: str, op: str) -> bool:
    """Whether trace line `line` is a call of `op`: an operation name
    (``X1::Capture``) matches its calls, a text with an opening parenthesis
    (``SystemFindDevice(serialNumber="VX1300001")``) the lines starting so."""
    if "(" in op:
        return line.startswith(op)
    return line.split("(", 1)[0] == op


def _times(n: int) -> str:
    return "once" if n == 1 else f"{n} times"


class Trace:
    """The SDK calls recorded since the fixture started (or since
    ``clear()``), one ``Op(name=value, ...)`` line each (sim/README.md,
    Trace). An operation is named as in the trace: ``X1::Capture``,
    ``Device::GetDeviceInfo``, ``SystemFindDevice``; a name with an opening
    parenthesis matches the lines that start with it, arguments included.
    Assertion failures show the lines concerned, numbered from 0."""

    def __init__(self, vyxsim: Any) -> None:
        self._sim = vyxsim
        self._lines: list[str] = []

    def lines(self) -> list[str]:
        """Every line recorded so far, oldest first."""
        # vyxsim.trace() hands out what it recorded since the last call and
        # forgets it; the lines gathered so far are kept here.
        self._lines.extend(self._sim.trace())
        return list(self._lines)

    def calls(self, op: str) -> list[str]:
        """The lines of calls of `op`, oldest first."""
        return [line for line in self.lines() if _op_matches(line, op)]

    def clear(self) -> None:
        """Forgets what was recorded; recording goes on."""
        self._sim.trace_clear()
        self._lines.clear()

    def assert_called(self, op: str, times: int | None = None) -> None:
        """Passes when `op` was called at least once, or exactly `times`
        times when given."""
        lines = self.lines()
        found = [i for i, line in enumerate(lines) if _op_matches(line, op)]
        if times is None:
            if not found:
                raise AssertionError(f"{op} was not called; the trace:\n{_show(lines)}")
        elif len(found) != times:
            shown = _show(lines, found) if found else _show(lines)
            raise AssertionError(f"{op} was called {_times(len(found))}, expected {_times(times)}"
                                 f"{':' if found else '; the trace:'}\n{shown}")

    def assert_not_called(self, op: str) -> None:
        """Passes when `op` was never called."""
        lines = self.lines()
        found = [i for i, line in enumerate(lines) if _op_matches(line, op)]
        if found:
            raise AssertionError(f"{op} was called {_times(len(found))}, expected never:\n"
                                 f"{_show(lines, found)}")

    def assert_order(self, *ops: str) -> None:
        """Passes when calls of `ops` were made in this order (other calls
        may come between them): the first call of ops[0], then a later call
        of ops[1], and so on."""
        if not ops:
            raise ValueError("assert_order needs at least one operation")
        lines = self.lines()
        start = 0
        matched: list[int] = []
        for k, op in enumerate(ops):
            at = next((i for i in range(start, len(lines)) if _op_matches(lines[i], op)), None)
            if at is None:
                relevant = [i for i, line in enumerate(lines) if any(_op_matches(line, o) for o in ops)]
                where = f"after line {matched[-1]} ({ops[k - 1]})" if matched else "at all"
                raise AssertionError(
                    f"expected the calls in the order {' -> '.join(ops)}, but no {op} came {where}; "
                    f"the calls of these operations:\n{_show(lines, relevant)}")
            matched.append(at)
            start = at + 1

    def __repr__(self) -> str:
        return f"<vyx_trace: {len(self.lines())} lines>"


def _show(lines: Sequence[str], which: Sequence[int] | None = None) -> str:
    """Lines (those at the indices `which`, or all), indented and numbered,
    at most SHOWN_LINES of them."""
    picked = list(range(len(lines))) if which is None else list(which)
    if not picked:
        return "    (no line)" if which is not None else "    (the trace is empty)"
    shown = [f"    {i}: {lines[i]}" for i in picked]
    if len(shown) > SHOWN_LINES:
        half = SHOWN_LINES // 2
        shown = shown[:half] + [f"    ... {len(shown) - 2 * half} lines more ..."] + shown[-half:]
    return "\n".join(shown)


@pytest.fixture
def vyx_trace(vyx_sim: Any) -> Iterator[Trace]:
    """Records the SDK calls made during the test (from this fixture's
    set-up on, so fixtures named before it in the test's arguments are
    set up unrecorded) and gives a ``Trace``: ``lines()``, ``calls(op)``,
    ``assert_called(op, times=None)``, ``assert_not_called(op)``,
    ``assert_order(*ops)`` and ``clear()``."""
    vyx_sim.trace_clear()
    vyx_sim.trace_enable(True)
    yield Trace(vyx_sim)
    vyx_sim.trace_enable(False)
