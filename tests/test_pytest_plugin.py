"""The package's pytest plugin (vyxsim_pytest): each fixture used by small
test files run in a pytest of their own, as a user's suite runs, what the
plugin leaves alone when no fixture is asked for, the skip without the
stand-in, and the messages of the trace assertions.
"""
import os
import textwrap

import pytest

from conftest import HAVE_STANDIN, PLUGIN_ARGS

pytest_plugins = ["pytester"]

# The child runs in another folder: a module path relative to the folder the
# tests started in (PYTHONPATH=build/python) is made absolute while that is
# still the working folder.
MODULE_PATH = os.pathsep.join(os.path.abspath(p) for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p)

needs_standin = pytest.mark.skipif(not HAVE_STANDIN, reason="the fixtures skip without the stand-in")

# A small camera looking at a wall: quick captures whose depth is known.
SMALL = {"name": "Small wall camera", "serial": "SMALL-1", "port": "USB",
         "resolution": [160, 128], "working_distance_mm": [300, 900]}


def wall(z):
    return {"objects": [{"type": "plane", "name": "wall", "pose": {"position": [0, 0, z]}}]}


@pytest.fixture
def run(pytester, monkeypatch):
    """Writes a test file and runs pytest on it in a child process, with the
    plugin loaded as the environment loads it."""
    for name in ("VYX_SIM_CONFIG", "VYX_SIM_SEED", "VYX_TRACE"):
        monkeypatch.delenv(name, raising=False)
    if MODULE_PATH:
        monkeypatch.setenv("PYTHONPATH", MODULE_PATH)

    def run_file(source, *args, **outcomes):
        """Runs `source` (pytest imported before it); with `outcomes`, checks
        that the run ended so (passed=2, failed=1, ...)."""
        pytester.makepyfile(test_user="import pytest\n" + textwrap.dedent(source))
        result = pytester.runpytest_subprocess(*PLUGIN_ARGS, "-p", "no:cacheprovider", "-rs", *args)
        if outcomes:
            result.assert_outcomes(**outcomes)
        return result

    return run_file


def test_an_unused_plugin_imports_and_runs_nothing(run):
    run("""
        import sys

        def test_plain(request):
            # The plugin is loaded, and asked for nothing.
            assert "vyxsim_pytest.plugin" in sys.modules
            assert request.config.pluginmanager.is_registered(sys.modules["vyxsim_pytest.plugin"])
            assert request.fixturenames == ["request"]
            assert "PyVyx" not in sys.modules and "vyxsim" not in sys.modules
    """, passed=1)


def test_the_fixtures_are_listed_with_their_help(run):
    result = run("def test_nothing(): pass\n", "--fixtures")
    assert result.ret == 0
    for name in ("vyx_sim", "vyx_system", "vyx_x1", "vyx_x2", "vyx_open_x1", "vyx_open_x2",
                 "vyx_scene", "vyx_config", "vyx_replay", "vyx_fail", "vyx_trace"):
        result.stdout.fnmatch_lines([f"{name} -- *vyxsim_pytest*plugin.py*"])
    result.stdout.fnmatch_lines(["*An open ``PyVyx.X1`` on the built-in device ``VX1300001``*"])


def test_without_the_stand_in_every_fixture_skips_with_the_reason(run):
    # A build without the stand-in has no vyxsim; here its import is made to fail.
    hide = "" if not HAVE_STANDIN else 'sys.modules["vyxsim"] = None\n'
    fixtures = ["vyx_sim", "vyx_system", "vyx_x1", "vyx_x2", "vyx_open_x1", "vyx_open_x2",
                "vyx_scene", "vyx_config", "vyx_replay", "vyx_fail", "vyx_trace"]
    result = run("import sys\n" + hide + "import pytest\n\n"
                 "@pytest.mark.parametrize('name', %r)\n"
                 "def test_fixture(request, name):\n"
                 "    request.getfixturevalue(name)\n"
                 "    assert False, 'not skipped'\n" % fixtures)
    result.assert_outcomes(skipped=len(fixtures))
    result.stdout.fnmatch_lines(["*vyx_* fixtures need the stand-in SDK's virtual devices*"])


@needs_standin
def test_system_sim_and_cameras(run):
    run("""
        import PyVyx as vx
        import vyxsim

        @pytest.fixture
        def teardown_calls(vyx_sim):
            # Set up before the cameras: its teardown sees theirs in the trace.
            vyx_sim.trace_enable()
            yield
            ops = [line.split("(")[0] for line in vyx_sim.trace()]
            ops = [op for op in ops if op.endswith(("::Close", "::Destroy")) or op == "SystemShutdown"]
            assert ops == ["X2::Close", "X2::Destroy", "X1::Close", "X1::Destroy", "SystemShutdown"], ops

        def test_changes_state(vyx_system, vyx_sim):
            assert vyx_system is vx and vyx_sim is vyxsim
            assert vx.SystemIsInited()
            assert vyx_sim.serials() == ["VX1300001", "VX2300002"]
            vyx_sim.clock_manual()
            vyx_sim.fail_next("SystemFindDevice", 5)
            vyx_sim.set_capture_latency_ms(5000)
            vyx_sim.unplug("VX2300002")

        def test_state_is_back_after_the_test():
            # No fixture here: what the last test left is what its teardown did.
            assert not vx.SystemIsInited()
            assert not vyxsim.clock_is_manual()
            assert vyxsim.live_objects() == 0
            vx.SystemInit()
            assert vx.SystemFindDevice("VX2300002").IsValid()
            vx.SystemShutdown()

        def test_default_cameras(teardown_calls, vyx_x1, vyx_x2, vyx_sim):
            assert isinstance(vyx_x1, vx.X1) and isinstance(vyx_x2, vx.X2)
            assert vyx_x1.IsOpen() and vyx_x2.IsOpen()
            assert vyx_x1.GetCameraResolution()[1].width == 1280
            # Each is on its device: unplugging one closes it alone.
            vyx_sim.unplug("VX2300002")
            assert vyx_x1.IsOpen() and not vyx_x2.IsOpen()

        def test_openers(vyx_open_x1, vyx_open_x2, vyx_sim):
            right = vyx_open_x1("VX2300002", vx.CameraID_Right)
            assert right.IsOpen() and vyx_open_x1().IsOpen()
            # A device opens once at a time.
            with pytest.raises(RuntimeError, match=r"^vyx_open_x2: cannot open 'VX2300002': .*already open.*\\(error 11\\)$"):
                vyx_open_x2()
            right.Close()
            assert vyx_open_x2().IsOpen()
            with pytest.raises(RuntimeError, match=r"vyx_open_x1: no device 'NOPE' to open: .*'NOPE'"):
                vyx_open_x1("NOPE")
            vyx_sim.unplug("VX2300002")
            with pytest.raises(RuntimeError, match=r"vyx_open_x2: no device 'VX2300002' to open: .*\\(error 6\\)"):
                vyx_open_x2()
    """, passed=4)


@needs_standin
def test_scene_and_config(run):
    run(f"""
        import json
        import numpy as np
        import vyxsim

        SMALL = {SMALL!r}

        def median_z(cam):
            assert cam.Capture()
            return float(np.nanmedian(np.asarray(cam.GetPointMap())[..., 2]))

        def test_config_then_scenes(vyx_config, vyx_scene, vyx_open_x1):
            assert vyx_config({{"devices": [SMALL]}}) == ["SMALL-1"]
            assert vyx_scene({wall(0.5)!r}, "SMALL-1") == "SMALL-1"
            cam = vyx_open_x1("SMALL-1")
            assert abs(median_z(cam) - 0.5) < 2e-3
            vyx_scene(json.dumps({wall(0.7)!r}), serial="SMALL-1")   # JSON text too
            assert abs(median_z(cam) - 0.7) < 2e-3

        def test_default_device_and_mistakes(vyx_scene, vyx_sim):
            assert vyx_scene({wall(0.6)!r}) == "VX1300001"
            bad = {{"objects": [{{"type": "sphere", "radius": 0.1, "sise": 1}}]}}
            with pytest.raises(ValueError, match=r"^scene for device 'VX1300001': scene\\.objects\\[0\\]\\.sise: unknown key"):
                vyx_scene(bad)
            with pytest.raises(LookupError, match=r"no configured device has serial number 'NOPE' \\(configured: VX1300001, VX2300002\\)"):
                vyx_scene({wall(0.6)!r}, "NOPE")

        def test_config_mistakes(vyx_config):
            entry = dict(SMALL, scene={{"objects": [{{"type": "box", "size": [1, 1, 1], "colour": 1}}]}})
            with pytest.raises(ValueError, match=r"^configuration text: devices\\[0\\]\\.scene\\.objects\\[0\\]\\.colour: unknown key"):
                vyx_config({{"devices": [entry]}})
            assert vyxsim.serials() == ["VX1300001", "VX2300002"]
            assert vyx_config(vyxsim.default_config_json()) == ["VX1300001", "VX2300002"]

        def test_the_next_test_has_the_default_devices_and_scenes(vyx_sim):
            assert vyx_sim.serials() == ["VX1300001", "VX2300002"]
            assert len(json.loads(vyx_sim.default_scene_json("VX1300001"))["objects"]) > 1
    """, passed=4)


@needs_standin
def test_fail(run):
    run("""
        def test_failures_for_a_block(vyx_system, vyx_fail):
            vx = vyx_system
            with vyx_fail("SystemFindDevice"):
                assert not vx.SystemFindDevice("VX1300001").IsValid()
                assert vx.GetLastError() == 10
                assert vx.SystemFindDevice("VX1300001").IsValid()      # one call only
            # What is left of a count is withdrawn when the block ends.
            with vyx_fail("SystemFindDevice", count=3):
                assert not vx.SystemFindDevice("VX1300001").IsValid()
            assert vx.SystemFindDevice("VX1300001").IsValid()
            # Also when the block ends with an exception.
            with pytest.raises(KeyError):
                with vyx_fail("SystemFindDevice", count=3):
                    raise KeyError("out")
            assert vx.SystemFindDevice("VX1300001").IsValid()

        def test_outputs_written_before_the_failure(vyx_system, vyx_fail):
            device = vyx_system.SystemFindDevice("VX2300002")
            with vyx_fail("Device::GetDeviceInfo", write_outputs=True):
                ok, info = device.GetDeviceInfo()
            assert not ok and info.sn == "VX2300002"
            with vyx_fail("Device::GetDeviceInfo"):
                ok, info = device.GetDeviceInfo()
            assert not ok and info.sn == ""
    """, passed=2)


@needs_standin
def test_trace_helpers(run):
    result = run("""
        def test_helpers(vyx_system, vyx_trace):
            vx = vyx_system
            vx.SystemFindDevice("VX1300001")
            vx.SystemFindDevice("VX2300002")
            device = vx.SystemFindDevice("VX2300002")
            device.GetDeviceInfo()
            lines = vyx_trace.lines()
            assert lines[0] == 'SystemFindDevice(serialNumber="VX1300001")'
            assert vyx_trace.lines() == lines                      # kept, not taken
            assert len(vyx_trace.calls("SystemFindDevice")) == 3
            assert vyx_trace.calls('SystemFindDevice(serialNumber="VX2300002")') == lines[1:3]
            vyx_trace.assert_called("Device::GetDeviceInfo")
            vyx_trace.assert_called("SystemFindDevice", times=3)
            vyx_trace.assert_called("X1::Capture", times=0)
            vyx_trace.assert_not_called("X1::Capture")
            vyx_trace.assert_not_called("SystemFind")             # a whole name, not a prefix
            vyx_trace.assert_order("SystemFindDevice", "Device::GetDeviceInfo")
            vyx_trace.assert_order('SystemFindDevice(serialNumber="VX1300001")',
                                   'SystemFindDevice(serialNumber="VX2300002")',
                                   'SystemFindDevice(serialNumber="VX2300002")')
            vyx_trace.clear()
            assert vyx_trace.lines() == []
            vx.SystemFindDevice("VX1300001")
            assert vyx_trace.lines() == ['SystemFindDevice(serialNumber="VX1300001")']

        def test_failures_show_the_lines(vyx_system, vyx_trace):
            vx = vyx_system
            vx.SystemFindDevice("VX1300001")
            device = vx.SystemFindDevice("VX2300002")
            device.GetDeviceInfo()
            with pytest.raises(AssertionError) as e:
                vyx_trace.assert_called("SystemFindDevice", times=1)
            assert str(e.value) == (
                "SystemFindDevice was called 2 times, expected once:\\n"
                '    0: SystemFindDevice(serialNumber="VX1300001")\\n'
                '    1: SystemFindDevice(serialNumber="VX2300002")')
            with pytest.raises(AssertionError) as e:
                vyx_trace.assert_called("X1::Capture")
            assert str(e.value).startswith("X1::Capture was not called; the trace:\\n"
                                           '    0: SystemFindDevice(serialNumber="VX1300001")\\n')
            assert str(e.value).count("\\n") == 3
            with pytest.raises(AssertionError) as e:
                vyx_trace.assert_not_called("Device::GetDeviceInfo")
            assert vyx_trace.lines()[2].startswith("Device::GetDeviceInfo(device=#")
            assert str(e.value) == ("Device::GetDeviceInfo was called once, expected never:\\n"
                                    "    2: " + vyx_trace.lines()[2])
            with pytest.raises(AssertionError) as e:
                vyx_trace.assert_order("Device::GetDeviceInfo", "SystemFindDevice")
            assert str(e.value) == (
                "expected the calls in the order Device::GetDeviceInfo -> SystemFindDevice, "
                "but no SystemFindDevice came after line 2 (Device::GetDeviceInfo); "
                "the calls of these operations:\\n"
                '    0: SystemFindDevice(serialNumber="VX1300001")\\n'
                '    1: SystemFindDevice(serialNumber="VX2300002")\\n'
                "    2: " + vyx_trace.lines()[2])
            vyx_trace.clear()
            with pytest.raises(AssertionError) as e:
                vyx_trace.assert_called("X1::Capture", times=2)
            assert str(e.value) == ("X1::Capture was called 0 times, expected 2 times; the trace:\\n"
                                    "    (the trace is empty)")

        def test_a_long_trace_is_cut(vyx_system, vyx_trace):
            for _ in range(100):
                vyx_system.SystemFindDevice("VX1300001")
            with pytest.raises(AssertionError) as e:
                vyx_trace.assert_not_called("SystemFindDevice")
            shown = str(e.value).splitlines()
            assert shown[0] == "SystemFindDevice was called 100 times, expected never:"
            assert len(shown) == 1 + 41 and shown[21] == "    ... 60 lines more ..."
            assert shown[1].startswith("    0: ") and shown[-1].startswith("    99: ")

        def test_a_failing_assertion_as_pytest_reports_it(vyx_system, vyx_trace):
            vyx_system.SystemFindDevice("VX1300001")
            vyx_trace.assert_called("X1::Open")
    """, passed=3, failed=1)
    result.stdout.fnmatch_lines([
        "*AssertionError: X1::Open was not called; the trace:",
        '*    0: SystemFindDevice(serialNumber="VX1300001")',
    ])


RECORDING = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "examples", "testing",
                         "recordings", "three-boxes")


@needs_standin
def test_vyx_replay_adds_a_device_that_hands_out_the_recorded_frames(run):
    run(f"""
        import json
        import numpy as np
        import PyVyx as vx

        FOLDER = {RECORDING!r}

        def recorded_depth(i):
            manifest = json.load(open(FOLDER + "/manifest.json"))
            return np.load(FOLDER + "/" + manifest["frames"][i]["files"]["depth"])

        def test_frames_in_order(vyx_system, vyx_sim, vyx_replay):
            serial = vyx_replay(FOLDER, at_end="hold", serial="REC-A")
            assert serial == "REC-A" and vyx_sim.replay_info(serial)["frames"] == 3
            cam = vx.X1.Create(vx.SystemFindDevice(serial), vx.CameraID_Left)
            assert cam.Open(), vx.GetLastErrorMessage()
            for i in (0, 1, 2, 2):  # "hold" repeats the last frame
                assert cam.Capture(), vx.GetLastErrorMessage()
                assert np.array(cam.GetDepthMap()).tobytes() == recorded_depth(i).tobytes()
            cam.Close()
            vx.X1.Destroy(cam)

        def test_gone_after_the_test(vyx_sim):
            assert "REC-A" not in vyx_sim.serials()

        def test_the_recorded_serial_by_default(vyx_sim, vyx_replay):
            assert vyx_replay(FOLDER) == "BOXES-160"

        @pytest.mark.parametrize("entry, message", [
            (dict(folder=FOLDER + "/missing"), "manifest.json"),
            (dict(folder=FOLDER, at_end="rewind"), "at_end"),
            (dict(folder=FOLDER, serial="VX1300001"), "VX1300001"),
        ])
        def test_refused(vyx_sim, vyx_replay, entry, message):
            with pytest.raises(ValueError, match=message):
                vyx_replay(entry.pop("folder"), **entry)
    """, passed=6)
