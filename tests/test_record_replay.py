"""Record with the recorder, replay through a configured replay device, and
get back exactly what was recorded: every map and image of every frame, the
timestamps and the calibration, in order, after a seek, and in stepping
mode."""
import json

import numpy as np
import pytest

import PyVyx as vx
import vyxrecord
from conftest import HAVE_STANDIN, NO_STANDIN, SANITIZED

pytestmark = pytest.mark.skipif(not HAVE_STANDIN, reason=NO_STANDIN)

# Under the sanitizers four full-size frames per device: still enough to
# seek to frame 3 and to run past the end.
FRAMES = 4 if SANITIZED else 5

# One recording per default device: the grey USB device as an X1 (left
# camera) and the colour GigE device as an X2.
KINDS = [pytest.param((0, "X1", "Left"), id="usb-X1"), pytest.param((1, "X2", None), id="gige-X2")]


def record(tmp_path_factory, index, camera, camera_id):
    import vyxsim

    vyxsim.reset()
    assert vx.SystemInit()
    try:
        serial = vyxsim.serials()[index]
        folder = tmp_path_factory.mktemp(f"rec-{camera}") / "rec"
        kwargs = {"camera_id": camera_id} if camera_id else {}
        vyxrecord.record(str(folder), serial, FRAMES, camera=camera, options={"calc_normal": True},
                         progress=False, **kwargs)
    finally:
        vx.SystemShutdown()
        vyxsim.reset()
    return folder


@pytest.fixture(scope="module", params=KINDS)
def recording(request, tmp_path_factory):
    folder = record(tmp_path_factory, *request.param)
    return folder, vyxrecord.open_recording(str(folder))


@pytest.fixture
def replay(recording, sim, vyx):
    """An opened camera on a replay device of the recording, its serial and the recording."""
    folder, rec = recording
    sim.load_config_text(json.dumps({"devices": [
        {"recording": str(folder), "serial": "REPLAY-1", "at_end": "fail"}]}))
    device = vyx.SystemFindDevice("REPLAY-1")
    assert device.IsValid(), vyx.GetLastErrorMessage()
    if rec.camera == "X1":
        cam = vyx.X1.Create(device, getattr(vyx, f"CameraID_{rec.manifest['camera_id']}"))
    else:
        cam = vyx.X2.Create(device)
    assert cam.Open(), vyx.GetLastErrorMessage()
    yield cam, "REPLAY-1", rec
    cam.Close()
    type(cam).Destroy(cam)


def handed_out(cam):
    """Copies of what the camera's last capture handed out, by recording role."""
    pm = cam.GetPointMap()
    out = {
        "points": np.array(pm),
        "normals": np.array(pm.GetNormalDataPtr()),
        "depth": np.array(cam.GetDepthMap()),
        "confidence": np.array(cam.GetConfidenceMap()),
        "timestamp_us": pm.GetTimestamp(),
    }
    if isinstance(cam, vx.X1):
        out["image"] = np.array(cam.GetImage())
    else:
        out["left"] = np.array(cam.GetImage(vx.CameraID_Left))
        out["right"] = np.array(cam.GetImage(vx.CameraID_Right))
        out["correspondence"] = np.array(cam.GetCorrespondMap())
    return out


def assert_frame_equal(got, frame, index):
    for role, want in frame.items():
        if role == "timestamp_us":
            assert got[role] == want, f"frame {index}: timestamp"
            continue
        assert got[role].dtype == want.dtype and got[role].shape == want.shape, (index, role)
        # Bit for bit, NaN included.
        assert got[role].tobytes() == want.tobytes(), f"frame {index}: {role} differs"


def capture(cam):
    assert cam.Capture(), vx.GetLastErrorMessage()


def test_every_frame_comes_back_exactly_in_order_then_the_end_fails(replay):
    cam, _, rec = replay
    assert len(rec) == FRAMES
    for i in range(FRAMES):
        capture(cam)
        assert_frame_equal(handed_out(cam), rec.frame(i), i)
    assert not cam.Capture()
    assert "REPLAY-1" in vx.GetLastErrorMessage()


def test_seek_to_frame_3_gives_frame_3(replay, sim):
    cam, serial, rec = replay
    sim.replay_seek(serial, 3)
    capture(cam)
    assert sim.replay_frame(serial) == 3
    assert_frame_equal(handed_out(cam), rec.frame(3), 3)


def test_stepping_hands_out_the_same_frame_until_stepped(replay, sim):
    cam, serial, rec = replay
    sim.replay_stepping(serial, True)
    for _ in range(2):
        capture(cam)
        assert_frame_equal(handed_out(cam), rec.frame(0), 0)
    assert sim.replay_step(serial) == 1
    capture(cam)
    assert_frame_equal(handed_out(cam), rec.frame(1), 1)


def test_discovery_and_calibration_are_the_recorded_ones(replay):
    cam, serial, rec = replay
    ok, info = vx.SystemFindDevice(serial).GetDeviceInfo()
    assert ok
    device = rec.manifest["device"]
    assert (info.name, info.factroydate, info.port) == (device["name"], device["factroydate"], device["port"])
    assert info.sn == serial
    names = ["Left"] if isinstance(cam, vx.X1) else ["Left", "Right"]
    for name in names:
        args = () if isinstance(cam, vx.X1) else (getattr(vx, f"CameraID_{name}"),)
        ok, matrix, distortion = cam.GetIntrinsicParameters(*args)
        assert ok
        recorded = rec.manifest["cameras"][name]
        np.testing.assert_array_equal(np.float32(matrix), np.float32(recorded["camera_matrix"]))
        np.testing.assert_array_equal(np.float32(distortion), np.float32(recorded["distortion"]))
        ok, extrinsic = cam.GetExtrinsicMatrix(*args)
        assert ok
        np.testing.assert_array_equal(np.float32(extrinsic), np.float32(recorded["extrinsic"]))
