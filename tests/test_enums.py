"""The 17 enumerations: members, values, names and module-level constants."""
import pickle

import pytest

import PyVyx

# Type name -> members in registration order, and whether the members are
# also module attributes.
ENUMS = {
    "CameraID": ([("CameraID_NONE", 0), ("CameraID_0", 1), ("CameraID_1", 2), ("CameraID_2", 4),
                  ("CameraID_3", 8), ("CameraID_Left", 1), ("CameraID_Right", 2),
                  ("CameraID_Both", 3), ("CameraID_Extra", 4)], True),
    "PortType": ([("PortType_NONE", 0), ("PortType_USB", 1), ("PortType_GIGE", 2)], True),
    "CameraTempSelector": ([("CameraTempSelector_Camera", 0), ("CameraTempSelector_CoreBoard", 1),
                            ("CameraTempSelector_FpgaCore", 2),
                            ("CameraTempSelector_Framegrabberboard", 3),
                            ("CameraTempSelector_Sensor", 4),
                            ("CameraTempSelector_SensorBoard", 5)], True),
    "ProjectorColor": ([("ProjectorColor_None", 0), ("ProjectorColor_Red", 1),
                        ("ProjectorColor_Green", 2), ("ProjectorColor_Blue", 4),
                        ("ProjectorColor_White", 8)], True),
    "BalanceSelector": ([("BalanceSelector_None", 0), ("BalanceSelector_Red", 1),
                         ("BalanceSelector_Green", 2), ("BalanceSelector_Blue", 3)], True),
    "NetworkType": ([("NetworkType_DHCP", 0), ("NetworkType_STATIC", 1)], True),
    "NetworkDevice": ([("NetworkDevice_LightMachine", 0), ("NetworkDevice_LeftCamera", 1),
                       ("NetworkDevice_RightCamera", 2), ("NetworkDevice_ExtraCamera", 3)], True),
    "X1CustomTransformCoordinate": ([("CoordinateSelect_Disabled", 0),
                                     ("CoordinateSelect_Camera", 1),
                                     ("CoordinateSelect_CaliBoard", 2)], True),
    "X2CustomTransformCoordinate": ([("CoordinateSelect_Disabled", 0),
                                     ("CoordinateSelect_CameraLeft", 1),
                                     ("CoordinateSelect_CameraRight", 2),
                                     ("CoordinateSelect_CaliBoard", 3),
                                     ("CoordinateSelect_CameraExtra", 4)], True),
    "SystemListDeviceTypeEnum": ([("USB", 1), ("GigE", 2), ("All", 3)], True),
    "PointMapUnitEnum": ([("Meter", 0), ("Millimeter", 1)], True),
    "ImageTypeEnum": ([("None", 0), ("Mono8", 1), ("RGB8", 2), ("BGR8", 3)], True),
    "ProtectiveCoverStatus": ([("ProtectiveCoverStatus_Unknown", 0),
                               ("ProtectiveCoverStatus_Closed", 1),
                               ("ProtectiveCoverStatus_Closing", 2),
                               ("ProtectiveCoverStatus_Open", 3),
                               ("ProtectiveCoverStatus_Opening", 4)], False),
    "PointMapTypeEnum": ([("None", 0), ("PointsOnly", 1), ("PointsNormals", 2)], True),
    "SmoothnessLevel": ([("SmoothnessLevel_Off", 0), ("SmoothnessLevel_Weak", 1),
                         ("SmoothnessLevel_Normal", 2), ("SmoothnessLevel_Strong", 3)], True),
    "CaptureMode": ([("CaptureMode_Fast", 1), ("CaptureMode_Normal", 2), ("CaptureMode_Ultra", 4),
                     ("CaptureMode_Robust", 8), ("CaptureMode_AntiInterReflection", 16),
                     ("CaptureMode_SwingLineScan", 32), ("CaptureMode_FixedLineScan", 64),
                     ("CaptureMode_LineArrayShift", 128)], True),
    "TriggerMode": ([("TriggerMode_SoftWare", 0), ("TriggerMode_HardWare", 1),
                     ("TriggerMode_FixedRate", 2)], True),
}
MEMBERS = [(t, n, v) for t, (members, _) in ENUMS.items() for n, v in members]

# Which type's member each module-level constant is, where names are shared.
SHARED_NAMES = {
    "CoordinateSelect_Disabled": ("X2CustomTransformCoordinate", 0),
    "CoordinateSelect_CaliBoard": ("X2CustomTransformCoordinate", 3),
    "CoordinateSelect_Camera": ("X1CustomTransformCoordinate", 1),
    "None": ("PointMapTypeEnum", 0),
}


def first_name(type_name, value):
    """The name of the first member registered with `value`, or "???"."""
    return next((n for n, v in ENUMS[type_name][0] if v == value), "???")


def test_all_seventeen_enumerations():
    assert len(ENUMS) == 17
    for name in ENUMS:
        assert isinstance(getattr(PyVyx, name), type)


@pytest.mark.parametrize("type_name", ENUMS)
def test_members_in_registration_order(type_name):
    members = getattr(PyVyx, type_name).__members__
    assert [(n, int(m)) for n, m in members.items()] == ENUMS[type_name][0]


@pytest.mark.parametrize("type_name, name, value", MEMBERS)
def test_member_value_and_name(type_name, name, value):
    enum_type = getattr(PyVyx, type_name)
    member = getattr(enum_type, name)
    assert isinstance(member, enum_type)
    assert member.value == value and int(member) == value and member.__index__() == value
    assert member.name == first_name(type_name, value)
    assert str(member) == f"{type_name}.{member.name}"
    assert repr(member) == f"<{type_name}.{member.name}: {value}>"
    assert hash(member) == hash(value)
    assert member == value and not member != value
    assert member != None  # noqa: E711


@pytest.mark.parametrize("type_name, name, value", MEMBERS)
def test_module_level_constants(type_name, name, value):
    exported = ENUMS[type_name][1]
    owner, owner_value = SHARED_NAMES.get(name, (type_name, value))
    if not exported:
        assert not hasattr(PyVyx, name)
    elif owner == type_name:
        assert getattr(PyVyx, name) is getattr(getattr(PyVyx, type_name), name)
    else:
        constant = getattr(PyVyx, name)
        assert isinstance(constant, getattr(PyVyx, owner))
        assert not isinstance(constant, getattr(PyVyx, type_name))
        assert int(constant) == owner_value


def test_shared_constant_names_resolve_to_the_last_registered():
    assert int(PyVyx.CoordinateSelect_CaliBoard) == 3
    assert int(PyVyx.X1CustomTransformCoordinate.CoordinateSelect_CaliBoard) == 2
    assert type(getattr(PyVyx, "None")) is PyVyx.PointMapTypeEnum
    assert type(getattr(PyVyx.ImageTypeEnum, "None")) is PyVyx.ImageTypeEnum


def test_protective_cover_status_only_on_its_type():
    assert not hasattr(PyVyx, "ProtectiveCoverStatus_Open")
    assert int(PyVyx.ProtectiveCoverStatus.ProtectiveCoverStatus_Open) == 3


@pytest.mark.parametrize(
    "alias, first",
    [("CameraID_Left", "CameraID_0"), ("CameraID_Right", "CameraID_1"),
     ("CameraID_Extra", "CameraID_2"), ("CameraID_Both", "CameraID_Both")],
)
def test_camera_id_aliases(alias, first):
    member = getattr(PyVyx, alias)
    assert member == getattr(PyVyx, first)
    assert member.name == first
    assert str(member) == f"CameraID.{first}"


@pytest.mark.parametrize(
    "type_name, value",
    [("CaptureMode", 3), ("CaptureMode", 0), ("SystemListDeviceTypeEnum", 0),
     ("ProjectorColor", 3), ("TriggerMode", -1), ("CameraID", 2**31 - 1)],
)
def test_values_without_member(type_name, value):
    enum_type = getattr(PyVyx, type_name)
    instance = enum_type(value)
    assert isinstance(instance, enum_type)
    assert int(instance) == value and instance.name == "???"
    assert repr(instance) == f"<{type_name}.???: {value}>"
    assert enum_type(value=value) == value


@pytest.mark.parametrize("bad", [2**31, -(2**31) - 1, 1.0, "1", None, PyVyx.Size()])
def test_construction_refuses_non_int32(bad):
    with pytest.raises(TypeError):
        PyVyx.CaptureMode(bad)


def test_comparison_across_enumerations_and_ints():
    assert PyVyx.PortType_USB == 1
    assert PyVyx.PortType_USB == PyVyx.USB
    assert PyVyx.USB == PyVyx.PortType_USB
    assert PyVyx.PortType_USB != PyVyx.GigE
    assert PyVyx.CameraID_Left == PyVyx.CameraID(1)


@pytest.mark.parametrize(
    "operation",
    [lambda: PyVyx.CaptureMode_Fast | PyVyx.CaptureMode_Robust,
     lambda: PyVyx.CaptureMode_Fast & PyVyx.CaptureMode_Robust,
     lambda: PyVyx.CaptureMode_Fast < PyVyx.CaptureMode_Robust,
     lambda: PyVyx.CaptureMode_Fast + 1],
)
def test_no_ordering_or_bit_operations(operation):
    with pytest.raises(TypeError):
        operation()


def test_bit_sets_combine_through_integers():
    both = PyVyx.CaptureMode(int(PyVyx.CaptureMode_Fast) + int(PyVyx.CaptureMode_Robust))
    assert int(both) == 9 and both.name == "???"


@pytest.mark.parametrize("type_name, name, value", MEMBERS)
def test_pickle_round_trip(type_name, name, value):
    member = getattr(getattr(PyVyx, type_name), name)
    copy = pickle.loads(pickle.dumps(member))
    assert type(copy) is type(member) and int(copy) == value


def test_members_are_read_only_and_closed():
    with pytest.raises(AttributeError):
        PyVyx.CameraID_Left.value = 3
    with pytest.raises(AttributeError):
        PyVyx.CameraID_Left.extra = 3


def test_enumeration_arguments_accept_only_their_type(vyx):
    with pytest.raises(TypeError):
        vyx.SystemListDevices(3)
    with pytest.raises(TypeError):
        vyx.SystemListDevices(vyx.PortType_USB)
    status, _ = vyx.SystemListDevices(vyx.SystemListDeviceTypeEnum(3))
    assert status == 0
