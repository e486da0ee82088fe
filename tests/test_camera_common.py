"""What X1 and X2 do alike, checked once for each against the stand-in: the
default records in the help texts, the handle's life, which SDK form the
capture calls reach, starting values of outputs, private copies in the
automatic settings, the custom transformation, user sets and paths. What one
camera alone does is in test_x1_camera.py and test_x2_camera.py."""
import gc
import math
import re

import numpy as np
import pytest

import PyVyx as vx
from cameras import MODELS, case_id, each, over_models, snapshot
from tracing import arg, calls, class_calls, traced


@pytest.fixture(params=MODELS, ids=case_id)
def model(request):
    return request.param


def model_ids(cases):
    """Ids "X1-Method" for cases (Model, method name, ...)."""
    return [f"{case[0].name}-{case[1]}" for case in cases]


# ---------------------------------------------------------------------------
# Registration and the handle


def test_defaults_are_separate_objects_built_once(model):
    # Every method with defaults holds its own objects: distinct addresses in
    # the help texts, the same ones each time the text is read.
    def addresses(method):
        return re.findall(r"= <PyVyx\.(\w+) object at (0x[0-9a-f]+)>",
                          getattr(model.cls, method).__doc__)

    record = model.options.__name__
    found = []
    for method in ("GetAutoCaptureSetting", "GetAutoHdrCaptureSetting", "GetAuto2DExposureTime"):
        pairs = addresses(method)
        assert [kind for kind, _ in pairs] == [record, "ROI"]
        assert addresses(method) == pairs
        found += [addr for _, addr in pairs]
    capture2d = addresses("Capture2D")
    assert [kind for kind, _ in capture2d] == [record]
    found += [addr for _, addr in capture2d]
    assert len(set(found)) == 7


def test_new_handle_names_no_camera(vyx, model):
    cam = model.cls()
    assert cam.IsValid() is False
    assert cam.Open() is False
    assert vyx.GetLastError() != 0
    assert cam.IsOpen() is False


def test_destroy_clears_the_handle(vyx, model, devices):
    cam = model.create(devices[0])
    assert cam.IsValid()
    assert model.cls.Destroy(cam) is None
    assert cam.IsValid() is False
    assert cam.Open() is False


def test_dropping_a_camera_neither_closes_nor_destroys_it(vyx, sim, model, devices):
    cam = model.create(devices[0])
    assert cam.Open()
    before = sim.live_objects()

    def drop():
        nonlocal cam
        del cam
        gc.collect()

    _, lines = traced(sim, drop)
    assert class_calls(lines, model.name) == []
    assert sim.live_objects() == before


# ---------------------------------------------------------------------------
# Which SDK form each call reaches


@over_models("method", each([
    ("X1 X2", "Capture"),
    ("X2", "StartFixedLineScan"),
]))
def test_calls_without_options_reach_the_sdk_form_without_options(sim, model, cam, method):
    def sdk_call(*args):
        ok, lines = traced(sim, lambda: getattr(cam, method)(*args))
        if method == "StartFixedLineScan":
            assert cam.StopFixedLineScan()
        found = calls(lines, model.op(method))
        assert ok and len(found) == 1
        return found[0]

    bare = sdk_call()
    with_opts = sdk_call(model.options())
    assert "options" not in bare and "options" in with_opts


def test_capture2d_without_options_uses_a_default_record(sim, model, cam):
    # X2 takes the camera first (cid); X1's object is one camera and takes none.
    cid = dict(zip(["cid"], model.cid))

    def sdk_calls(*args, **kwargs):
        ok, lines = traced(sim, lambda: cam.Capture2D(*args, **kwargs))
        assert ok
        return calls(lines, model.op("Capture2D"))

    default = sdk_calls(*model.cid)
    assert len(default) == 1 and "options" in default[0]
    assert sdk_calls(*model.cid, model.options()) == default
    opts = model.options()
    opts.exposure_time_2d = 42
    keywords = sdk_calls(**cid, opts=opts)
    assert len(keywords) == 1 and keywords != default
    assert sdk_calls(*model.cid, opts) == keywords


@over_models("method", each([
    ("X1 X2", "Capture"),
    ("X1 X2", "Capture2D"),
    ("X2", "StartFixedLineScan"),
]))
def test_captures_leave_the_callers_record_alone(model, cam, method):
    opts = model.options()
    opts.roi = vx.ROI(8, 8, 64, 64)
    assert opts.SetHDRScanTimesContent(1, 3)
    before = snapshot(opts)
    cid = model.cid if method == "Capture2D" else ()
    assert getattr(cam, method)(*cid, opts)
    if method == "StartFixedLineScan":
        assert cam.StopFixedLineScan()
    assert snapshot(opts) == before


# ---------------------------------------------------------------------------
# Outputs on failure


def identity():
    return [1.0 if i in (0, 5, 10, 15) else 0.0 for i in range(16)]


ROI_RANGE_FIELDS = ("x_step", "y_step", "width_step", "height_step",
                    "width_min", "height_min", "width_max", "height_max")

PRESETS = each([
    # (models, method, call, check of the outputs after a failure that writes nothing)
    ("X1 X2", "GetCustomTransformation", lambda c, m: c.GetCustomTransformation(),
     lambda out, m: out[0].coordinate_select == m.coordinate.CoordinateSelect_Disabled),
    ("X1 X2", "GetCameraResolution", lambda c, m: c.GetCameraResolution(),
     lambda out, m: (out[0].width, out[0].height) == (0, 0)),
    ("X2", "GetTimestamp", lambda c, m: c.GetTimestamp(), lambda out, m: out == (0,)),
    ("X1 X2", "GetProjectorTemperature", lambda c, m: c.GetProjectorTemperature(),
     lambda out, m: math.isnan(out[0])),
    # X1 starts its extrinsic matrix as the identity, X2 as zeros.
    ("X1", "GetExtrinsicMatrix", lambda c, m: c.GetExtrinsicMatrix(),
     lambda out, m: out == (identity(),)),
    ("X2", "GetExtrinsicMatrix", lambda c, m: c.GetExtrinsicMatrix(vx.CameraID_Right),
     lambda out, m: out == ([0.0] * 16,)),
    ("X1 X2", "GetIntrinsicParameters", lambda c, m: c.GetIntrinsicParameters(*m.cid),
     lambda out, m: out == ([0.0] * 9, [0.0] * 5)),
    ("X1 X2", "GetExposureTimeRange", lambda c, m: c.GetExposureTimeRange(),
     lambda out, m: out == (0, 0)),
    ("X1 X2", "GetGainRange", lambda c, m: c.GetGainRange(), lambda out, m: out == (0.0, 0.0)),
    ("X1 X2", "GetGammaRange", lambda c, m: c.GetGammaRange(), lambda out, m: out == (0.0, 0.0)),
    ("X1 X2", "GetCameraTemperature",
     lambda c, m: c.GetCameraTemperature(*m.cid, vx.CameraTempSelector_Sensor),
     lambda out, m: math.isnan(out[0])),
    ("X1", "GetBalanceRatio", lambda c, m: c.GetBalanceRatio(vx.BalanceSelector_Red),
     lambda out, m: out == (0.0,)),
    ("X1", "GetBalanceRange", lambda c, m: c.GetBalanceRange(vx.BalanceSelector_Blue),
     lambda out, m: out == (0.0, 0.0)),
    ("X1 X2", "LoadCaptureOptionParameters", lambda c, m: c.LoadCaptureOptionParameters(),
     lambda out, m: snapshot(out[0]) == snapshot(m.options())),
    ("X1 X2", "GetRoiRange", lambda c, m: c.GetRoiRange(),
     lambda out, m: [getattr(out[0], f) for f in ROI_RANGE_FIELDS] == [0] * 8),
    ("X1 X2", "GetProtectiveCoverStatus", lambda c, m: c.GetProtectiveCoverStatus(),
     lambda out, m: out[0] == vx.ProtectiveCoverStatus.ProtectiveCoverStatus_Unknown
     and isinstance(out[0], vx.ProtectiveCoverStatus)),
    ("X1 X2", "GetCurrentUserSet", lambda c, m: c.GetCurrentUserSet(), lambda out, m: out == (-1,)),
    ("X1 X2", "GetUserSetName", lambda c, m: c.GetUserSetName(0), lambda out, m: out == ("",)),
])


@over_models("method,call,check", PRESETS, ids=model_ids(PRESETS))
def test_outputs_keep_their_starting_values_on_failure(sim, model, colour_cam, method, call, check):
    sim.fail_next(model.op(method))
    result = call(colour_cam, model)
    assert result[0] is False
    assert check(result[1:], model)
    # The failure was injected once: the same call then answers for real.
    assert call(colour_cam, model)[0] is True


@over_models("method,call,check", PRESETS, ids=model_ids(PRESETS))
def test_a_zero_handle_gets_the_starting_values(vyx, model, method, call, check):
    result = call(model.cls(), model)
    assert result[0] is False
    assert check(result[1:], model)
    assert vyx.GetLastError() != 0


# ---------------------------------------------------------------------------
# Automatic settings on private copies

AUTO = [
    ("GetAutoCaptureSetting", True),
    ("GetAutoHdrCaptureSetting", True),
    ("GetAuto2DExposureTime", True),
    ("GetAutoNoiseRemovalSetting", False),
]
AUTO_WITH_ROI = [m for m, roi in AUTO if roi]


@pytest.mark.parametrize("method,takes_roi", AUTO)
def test_automatic_settings_leave_the_callers_record(model, cam, method, takes_roi):
    opts = model.options()
    opts.exposure_time_2d = 97
    opts.exposure_time_3d = 97
    opts.use_auto_noise_removal = False
    opts.roi = vx.ROI(16, 16, 320, 240)
    before = snapshot(opts)
    args = (opts, vx.ROI(0, 0, 320, 240)) if takes_roi else (opts,)
    ok, suggested = getattr(cam, method)(*args)
    assert ok is True
    assert suggested is not opts
    assert snapshot(opts) == before
    assert snapshot(suggested) != before  # the SDK did suggest something


@pytest.mark.parametrize("method", AUTO_WITH_ROI)
def test_automatic_settings_start_from_the_defaults(sim, model, method):
    # Failing without writing, the call returns its starting record: the
    # default options, the same on every call.
    for _ in range(2):
        sim.fail_next(model.op(method))
        ok, returned = getattr(model.cls(), method)()
        assert ok is False
        assert snapshot(returned) == snapshot(model.options())


@pytest.mark.parametrize("method", AUTO_WITH_ROI)
def test_automatic_settings_defaults_never_change(cam, method):
    first = getattr(cam, method)()
    second = getattr(cam, method)()
    assert first[0] and second[0]
    assert snapshot(first[1]) == snapshot(second[1])


@pytest.mark.parametrize("method,takes_roi", AUTO)
def test_automatic_settings_return_the_copy_on_failure(sim, model, cam, method, takes_roi):
    opts = model.options()
    opts.exposure_time_3d = 33
    setattr(opts, model.own_field, 7)
    sim.fail_next(model.op(method))
    args = (opts, vx.ROI()) if takes_roi else (opts,)
    ok, returned = getattr(cam, method)(*args)
    assert ok is False and returned is not opts
    assert snapshot(returned) == snapshot(opts)


# ---------------------------------------------------------------------------
# Custom transformation

PERMUTE = np.array([[0, 0, 1, 0],    # x' = z
                    [1, 0, 0, 0],    # y' = x
                    [0, 1, 0, 0],    # z' = y
                    [0, 0, 0, 1]], dtype=np.float64)


@pytest.mark.parametrize("matrix", [
    PERMUTE,
    PERMUTE.astype(np.int32),
    PERMUTE.astype(np.float32),
    PERMUTE.ravel(),
    PERMUTE.ravel().astype(np.int64),
    np.asfortranarray(PERMUTE),
    np.kron(PERMUTE, np.ones((2, 2)))[::2, ::2],  # strided, not contiguous
    PERMUTE.tolist(),
], ids=["float64", "int32", "float32", "flat", "flat-int", "fortran", "strided", "list"])
def test_set_transform_forms_reach_the_sdk_in_rows(sim, model, cam, matrix):
    t = model.transform()
    t.coordinate_select = model.camera_coordinate
    t.SetTransform(matrix)
    assert t.coordinate_select == model.camera_coordinate
    ok, lines = traced(sim, lambda: cam.SetCustomTransformation(t))
    assert ok
    (line,) = calls(lines, model.op("SetCustomTransformation"))
    sent = [float(v) for v in arg(line, "transform").strip('"').split()]
    assert sent == PERMUTE.ravel().tolist()  # row-major, whatever the array's layout
    ok, back = cam.GetCustomTransformation()
    assert ok and back.coordinate_select == model.camera_coordinate


def test_set_transform_rows_move_the_points(model, cam):
    plain_opts = model.options()
    assert cam.Capture(plain_opts)
    before = np.asarray(cam.GetPointMap()).copy()

    t = model.transform()
    t.coordinate_select = model.camera_coordinate
    t.SetTransform(PERMUTE)
    assert cam.SetCustomTransformation(t)

    assert cam.Capture(plain_opts)
    moved = np.asarray(cam.GetPointMap())
    both = np.isfinite(before[..., 0]) & np.isfinite(moved[..., 0])
    assert both.sum() > 1000
    # Rows in order: x' = z, y' = x, z' = y (up to the capture noise); the
    # transposed matrix would give (y, z, x).
    error = np.abs(moved[both] - before[both][:, [2, 0, 1]])
    transposed = np.abs(moved[both] - before[both][:, [1, 2, 0]])
    assert np.median(error) < 1e-3
    assert np.median(transposed) > 0.05


def test_transform_record_round_trips_through_the_camera(model, cam):
    # The matrix is not readable from Python; a record read back from the
    # camera must carry it unchanged to a second camera call.
    t = model.transform()
    t.coordinate_select = model.camera_coordinate
    t.SetTransform(PERMUTE)
    assert cam.SetCustomTransformation(t)
    ok, back = cam.GetCustomTransformation()
    assert ok
    assert cam.SetCustomTransformation(back)
    assert cam.Capture(model.options())
    z_after = np.asarray(cam.GetPointMap())[..., 0]  # x' = z
    assert np.nanmin(z_after) > 0.05


# ---------------------------------------------------------------------------
# User sets and paths


@pytest.mark.parametrize("name", ["line A", "Prüfstand 3", "Prüfstand 3 — Nacht", "x" * 63,
                                  "é" * 31 + "x", ""])
def test_user_set_name_round_trip(cam, name):
    assert cam.SetUserSetName(2, name) is True
    assert cam.GetUserSetName(2) == (True, name)


@pytest.mark.parametrize("name", ["x" * 64, "y" * 64, "é" * 32, "y" * 500])
def test_user_set_name_that_does_not_fit_is_refused(vyx, cam, name):
    assert cam.SetUserSetName(3, "kept")
    assert cam.SetUserSetName(3, name) is False
    assert vyx.GetLastError() != 0
    assert cam.GetUserSetName(3) == (True, "kept")


def test_user_set_name_that_is_not_utf8_is_refused(vyx, cam):
    # Names are saved in settings files as text.
    assert cam.SetUserSetName(4, b"caf\xe9") is False
    assert vyx.GetLastError() == 3
    assert cam.GetUserSetName(4)[0] is True


def test_current_user_set(cam):
    assert cam.SetCurrentUserSet(1) is True
    assert cam.GetCurrentUserSet() == (True, 1)
    assert cam.SetCurrentUserSet(-1) is False


@pytest.mark.parametrize("call", [
    lambda c: c.SaveEncodedImagesData(None),
    lambda c: c.LoadSettingFromFile(None),
    lambda c: c.SaveSettingToFile(None),
    lambda c: c.SetUserSetName(1, None),
], ids=["SaveEncodedImagesData", "LoadSettingFromFile", "SaveSettingToFile", "SetUserSetName"])
def test_null_texts_fail_cleanly(vyx, cam, call):
    assert cam.Capture()
    assert call(cam) is False
    assert vyx.GetLastError() != 0
    assert "null" in vyx.GetLastErrorMessage()
    assert cam.GetUserSetName(1)[0] is True


def test_settings_file_round_trip(cam, tmp_path):
    path = tmp_path / "settings.json"
    assert cam.SetUserSetName(5, "saved")
    assert cam.SaveSettingToFile(str(path))
    assert cam.SetUserSetName(5, "changed")
    assert cam.LoadSettingFromFile(str(path))
    assert cam.GetUserSetName(5) == (True, "saved")
