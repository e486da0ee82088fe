"""Device handles, device information and network configuration."""
import pytest

import PyVyx

INFO_FIELDS = [
    "name", "sn", "factroydate", "port", "type", "cameraid", "boardmodel", "support_x2",
    "support_color", "workingdist_near_mm", "workingdist_far_mm", "support_x1",
    "support_capture_mode", "support_protective_cover", "support_extra",
]
DEVICE_METHODS = [
    "Destroy", "IsValid", "Print", "GetDeviceInfo", "IsFirmwareMatch", "SetNetworkConfig",
    "GetNetworkConfig", "AutoConfigureNetwork",
]
PARTS = ["NetworkDevice_LightMachine", "NetworkDevice_LeftCamera", "NetworkDevice_RightCamera"]


@pytest.fixture
def devices(vyx):
    status, listed = vyx.SystemListDevices(vyx.All)
    assert status == 0 and listed
    return listed


@pytest.fixture
def device(devices):
    return devices[0]


def zero_filled(info):
    return (
        info.name == info.sn == info.factroydate == info.port == ""
        and info.type == PyVyx.PortType_NONE and type(info.type) is PyVyx.PortType
        and info.cameraid == PyVyx.CameraID_NONE and type(info.cameraid) is PyVyx.CameraID
        and info.boardmodel == info.workingdist_near_mm == info.workingdist_far_mm == 0
        and info.support_color == PyVyx.ProjectorColor_None
        and type(info.support_capture_mode) is PyVyx.CaptureMode
        and int(info.support_capture_mode) == 0 and info.support_capture_mode.name == "???"
        and not (info.support_x1 or info.support_x2 or info.support_protective_cover
                 or info.support_extra)
    )


# --- classes ---------------------------------------------------------------


@pytest.mark.parametrize("cls", ["Device", "DeviceInfo"])
def test_no_constructor(cls):
    with pytest.raises(TypeError, match="No constructor defined!"):
        getattr(PyVyx, cls)()


def test_info_fields_in_registration_order():
    declared = [n for n, v in vars(PyVyx.DeviceInfo).items() if isinstance(v, property)]
    assert declared == INFO_FIELDS


def test_device_methods_in_registration_order():
    declared = [n for n in vars(PyVyx.Device) if not n.startswith("_")]
    assert declared == DEVICE_METHODS


@pytest.mark.parametrize(
    "method, signature",
    [
        ("Destroy", "Destroy(arg0: PyVyx.Device) -> None"),
        ("IsValid", "IsValid(self: PyVyx.Device) -> bool"),
        ("Print", "Print(self: PyVyx.Device) -> None"),
        ("GetDeviceInfo", "GetDeviceInfo(self: PyVyx.Device) -> Tuple[bool, PyVyx.DeviceInfo]"),
        ("IsFirmwareMatch", "IsFirmwareMatch(self: PyVyx.Device) -> bool"),
        ("SetNetworkConfig",
         "SetNetworkConfig(self: PyVyx.Device, arg0: PyVyx.NetworkDevice, "
         "arg1: PyVyx.NetworkType, arg2: str, arg3: str, arg4: str) -> bool"),
        ("GetNetworkConfig",
         "GetNetworkConfig(self: PyVyx.Device, arg0: PyVyx.NetworkDevice) -> "
         "Tuple[PyVyx.NetworkType, bytes, bytes, bytes, int]"),
        ("AutoConfigureNetwork", "AutoConfigureNetwork(self: PyVyx.Device) -> int"),
    ],
)
def test_method_signature_without_docstring(method, signature):
    assert getattr(PyVyx.Device, method).__doc__.strip() == signature


def test_factory_date_has_one_name_only(device):
    _, info = device.GetDeviceInfo()
    assert isinstance(info.factroydate, str)
    for other in ("factorydate", "factory_date"):
        assert not hasattr(info, other)


@pytest.mark.parametrize("field", INFO_FIELDS)
def test_info_fields_are_read_only(device, field):
    _, info = device.GetDeviceInfo()
    before = getattr(info, field)
    with pytest.raises(AttributeError):
        setattr(info, field, before)


def test_no_undeclared_attributes(device):
    _, info = device.GetDeviceInfo()
    for obj in (device, info):
        with pytest.raises(AttributeError):
            obj.note = "x"


# --- device information ------------------------------------------------------


def test_device_info_of_default_devices(devices, sim):
    serials = set(sim.serials())
    for device in devices:
        ok, info = device.GetDeviceInfo()
        assert ok is True
        assert info.sn in serials
        for text in ("name", "sn", "factroydate", "port"):
            assert isinstance(getattr(info, text), str) and getattr(info, text)
        assert type(info.type) is PyVyx.PortType
        assert info.type in (PyVyx.PortType_USB, PyVyx.PortType_GIGE)
        assert type(info.cameraid) is PyVyx.CameraID
        assert type(info.support_color) is PyVyx.ProjectorColor
        assert type(info.support_capture_mode) is PyVyx.CaptureMode
        for flag in ("support_x1", "support_x2", "support_protective_cover", "support_extra"):
            assert type(getattr(info, flag)) is bool
        assert info.support_x1 and info.support_x2
        assert 0 < info.workingdist_near_mm < info.workingdist_far_mm


def test_device_info_is_a_snapshot(device, sim):
    _, before = device.GetDeviceInfo()
    assert sim.script_device_name(before.sn, b"renamed")
    _, after = device.GetDeviceInfo()
    assert after.name == "renamed"
    assert before.name != "renamed"


@pytest.mark.parametrize("write_outputs", [False, True])
def test_failing_device_info(device, sim, write_outputs):
    _, real = device.GetDeviceInfo()
    sim.fail_next("Device::GetDeviceInfo", write_outputs=write_outputs)
    ok, info = device.GetDeviceInfo()
    assert ok is False
    if write_outputs:
        assert (info.sn, info.name, info.type) == (real.sn, real.name, real.type)
    else:
        assert zero_filled(info)


def test_device_info_of_released_handle(device):
    PyVyx.Device.Destroy(device)
    ok, info = device.GetDeviceInfo()
    assert ok is False and zero_filled(info)


@pytest.mark.parametrize(
    "raw",
    ["Kamera Größe".encode(), "相机-12".encode(), b"x" * 31, "é".encode() * 15 + b"z", b""],
)
def test_device_name_round_trip(device, sim, raw):
    _, info = device.GetDeviceInfo()
    assert sim.script_device_name(info.sn, raw)
    _, info = device.GetDeviceInfo()
    assert info.name == raw.decode()


@pytest.mark.parametrize("raw", [b"\xff\xfe", b"abc\x80", "é".encode()[:1], b"\xc3\xa9\xed\xa0\x80"])
def test_device_name_that_is_not_utf8_raises_on_read(device, sim, raw):
    _, info = device.GetDeviceInfo()
    serial = info.sn
    assert sim.script_device_name(serial, raw)
    ok, info = device.GetDeviceInfo()
    assert ok is True
    with pytest.raises(UnicodeDecodeError):
        info.name
    assert info.sn == serial  # the other fields stay readable


def test_device_name_ends_at_first_nul(device, sim):
    _, info = device.GetDeviceInfo()
    assert sim.script_device_name(info.sn, b"front\x00back")
    _, info = device.GetDeviceInfo()
    assert info.name == "front"


# --- device calls ----------------------------------------------------------


def test_firmware_match(devices, sim):
    assert all(device.IsFirmwareMatch() is True for device in devices)
    sim.fail_next("Device::IsFirmwareMatch")
    assert devices[0].IsFirmwareMatch() is False


def test_print_goes_to_sdk_output(device, capfd):
    _, info = device.GetDeviceInfo()
    assert device.Print() is None
    out, _ = capfd.readouterr()
    assert info.sn in out


def test_destroy_twice_passes_both_calls(device, sim):
    sim.trace_enable()
    assert PyVyx.Device.Destroy(device) is None
    assert PyVyx.Device.Destroy(device) is None
    lines = [line for line in sim.trace() if line.startswith("Device::Destroy(")]
    assert len(lines) == 2 and lines[0] == lines[1]


def test_destroy_releases_only_the_sdk_object(device, sim):
    _, info = device.GetDeviceInfo()
    copy = PyVyx.SystemFindDevice(info.sn)
    PyVyx.Device.Destroy(device)
    assert device.IsValid() is False
    assert copy.IsValid() is False  # the same handle, now released
    # The device is still there: a new search hands out a new handle.
    again = PyVyx.SystemFindDevice(info.sn)
    assert again.IsValid() is True


def test_network_config_of_unplugged_device(device, sim):
    _, info = device.GetDeviceInfo()
    assert sim.unplug(info.sn)
    assert device.GetNetworkConfig(PyVyx.NetworkDevice_LightMachine) == (
        PyVyx.NetworkType_DHCP, b"", b"", b"", 0)
    assert sim.replug(info.sn)
    assert device.GetNetworkConfig(PyVyx.NetworkDevice_LightMachine)[4] > 0


@pytest.mark.parametrize("bad", [None, 1, PyVyx.Size()])
def test_destroy_accepts_only_a_device(bad):
    with pytest.raises(TypeError):
        PyVyx.Device.Destroy(bad)


# --- network configuration ---------------------------------------------------


@pytest.mark.parametrize("part", PARTS)
@pytest.mark.parametrize(
    "ip, mask, gateway",
    [("192.168.10.20", "255.255.255.0", "192.168.10.1"),
     ("10.1.2.3", "255.0.0.0", "0.0.0.0"),
     ("172.16.255.254", "255.255.0.0", "172.16.0.1")],
)
def test_static_network_round_trip(device, part, ip, mask, gateway):
    which = getattr(PyVyx, part)
    assert device.SetNetworkConfig(which, PyVyx.NetworkType_STATIC, ip, mask, gateway) is True
    kind, got_ip, got_mask, got_gateway, _ = device.GetNetworkConfig(which)
    assert kind == PyVyx.NetworkType_STATIC
    assert (got_ip, got_mask, got_gateway) == (ip.encode(), mask.encode(), gateway.encode())


def test_network_texts_travel_in_parameter_order(device, sim):
    sim.trace_enable()
    device.SetNetworkConfig(PyVyx.NetworkDevice_LeftCamera, PyVyx.NetworkType_STATIC,
                            "10.0.0.5", "255.255.255.0", "10.0.0.1")
    line = next(l for l in sim.trace() if l.startswith("Device::SetNetworkConfig("))
    assert line.index('"10.0.0.5"') < line.index('"255.255.255.0"') < line.index('"10.0.0.1"')


def test_back_to_dhcp(device):
    part = PyVyx.NetworkDevice_LightMachine
    assert device.SetNetworkConfig(part, PyVyx.NetworkType_STATIC, "192.168.3.4",
                                   "255.255.255.0", "192.168.3.1")
    assert device.SetNetworkConfig(part, PyVyx.NetworkType_DHCP, "", "", "")
    assert device.GetNetworkConfig(part)[0] == PyVyx.NetworkType_DHCP


@pytest.mark.parametrize(
    "ip, mask, gateway",
    [("192.168.1.256", "255.255.255.0", "192.168.1.1"),
     ("192.168.1.2", "255.0.255.0", "192.168.1.1"),
     ("not an address", "255.255.255.0", "192.168.1.1"),
     (None, "255.255.255.0", "192.168.1.1")],
)
def test_refused_network_config_is_false(device, ip, mask, gateway):
    part = PyVyx.NetworkDevice_LeftCamera
    before = device.GetNetworkConfig(part)
    assert device.SetNetworkConfig(part, PyVyx.NetworkType_STATIC, ip, mask, gateway) is False
    assert PyVyx.GetLastError() != 0
    assert device.GetNetworkConfig(part) == before


def test_failing_sdk_call_is_false(device, sim):
    sim.fail_next("Device::SetNetworkConfig")
    assert device.SetNetworkConfig(PyVyx.NetworkDevice_LeftCamera, PyVyx.NetworkType_STATIC,
                                   "192.168.1.2", "255.255.255.0", "192.168.1.1") is False


def test_network_config_that_writes_nothing(device, sim):
    device.SetNetworkConfig(PyVyx.NetworkDevice_LeftCamera, PyVyx.NetworkType_STATIC,
                            "192.168.1.2", "255.255.255.0", "192.168.1.1")
    sim.fail_next("Device::GetNetworkConfig")
    assert device.GetNetworkConfig(PyVyx.NetworkDevice_LeftCamera) == (
        PyVyx.NetworkType_DHCP, b"", b"", b"", 0)


def test_network_config_of_released_handle(device):
    PyVyx.Device.Destroy(device)
    assert device.GetNetworkConfig(PyVyx.NetworkDevice_LightMachine) == (
        PyVyx.NetworkType_DHCP, b"", b"", b"", 0)


@pytest.mark.parametrize(
    "args",
    [
        (PyVyx.NetworkType_STATIC, PyVyx.NetworkDevice_LeftCamera, "1.2.3.4", "255.0.0.0", "0.0.0.0"),
        (1, PyVyx.NetworkType_STATIC, "1.2.3.4", "255.0.0.0", "0.0.0.0"),
        (PyVyx.NetworkDevice_LeftCamera, PyVyx.NetworkType_STATIC, 1234, "255.0.0.0", "0.0.0.0"),
        (PyVyx.NetworkDevice_LeftCamera, PyVyx.NetworkType_STATIC, "1.2.3.4"),
    ],
)
def test_set_network_config_argument_types(device, args):
    with pytest.raises(TypeError):
        device.SetNetworkConfig(*args)


@pytest.mark.parametrize("bad", [1, PyVyx.NetworkType_DHCP, None])
def test_get_network_config_argument_type(device, bad):
    with pytest.raises(TypeError):
        device.GetNetworkConfig(bad)


def test_auto_configure_reports_status(device, sim):
    sim.fail_next("Device::AutoConfigureNetwork")
    status = device.AutoConfigureNetwork()
    assert status != 0 and status == PyVyx.GetLastError()
