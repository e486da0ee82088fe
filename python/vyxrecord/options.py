"""Capture-options records as plain values and back.

A record's fields are read from its class (every property the binding
defines), so that a field the SDK adds is recorded without a change here.
Values become JSON values: booleans, numbers, enumerations by their member
name, the region of interest as [x, y, width, height], and the four HDR
tables, which the record reaches only through Get/Set methods, as lists
under the names below.
"""
from __future__ import annotations

from collections.abc import Mapping, Sequence
from typing import Any, Union

import PyVyx as vx

CaptureOptions = Union[vx.X1_CaptureOptions, vx.X2_CaptureOptions]

HDR_ENTRIES = 3
# Name in the manifest -> the record's getter and setter of that table.
HDR_TABLES = {
    "hdr_exposure_time_content": ("GetHDRExposureTimeContent", "SetHDRExposureTimeContent"),
    "hdr_gain_content": ("GetHDRGainContent", "SetHDRGainContent"),
    "hdr_scan_times_content": ("GetHDRScanTimesContent", "SetHDRScanTimesContent"),
    "hdr_projector_brightness_content": ("GetHDRProjectorBrightnessContent",
                                         "SetHDRProjectorBrightnessContent"),
}


def record_type(camera: str) -> type:
    """The capture-options record of a camera kind, "X1" or "X2"."""
    return vx.X1_CaptureOptions if camera == "X1" else vx.X2_CaptureOptions


def field_names(kind: type) -> list[str]:
    """The record's fields in the binding's order."""
    return [name for name, value in vars(kind).items()
            if isinstance(value, property) and not name.startswith("_")]


def _is_enumeration(value: object) -> bool:
    return hasattr(type(value), "__members__") and hasattr(value, "name")


def _to_json(name: str, value: object) -> Any:
    if isinstance(value, (bool, int, float, str)):
        return value
    if isinstance(value, vx.ROI):
        return [value.x, value.y, value.width, value.height]
    if _is_enumeration(value):
        return value.name  # type: ignore[attr-defined]
    raise TypeError(f"option {name}: no JSON form for {type(value).__name__}")


def to_json(options: CaptureOptions) -> dict[str, Any]:
    """``{"kind": <record class name>, "fields": {name: value, ...}}``."""
    fields = {name: _to_json(name, getattr(options, name)) for name in field_names(type(options))}
    for table, (getter, _) in HDR_TABLES.items():
        get = getattr(options, getter)
        fields[table] = [get(i) for i in range(HDR_ENTRIES)]
    return {"kind": type(options).__name__, "fields": fields}


def _converted(name: str, current: object, value: object) -> object:
    """``value`` as the type of the field's current value, or ValueError."""
    def wrong(expected: str) -> ValueError:
        return ValueError(f"option {name}: expected {expected}, got {value!r}")

    if isinstance(current, bool):
        if not isinstance(value, bool):
            raise wrong("true or false")
        return value
    if isinstance(current, int) and not _is_enumeration(current):
        if isinstance(value, bool) or not isinstance(value, int):
            raise wrong("an integer")
        return value
    if isinstance(current, float):
        if isinstance(value, bool) or not isinstance(value, (int, float)):
            raise wrong("a number")
        return float(value)
    if isinstance(current, vx.ROI):
        if isinstance(value, vx.ROI):
            return value
        if (isinstance(value, Sequence) and not isinstance(value, str) and len(value) == 4
                and all(isinstance(v, int) and not isinstance(v, bool) for v in value)):
            return vx.ROI(*value)
        raise wrong("[x, y, width, height]")
    if _is_enumeration(current):
        kind: Any = type(current)
        members: dict[str, object] = kind.__members__
        if isinstance(value, kind):
            return value
        if isinstance(value, str):
            if value in members:
                return members[value]
            raise wrong(f"one of {', '.join(members)}")
        if isinstance(value, int) and not isinstance(value, bool):
            return kind(value)
        raise wrong(f"a {kind.__name__} member name")
    raise wrong(type(current).__name__)


def apply(options: CaptureOptions, values: Mapping[str, object]) -> CaptureOptions:
    """Sets the given fields (and HDR tables) on ``options`` and returns it.

    ValueError names the first field that the record does not have, whose
    value has the wrong type, or that the SDK refuses; HDR tables may be
    shorter than 3 entries (the rest stay as they are)."""
    kind = type(options)
    fields = field_names(kind)
    for name, value in values.items():
        if name in HDR_TABLES:
            getter, setter = (getattr(options, m) for m in HDR_TABLES[name])
            if (isinstance(value, (str, bytes)) or not isinstance(value, Sequence)
                    or len(value) > HDR_ENTRIES):
                raise ValueError(f"option {name}: expected a list of at most "
                                 f"{HDR_ENTRIES} values, got {value!r}")
            for i, entry in enumerate(value):
                current = getter(i)
                entry = _converted(f"{name}[{i}]", current, entry)
                # Only changed entries are set: some tables refuse their own
                # default value.
                if entry != current and not setter(i, entry):
                    raise ValueError(f"option {name}[{i}]: the SDK refuses {entry!r} "
                                     "(out of range)")
        elif name in fields:
            converted = _converted(name, getattr(options, name), value)
            try:
                setattr(options, name, converted)
            except TypeError as e:
                raise ValueError(f"option {name}: {e}") from None
        else:
            raise ValueError(f"unknown {kind.__name__} field {name!r}")
    return options
