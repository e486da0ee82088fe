"""Captures racing with the end of their camera, checked for X1 and X2
against the stand-in: SystemShutdown, vyxsim.reset, vyxsim.unplug or the
camera's Destroy while a capture waits inside the SDK. A long simulated
latency (real time) keeps the capture there with its camera in hand; the
main thread, which the capture lets run, makes the event happen. The capture
must then return False with the event's error and leave no handle of what it
made behind."""
import threading

import pytest

import PyVyx as vx
from cameras import MODELS, case_id

SERIAL = "VX1300001"   # devices[0], the device the `cam` fixture opens

NOT_INITIALIZED, INVALID_HANDLE, DISCONNECTED, WRONG_STATE = 1, 2, 6, 11


@pytest.fixture(params=MODELS, ids=case_id)
def model(request):
    return request.param


# What the capture is, per camera class: (operation, call, whether the
# camera holds a result of it). None: there is no result to ask for.
CALLS = {
    "X1": {
        "Capture": ("X1::Capture", lambda c: c.Capture(vx.X1_CaptureOptions()),
                    lambda c: c.GetPointMap().IsValid()),
        "Capture2D": ("X1::Capture2D", lambda c: c.Capture2D(vx.X1_CaptureOptions()),
                      lambda c: c.GetImage().IsValid()),
    },
    "X2": {
        "Capture": ("X2::Capture", lambda c: c.Capture(vx.X2_CaptureOptions()),
                    lambda c: c.GetPointMap().IsValid()),
        "Capture2D": ("X2::Capture2D", lambda c: c.Capture2D(vx.CameraID_Both, vx.X2_CaptureOptions()),
                      lambda c: c.GetImage(vx.CameraID_Left).IsValid()),
        "StartFixedLineScan": ("X2::StartFixedLineScan",
                               lambda c: c.StartFixedLineScan(vx.X2_CaptureOptions()), None),
    },
}

CASES = [(m, name) for m in MODELS for name in CALLS[m.name]]

# event: (how it happens, the capture's error, what its message says)
EVENTS = {
    "SystemShutdown": (lambda sim, model, cam: vx.SystemShutdown(), NOT_INITIALIZED,
                       "the system was shut down while the call was in progress"),
    "reset": (lambda sim, model, cam: sim.reset(), NOT_INITIALIZED,
              "the system was shut down while the call was in progress"),
    "unplug": (lambda sim, model, cam: sim.unplug(SERIAL), DISCONNECTED,
               f"device '{SERIAL}' is disconnected (unplugged)"),
    "Destroy": (lambda sim, model, cam: model.cls.Destroy(cam), INVALID_HANDLE, "was destroyed"),
}


@pytest.mark.parametrize("event", list(EVENTS))
@pytest.mark.parametrize("model,call", CASES, indirect=["model"],
                         ids=[f"{m.name}-{name}" for m, name in CASES])
def test_capture_in_progress_fails_and_leaves_no_handle(vyx, sim, model, cam, call, event):
    op, run, stored = CALLS[model.name][call]
    happen, code, text = EVENTS[event]
    before = sim.live_objects()
    sim.set_capture_latency_ms(60_000)
    outcome = []

    def capture():
        ok = run(cam)
        outcome.append((ok, vx.GetLastError(), vx.GetLastErrorMessage()))

    worker = threading.Thread(target=capture)
    worker.start()
    while sim.captures_waiting() == 0 and worker.is_alive():
        pass
    was_waiting = worker.is_alive()
    happen(sim, model, cam)
    # The event alone ends the wait, well before the latency has passed.
    worker.join(30)
    outlasted = worker.is_alive()
    sim.set_capture_latency_ms(0)
    worker.join()

    assert was_waiting
    assert not outlasted, f"the capture kept waiting after {event}"
    ok, error, message = outcome[0]
    assert not ok
    assert error == code, message
    assert message.startswith(op + ": ") and text in message
    expected = {"SystemShutdown": 0, "reset": 0, "unplug": before, "Destroy": before - 1}[event]
    assert sim.live_objects() == expected
    if event == "unplug" and stored is not None:
        # The camera lives on and holds no result of the failed capture.
        assert not stored(cam)
        assert vx.GetLastError() == WRONG_STATE
        assert sim.live_objects() == before
