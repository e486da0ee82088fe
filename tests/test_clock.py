"""The stand-in's model clock as vyxsim controls it: manual mode, advances,
and what follows the clock through PyVyx (capture latency, the protective
cover). Scans and the device clock are in test_x2_scene.py and
test_x2_camera.py."""
import pytest

import PyVyx as vx
from cameras import MODELS, case_id

COVER_STROKE_US = 300_000   # a full stroke of the protective cover


@pytest.fixture(params=MODELS, ids=case_id)
def model(request):
    return request.param


def test_manual_clock_stands_still_and_moves_only_by_advances(sim):
    assert sim.clock_is_manual() is False   # the default after reset
    sim.clock_manual()
    assert sim.clock_is_manual() is True
    t0 = sim.clock_now_us()
    assert isinstance(t0, int)
    assert sim.clock_now_us() == t0
    sim.clock_advance_us(250)
    sim.clock_advance_us(0)
    assert sim.clock_now_us() == t0 + 250
    sim.clock_manual(False)
    assert sim.clock_is_manual() is False
    assert sim.clock_now_us() >= t0 + 250   # real time again, from there
    sim.clock_manual(True)
    sim.reset()
    assert sim.clock_is_manual() is False


@pytest.mark.parametrize("amount, error", [
    (-1, ValueError),
    (2**61, ValueError),        # past the clock's range
    (2**63, TypeError),         # not a 64-bit integer
    (1.5, TypeError),
    (None, TypeError),
])
def test_refused_advances_change_nothing(sim, amount, error):
    sim.clock_manual()
    t0 = sim.clock_now_us()
    with pytest.raises(error):
        sim.clock_advance_us(amount)
    assert sim.clock_now_us() == t0


def test_latency_in_manual_mode_advances_the_clock_without_waiting(vyx, sim, open_camera, model):
    sim.clock_manual()
    camera = open_camera(0)
    sim.set_capture_latency_ms(600_000)     # ten minutes, were it waited for
    t0 = sim.clock_now_us()
    assert camera.Capture()
    assert camera.Capture()
    assert sim.clock_now_us() == t0 + 2 * 600_000_000
    assert sim.captures_waiting() == 0


def test_cover_moves_with_the_clock(vyx, sim, open_camera, model):
    sim.clock_manual()
    camera = open_camera(1)                 # the device with a cover
    status = vx.ProtectiveCoverStatus

    assert camera.CloseProtectiveCoverAsync() is True
    assert camera.GetProtectiveCoverStatus() == (True, status.ProtectiveCoverStatus_Closing)
    sim.clock_advance_us(COVER_STROKE_US - 1)
    assert camera.GetProtectiveCoverStatus() == (True, status.ProtectiveCoverStatus_Closing)
    assert camera.Capture() is False        # only an open cover lets captures through
    sim.clock_advance_us(1)
    assert camera.GetProtectiveCoverStatus() == (True, status.ProtectiveCoverStatus_Closed)

    # Reversed a third of the way open: back closed after the same time.
    assert camera.OpenProtectiveCoverAsync() is True
    sim.clock_advance_us(COVER_STROKE_US // 3)
    assert camera.GetProtectiveCoverStatus() == (True, status.ProtectiveCoverStatus_Opening)
    assert camera.CloseProtectiveCoverAsync() is True
    sim.clock_advance_us(COVER_STROKE_US // 3 - 1)
    assert camera.GetProtectiveCoverStatus() == (True, status.ProtectiveCoverStatus_Closing)
    sim.clock_advance_us(1)
    assert camera.GetProtectiveCoverStatus() == (True, status.ProtectiveCoverStatus_Closed)

    assert camera.OpenProtectiveCoverAsync() is True
    sim.clock_advance_us(COVER_STROKE_US)
    assert camera.GetProtectiveCoverStatus() == (True, status.ProtectiveCoverStatus_Open)
    assert camera.Capture() is True
