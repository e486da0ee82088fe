"""Inputs the SDK would misread are refused: text with a NUL byte inside,
JSON nested without bound or with numbers no double holds, settings files
whose values their setters would refuse, user-set names that are not UTF-8.
Validity checks leave the last error alone."""
import copy
import json

import pytest

import PyVyx as vx
from conftest import HAVE_STANDIN, NO_STANDIN

pytestmark = pytest.mark.skipif(not HAVE_STANDIN, reason=NO_STANDIN)

SERIAL = "SMALL-1"


@pytest.fixture
def vyx(sim):
    """The system initialised with one small device, for quick captures."""
    sim.load_config_text(json.dumps({"devices": [
        {"name": "Small", "serial": SERIAL, "port": "GigE", "resolution": [160, 128]}]}))
    assert vx.SystemInit()
    yield vx
    vx.SystemShutdown()


@pytest.fixture
def cam(vyx):
    camera = vx.X1.Create(vx.SystemFindDevice(SERIAL), vx.CameraID_Left)
    assert camera.Open(), vx.GetLastErrorMessage()
    yield camera
    vx.X1.Destroy(camera)


# Every call that hands a text to the SDK, with the text at `t`.
TEXT_CALLS = {
    "SystemFindDevice": lambda c, d, t: vx.SystemFindDevice(t),
    "Image.CreateFromFile": lambda c, d, t: vx.Image.CreateFromFile(t),
    "Image.SaveImage": lambda c, d, t: c.GetImage().SaveImage(t),
    "PointMap.CreateFromFile": lambda c, d, t: vx.PointMap.CreateFromFile(t, vx.Size(4, 4), vx.Millimeter),
    "PointMap.Save": lambda c, d, t: c.GetPointMap().Save(t),
    "PointMap.SaveWithImage": lambda c, d, t: c.GetPointMap().SaveWithImage(t, c.GetImage()),
    "DepthMap.SaveDepthMap": lambda c, d, t: c.GetDepthMap().SaveDepthMap(t, True),
    "Mesh.Save": lambda c, d, t: c.GetMesh().Save(t, vx.Millimeter),
    "X1.SaveEncodedImagesData": lambda c, d, t: c.SaveEncodedImagesData(t),
    "X1.SaveSettingToFile": lambda c, d, t: c.SaveSettingToFile(t),
    "X1.LoadSettingFromFile": lambda c, d, t: c.LoadSettingFromFile(t),
    "X1.SetUserSetName": lambda c, d, t: c.SetUserSetName(0, t),
    "Device.SetNetworkConfig ip": lambda c, d, t: d.SetNetworkConfig(
        vx.NetworkDevice_LightMachine, vx.NetworkType_STATIC, t, "255.255.255.0", "192.168.1.1"),
    "Device.SetNetworkConfig mask": lambda c, d, t: d.SetNetworkConfig(
        vx.NetworkDevice_LightMachine, vx.NetworkType_STATIC, "192.168.1.20", t, "192.168.1.1"),
    "Device.SetNetworkConfig gateway": lambda c, d, t: d.SetNetworkConfig(
        vx.NetworkDevice_LightMachine, vx.NetworkType_STATIC, "192.168.1.20", "255.255.255.0", t),
}


@pytest.mark.parametrize("as_bytes", [False, True], ids=["str", "bytes"])
@pytest.mark.parametrize("call", TEXT_CALLS)
def test_text_with_a_nul_byte_inside_raises_value_error(sim, cam, tmp_path, call, as_bytes):
    assert cam.Capture(vx.X1_CaptureOptions()), vx.GetLastErrorMessage()
    text = str(tmp_path / "a.png") + "\0.bmp"
    if call.startswith(("SystemFindDevice", "X1.SetUserSetName")):
        text = SERIAL + "\0x"
    elif call.startswith("Device.SetNetworkConfig"):
        text = "192.168.1.20\0junk"
    elif "Mesh" in call or "PointMap" in call:
        text = str(tmp_path / "a.ply") + "\0.pcd"
    elif "DepthMap" in call:
        text = str(tmp_path / "a.tif") + "\0.png"
    device = vx.SystemFindDevice(SERIAL)
    network_before = device.GetNetworkConfig(vx.NetworkDevice_LightMachine)
    sim.trace_enable(True)
    with pytest.raises(ValueError, match="embedded null byte"):
        TEXT_CALLS[call](cam, device, text.encode() if as_bytes else text)
    traced = sim.trace()
    # Refused before the SDK saw it: nothing written, nothing changed, no SDK call made.
    assert list(tmp_path.iterdir()) == []
    assert device.GetNetworkConfig(vx.NetworkDevice_LightMachine) == network_before
    assert cam.GetUserSetName(0) != (True, SERIAL)
    # The refused call never reached the SDK: the only lines traced are
    # those of the calls that built its other arguments.
    reached = {line.split("(")[0] for line in traced}
    assert not reached & {"SystemFindDevice", "Image::CreateFromFile", "Image::SaveImage",
                          "PointMap::CreateFromFile", "PointMap::Save", "DepthMap::SaveDepthMap",
                          "Mesh::Save", "X1::SaveEncodedImagesData", "X1::SaveSettingToFile",
                          "X1::LoadSettingFromFile", "X1::SetUserSetName", "Device::SetNetworkConfig"}


def test_text_arguments_still_take_none_as_a_null_pointer(vyx):
    assert not vx.Image.CreateFromFile(None).IsValid()
    assert vx.GetLastError() == 3  # kInvalidArgument: a null path


def test_the_control_module_refuses_a_path_with_a_nul_byte(sim, tmp_path):
    good = tmp_path / "devices.json"
    good.write_text(json.dumps({"devices": []}))
    with pytest.raises(ValueError, match="NUL byte"):
        sim.load_config(str(good) + "\0.other")


def nested(depth):
    return "[" * depth + "]" * depth


def device_with_scene(scene_text):
    return ('{"devices": [{"name": "Deep", "serial": "DEEP-1", "port": "USB", "scene": '
            + scene_text + "}]}")


@pytest.mark.parametrize("text, says", [
    (nested(100_000), "nested more than 128 levels deep"),
    ('{"devices": ' + nested(129) + "}", "nested more than 128 levels deep"),
    (device_with_scene('{"objects": ' + '{"a": ' * 100_000 + "1" + "}" * 100_000 + "}"),
     "nested more than 128 levels deep"),
    ('{"devices": [{"name": "A", "serial": "S", "port": "USB", "baseline_mm": 1e999}]}',
     "number overflow parsing '1e999'"),
    ('{"devices": [{"name": "A", "serial": "S", "port": "USB", "baseline_mm": -1e999}]}',
     "number overflow"),
])
@pytest.mark.parametrize("load", ["load_config_text", "add_device", "load_config"])
def test_json_beyond_what_a_document_may_hold_is_refused_as_invalid(sim, tmp_path, text, says, load):
    before = sim.serials()
    # add_device takes one device; the document is refused before its shape matters.
    if load == "load_config":
        path = tmp_path / "devices.json"
        path.write_text(text)
        text = str(path)
    with pytest.raises(ValueError, match=says):
        getattr(sim, load)(text)
    assert sim.serials() == before


def test_nesting_within_the_bound_still_loads(sim):
    # 128 levels are fine, and brackets inside strings do not count.
    sim.load_config_text('{"devices": [], "comment": ' + nested(127) + "}")
    sim.load_config_text('{"devices": [], "comment": "' + "[" * 1000 + '\\"' + "{" * 1000 + '"}')
    assert sim.serials() == []


@pytest.fixture
def saved_settings(cam, tmp_path):
    path = tmp_path / "settings.json"
    assert cam.SaveSettingToFile(str(path)), vx.GetLastErrorMessage()
    return json.loads(path.read_text())


SINGULAR = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1]
ROTATED = [0, -1, 0, 10, 1, 0, 0, 20, 0, 0, 1, 30, 0, 0, 0, 1]


def x1_options(s):
    return s["user_sets"][0]["x1_capture_options"]


def x2_options(s):
    return s["user_sets"][0]["x2_capture_options"]


def first_number_field(options):
    return next(k for k, v in options.items() if isinstance(v, (int, float)) and not isinstance(v, bool))


# A settings file changed in one place, and the setter that refuses the same value.
BAD_SETTINGS = {
    "singular X1 transformation": (
        lambda s: s["x1_custom_transform"].update(coordinate_select=1, transform=SINGULAR),
        "x1_custom_transform: the transform's 3 x 3 part is singular"),
    "singular X2 transformation": (
        lambda s: s["x2_custom_transform"].update(coordinate_select=1, transform=SINGULAR),
        "x2_custom_transform: the transform's 3 x 3 part is singular"),
    "X2 transformation to an extra camera the device lacks": (
        lambda s: s["x2_custom_transform"].update(coordinate_select=4, transform=ROTATED),
        "the device has no extra camera"),
    "X2 options out of range": (
        lambda s: x2_options(s).update(transform_to_camera=3),
        "x2_capture_options: transform_to_camera = 3"),
    "user-set name with a NUL byte": (
        lambda s: s["user_sets"][0].update(name="a\0b"), "name"),
}


@pytest.mark.parametrize("case", BAD_SETTINGS)
def test_a_settings_file_is_checked_as_the_setters_check(cam, saved_settings, tmp_path, case):
    change, says = BAD_SETTINGS[case]
    settings = copy.deepcopy(saved_settings)
    change(settings)
    path = tmp_path / "bad.json"
    path.write_text(json.dumps(settings))
    assert cam.LoadSettingFromFile(str(path)) is False
    assert vx.GetLastError() == 9  # kBadFile
    assert says in vx.GetLastErrorMessage()
    # Nothing of the refused file was taken over; a capture still gives points.
    after = tmp_path / "after.json"
    assert cam.SaveSettingToFile(str(after)), vx.GetLastErrorMessage()
    assert json.loads(after.read_text()) == saved_settings
    assert cam.Capture(vx.X1_CaptureOptions()), vx.GetLastErrorMessage()
    assert cam.GetPointMap().IsValid()


def test_a_usable_transformation_still_loads(cam, saved_settings, tmp_path):
    settings = copy.deepcopy(saved_settings)
    settings["x1_custom_transform"].update(coordinate_select=1, transform=ROTATED)
    # A disabled transformation is stored as given, singular or not, as its setter does.
    settings["x2_custom_transform"].update(coordinate_select=0)
    path = tmp_path / "good.json"
    path.write_text(json.dumps(settings))
    assert cam.LoadSettingFromFile(str(path)), vx.GetLastErrorMessage()
    ok, loaded = cam.GetCustomTransformation()
    assert ok and loaded.coordinate_select == 1
    after = tmp_path / "after.json"
    assert cam.SaveSettingToFile(str(after)), vx.GetLastErrorMessage()
    assert json.loads(after.read_text())["x1_custom_transform"]["transform"] == ROTATED


@pytest.mark.parametrize("name", [b"\xff\xfe", b"caf\xe9", b"\xc0\xaf", b"\xed\xa0\x80"],
                         ids=["not-utf8", "latin1", "overlong", "surrogate"])
def test_a_user_set_name_that_is_not_utf8_is_refused(cam, tmp_path, name):
    assert cam.SetUserSetName(1, "kept")
    assert cam.SetUserSetName(1, name) is False
    assert vx.GetLastError() == 3 and "not valid UTF-8" in vx.GetLastErrorMessage()
    assert cam.GetUserSetName(1) == (True, "kept")
    assert cam.SaveSettingToFile(str(tmp_path / "s.json")), vx.GetLastErrorMessage()


def test_a_utf8_user_set_name_round_trips_through_a_settings_file(cam, tmp_path):
    assert cam.SetUserSetName(2, "Größe ✓")
    path = tmp_path / "s.json"
    assert cam.SaveSettingToFile(str(path)), vx.GetLastErrorMessage()
    assert cam.SetUserSetName(2, "other")
    assert cam.LoadSettingFromFile(str(path)), vx.GetLastErrorMessage()
    assert cam.GetUserSetName(2) == (True, "Größe ✓")


def test_validity_checks_leave_the_last_error_alone(sim, vyx, cam):
    device = vx.SystemFindDevice(SERIAL)
    assert cam.Capture2D(vx.X1_CaptureOptions()), vx.GetLastErrorMessage()
    image = cam.GetImage().Clone()
    x1 = vx.X1.Create(device, vx.CameraID_Right)
    vx.Image.Destroy(image)
    vx.X1.Destroy(x1)
    sim.unplug(SERIAL)
    sim.replug(SERIAL)
    vx.SystemShutdown()
    assert vx.SystemInit()
    stale = [device, image, x1]
    assert not vx.SystemFindDevice("NO-SUCH-DEVICE").IsValid()
    code, message = vx.GetLastError(), vx.GetLastErrorMessage()
    assert code == 4
    for handle in stale:
        assert handle.IsValid() is False
        assert (vx.GetLastError(), vx.GetLastErrorMessage()) == (code, message), type(handle).__name__
