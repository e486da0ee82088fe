"""Control of the stand-in Vyx SDK: virtual devices, injected failures,
held calls, scripted answers, call trace, simulated latency and the model
clock.

``vyxsim`` is built and installed only together with the stand-in SDK (the
library of virtual devices that PyVyx ships); a PyVyx built against a vendor
SDK has no ``vyxsim``. It works on plain values (texts, numbers, lists), so it
registers no type of its own and can be imported before or after PyVyx.

Every function may be called from any thread and at any time, whether the
SDK is initialised or not. All of them except ``script_version`` and
``clear_version_script`` give up the Python interpreter lock while they work.

Failures: the configuration loaders, ``set_scene``, ``default_scene_json``,
``clock_advance_us`` and the replay functions (``replay_*``) raise
``ValueError`` with the reason; ``unplug``, ``replug``, ``set_scene`` and
``script_device_name`` return ``False`` for a serial number no configured
device has; every other function has no failure
of its own. Arguments of the wrong type (a
``float`` for an ``int``, a ``pathlib.Path`` for a ``str``, ``None`` where no
``None`` is allowed, an integer outside the 32-bit signed range, or
the 64-bit one for ``clock_advance_us``, ``replay_seek`` and ``replay_step``)
raise ``TypeError`` before anything happens.
"""

from typing import Any

def reset() -> None:
    """Put the stand-in back to its starting state.

    Shuts the SDK down (as ``PyVyx.SystemShutdown()`` does: every device,
    camera, image, map and mesh handle is released, and ``SystemInit()`` is
    needed again), reloads the configured devices (those of the file that
    ``VYX_SIM_CONFIG`` names, else the two built-in devices ``VX1300001`` and
    ``VX2300002``) with their state as configured (network settings, user
    sets, cover, scripted names) and their capture counts at zero, so that
    the simulated noise starts its sequence again. Clears injected failures,
    held calls (the waiting ones go on first), scripted answers, the
    recorded trace (and switches recording off) and the capture latency,
    and puts the clock back in real mode.

    Never raises. When ``VYX_SIM_CONFIG`` names a file that cannot be used,
    the device set is empty and the next ``SystemInit()`` returns ``False``
    with error 9 (bad file) and the reason.
    """

def load_config(path: str) -> None:
    """Replace the devices with those of a JSON configuration file.

    Args:
        path: path of the file (a ``str``; convert a ``pathlib.Path`` with
            ``str()``). The format is that of ``VYX_SIM_CONFIG`` files: an
            object with a ``"devices"`` list (sizes in pixels, distances in
            millimetres).

    The replaced devices are retired: their ``Device`` handles are released
    and cameras still open on them see them as disconnected.

    Every device's scene is read and checked here, with the rest of its
    entry.

    Raises:
        ValueError: the file cannot be read or is not a valid configuration
            (the message names the file and the place, for example
            ``devices[1].serial`` or ``devices[0].scene.objects[2].sise``).
            Nothing changes then.
    """

def load_config_text(text: str) -> None:
    """Replace the devices with those of a JSON configuration given as text.

    Args:
        text: the configuration itself, as ``load_config`` reads it from a
            file; ``'{"devices": []}'`` leaves no device at all.

    Raises:
        ValueError: the text is not a valid configuration (the message starts
            with ``configuration text:`` and names the place). Nothing
            changes then.
    """

def add_device(json_text: str) -> None:
    """Add one device after the configured ones.

    Args:
        json_text: one entry of a configuration's ``"devices"`` list, as JSON
            text, for example
            ``'{"name": "Cell", "serial": "CELL-1", "port": "GigE"}'``.

    Raises:
        ValueError: the entry is invalid (its scene included: the message
            then names the place, ``scene.objects[0].radius``) or its serial
            number is already configured. Nothing changes then.
    """

def default_config_json() -> str:
    """The built-in default configuration, as JSON text.

    It describes the devices there are without ``VYX_SIM_CONFIG``
    (``VX1300001`` and ``VX2300002``, with no scene of their own, so each
    sees the default scene laid out from its optics).
    ``load_config_text(default_config_json())`` gives the same devices,
    which see and measure the same; edit it (``json.loads``, change,
    ``json.dumps``) for a configuration that differs in a few keys.
    """

def default_scene_json(serial: str | None = None) -> str:
    """The scene a device sees when its configuration gives none, as scene
    JSON text.

    The default scene is laid out from a device's optics (a table near the
    far end of its working range, a calibration board in the middle, solids
    and markers, sim/CAMERA.md), so it is one device's: given back
    unchanged as that device's ``scene`` (in its configuration or through
    ``set_scene``), it renders exactly the same, captures equal to the last
    bit under the same seed. It is the starting point for scenes of one's
    own: ``json.loads`` it, change objects, ``json.dumps`` it back.

    Args:
        serial: a configured device's serial number, or ``None`` for the
            built-in ``VX1300001`` (whatever devices are configured now).

    Raises:
        ValueError: no configured device has that serial number.
    """

def set_scene(serial: str, json_text: str | None) -> bool:
    """Give a device another scene, from its next capture on.

    The scene is read and checked as a configured scene is (sim/CAMERA.md),
    so a mistake is reported now, not at the next capture. It lasts until
    ``reset()``, a new configuration or another ``set_scene``; an open
    camera on the device keeps working and sees the new scene.

    Args:
        serial: the device's serial number.
        json_text: the scene as JSON text (``json.dumps`` of a dict), or
            ``None`` to go back to the device's configured scene (or the
            default one when it has none).

    Returns:
        ``True`` when set; ``False`` (nothing changes) when no configured
        device has that serial number.

    Raises:
        ValueError: the text is not a valid scene; the message names the
            device and the place, for example ``scene for device
            'VX1300001': scene.objects[2].sise: unknown key (known: ...)``.
            Nothing changes then.
    """

def unplug(serial: str) -> bool:
    """Disconnect a device, as if its cable were pulled.

    The device is no longer listed or found. Handles taken before stay valid:
    ``GetDeviceInfo`` still answers, while calls that talk to the device
    (opening, capturing, network calls) fail with error 6 (disconnected) and
    an open camera's ``IsOpen()`` turns ``False``. Results of earlier captures
    stay readable.

    Args:
        serial: the device's serial number.

    Returns:
        ``True`` when the device was found (also when it was already
        unplugged), ``False`` when no configured device has that serial
        number.
    """

def replug(serial: str) -> bool:
    """Reconnect a device that ``unplug`` disconnected.

    It is listed and found again under its earlier ``Device`` handle; a
    camera on it must be opened again.

    Args:
        serial: the device's serial number.

    Returns:
        ``True`` when the device was found, ``False`` when no configured
        device has that serial number.
    """

def serials() -> list[str]:
    """Serial numbers of the configured devices, connected or not, in order.

    Asks nothing of the SDK's system: works before ``SystemInit`` too.
    """

def fail_next(op: str, count: int = 1, write_outputs: bool = False) -> None:
    """Make the next calls of one SDK operation fail.

    The next ``count`` calls of ``op`` report failure with error 10 (injected
    fault): ``False``, a non-zero status or an invalid handle, as that call
    reports failures. Calls refused because the SDK is not initialised do not
    use one up. A new ``fail_next`` for the same operation replaces its count.

    Args:
        op: the SDK operation as the trace names it: ``Class::Method`` for
            methods (``"X1::Capture"``, ``"Device::GetNetworkConfig"``,
            ``"PointMap::Save"``), the function's name for free functions
            (``"SystemListDevices"``, ``"DetectCodedCircleMarker"``). Both
            overloads of a method share one name. A name that no operation
            has is accepted and never matches.
        count: how many calls fail; 0 or less withdraws the injection.
        write_outputs: ``False``: the calls fail before doing anything, so
            their outputs keep their starting values. ``True``: they do
            their work and write their outputs first, then report failure.
    """

def throw_next(op: str, count: int = 1, out_of_memory: bool = False) -> None:
    """Make the next calls of one SDK operation throw inside the SDK.

    The next ``count`` calls of ``op`` raise a C++ exception from the gate
    every entry point passes first, right after their trace line (and a
    hold), before the check that the SDK is initialised: ``std::bad_alloc``
    with ``out_of_memory``, otherwise a ``std::runtime_error``. No exception
    leaves the SDK: the call catches it at its boundary and reports failure
    as it reports failures otherwise (``False``, a failure status or an
    invalid handle), with error 15 (internal error) and the message
    ``"<op>: internal error: <what>"`` (``out of memory`` for
    ``std::bad_alloc``). A new ``throw_next`` for the same operation replaces
    its count.

    Args:
        op: the SDK operation as the trace names it, as for ``fail_next``
            (``"X1::Capture"``, ``"Image::SaveImage"``,
            ``"SystemListDevices"``). A name that no operation has is
            accepted and never matches.
        count: how many calls throw; 0 or less withdraws the injection.
        out_of_memory: throw ``std::bad_alloc`` instead of a
            ``std::runtime_error``.
    """

def clear_failures() -> None:
    """Withdraw every failure injected with ``fail_next`` and every
    exception injected with ``throw_next``."""

def hold_calls(op: str, limit_ms: int = 60000) -> None:
    """Make every later call of one SDK operation wait inside the SDK.

    From now on (until ``release_calls(op)`` or ``reset()``) each call of
    ``op`` stops right after its trace line, before anything else, and waits
    there. A call that has waited ``limit_ms`` milliseconds of real time
    (not the model clock, so also in manual mode) goes on by itself: a test
    that never releases it fails instead of hanging. A call that goes on
    behaves as if it had just been made: the check that the SDK is
    initialised and failures injected with ``fail_next`` apply then.
    Holding an operation already held changes only the limit of calls that
    begin waiting later.

    The caller of a held call is blocked in it; a PyVyx call that gives up
    the interpreter lock lets other Python threads run meanwhile, which is
    how a test shows that it does, without measuring time.

    Args:
        op: the SDK operation as the trace names it, as for ``fail_next``
            (``"PointMap::Save"``, ``"X1::Capture"``, ``"SystemListDevices"``,
            ``"GetVersion"``). A name that no operation has is accepted and
            never matches.
        limit_ms: the longest a call waits, in milliseconds; 0 or less: calls
            go on at once.
    """

def release_calls(op: str) -> int:
    """Stop holding calls of ``op`` and let the waiting ones go on.

    Later calls go straight through. Returns how many calls were waiting
    and are now let go: 0 when ``op`` was not held, or when its calls had
    already gone on after their limit.
    """

def held_calls(op: str) -> int:
    """Number of calls of ``op`` waiting inside the SDK now (see ``hold_calls``)."""

def script_listing_count(count: int | None) -> None:
    """Make ``SystemListDevices`` report a chosen number of devices.

    From now on (until ``script_listing_count(None)`` or ``reset()``) every
    listing reports ``count`` devices: the handles of the real devices come
    first, then all-zero handles. PyVyx's list has room for 16 handles, so a
    count above 16 gives a list of ``count`` entries of which only the first
    16 were filled by the SDK.

    Args:
        count: the count to report (may be more than the devices there are,
            or negative: a negative count gives an empty list), or ``None``
            to report the real devices again.
    """

def script_version(text: str | None) -> None:
    """Make ``PyVyx.GetVersion()`` return ``text`` until cleared.

    Args:
        text: the version text, or ``None`` for a null pointer (which
            ``GetVersion()`` returns as ``None``).

    Lasts until ``clear_version_script()`` or ``reset()``.
    """

def clear_version_script() -> None:
    """Make ``PyVyx.GetVersion()`` return the SDK's own text again."""

def script_next_error_message(text: bytes | str) -> None:
    """Replace the message of the next failing SDK call, once.

    The next SDK call that fails, on any thread, reports this message
    instead of its own through ``GetLastErrorMessage``; its error code stays
    the call's own.

    Args:
        text: a ``str`` (stored as UTF-8) or raw ``bytes``. Bytes that are
            not UTF-8 make ``PyVyx.GetLastErrorMessage()`` raise
            ``UnicodeDecodeError``.
    """

def script_device_name(serial: str, name: bytes) -> bool:
    """Set the name that ``GetDeviceInfo`` reports for a device.

    Args:
        serial: the device's serial number.
        name: the raw name, at most 31 bytes. Bytes that are not UTF-8 make
            reading ``DeviceInfo.name`` raise ``UnicodeDecodeError``.

    Returns:
        ``True`` when set; ``False`` (nothing changes) when no configured
        device has that serial number or the name is longer than 31 bytes.
        The name lasts until ``reset()`` or a new configuration.
    """

def trace_enable(on: bool = True) -> None:
    """Switch recording of SDK calls on (``True``) or off (``False``).

    While on, every SDK call adds one line to the trace that ``trace()``
    returns (the newest 100000 lines are kept). Recording is off after
    ``reset()``. ``VYX_TRACE=1`` in the environment writes the same lines to
    standard error, as ``[vyx] <line>``, whether recording is on or not.
    """

def trace() -> list[str]:
    """The recorded SDK calls, oldest first, and clear them.

    Each line reads ``Op(name=value, ...)``, for example
    ``SystemFindDevice(serialNumber="VX1300001")`` or
    ``X1::Capture(camera=#2.1, options="calc_normal=true")``: texts in double
    quotes, handles as ``#slot.generation``, options records as the fields
    that differ from their defaults. ``GetLastError``,
    ``GetLastErrorMessage``, the name tables (``...ToString``) and the
    record constructors are not recorded.
    """

def trace_clear() -> None:
    """Forget the recorded calls (recording stays on or off as it was)."""

def set_capture_latency_ms(ms: int) -> None:
    """Make every capture take longer, like a camera on a slow link.

    Every ``Capture`` and ``Capture2D`` of an ``X1`` or ``X2`` (and
    ``StartFixedLineScan``) first spends this long, holding only that
    camera's own lock (and not the Python interpreter lock), so other
    threads and other cameras go on meanwhile. In real mode (the default)
    the call waits until the latency in force has passed since it began
    waiting, so lowering the latency ends waits under way; with the clock
    in manual mode (``clock_manual``) nothing waits: the latency advances
    the clock instead.

    Args:
        ms: milliseconds added to every capture; 0 or less means none.
            Cleared by ``reset()``.
    """

def captures_waiting() -> int:
    """Number of calls now waiting out the capture latency (real mode).

    Lets a test see that a call has reached the SDK and waits there, for
    example to check that other threads run meanwhile, and then end the
    wait with ``set_capture_latency_ms(0)``. Always 0 in manual mode.
    """

def clock_manual(on: bool = True) -> None:
    """Switch the stand-in's clock to manual mode (``True``) or real mode.

    One clock drives everything in the stand-in that depends on time: the
    device clock (``GetTimestamp``, point-map timestamps), the profiles a
    timed fixed line scan has taken, the protective cover's motion, the
    devices' cooling and the capture latency. In real mode (the default,
    and after ``reset()``) it follows the computer's steady clock. Manual
    mode freezes it where it stands; it then moves only by
    ``clock_advance_us``, so tests see exact times: a cover needs exactly
    300000 us for a full stroke, a scan at 1 profile per ms holds exactly
    26 profiles 25 ms after its start.

    The clock never goes backwards: real mode resumes from where manual
    mode stood.
    """

def clock_is_manual() -> bool:
    """Whether the clock is in manual mode (``False`` after ``reset()``)."""

def clock_advance_us(us: int) -> None:
    """Move the clock forward by ``us`` microseconds.

    In manual mode the clock then stands at the new time; in real mode it
    jumps forward and keeps running. The clock is shared: every device's
    clock, cover and scan moves on together.

    Args:
        us: microseconds, 0 or more (a 64-bit integer).

    Raises:
        ValueError: ``us`` is negative, or would take the clock past about
            146 years. Nothing changes then.
    """

def clock_now_us() -> int:
    """The clock's reading in microseconds.

    Only differences between readings mean anything: in manual mode it
    changes by exactly what ``clock_advance_us`` and capture latencies add.
    """

def live_objects() -> int:
    """Number of live SDK objects: devices, cameras, images, maps and meshes.

    For leak checks: every handle a program obtains counts until it is
    destroyed, ``SystemShutdown`` releases everything (0 afterwards), and
    Python's garbage collection never lowers it.
    """

def retained_objects() -> int:
    """Number of SDK objects whose handle is gone but whose storage a view keeps.

    An image or map whose handle was destroyed, replaced by the camera's next
    capture, or released by ``SystemShutdown`` or ``reset`` stays allocated
    while a NumPy array or memoryview of it exists; it counts here (not in
    ``live_objects``) until the last such view is released.
    """

def storage_bytes() -> int:
    """Bytes of storage held by the live and the retained SDK objects.

    Pixels, map values, points (with normals) and mesh data; not the pool of
    released storage the SDK keeps for reuse.
    """

def replay_info(serial: str) -> dict[str, Any]:
    """The state of a replay device (a configuration entry with a ``recording``).

    Keys: ``folder`` (the recording folder), ``camera`` (``"X1"`` or
    ``"X2"``, how it opens), ``camera_id`` (``"Left"`` or ``"Right"`` for X1,
    ``None`` for X2), ``frames``, ``at_end`` (``"loop"``, ``"hold"`` or
    ``"fail"``), ``stepping``, ``position`` (the index the next capture hands
    out) and ``last_frame`` (the index the last capture handed out, -1 before
    any).

    Raises:
        ValueError: no device has that serial number, or it is not a replay
            device.
    """

def replay_position(serial: str) -> int:
    """The index of the frame the next capture of a replay device hands out.

    Equals ``frames`` once a device with ``at_end`` ``"fail"`` has handed
    out every frame. Raises ``ValueError`` as ``replay_info``.
    """

def replay_frame(serial: str) -> int:
    """The index of the frame the last capture handed out, -1 before any.

    Raises ``ValueError`` as ``replay_info``.
    """

def replay_seek(serial: str, index: int) -> None:
    """Make the next capture of a replay device hand out frame ``index``.

    Raises:
        ValueError: ``index`` is not within 0 .. frames - 1, or the serial
            number names no replay device; nothing changes then.
    """

def replay_stepping(serial: str, on: bool = True) -> None:
    """Stepping mode: while on, a capture hands out the frame at the cursor
    without moving it; ``replay_step`` moves it.

    Raises ``ValueError`` as ``replay_info``.
    """

def replay_step(serial: str, count: int = 1) -> int:
    """Move a replay device's cursor ``count`` frames on; returns the new
    position.

    The device's ``at_end`` applies: ``"loop"`` wraps around, ``"hold"``
    stops at the last frame, ``"fail"`` may go one past the end (the next
    capture then fails). A count of 0 changes nothing.

    Raises:
        ValueError: a negative count, or the serial number names no replay
            device.
    """
