"""Replay devices through PyVyx and vyxsim: a recording folder written with
NumPy and Pillow comes back bit for bit, and the vyxsim replay functions
report and move the cursor."""
import json

import numpy as np
import pytest

W, H = 32, 24


def write_recording(folder, frames=3, camera="X1", image_type="Mono8", normals=False):
    """Writes a recording of `frames` frames; returns each frame's values."""
    from PIL import Image

    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(7)
    out, entries = [], []
    for f in range(frames):
        pts = rng.normal(0.0, 0.1, (H, W, 3))
        pts[..., 2] = 0.5 + 0.01 * f + rng.uniform(0, 0.01, (H, W))
        pts[0, 0] = np.nan
        pts[0, 1, 0] = -0.0
        nrm = rng.normal(0.0, 1.0, (H, W, 3))
        depth = pts[..., 2].copy()
        conf = rng.uniform(0.1, 1.0, (H, W))
        conf[0, 0] = 0.0
        corr = rng.uniform(0, W, (H, W, 2))
        shape = (H, W) if image_type == "Mono8" else (H, W, 3)
        images = [rng.integers(0, 256, shape, dtype=np.uint8) for _ in range(2 if camera == "X2" else 1)]
        names = {"points": f"{f:06d}.points.ply", "depth": f"{f:06d}.depth.npy", "confidence": f"{f:06d}.confidence.npy"}
        cols = ["x", "y", "z"] + (["nx", "ny", "nz"] if normals else [])
        header = ("ply\nformat binary_little_endian 1.0\n"
                  f"comment width {W}\ncomment height {H}\nelement vertex {W * H}\n"
                  + "".join(f"property double {c}\n" for c in cols) + "end_header\n")
        body = np.concatenate([pts, nrm], axis=2) if normals else pts
        (folder / names["points"]).write_bytes(header.encode() + body.astype("<f8").tobytes())
        np.save(folder / names["depth"], depth)
        np.save(folder / names["confidence"], conf)
        roles = ["left", "right"] if camera == "X2" else ["image"]
        for role, img in zip(roles, images):
            names[role] = f"{f:06d}.{role}.png"
            stored = img[..., ::-1] if image_type == "BGR8" else img  # a PNG stores red first
            Image.fromarray(np.ascontiguousarray(stored)).save(folder / names[role])
        if camera == "X2":
            names["correspondence"] = f"{f:06d}.correspondence.npy"
            np.save(folder / names["correspondence"], corr)
        entries.append({"index": f, "timestamp_us": 5000 + 100 * f, "files": names})
        out.append({"points": pts, "normals": nrm, "depth": depth, "confidence": conf,
                    "correspondence": corr, "images": images})
    calib = {"camera_matrix": [40.5, 0, 16, 0, 41, 12, 0, 0, 1], "distortion": [0.01, 0, 0, 0, 0],
             "extrinsic": [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]}
    right = dict(calib, extrinsic=[1, 0, 0, 0.1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1])
    manifest = {
        "format": "vyx-recording", "format_version": 1, "recorder": "test", "created": "2026-01-01T00:00:00Z",
        "camera": camera, "device": {
            "name": "Recorded", "sn": "VXREC", "factroydate": "2024-01-01", "port": "GigE 1000BASE-T",
            "type": "GigE", "cameraid": 3, "boardmodel": 230, "support_x1": True, "support_x2": True,
            "support_color": 4, "support_capture_mode": 31, "support_protective_cover": False,
            "support_extra": False, "workingdist_near_mm": 500, "workingdist_far_mm": 1000},
        "resolution": [W, H], "image_type": image_type,
        "cameras": {"Left": calib, "Right": right} if camera == "X2" else {"Left": calib},
        "options": {"kind": f"{camera}_CaptureOptions", "fields": {}}, "settings_file": None,
        "normals": normals, "frames": entries,
    }
    if camera == "X1":
        manifest["camera_id"] = "Left"
    (folder / "manifest.json").write_text(json.dumps(manifest))
    return out


def load(sim, folder, **entry):
    sim.load_config_text(json.dumps({"devices": [dict({"recording": str(folder), "serial": "REPLAY-1"}, **entry)]}))


def same_bits(a, b):
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.shape == b.shape and a.tobytes() == b.tobytes()


@pytest.fixture
def x1(sim, vyx, tmp_path):
    frames = write_recording(tmp_path / "rec", image_type="BGR8", normals=True)
    load(sim, tmp_path / "rec")
    cam = vyx.X1.Create(vyx.SystemFindDevice("REPLAY-1"), vyx.CameraID_Left)
    assert cam.Open(), vyx.GetLastErrorMessage()
    yield cam, frames
    vyx.X1.Destroy(cam)


def test_x1_round_trip_is_bit_exact(vyx, x1):
    cam, frames = x1
    for f in [0, 1, 2, 0]:
        assert cam.Capture(vyx.X1_CaptureOptions()), vyx.GetLastErrorMessage()
        pm = cam.GetPointMap()
        assert same_bits(np.asarray(pm), frames[f]["points"])
        assert same_bits(np.asarray(pm.GetNormalDataPtr()), frames[f]["normals"])
        assert pm.GetTimestamp() == 5000 + 100 * f
        assert same_bits(np.asarray(cam.GetDepthMap()), frames[f]["depth"])
        assert same_bits(np.asarray(cam.GetConfidenceMap()), frames[f]["confidence"])
        assert same_bits(np.asarray(cam.GetImage()), frames[f]["images"][0])


def test_x2_round_trip_is_bit_exact(sim, vyx, tmp_path):
    frames = write_recording(tmp_path / "rec2", camera="X2")
    load(sim, tmp_path / "rec2", at_end="hold")
    x2 = vyx.X2.Create(vyx.SystemFindDevice("REPLAY-1"))
    assert x2.Open(), vyx.GetLastErrorMessage()
    for f in [0, 1, 2, 2]:
        assert x2.Capture(vyx.X2_CaptureOptions()), vyx.GetLastErrorMessage()
        assert same_bits(np.asarray(x2.GetPointMap()), frames[f]["points"])
        assert same_bits(np.asarray(x2.GetCorrespondMap()), frames[f]["correspondence"])
        assert same_bits(np.asarray(x2.GetImage(vyx.CameraID_Left)), frames[f]["images"][0])
        assert same_bits(np.asarray(x2.GetImage(vyx.CameraID_Right)), frames[f]["images"][1])
        assert x2.GetPointMap().GetTimestamp() == 5000 + 100 * f
    vyx.X2.Destroy(x2)


def test_info_and_cursor_functions(sim, vyx, x1, tmp_path):
    cam, frames = x1
    info = sim.replay_info("REPLAY-1")
    assert info == {"folder": str(tmp_path / "rec"), "camera": "X1", "camera_id": "Left", "frames": 3,
                    "at_end": "loop", "stepping": False, "position": 0, "last_frame": -1}
    assert cam.Capture()
    assert (sim.replay_position("REPLAY-1"), sim.replay_frame("REPLAY-1")) == (1, 0)
    sim.replay_seek("REPLAY-1", 2)
    sim.replay_stepping("REPLAY-1")
    for _ in range(2):
        assert cam.Capture()
        assert cam.GetPointMap().GetTimestamp() == 5200
    assert sim.replay_info("REPLAY-1")["stepping"] is True
    assert sim.replay_step("REPLAY-1") == 0  # loop wraps
    assert sim.replay_step("REPLAY-1", count=4) == 1
    sim.replay_stepping("REPLAY-1", False)
    assert cam.Capture() and sim.replay_position("REPLAY-1") == 2
    # reset() loads the configured devices afresh; a loaded configuration
    # starts its cursor at 0.
    load(sim, tmp_path / "rec")
    assert sim.replay_position("REPLAY-1") == 0


@pytest.mark.parametrize("call, message", [
    (lambda s: s.replay_seek("REPLAY-1", 3), "index 3 is out of range"),
    (lambda s: s.replay_seek("REPLAY-1", -1), "index -1 is out of range"),
    (lambda s: s.replay_step("REPLAY-1", -2), "count -2 is negative"),
    (lambda s: s.replay_info("NOPE"), "no device with serial number 'NOPE'"),
    (lambda s: s.replay_position("NOPE"), "no device with serial number 'NOPE'"),
    (lambda s: s.replay_frame("NOPE"), "no device with serial number 'NOPE'"),
    (lambda s: (s.add_device('{"name": "Live", "serial": "LIVE", "port": "USB"}'), s.replay_stepping("LIVE")),
     "'LIVE' is not a replay device"),
])
def test_bad_arguments_raise_value_error(sim, vyx, x1, call, message):
    before = sim.replay_info("REPLAY-1")
    with pytest.raises(ValueError, match=message):
        call(sim)
    assert sim.replay_info("REPLAY-1") == before


def test_fail_at_end_reports_why(sim, vyx, tmp_path):
    write_recording(tmp_path / "rec", frames=2)
    load(sim, tmp_path / "rec", at_end="fail")
    cam = vyx.X1.Create(vyx.SystemFindDevice("REPLAY-1"), vyx.CameraID_Left)
    assert cam.Open()
    assert cam.Capture() and cam.Capture()
    assert not cam.Capture()
    assert vyx.GetLastErrorMessage() == (
        f"X1::Capture: replay device 'REPLAY-1' has handed out all 2 frames of '{tmp_path / 'rec'}' "
        '(at_end is "fail")')
    vyx.X1.Destroy(cam)


def test_a_damaged_recording_is_refused(sim, tmp_path):
    write_recording(tmp_path / "rec")
    depth = tmp_path / "rec" / "000001.depth.npy"
    np.save(depth, np.zeros((W, H)))
    with pytest.raises(ValueError, match=r"devices\[0\]\.recording: '.*000001\.depth\.npy': shape \(32, 24\) does not "
                                         r"match the recording's resolution 32 x 24"):
        load(sim, tmp_path / "rec")
    assert sim.serials() == ["VX1300001", "VX2300002"]
