"""The recorder (vyxrecord): its files round-trip exactly (checked with
independent readers too), a recording gives back what the camera handed out,
the reader refuses every kind of damage naming the file, SDK failures become
RecordError without leaving a manifest, and the command line's exit codes.

What the camera handed out is captured a second time after vyxsim.reset():
the stand-in's noise is seeded per device and restarts with the reset, and
its clock in manual mode makes the timestamps repeat too.
"""
import importlib
import json
import pathlib
import shutil
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

import PyVyx as vx
import vyxrecord
from vyxrecord import files

from conftest import HAVE_STANDIN, NO_STANDIN

needs_standin = pytest.mark.skipif(not HAVE_STANDIN, reason=NO_STANDIN)

# A small grey device and a small colour one, for the cases where the size of
# the defaults' images adds nothing but time.
SMALL = {"devices": [
    {"name": "Small grey", "serial": "SMALL-1", "port": "USB", "resolution": [160, 128]},
    {"name": "Small colour", "serial": "SMALL-2", "port": "GigE", "resolution": [160, 128],
     "capabilities": {"color": True}},
]}


def bits(a):
    """An array's bytes, so that NaN payloads and signed zeros compare too."""
    return np.ascontiguousarray(a).tobytes()


# --- the files, with independent readers --------------------------------------------

def sample_map(shape, seed):
    rng = np.random.default_rng(seed)
    a = rng.normal(size=shape)
    a[rng.random(shape[:2]) < 0.2] = np.nan
    a.flat[0] = -0.0
    return a


def hand_read_ply(path):
    """A PLY reader of its own: the header parsed line by line, the vertex
    data read with the dtype the header's properties give."""
    data = pathlib.Path(path).read_bytes()
    end = data.index(b"end_header\n") + len(b"end_header\n")
    header = data[:end].decode("ascii").splitlines()
    comments = dict(line.split()[1:3] for line in header if line.startswith("comment "))
    count = int(next(line.split()[2] for line in header if line.startswith("element vertex")))
    names = [line.split()[2] for line in header if line.startswith("property double")]
    vertices = np.frombuffer(data[end:], dtype=[(n, "<f8") for n in names], count=count)
    assert len(data) == end + vertices.nbytes
    return header, int(comments["width"]), int(comments["height"]), vertices


@pytest.mark.parametrize("with_normals", [False, True])
def test_ply_round_trips_bit_for_bit(tmp_path, with_normals):
    points = sample_map((5, 7, 3), 1)
    normals = sample_map((5, 7, 3), 2) if with_normals else None
    path = str(tmp_path / "p.ply")
    files.write_ply(path, points, normals)

    header, width, height, vertices = hand_read_ply(path)
    assert header[:2] == ["ply", "format binary_little_endian 1.0"]
    assert (width, height) == (7, 5) and len(vertices) == 35
    assert bits(np.stack([vertices[n] for n in "xyz"], -1).reshape(5, 7, 3)) == bits(points)
    back_points, back_normals = files.read_ply(path, 7, 5, with_normals)
    assert back_points.dtype == np.float64 and bits(back_points) == bits(points)
    if with_normals:
        hand = np.stack([vertices[n] for n in ("nx", "ny", "nz")], -1).reshape(5, 7, 3)
        assert bits(hand) == bits(normals) and bits(back_normals) == bits(normals)
    else:
        assert back_normals is None


@pytest.mark.parametrize("shape", [(4, 6), (4, 6, 2)])
def test_npy_round_trips_bit_for_bit(tmp_path, shape):
    values = sample_map(shape, 3)
    path = str(tmp_path / "m.npy")
    files.write_npy(path, values)
    loaded = np.load(path, allow_pickle=False)
    assert loaded.dtype.str == "<f8" and loaded.flags.c_contiguous and bits(loaded) == bits(values)
    with open(path, "rb") as f:
        assert np.lib.format.read_magic(f) == (1, 0)
    assert bits(files.read_npy(path, shape)) == bits(values)


@pytest.mark.parametrize("image_type,shape,mode", [
    ("Mono8", (9, 11), "L"), ("BGR8", (9, 11, 3), "RGB"), ("RGB8", (9, 11, 3), "RGB")])
def test_png_round_trips_and_shows_red_first(tmp_path, image_type, shape, mode):
    pixels = np.random.default_rng(4).integers(0, 256, size=shape, dtype=np.uint8)
    path = str(tmp_path / "i.png")
    files.write_png(path, pixels, image_type)
    with Image.open(path) as im:
        assert im.format == "PNG" and im.mode == mode and im.size == (11, 9)
        assert not im.info.get("interlace")
        shown = np.asarray(im)
    # A viewer sees red first: BGR8's channels reversed, the others as they are.
    np.testing.assert_array_equal(shown, pixels[..., ::-1] if image_type == "BGR8" else pixels)
    back = files.read_png(path, 11, 9, image_type)
    assert back.dtype == np.uint8 and bits(back) == bits(pixels)


# --- recordings give back what the camera handed out -----------------------------------

def reference_frames(sim, serial, camera, camera_id, options, count):
    """The frames a fresh stand-in hands out for the same captures, copied."""
    sim.reset()
    sim.clock_manual()
    assert vx.SystemInit()
    device = vx.SystemFindDevice(serial)
    if camera == "X1":
        cam = vx.X1.Create(device, vx.CameraID_Left if camera_id == "Left" else vx.CameraID_Right)
    else:
        cam = vx.X2.Create(device)
    assert cam.Open(), vx.GetLastErrorMessage()
    frames = []
    for _ in range(count):
        assert cam.Capture(options), vx.GetLastErrorMessage()
        pm = cam.GetPointMap()
        frame = {"points": np.array(pm), "depth": np.array(cam.GetDepthMap()),
                 "confidence": np.array(cam.GetConfidenceMap())}
        if options.calc_normal:
            frame["normals"] = np.array(pm.GetNormalDataPtr())
        if camera == "X1":
            frame["image"] = np.array(cam.GetImage())
            frame["timestamp_us"] = pm.GetTimestamp()
            frame["_type"] = cam.GetImage().GetType().name
        else:
            frame["left"] = np.array(cam.GetImage(vx.CameraID_Left))
            frame["right"] = np.array(cam.GetImage(vx.CameraID_Right))
            frame["correspondence"] = np.array(cam.GetCorrespondMap())
            frame["timestamp_us"] = cam.GetTimestamp()[1]
            frame["_type"] = cam.GetImage(vx.CameraID_Left).GetType().name
        frames.append(frame)
    cam.Close()
    type(cam).Destroy(cam)
    vx.SystemShutdown()
    return frames


RECORDINGS = [
    # serial, camera, camera_id, normals: every default device at both kinds,
    # with and without normals, and an X1 on the right camera.
    ("VX1300001", "X1", "Left", False),
    ("VX1300001", "X1", "Right", True),
    ("VX1300001", "X2", "Left", True),
    ("VX2300002", "X1", "Left", True),
    ("VX2300002", "X2", "Left", False),
]


@needs_standin
@pytest.mark.parametrize("serial,camera,camera_id,normals", RECORDINGS)
def test_recording_gives_back_what_the_camera_handed_out(sim, tmp_path, serial, camera,
                                                          camera_id, normals):
    assert serial in sim.serials()
    sim.clock_manual()
    out = tmp_path / "rec"
    recording = vyxrecord.record(out, serial, 2, camera=camera, camera_id=camera_id,
                                 options={"calc_normal": normals}, progress=False)
    assert not vx.SystemIsInited()           # left as it found it
    assert sim.live_objects() == 0

    options = (vx.X1_CaptureOptions if camera == "X1" else vx.X2_CaptureOptions)()
    options.calc_normal = normals
    expected = reference_frames(sim, serial, camera, camera_id, options, 2)

    again = vyxrecord.open_recording(out)
    for rec in (recording, again):
        assert len(rec) == 2 and rec.camera == camera and rec.normals is normals
        assert rec.image_type == expected[0]["_type"]
        height, width = expected[0]["depth"].shape
        assert rec.resolution == (width, height)
        assert rec.device["sn"] == serial
    assert recording.camera_id == (camera_id if camera == "X1" else None)
    assert set(recording.manifest["cameras"]) == ({camera_id} if camera == "X1" else {"Left", "Right"})
    for index, want in enumerate(expected):
        got = again.frame(index)
        want_roles = set(want) - {"_type"}
        assert set(got) == want_roles
        for role in want_roles - {"timestamp_us"}:
            assert got[role].dtype == want[role].dtype and got[role].shape == want[role].shape
            assert bits(got[role]) == bits(want[role]), (index, role)
        assert got["timestamp_us"] == want["timestamp_us"]
    # Two captures differ (seeded noise), so the comparison above has teeth.
    assert bits(expected[0]["depth"]) != bits(expected[1]["depth"])


@needs_standin
def test_manifest_describes_device_calibration_and_options(sim, tmp_path):
    options = {"exposure_time_3d": 20, "smoothness": "SmoothnessLevel_Weak",
               "roi": [0, 0, 64, 64], "hdr_exposure_time_content": [12, 30]}
    vx.SystemInit()
    device = vx.SystemFindDevice("VX2300002")
    ok, info = device.GetDeviceInfo()
    cam = vx.X1.Create(device, vx.CameraID_Left)
    ok, matrix, distortion = cam.GetIntrinsicParameters()
    ok, extrinsic = cam.GetExtrinsicMatrix()
    vx.X1.Destroy(cam)
    before = sim.live_objects()
    rec = vyxrecord.record(tmp_path / "r", "VX2300002", 1, options=options, progress=False)
    # Initialised by the caller: still initialised, nothing of the recorder's left alive.
    assert vx.SystemIsInited() and sim.live_objects() == before
    m = json.loads((tmp_path / "r" / "manifest.json").read_text())
    assert m == rec.manifest
    assert (m["format"], m["format_version"], m["camera"], m["camera_id"]) == (
        "vyx-recording", 1, "X1", "Left")
    assert m["device"]["sn"] == info.sn and m["device"]["type"] == "GigE"
    assert m["device"]["cameraid"] == int(info.cameraid)
    assert m["device"]["support_capture_mode"] == int(info.support_capture_mode)
    calibration = m["cameras"]["Left"]
    for name, values in (("camera_matrix", matrix), ("distortion", distortion),
                         ("extrinsic", extrinsic)):
        assert np.array_equal(np.float32(calibration[name]), np.float32(values)), name
    fields = m["options"]["fields"]
    assert m["options"]["kind"] == "X1_CaptureOptions"
    assert (fields["exposure_time_3d"], fields["smoothness"], fields["roi"]) == (
        20, "SmoothnessLevel_Weak", [0, 0, 64, 64])
    assert fields["hdr_exposure_time_content"] == [12, 30, 50]
    assert fields["capture_mode"] == "CaptureMode_Normal" and fields["calc_normal"] is False
    assert m["image_type"] == "BGR8" and m["settings_file"] is None


@needs_standin
def test_settings_file_options_are_used_and_a_dict_goes_over_them(sim, tmp_path):
    sim.load_config_text(json.dumps(SMALL))
    vx.SystemInit()
    cam = vx.X1.Create(vx.SystemFindDevice("SMALL-1"), vx.CameraID_Left)
    assert cam.Open()
    stored = vx.X1_CaptureOptions()
    stored.exposure_time_3d = 25
    stored.calc_normal = True
    assert cam.SaveCaptureOptionParameters(stored)
    settings = str(tmp_path / "settings.json")
    assert cam.SaveSettingToFile(settings)
    vx.X1.Destroy(cam)
    vx.SystemShutdown()
    sim.load_config_text(json.dumps(SMALL))      # the stored options are gone again

    plain = vyxrecord.record(tmp_path / "a", "SMALL-1", 1, settings_file=settings, progress=False)
    over = vyxrecord.record(tmp_path / "b", "SMALL-1", 1, settings_file=settings,
                            options={"exposure_time_3d": 30}, progress=False)
    record = vx.X1_CaptureOptions()
    record.exposure_time_2d = 40
    given = vyxrecord.record(tmp_path / "c", "SMALL-1", 1, settings_file=settings,
                             options=record, progress=False)
    for rec, exposure, normals in ((plain, 25, True), (over, 30, True), (given, 11, False)):
        assert rec.manifest["settings_file"] == settings
        assert rec.manifest["options"]["fields"]["exposure_time_3d"] == exposure
        assert rec.normals is normals and ("normals" in rec.frame(0)) is normals
    assert given.manifest["options"]["fields"]["exposure_time_2d"] == 40


@pytest.mark.parametrize("kind,changes,recorded", [
    (vx.X1_CaptureOptions,
     {"calc_normal": True, "gain_3d": 1.5, "smoothness": "SmoothnessLevel_Strong",
      "capture_mode": vx.CaptureMode_Robust, "roi": [8, 2, 64, 64], "truncate_z_max": 700.25,
      "hdr_scan_times_content": [2, 3, 4], "hdr_gain_content": [0.5, 1.0]},
     {"capture_mode": "CaptureMode_Robust", "hdr_gain_content": [0.5, 1.0, 0.0]}),
    (vx.X2_CaptureOptions,
     {"transform_to_camera": "CameraID_Right", "trigger_mode": 2, "fixed_rate": 0.5,
      "projector_color": "ProjectorColor_White", "line_scanner_laser_position": 40000,
      "hdr_projector_brightness_content": [100, 120, 140]},
     {"transform_to_camera": "CameraID_1", "trigger_mode": "TriggerMode_FixedRate"}),
])
def test_options_json_form_sets_a_new_record_to_the_same_values(kind, changes, recorded):
    """Members, ints for enumerations and short HDR lists are accepted; the
    recorded form names members and lists every HDR entry."""
    options_module = importlib.import_module("vyxrecord.options")
    form = options_module.to_json(options_module.apply(kind(), changes))
    assert form["kind"] == kind.__name__
    assert {name: form["fields"][name] for name in changes} == {**changes, **recorded}
    assert set(form["fields"]) == set(options_module.field_names(kind)) | set(
        options_module.HDR_TABLES)
    # The recorded form, set over the defaults, gives the same record again.
    assert options_module.to_json(options_module.apply(kind(), form["fields"])) == form
    json.dumps(form, allow_nan=False)


# --- arguments refused before anything happens ----------------------------------------

@needs_standin
@pytest.mark.parametrize("kwargs,error,match", [
    ({"options": {"exposure_tme_3d": 20}}, ValueError, "exposure_tme_3d"),
    ({"options": {"exposure_time_3d": "long"}}, ValueError, "exposure_time_3d"),
    ({"options": {"smoothness": "Smooth"}}, ValueError, "smoothness"),
    ({"options": {"hdr_gain_content": [99.0]}}, ValueError, r"hdr_gain_content\[0\]"),
    ({"options": {"line_scanner_scan_time_ms": 5}}, ValueError, "line_scanner_scan_time_ms"),
    ({"options": {"enable_2d_in_capture": False}}, ValueError, "enable_2d_in_capture"),
    ({"options": vx.X2_CaptureOptions()}, TypeError, "X1_CaptureOptions"),
    ({"camera": "X3"}, ValueError, "X3"),
    ({"camera_id": "Middle"}, ValueError, "Middle"),
])
def test_unusable_arguments_are_refused(sim, tmp_path, kwargs, error, match):
    sim.load_config_text(json.dumps(SMALL))
    with pytest.raises(error, match=match):
        vyxrecord.record(tmp_path / "r", "SMALL-1", 1, progress=False, **kwargs)
    assert not (tmp_path / "r" / "manifest.json").exists()
    assert not vx.SystemIsInited() and sim.live_objects() == 0


@needs_standin
def test_non_empty_folder_is_refused_unless_overwriting(sim, tmp_path):
    sim.load_config_text(json.dumps(SMALL))
    out = tmp_path / "r"
    vyxrecord.record(out, "SMALL-1", 2, progress=False)
    (out / "notes.txt").write_text("mine")
    with pytest.raises(FileExistsError, match="not empty"):
        vyxrecord.record(out, "SMALL-1", 1, progress=False)
    assert len(vyxrecord.open_recording(out)) == 2
    rec = vyxrecord.record(out, "SMALL-1", 1, overwrite=True, progress=False)
    assert len(rec) == 1
    # The old frame's files are gone, the user's own file is kept.
    assert sorted(p.name for p in out.iterdir()) == sorted(
        ["manifest.json", "notes.txt"] + list(rec.manifest["frames"][0]["files"].values()))


# --- SDK failures ---------------------------------------------------------------------

@needs_standin
@pytest.mark.parametrize("camera,op,after_frames,old_kept", [
    # Failures during the captures: the old recording was already cleared.
    ("X1", "X1::Capture", 1, False),
    ("X2", "X2::Capture", 2, False),
    ("X2", "X2::GetTimestamp", 0, False),
    ("X1", "X1::GetDepthMap", 1, False),
    # Failures before the first capture leave the old recording as it was.
    ("X1", "X1::Open", 0, True),
    ("X1", "X1::GetIntrinsicParameters", 0, True),
    ("X1", "SystemInit", 0, True),
])
def test_sdk_failure_raises_and_leaves_no_manifest_claiming_lost_frames(
        sim, tmp_path, monkeypatch, camera, op, after_frames, old_kept):
    sim.load_config_text(json.dumps(SMALL))
    out = tmp_path / "r"
    vyxrecord.record(out, "SMALL-1", 3, camera=camera, progress=False)   # an old recording
    recorder = importlib.import_module("vyxrecord.record")
    write_frame = recorder._write_frame
    written = []

    def write_then_fail(folder, index, *args):
        names = write_frame(folder, index, *args)
        written.append(index)
        if len(written) == after_frames:
            sim.fail_next(op)
        return names

    monkeypatch.setattr(recorder, "_write_frame", write_then_fail)
    if after_frames == 0:
        sim.fail_next(op)
    with pytest.raises(vyxrecord.RecordError, match="failure injected") as caught:
        vyxrecord.record(out, "SMALL-1", 3, camera=camera, overwrite=True, progress=False)
    assert caught.value.operation == op
    assert written == list(range(after_frames))
    assert not [p for p in out.iterdir() if p.name.endswith(".tmp")]
    if old_kept:
        assert len(vyxrecord.open_recording(out)) == 3
    else:
        assert not (out / "manifest.json").exists()
        with pytest.raises(vyxrecord.RecordingError, match="manifest.json: missing"):
            vyxrecord.open_recording(out)
    # Everything the recorder opened is closed and released, the system shut down.
    assert not vx.SystemIsInited() and sim.live_objects() == 0


@needs_standin
def test_unknown_serial_is_a_record_error(sim, tmp_path):
    with pytest.raises(vyxrecord.RecordError, match="SystemFindDevice") as caught:
        vyxrecord.record(tmp_path / "r", "NO-SUCH-1", 1, progress=False)
    assert caught.value.sdk_message
    assert not vx.SystemIsInited()


# --- the reader refuses damaged recordings ---------------------------------------------

@pytest.fixture(scope="module")
def small_recordings(tmp_path_factory):
    """An X1 and an X2 recording of two frames from small devices."""
    if not HAVE_STANDIN:
        pytest.skip(NO_STANDIN)
    import vyxsim

    vyxsim.reset()
    vyxsim.load_config_text(json.dumps(SMALL))
    base = tmp_path_factory.mktemp("recordings")
    for camera in ("X1", "X2"):
        vyxrecord.record(base / camera, "SMALL-1", 2, camera=camera, progress=False)
    vyxsim.reset()
    return base


def edit_manifest(change):
    def edit(folder):
        path = folder / "manifest.json"
        m = json.loads(path.read_text())
        change(m)
        path.write_text(json.dumps(m))
    return edit


def truncate(name, keep):
    def edit(folder):
        path = folder / name
        data = path.read_bytes()
        path.write_bytes(data[:keep if keep >= 0 else len(data) + keep])
    return edit


def replace_png(name, size, mode):
    def edit(folder):
        Image.new(mode, size).save(folder / name)
    return edit


def replace_npy(name, array):
    def edit(folder):
        np.save(folder / name, array)
    return edit


def symlink_outside(name):
    def edit(folder):
        outside = folder.parent / f"{folder.name}-outside.npy"
        shutil.copy(folder / name, outside)
        (folder / name).unlink()
        (folder / name).symlink_to(outside)
    return edit


def set_frame_file(index, role, value):
    def change(m):
        m["frames"][index]["files"][role] = value
    return edit_manifest(change)


DAMAGE = [
    # camera, what to do, file named in the message, problem, found when
    ("X1", lambda f: (f / "manifest.json").unlink(), "manifest.json", "missing", "open"),
    ("X1", lambda f: (f / "000001.depth.npy").unlink(), "000001.depth.npy", "missing", "open"),
    ("X2", lambda f: (f / "000000.right.png").unlink(), "000000.right.png", "missing", "open"),
    ("X1", edit_manifest(lambda m: m.update(format_version=2)), "manifest.json",
     "format_version 2", "open"),
    ("X1", edit_manifest(lambda m: m.update(format_version=True)), "manifest.json",
     "format_version True", "open"),
    ("X1", edit_manifest(lambda m: m.update(format="other")), "manifest.json", "format", "open"),
    ("X1", lambda f: (f / "manifest.json").write_text("{"), "manifest.json", "not valid JSON",
     "open"),
    ("X1", edit_manifest(lambda m: m.update(resolution=[161, 128])), "000000.points.ply",
     "PLY width is 160, the recording's is 161", "open"),
    ("X1", edit_manifest(lambda m: m.update(normals=True)), "000000.points.ply",
     "properties", "open"),
    ("X1", edit_manifest(lambda m: m.update(image_type="BGR8")), "000000.image.png",
     "colour type 0", "open"),
    ("X1", edit_manifest(lambda m: m["frames"][1].update(index=2)), "manifest.json",
     "frames[1].index", "open"),
    ("X1", edit_manifest(lambda m: m["frames"][0]["files"].pop("image")), "manifest.json",
     "has no 'image'", "open"),
    ("X1", edit_manifest(lambda m: m["cameras"].pop("Left")), "manifest.json", "cameras", "open"),
    ("X1", truncate("000001.points.ply", -1), "000001.points.ply", "truncated", "open"),
    ("X1", truncate("000000.points.ply", 60), "000000.points.ply", "end_header", "open"),
    ("X2", truncate("000000.correspondence.npy", -8), "000000.correspondence.npy", "truncated",
     "open"),
    ("X1", truncate("000000.confidence.npy", 20), "000000.confidence.npy", ".npy header", "open"),
    ("X1", lambda f: (f / "000000.depth.npy").open("ab").write(b"\0" * 8), "000000.depth.npy",
     "8 unexpected bytes", "open"),
    ("X1", replace_npy("000000.depth.npy", np.zeros((128, 160), np.float32)),
     "000000.depth.npy", "dtype <f4", "open"),
    ("X2", replace_npy("000001.correspondence.npy", np.zeros((128, 160))),
     "000001.correspondence.npy", "shape (128, 160)", "open"),
    ("X1", replace_png("000001.image.png", (160, 127), "L"), "000001.image.png",
     "PNG is 160 x 127", "open"),
    ("X1", replace_png("000001.image.png", (160, 128), "RGB"), "000001.image.png",
     "colour type 2", "open"),
    ("X1", truncate("000000.image.png", -200), "000000.image.png", "damaged PNG", "frame"),
    ("X1", set_frame_file(0, "depth", "../x.npy"), "manifest.json", "leaves the recording folder",
     "open"),
    ("X1", set_frame_file(1, "points", "/etc/passwd"), "manifest.json",
     "leaves the recording folder", "open"),
    ("X1", set_frame_file(0, "image", ".."), "manifest.json", "leaves the recording folder",
     "open"),
    ("X1", set_frame_file(0, "left", "000000.image.png"), "manifest.json",
     "'left' is not a role an X1 recording has", "open"),
    ("X2", set_frame_file(0, "image", "000000.left.png"), "manifest.json",
     "'image' is not a role an X2 recording has", "open"),
    ("X2", set_frame_file(0, "mesh", "000000.left.png"), "manifest.json",
     "'mesh' is not a role an X1 or X2 recording has", "open"),
    ("X1", symlink_outside("000000.depth.npy"), "000000.depth.npy", "not a regular file", "open"),
]


@pytest.mark.parametrize("camera,damage,name,problem,when", DAMAGE,
                         ids=[f"{d[0]}-{d[2]}-{d[3]}" for d in DAMAGE])
def test_reader_refuses_damage_naming_the_file(small_recordings, tmp_path, camera, damage, name,
                                               problem, when):
    folder = tmp_path / "rec"
    shutil.copytree(small_recordings / camera, folder)
    assert len(vyxrecord.open_recording(folder)) == 2     # sound before the damage
    damage(folder)
    with pytest.raises(vyxrecord.RecordingError) as caught:
        recording = vyxrecord.open_recording(folder)
        assert when == "frame", "open_recording accepted a damaged recording"
        for index in range(len(recording)):
            recording.frame(index)
    message = str(caught.value)
    assert str(folder / name) in message and problem in message, message


def test_reader_refuses_a_folder_that_is_not_one(tmp_path):
    with pytest.raises(vyxrecord.RecordingError, match="is not a folder"):
        vyxrecord.open_recording(tmp_path / "none")


# --- progress, the public API only, and the command line --------------------------------

@needs_standin
@pytest.mark.parametrize("progress,shown", [(True, True), (None, False), (False, False)])
def test_progress_bar_on_standard_error(sim, tmp_path, capfd, progress, shown):
    sim.load_config_text(json.dumps(SMALL))
    vyxrecord.record(tmp_path / "r", "SMALL-2", 2, progress=progress)
    err = capfd.readouterr().err
    assert ("2/2" in err) is shown, err


def test_recorder_does_not_need_the_stand_in():
    code = "import sys, vyxrecord; print('vyxsim' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "False"


def cli(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "vyxrecord", *map(str, args)],
                          capture_output=True, text=True, cwd=cwd, timeout=300)


@needs_standin
def test_command_line_records_and_summarises(tmp_path):
    out = tmp_path / "cli"
    done = cli("record", "--serial", "VX1300001", "--camera", "right", "--frames", 2,
               "--option", "calc_normal=true", "--option", "exposure_time_3d=20", out)
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""        # no terminal: no progress bar
    rec = vyxrecord.open_recording(out)
    assert (len(rec), rec.camera_id, rec.normals) == (2, "Right", True)
    assert rec.manifest["options"]["fields"]["exposure_time_3d"] == 20
    info = cli("info", "--verify", out)
    assert info.returncode == 0, info.stderr
    stamps = rec.timestamps_us
    for text in ("VX1300001", "X1 Right", "1280 x 1024", "Mono8", "frames      2",
                 f"{min(stamps)} .. {max(stamps)} us"):
        assert text in info.stdout, info.stdout
    assert cli("record", "--serial", "VX1300001", "--frames", 1, out).returncode == 1
    x2 = cli("record", "--serial", "VX1300001", "--x2", "--frames", 1, "--force", out)
    assert x2.returncode == 0, x2.stderr
    assert vyxrecord.open_recording(out).camera == "X2"


@needs_standin
@pytest.mark.parametrize("args,code,message", [
    (["record", "--serial", "NO-SUCH-1", "--frames", "1", "{out}"], 1, "SystemFindDevice"),
    (["info", "{out}"], 1, "manifest.json: missing"),
    (["record", "--serial", "SMALL-1", "--frames", "1", "--option", "bogus=1", "{out}"], 2,
     "bogus"),
    (["record", "--serial", "SMALL-1", "--frames", "1", "--option", "calc_normal", "{out}"], 2,
     "name=value"),
    (["record", "--serial", "SMALL-1", "--frames", "0", "{out}"], 2, "frames"),
    (["record", "--serial", "SMALL-1", "{out}"], 2, "--frames"),
    (["record", "--serial", "SMALL-1", "--frames", "1", "--x2", "--camera", "left", "{out}"], 2,
     "not allowed"),
    (["record", "--serial", "SMALL-1", "--frames", "1", "--settings", "{out}/none.json",
      "{out}/r"], 1, "LoadSettingFromFile"),
    ([], 2, "COMMAND"),
])
def test_command_line_failures(tmp_path, monkeypatch, args, code, message):
    config = tmp_path / "small.json"
    config.write_text(json.dumps(SMALL))
    monkeypatch.setenv("VYX_SIM_CONFIG", str(config))
    out = tmp_path / "out"
    out.mkdir()
    done = cli(*[a.replace("{out}", str(out)) for a in args])
    assert done.returncode == code, done
    assert message in done.stderr
    lines = done.stderr.strip().splitlines()
    if code == 1:
        assert len(lines) == 1 and lines[0].startswith("vyxrecord: error:"), lines
    else:
        assert lines[0].startswith("usage: python -m vyxrecord"), lines


def test_command_line_help():
    for args in ([], ["record"], ["info"]):
        done = cli(*args, "--help")
        assert done.returncode == 0 and "usage: python -m vyxrecord" in done.stdout
