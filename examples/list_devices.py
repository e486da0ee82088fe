#!/usr/bin/env python3
"""List the camera devices the SDK finds, with their information and the
network configuration of each of their parts.

    .venv/bin/python examples/list_devices.py
"""
import sys

import PyVyx

NETWORK_PARTS = [
    ("projector", PyVyx.NetworkDevice_LightMachine),
    ("left camera", PyVyx.NetworkDevice_LeftCamera),
    ("right camera", PyVyx.NetworkDevice_RightCamera),
    ("extra camera", PyVyx.NetworkDevice_ExtraCamera),
]


def fail(what):
    print(f"{what} failed: [{PyVyx.GetLastError()}] {PyVyx.GetLastErrorMessage()}", file=sys.stderr)


def bit_names(enum_type, value):
    """Names of the members whose bits are set in `value`."""
    names = [name for name, member in enum_type.__members__.items()
             if int(member) and int(value) & int(member) == int(member)]
    return ", ".join(names) or "none"


def describe(index, device):
    ok, info = device.GetDeviceInfo()
    if not ok:
        fail(f"GetDeviceInfo of device {index}")
        return
    print(f"[{index}] {info.name}  (serial {info.sn})")
    print(f"    port:             {info.type.name}, {info.port}")
    print(f"    factory date:     {info.factroydate}")
    print(f"    board model:      {info.boardmodel}")
    print(f"    camera:           {info.cameraid.name}")
    print(f"    opens as:         " + (", ".join(
        kind for kind, yes in (("X1", info.support_x1), ("X2", info.support_x2)) if yes) or "-"))
    print(f"    projector colors: {bit_names(PyVyx.ProjectorColor, info.support_color)}")
    print(f"    capture modes:    {bit_names(PyVyx.CaptureMode, info.support_capture_mode)}")
    print(f"    working distance: {info.workingdist_near_mm} to {info.workingdist_far_mm} mm")
    print(f"    protective cover: {'yes' if info.support_protective_cover else 'no'}"
          f"   extra camera: {'yes' if info.support_extra else 'no'}"
          f"   firmware match: {'yes' if device.IsFirmwareMatch() else 'no'}")
    if info.type != PyVyx.PortType_GIGE:
        print("    network:          none (not attached by GigE)")
        return
    print("    network:")
    for label, part in NETWORK_PARTS:
        if part == PyVyx.NetworkDevice_ExtraCamera and not info.support_extra:
            continue
        kind, ip, mask, gateway, link = device.GetNetworkConfig(part)
        link_text = f"{link} Mbit/s" if link else "down"
        print(f"      {label:<13} {kind.name[len('NetworkType_'):]:<6} "
              f"{ip.decode() or '-':<15} mask {mask.decode() or '-':<15} "
              f"gateway {gateway.decode() or '-':<15} link {link_text}")


def main():
    print(f"SDK version: {PyVyx.GetVersion()}")
    if not PyVyx.SystemInit():
        fail("SystemInit")
        return 1
    try:
        status, devices = PyVyx.SystemListDevices(PyVyx.All)
        if status != 0:
            fail("SystemListDevices")
            return 1
        print(f"{len(devices)} device(s) found\n")
        for index, device in enumerate(devices):
            describe(index, device)
            print()
    finally:
        PyVyx.SystemShutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
