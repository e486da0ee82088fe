"""System lifecycle and device discovery."""
import threading

import pytest

import PyVyx

KINDS = ["USB", "GigE", "All"]
PORT_OF_KIND = {"USB": "PortType_USB", "GigE": "PortType_GIGE"}


def info_of(device):
    ok, info = device.GetDeviceInfo()
    assert ok, PyVyx.GetLastErrorMessage()
    return info


# --- lifecycle -------------------------------------------------------------


@pytest.mark.parametrize(
    "func, signature, doc",
    [
        ("SystemInit", "SystemInit() -> bool", "Initialize system."),
        ("SystemIsInited", "SystemIsInited() -> bool", "System Is Inited?"),
        ("SystemShutdown", "SystemShutdown() -> None", "Shut down the system."),
        ("SystemFindDevice", "SystemFindDevice(serialNumber: str) -> PyVyx.Device",
         "Find the device with serial number."),
        ("SystemListDeviceTypeToString",
         "SystemListDeviceTypeToString(arg0: PyVyx.SystemListDeviceTypeEnum) -> str", None),
        ("SystemListDevices",
         "SystemListDevices(arg0: PyVyx.SystemListDeviceTypeEnum) -> "
         "Tuple[int, List[PyVyx.Device]]", None),
    ],
)
def test_signature_and_docstring(func, signature, doc):
    lines = [line for line in getattr(PyVyx, func).__doc__.splitlines() if line.strip()]
    assert lines[0] == signature
    assert lines[1:] == ([doc] if doc else [])


def test_init_and_shutdown(sim):
    assert PyVyx.SystemIsInited() is False
    assert PyVyx.SystemInit() is True
    assert PyVyx.SystemIsInited() is True
    assert PyVyx.SystemShutdown() is None
    assert PyVyx.SystemIsInited() is False
    # Shut down again and start again: both go to the SDK.
    assert PyVyx.SystemShutdown() is None
    assert PyVyx.SystemInit() is True


def test_failing_init_is_reported_as_false(sim):
    sim.fail_next("SystemInit")
    assert PyVyx.SystemInit() is False
    assert PyVyx.GetLastError() != 0
    assert "SystemInit" in PyVyx.GetLastErrorMessage()


def test_module_calls_nothing_on_its_own(sim):
    sim.trace_enable()
    PyVyx.Size(1, 2)
    PyVyx.CameraID(1)
    assert sim.trace() == []


def test_listing_before_init(sim):
    status, devices = PyVyx.SystemListDevices(PyVyx.All)
    assert status != 0 and devices == []
    assert status == PyVyx.GetLastError()


def test_find_before_init_gives_a_device_naming_nothing(sim):
    serial = sim.serials()[0]
    device = PyVyx.SystemFindDevice(serial)
    assert isinstance(device, PyVyx.Device)
    assert PyVyx.GetLastError() != 0
    assert PyVyx.SystemInit()
    assert device.IsValid() is False
    assert PyVyx.SystemFindDevice(serial).IsValid() is True


def test_shutdown_releases_listed_devices(vyx):
    _, devices = vyx.SystemListDevices(vyx.All)
    assert devices and all(d.IsValid() for d in devices)
    vyx.SystemShutdown()
    assert vyx.SystemInit()
    assert not any(d.IsValid() for d in devices)


# --- discovery -------------------------------------------------------------


def test_port_kind_names():
    names = [PyVyx.SystemListDeviceTypeToString(getattr(PyVyx, k)) for k in KINDS]
    assert all(isinstance(name, str) and name for name in names)
    assert len(set(names)) == 3


@pytest.mark.parametrize("value", [0, 4, -1])
def test_port_kind_without_member_passes_through(value):
    kind = PyVyx.SystemListDeviceTypeEnum(value)
    assert PyVyx.SystemListDeviceTypeToString(kind) is None


def test_list_all_default_devices(vyx, sim):
    status, devices = vyx.SystemListDevices(vyx.All)
    assert status == 0
    assert all(type(d) is vyx.Device and d.IsValid() for d in devices)
    assert sorted(info_of(d).sn for d in devices) == sorted(sim.serials())


@pytest.mark.parametrize("kind", ["USB", "GigE"])
def test_list_by_port_kind(vyx, kind):
    _, every = vyx.SystemListDevices(vyx.All)
    expected = sorted(info_of(d).sn for d in every
                      if info_of(d).type == getattr(vyx, PORT_OF_KIND[kind]))
    status, devices = vyx.SystemListDevices(getattr(vyx, kind))
    assert status == 0 and devices
    assert sorted(info_of(d).sn for d in devices) == expected


def test_listing_offers_room_for_sixteen(vyx, sim):
    sim.trace_enable()
    vyx.SystemListDevices(vyx.GigE)
    lines = [line for line in sim.trace() if line.startswith("SystemListDevices(")]
    assert lines == ["SystemListDevices(capacity=16, type=2)"]


@pytest.mark.parametrize("count", [17, 20, 40])
def test_listing_beyond_capacity(vyx, sim, count):
    real = len(vyx.SystemListDevices(vyx.All)[1])
    sim.script_listing_count(count)
    status, devices = vyx.SystemListDevices(vyx.All)
    assert status == 0 and len(devices) == count
    assert all(type(d) is vyx.Device for d in devices)
    assert [d.IsValid() for d in devices] == [True] * real + [False] * (count - real)
    for extra in devices[16:]:
        ok, info = extra.GetDeviceInfo()
        assert ok is False
        assert (info.name, info.sn, info.boardmodel, info.type) == ("", "", 0, vyx.PortType_NONE)


@pytest.mark.parametrize("count", [0, -1, -5, -(2**31)])
def test_listing_with_no_or_negative_count_is_empty(vyx, sim, count):
    sim.script_listing_count(count)
    status, devices = vyx.SystemListDevices(vyx.All)
    assert status == 0 and devices == []


def test_no_device_attached(vyx, sim):
    for serial in sim.serials():
        assert sim.unplug(serial)
    assert vyx.SystemListDevices(vyx.All) == (0, [])


def test_failed_listing_returns_its_status_and_nothing(vyx, sim):
    sim.fail_next("SystemListDevices")
    status, devices = vyx.SystemListDevices(vyx.All)
    assert status != 0 and status == vyx.GetLastError()
    assert devices == []


def test_failed_listing_keeps_what_the_sdk_wrote(vyx, sim):
    sim.fail_next("SystemListDevices", write_outputs=True)
    status, devices = vyx.SystemListDevices(vyx.All)
    assert status != 0
    assert len(devices) == len(sim.serials())


def test_listings_from_many_threads(vyx, sim):
    expected = sorted(sim.serials())
    failures = []

    def worker():
        for _ in range(50):
            status, devices = vyx.SystemListDevices(vyx.All)
            sns = sorted(info_of(d).sn for d in devices)
            if status != 0 or sns != expected:
                failures.append((status, sns))

    threads = [threading.Thread(target=worker) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


# --- search ----------------------------------------------------------------


def test_find_each_device(vyx, sim):
    for serial in sim.serials():
        device = vyx.SystemFindDevice(serial)
        assert device.IsValid()
        assert info_of(device).sn == serial


def test_find_by_keyword(vyx, sim):
    serial = sim.serials()[-1]
    assert info_of(vyx.SystemFindDevice(serialNumber=serial)).sn == serial


@pytest.mark.parametrize("serial", ["NO-SUCH-DEVICE", "", "Seriennummer-ä"])
def test_find_unknown_serial_gives_invalid_device(vyx, serial):
    device = vyx.SystemFindDevice(serial)
    assert type(device) is vyx.Device
    assert device.IsValid() is False
    assert vyx.GetLastError() != 0


def test_find_passes_utf8_serial(vyx, sim):
    sim.trace_enable()
    vyx.SystemFindDevice("Größe")
    assert 'SystemFindDevice(serialNumber="Größe")' in sim.trace()


def test_find_with_none_passes_null(vyx, sim):
    sim.trace_enable()
    device = vyx.SystemFindDevice(None)
    assert device.IsValid() is False
    assert "SystemFindDevice(serialNumber=null)" in sim.trace()


@pytest.mark.parametrize("bad", [1, 2.0, ["SN"]])
def test_find_refuses_non_text(vyx, bad):
    with pytest.raises(TypeError):
        vyx.SystemFindDevice(bad)


def test_find_refuses_text_without_utf8_form(vyx):
    with pytest.raises(TypeError):
        vyx.SystemFindDevice("\udcff")
