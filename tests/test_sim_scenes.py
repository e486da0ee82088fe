"""The stand-in's scenes and configurations through vyxsim: the built-in
configuration and default scenes as JSON that give back the very same
captures, scenes checked when they are loaded (whichever way), and a scene
set on a device that is there.
"""
import json
import re

import numpy as np
import pytest

from conftest import HAVE_STANDIN, NO_STANDIN

pytestmark = pytest.mark.skipif(not HAVE_STANDIN, reason=NO_STANDIN)

DEFAULT_SERIALS = ["VX1300001", "VX2300002"]
# The third object has a misspelt key.
TYPO_SCENE = {"objects": [
    {"type": "plane", "name": "table", "pose": {"position": [0, 0, 0.7]}},
    {"type": "box", "size": [0.05, 0.05, 0.05], "pose": {"position": [0, 0, 0.65]}},
    {"type": "sphere", "center": [0.1, 0, 0.6], "sise": 0.02},
]}
TYPO_PLACE = "scene.objects[2].sise: unknown key (known: type, name, center, pose, radius, albedo)"
SMALL = {"name": "Small", "serial": "SMALL-1", "port": "USB", "resolution": [160, 128],
         "working_distance_mm": [300, 900]}


def wall(z):
    return {"objects": [{"type": "plane", "pose": {"position": [0, 0, z]}}]}


def capture(vx, serial):
    """The point map, depth and confidence of one X1 capture (left camera)."""
    assert vx.SystemInit()
    cam = vx.X1.Create(vx.SystemFindDevice(serial), vx.CameraID_Left)
    try:
        assert cam.Open() and cam.Capture(), vx.GetLastErrorMessage()
        return [np.array(m) for m in (cam.GetPointMap(), cam.GetDepthMap(), cam.GetConfidenceMap())]
    finally:
        cam.Close()
        vx.X1.Destroy(cam)
        vx.SystemShutdown()


def assert_same_bits(a, b):
    for x, y in zip(a, b):
        assert x.dtype == y.dtype and x.shape == y.shape
        assert x.tobytes() == y.tobytes()


@pytest.fixture(scope="module")
def default_captures():
    """The first capture of each built-in device as it starts, after a reset."""
    import PyVyx as vx
    import vyxsim

    out = {}
    for serial in DEFAULT_SERIALS:
        vyxsim.reset()
        out[serial] = capture(vx, serial)
    vyxsim.reset()
    return out


def test_default_config_json_is_the_built_in_configuration(sim):
    config = json.loads(sim.default_config_json())
    assert [d["serial"] for d in config["devices"]] == DEFAULT_SERIALS
    assert all("scene" not in d for d in config["devices"])


@pytest.mark.parametrize("serial", DEFAULT_SERIALS)
def test_the_default_configuration_loaded_as_text_captures_the_same(sim, default_captures, serial):
    import PyVyx as vx

    sim.load_config_text(sim.default_config_json())
    assert sim.serials() == DEFAULT_SERIALS
    assert_same_bits(capture(vx, serial), default_captures[serial])


@pytest.mark.parametrize("serial, asked", [("VX1300001", None), ("VX1300001", "VX1300001"),
                                           ("VX2300002", "VX2300002")])
@pytest.mark.parametrize("given_by", ["configuration", "set_scene"])
def test_the_default_scene_given_back_captures_the_same(sim, default_captures, serial, asked,
                                                        given_by):
    import PyVyx as vx

    # Through Python's own JSON reader and writer, as a test that edits it.
    scene = json.loads(sim.default_scene_json(asked))
    if given_by == "configuration":
        config = json.loads(sim.default_config_json())
        for device in config["devices"]:
            if device["serial"] == serial:
                device["scene"] = scene
        sim.load_config_text(json.dumps(config))
    else:
        assert sim.set_scene(serial, json.dumps(scene))
    assert_same_bits(capture(vx, serial), default_captures[serial])


def test_default_scenes_are_the_devices_own(sim):
    usb, gige = (json.loads(sim.default_scene_json(s)) for s in DEFAULT_SERIALS)
    assert json.loads(sim.default_scene_json()) == usb
    assert usb != gige
    names = [o.get("name") for o in usb["objects"]]
    assert {"table", "box_a", "box_b", "sphere", "cylinder"} <= set(names)
    # Of the configured device: after a new configuration, its own optics.
    sim.load_config_text(json.dumps({"devices": [SMALL]}))
    small = json.loads(sim.default_scene_json("SMALL-1"))
    assert small != usb
    assert json.loads(sim.default_scene_json()) == usb      # None: the built-in VX1300001 still
    with pytest.raises(ValueError, match="^default_scene_json: no configured device has serial "
                                         "number 'VX1300001'$"):
        sim.default_scene_json("VX1300001")


def scene_config(scene):
    return {"devices": [dict(SMALL, scene=scene)]}


@pytest.mark.parametrize("route", ["load_config_text", "load_config", "add_device", "VYX_SIM_CONFIG"])
def test_a_bad_scene_is_refused_when_loaded(sim, tmp_path, monkeypatch, route):
    import PyVyx as vx

    path = tmp_path / "cell.json"
    path.write_text(json.dumps(scene_config(TYPO_SCENE)))
    if route == "VYX_SIM_CONFIG":
        monkeypatch.setenv("VYX_SIM_CONFIG", str(path))
        sim.reset()
        assert sim.serials() == []
        assert not vx.SystemInit()
        assert vx.GetLastError() == 9
        assert vx.GetLastErrorMessage() == (f"SystemInit: configuration file '{path}' (VYX_SIM_CONFIG): "
                                            f"devices[0].{TYPO_PLACE}")
        return
    expected = {
        "load_config_text": f"configuration text: devices[0].{TYPO_PLACE}",
        "load_config": f"configuration file '{path}': devices[0].{TYPO_PLACE}",
        "add_device": f"device description: {TYPO_PLACE}",
    }[route]
    argument = {
        "load_config_text": json.dumps(scene_config(TYPO_SCENE)),
        "load_config": str(path),
        "add_device": json.dumps(dict(SMALL, scene=TYPO_SCENE)),
    }[route]
    with pytest.raises(ValueError) as refused:
        getattr(sim, route)(argument)
    assert str(refused.value) == expected
    assert sim.serials() == DEFAULT_SERIALS                  # nothing changed


@pytest.mark.parametrize("scene, place", [
    ({"objects": [{"type": "cone"}]}, "scene.objects[0].type: unknown type 'cone'"),
    ({"objects": [{"type": "sphere", "radius": -1}]}, "scene.objects[0].radius: -1 is out of range"),
    ({"ambient": 1}, "scene: needs 'objects', an array"),
    ({"objects": [{"type": "board", "grid": {"spacing": 0.01, "circle_radius": 0.006}}]},
     "scene.objects[0].grid.circle_radius: must be less than half the spacing"),
])
def test_every_kind_of_scene_mistake_is_caught_at_load(sim, scene, place):
    with pytest.raises(ValueError, match="^" + re.escape("configuration text: devices[0]." + place)):
        sim.load_config_text(json.dumps(scene_config(scene)))
    assert sim.serials() == DEFAULT_SERIALS


def test_set_scene_changes_what_an_open_camera_sees(sim, vyx):
    sim.load_config_text(json.dumps(scene_config(wall(0.5))))
    cam = vyx.X1.Create(vyx.SystemFindDevice("SMALL-1"), vyx.CameraID_Left)
    assert cam.Open()

    def median_z():
        assert cam.Capture()
        return float(np.nanmedian(np.asarray(cam.GetPointMap())[..., 2]))

    assert median_z() == pytest.approx(0.5, abs=2e-3)
    assert sim.set_scene("SMALL-1", json.dumps(wall(0.7))) is True
    assert median_z() == pytest.approx(0.7, abs=2e-3)
    # A refused scene changes nothing.
    with pytest.raises(ValueError, match=r"^scene for device 'SMALL-1': scene\.objects\[2\]\.sise: unknown key"):
        sim.set_scene("SMALL-1", json.dumps(TYPO_SCENE))
    with pytest.raises(ValueError, match=r"^scene for device 'SMALL-1': invalid JSON: "):
        sim.set_scene("SMALL-1", '{"objects": [')
    assert median_z() == pytest.approx(0.7, abs=2e-3)
    # None: the configured scene again.
    assert sim.set_scene("SMALL-1", None) is True
    assert median_z() == pytest.approx(0.5, abs=2e-3)
    cam.Close()
    vyx.X1.Destroy(cam)


def test_set_scene_on_a_device_that_is_not_there(sim):
    assert sim.set_scene("NOPE", json.dumps(wall(0.5))) is False
    # An unplugged device is still configured and takes it.
    assert sim.unplug("VX1300001")
    assert sim.set_scene("VX1300001", json.dumps(wall(0.5))) is True
    with pytest.raises(TypeError):
        sim.set_scene("VX1300001", wall(0.5))


def test_a_set_scene_lasts_until_reset(sim, default_captures):
    import PyVyx as vx

    assert sim.set_scene("VX1300001", json.dumps(wall(0.7)))
    sim.reset()
    assert_same_bits(capture(vx, "VX1300001"), default_captures["VX1300001"])
