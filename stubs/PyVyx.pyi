"""Python binding of the Vyx structured-light 3D camera SDK.

Conventions of the whole module:

- SDK failures are never raised. They come back as False, a non-zero status
  or a handle whose IsValid() is False; GetLastError() and
  GetLastErrorMessage() then say why (per thread; successful calls leave
  them unchanged). Exceptions come only from the binding: TypeError for
  arguments that fit no signature (an enumeration argument accepts only a
  member of that enumeration, never a plain int), ValueError for arrays and
  lists of the wrong length or shape, UnicodeDecodeError for SDK text that
  is not UTF-8.
- Result tuples hold the SDK's success flag (or status) first, then the
  outputs in the SDK's order. The outputs are returned on failure too, with
  the starting values each item names.
- "Releases the GIL": the SDK call runs without the interpreter lock, so
  other Python threads run meanwhile. "Holds the GIL": no other Python
  thread runs during the call. Field reads and writes and the enumeration
  methods always hold it.
- Units: points, depths and translations in metres; capture-option
  distances (truncate_z_min/max, noise_removal_distance, line-scan
  distances) in millimetres; exposure times in milliseconds (line scans:
  microseconds); gains in dB; temperatures in degrees Celsius; point-map
  and mesh files in millimetres unless another PointMapUnitEnum is given.
- Handles (Device, Image, DepthMap, ConfidenceMap, CorrespondMap, PointMap,
  Mesh, X1, X2) name SDK objects. Copies name the same object, and garbage
  collection never releases it: call the matching Destroy (the three result
  maps have none). Results a camera hands out (images, maps, point maps,
  meshes) belong to the camera and are released by its next capture.
  NumPy views of images, maps and point maps read and write SDK memory in
  place. With the stand-in SDK (any SDK with view pins) a view keeps the
  storage it describes alive after the object is released, until the last
  view goes; with an SDK without them, do not use a view after its object
  is released. Only
  Compensator_FixedMarkers frees its SDK object when collected.
- Text arguments reach the SDK as UTF-8.
"""

from collections.abc import Sequence
from typing import ClassVar, overload, type_check_only

import numpy
import numpy.typing

@type_check_only
class _pybind11_type(type):
    """For type checkers only: the metaclass every class of the module has at
    run time (the binding library's pybind11_type, which is not importable)."""

# --- version and last error ------------------------------------------------

def GetVersion() -> str | None:
    """The SDK's version text; None when the SDK knows none. Releases the GIL."""

def GetLastError() -> int:
    """The code of the calling thread's last SDK failure; 0 when no call of
    this thread has failed yet. Releases the GIL."""

def GetLastErrorMessage() -> str:
    """The message of the calling thread's last SDK failure, naming the
    operation and what failed; "" when none. Releases the GIL."""

# --- geometry records ------------------------------------------------------

@type_check_only
class _Enumeration(metaclass=_pybind11_type):
    """What every enumeration of the module has: members compare and hash as
    their integer values, convert with int() and operator.index(), pickle as
    their value, and know their name."""

    def __init__(self, value: int) -> None:
        """The member of integer value `value`, also when no member has it
        (its name is then "???"). TypeError for a non-integer or a value
        outside 32 bits."""
    def __eq__(self, other: object) -> bool:
        """True when `other`, an int or a member of any enumeration, has the
        same integer value; None compares unequal."""
    def __ne__(self, other: object) -> bool:
        """The negation of ==."""
    def __hash__(self) -> int:
        """The hash of the integer value."""
    def __int__(self) -> int:
        """The integer value."""
    def __index__(self) -> int:
        """The integer value, for operator.index and indexing."""
    def __getstate__(self) -> int:
        """The integer value, which pickling stores."""
    def __setstate__(self, state: int) -> None:
        """Sets the integer value when unpickling."""
    def __repr__(self) -> str:
        """'<EnumerationName.NAME: VALUE>'."""
    def __str__(self) -> str:
        """'EnumerationName.NAME'."""
    @property
    def name(self) -> str:
        """The member name: for a value shared by several members the one
        registered first; "???" when no member has the value."""
    @property
    def value(self) -> int:
        """The integer value."""

class Size(metaclass=_pybind11_type):
    """Extent of an image, map or grid: width columns by height rows
    (32-bit signed integers). A value: every call takes and returns copies."""

    width: int
    """Number of columns (the same storage as cols)."""
    height: int
    """Number of rows (the same storage as rows)."""
    cols: int
    """Second name of width."""
    rows: int
    """Second name of height."""
    @overload
    def __init__(self) -> None:
        """A 0 x 0 size. Releases the GIL."""
    @overload
    def __init__(self, width: int, height: int, /) -> None:
        """A size of width columns and height rows; TypeError for values
        outside 32 bits. Releases the GIL."""

class ROI(metaclass=_pybind11_type):
    """A rectangular region of interest in pixels (32-bit signed integers);
    a width and height of 0 stand for the whole image. A value: every call
    takes and returns copies."""

    x: int
    """Left column."""
    y: int
    """Top row."""
    width: int
    """Number of columns."""
    height: int
    """Number of rows."""
    @overload
    def __init__(self) -> None:
        """The all-zero region (the whole image). Releases the GIL."""
    @overload
    def __init__(self, x: int, y: int, width: int, height: int, /) -> None:
        """A region from its left column, top row, width and height;
        TypeError for values outside 32 bits. Releases the GIL."""

class ROIRange(metaclass=_pybind11_type):
    """The steps and bounds within which a camera's region of interest may be
    chosen, in pixels (see GetRoiRange of X1 and X2)."""

    x_step: int
    """x must be a multiple of this."""
    y_step: int
    """y must be a multiple of this."""
    width_step: int
    """width must be a multiple of this, unless the region reaches the right edge."""
    height_step: int
    """height must be a multiple of this, unless the region reaches the bottom edge."""
    width_min: int
    """Smallest width."""
    height_min: int
    """Smallest height."""
    width_max: int
    """Largest width (the image width)."""
    height_max: int
    """Largest height (the image height)."""
    def __init__(self) -> None:
        """All eight values 0. Releases the GIL."""

# --- enumerations (members are also module attributes, see the end) --------

class CameraID(_Enumeration):
    """Camera identifiers. The values are bits: CameraID_0 to CameraID_3 are 1,
    2, 4, 8; the named members reuse them, so an alias prints under the bit
    name (CameraID_Left is named CameraID_0)."""

    CameraID_NONE: ClassVar[CameraID]
    """No camera. Value 0."""
    CameraID_0: ClassVar[CameraID]
    """Bit 0: the left camera. Value 1."""
    CameraID_1: ClassVar[CameraID]
    """Bit 1: the right camera. Value 2."""
    CameraID_2: ClassVar[CameraID]
    """Bit 2: the extra camera. Value 4."""
    CameraID_3: ClassVar[CameraID]
    """Bit 3. Value 8."""
    CameraID_Left: ClassVar[CameraID]
    """The left camera (the same value as CameraID_0). Value 1."""
    CameraID_Right: ClassVar[CameraID]
    """The right camera (the same value as CameraID_1). Value 2."""
    CameraID_Both: ClassVar[CameraID]
    """Left and right camera together. Value 3."""
    CameraID_Extra: ClassVar[CameraID]
    """The extra camera of devices that have one (the same value as
    CameraID_2). Value 4."""
    __members__: ClassVar[dict[str, CameraID]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class PortType(_Enumeration):
    """Kind of port a device is attached by (DeviceInfo.type)."""

    PortType_NONE: ClassVar[PortType]
    """No port. Value 0."""
    PortType_USB: ClassVar[PortType]
    """USB. Value 1."""
    PortType_GIGE: ClassVar[PortType]
    """Gigabit Ethernet. Value 2."""
    __members__: ClassVar[dict[str, PortType]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class CameraTempSelector(_Enumeration):
    """Which part of a camera a temperature reading is taken from."""

    CameraTempSelector_Camera: ClassVar[CameraTempSelector]
    """The camera housing. Value 0."""
    CameraTempSelector_CoreBoard: ClassVar[CameraTempSelector]
    """The core board. Value 1."""
    CameraTempSelector_FpgaCore: ClassVar[CameraTempSelector]
    """The FPGA core. Value 2."""
    CameraTempSelector_Framegrabberboard: ClassVar[CameraTempSelector]
    """The frame-grabber board. Value 3."""
    CameraTempSelector_Sensor: ClassVar[CameraTempSelector]
    """The image sensor. Value 4."""
    CameraTempSelector_SensorBoard: ClassVar[CameraTempSelector]
    """The sensor board. Value 5."""
    __members__: ClassVar[dict[str, CameraTempSelector]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class ProjectorColor(_Enumeration):
    """Projector colours, a bit set (DeviceInfo.support_color combines them;
    combined values have the name "???")."""

    ProjectorColor_None: ClassVar[ProjectorColor]
    """No colour. Value 0."""
    ProjectorColor_Red: ClassVar[ProjectorColor]
    """Red. Value 1."""
    ProjectorColor_Green: ClassVar[ProjectorColor]
    """Green. Value 2."""
    ProjectorColor_Blue: ClassVar[ProjectorColor]
    """Blue. Value 4."""
    ProjectorColor_White: ClassVar[ProjectorColor]
    """White. Value 8."""
    __members__: ClassVar[dict[str, ProjectorColor]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class BalanceSelector(_Enumeration):
    """Colour channel of the white balance."""

    BalanceSelector_None: ClassVar[BalanceSelector]
    """No channel. Value 0."""
    BalanceSelector_Red: ClassVar[BalanceSelector]
    """Red. Value 1."""
    BalanceSelector_Green: ClassVar[BalanceSelector]
    """Green. Value 2."""
    BalanceSelector_Blue: ClassVar[BalanceSelector]
    """Blue. Value 3."""
    __members__: ClassVar[dict[str, BalanceSelector]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class NetworkType(_Enumeration):
    """How a network part of a device gets its address."""

    NetworkType_DHCP: ClassVar[NetworkType]
    """Leased by DHCP. Value 0."""
    NetworkType_STATIC: ClassVar[NetworkType]
    """Static address, mask and gateway. Value 1."""
    __members__: ClassVar[dict[str, NetworkType]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class NetworkDevice(_Enumeration):
    """The network parts of a device."""

    NetworkDevice_LightMachine: ClassVar[NetworkDevice]
    """The projector and controller. Value 0."""
    NetworkDevice_LeftCamera: ClassVar[NetworkDevice]
    """The left camera. Value 1."""
    NetworkDevice_RightCamera: ClassVar[NetworkDevice]
    """The right camera. Value 2."""
    NetworkDevice_ExtraCamera: ClassVar[NetworkDevice]
    """The extra camera (only on devices that have one). Value 3."""
    __members__: ClassVar[dict[str, NetworkDevice]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class X1CustomTransformCoordinate(_Enumeration):
    """Frame of an X1's custom transformation
    (X1_CustomTransformOptions.coordinate_select). At module level
    CoordinateSelect_Disabled and CoordinateSelect_CaliBoard are
    X2CustomTransformCoordinate's members; this type's are reached only
    through the type."""

    CoordinateSelect_Disabled: ClassVar[X1CustomTransformCoordinate]
    """No custom transformation. Value 0."""
    CoordinateSelect_Camera: ClassVar[X1CustomTransformCoordinate]
    """Points become T p, p in the camera frame. Value 1."""
    CoordinateSelect_CaliBoard: ClassVar[X1CustomTransformCoordinate]
    """Points become T p, p in the calibration board's frame (front face z =
    0). Value 2."""
    __members__: ClassVar[dict[str, X1CustomTransformCoordinate]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class X2CustomTransformCoordinate(_Enumeration):
    """Frame of an X2's custom transformation
    (X2_CustomTransformOptions.coordinate_select)."""

    CoordinateSelect_Disabled: ClassVar[X2CustomTransformCoordinate]
    """No custom transformation: the frame transform_to_camera names. Value 0."""
    CoordinateSelect_CameraLeft: ClassVar[X2CustomTransformCoordinate]
    """Points become T p, p in the left camera's frame. Value 1."""
    CoordinateSelect_CameraRight: ClassVar[X2CustomTransformCoordinate]
    """Points become T p, p in the right camera's frame. Value 2."""
    CoordinateSelect_CaliBoard: ClassVar[X2CustomTransformCoordinate]
    """Points become T p, p in the calibration board's frame (front face z =
    0). Value 3."""
    CoordinateSelect_CameraExtra: ClassVar[X2CustomTransformCoordinate]
    """Points become T p, p in the extra camera's frame (devices with one).
    Value 4."""
    __members__: ClassVar[dict[str, X2CustomTransformCoordinate]]
    """Every member name mapped to its member, in registration order, aliases
    included."""


# --- devices ---------------------------------------------------------------

class DeviceInfo(metaclass=_pybind11_type):
    """Identity and capabilities of a device, as Device.GetDeviceInfo reads
    them. Read-only; cannot be constructed from Python."""

    def __init__(self, *args: object, **kwargs: object) -> None:
        """Not callable: always raises TypeError ("No constructor defined!")."""

    @property
    def name(self) -> str:
        """Device name. UnicodeDecodeError when the SDK's text is not UTF-8."""
    @property
    def sn(self) -> str:
        """Serial number, the text SystemFindDevice looks for."""
    @property
    def factroydate(self) -> str:
        """Factory date (the SDK's spelling), for example "2024-03-18"."""
    @property
    def port(self) -> str:
        """Description of the port the device is attached by."""
    @property
    def type(self) -> PortType:
        """Kind of port the device is attached by."""
    @property
    def cameraid(self) -> CameraID:
        """The device's cameras as CameraID bits (CameraID_Both, plus
        CameraID_Extra on devices with an extra camera)."""
    @property
    def boardmodel(self) -> int:
        """Board model number."""
    @property
    def support_x2(self) -> bool:
        """The device opens as an X2."""
    @property
    def support_color(self) -> ProjectorColor:
        """Projector colours the device supports, as ProjectorColor bits."""
    @property
    def workingdist_near_mm(self) -> int:
        """Near end of the working distance, millimetres."""
    @property
    def workingdist_far_mm(self) -> int:
        """Far end of the working distance, millimetres."""
    @property
    def support_x1(self) -> bool:
        """The device opens as an X1."""
    @property
    def support_capture_mode(self) -> CaptureMode:
        """Capture modes the device supports, as CaptureMode bits."""
    @property
    def support_protective_cover(self) -> bool:
        """The device has a protective cover."""
    @property
    def support_extra(self) -> bool:
        """The device has an extra camera."""

class Device(metaclass=_pybind11_type):
    """Handle of one discovered device (from SystemListDevices or
    SystemFindDevice), which X1.Create and X2.Create open. Cannot be
    constructed from Python."""

    def __init__(self, *args: object, **kwargs: object) -> None:
        """Not callable: always raises TypeError ("No constructor defined!")."""

    @staticmethod
    def Destroy(device: Device, /) -> None:
        """Release this handle of the device. The device stays discoverable:
        the next listing hands out a new handle. The Python object keeps the
        released handle. Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a device (connected or not). Releases the GIL."""
    def Print(self) -> None:
        """Write a short description of the device to standard output.
        Releases the GIL."""
    def GetDeviceInfo(self) -> tuple[bool, DeviceInfo]:
        """The device's identity: (ok, info). On failure ok is False and the
        fields the SDK did not write read as "", 0, False or the 0-valued
        member; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def IsFirmwareMatch(self) -> bool:
        """Whether the device's firmware matches the SDK. False also on
        failure (unplugged device); see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def SetNetworkConfig(
        self, part: NetworkDevice, type: NetworkType, ip: str, mask: str, gateway: str, /
    ) -> bool:
        """Configure one network part: NetworkType_STATIC with a dotted IPv4
        address, subnet mask and gateway ("0.0.0.0" for none), or
        NetworkType_DHCP (texts "" or dotted quads, not used). True on
        success; False when the SDK refuses, with nothing changed; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetNetworkConfig(
        self, part: NetworkDevice, /
    ) -> tuple[NetworkType, bytes, bytes, bytes, int]:
        """One network part's configuration: (type, ip, mask, gateway,
        link_speed). The three texts are dotted IPv4 addresses as bytes (at
        most 15 each; for DHCP the leased ones); link_speed is in Mbit/s (0
        when the link is down). There is no success flag: on failure the
        result is (NetworkType_DHCP, b"", b"", b"", 0); see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def AutoConfigureNetwork(self) -> int:
        """Give every network part a free static address in the host's
        subnet. 0 on success, otherwise the error code; see
        GetLastErrorMessage(). Releases the GIL."""

class SystemListDeviceTypeEnum(_Enumeration):
    """Kinds of port SystemListDevices searches. Its members are also module
    attributes under their short names (USB, GigE, All)."""

    USB: ClassVar[SystemListDeviceTypeEnum]
    """Devices on USB. Value 1."""
    GigE: ClassVar[SystemListDeviceTypeEnum]
    """Devices on Gigabit Ethernet. Value 2."""
    All: ClassVar[SystemListDeviceTypeEnum]
    """Devices on every kind of port. Value 3."""
    __members__: ClassVar[dict[str, SystemListDeviceTypeEnum]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class PointMapUnitEnum(_Enumeration):
    """Unit of the coordinates in point-map and mesh files (the objects
    themselves hold metres). Members are also module attributes (Meter,
    Millimeter)."""

    Meter: ClassVar[PointMapUnitEnum]
    """Metres: coordinates written and read as they are. Value 0."""
    Millimeter: ClassVar[PointMapUnitEnum]
    """Millimetres: coordinates multiplied by 1000 on saving, divided on
    loading. Value 1."""
    __members__: ClassVar[dict[str, PointMapUnitEnum]]
    """Every member name mapped to its member, in registration order, aliases
    included."""


# --- discovery -------------------------------------------------------------

def SystemListDeviceTypeToString(kind: SystemListDeviceTypeEnum, /) -> str | None:
    """The name of a kind of port; None for a value without a name.
    Releases the GIL."""

def SystemListDevices(kind: SystemListDeviceTypeEnum, /) -> tuple[int, list[Device]]:
    """The connected devices on that kind of port: (status, devices).
    status is 0 on success, otherwise the error code (and the list is
    usually empty); see GetLastErrorMessage(). The list has as many entries
    as the SDK counted; beyond the sixteenth they are handles that name no
    device. Releases the GIL."""

class ImageTypeEnum(_Enumeration):
    """Pixel formats. The member None (value 0, no image) exists but, None
    being a Python keyword, is reached only as getattr(ImageTypeEnum,
    "None"); the module attribute of that name is PointMapTypeEnum's."""

    Mono8: ClassVar[ImageTypeEnum]
    """8-bit grey, one byte per pixel. Value 1."""
    RGB8: ClassVar[ImageTypeEnum]
    """8-bit colour, three bytes per pixel, red first. Value 2."""
    BGR8: ClassVar[ImageTypeEnum]
    """8-bit colour, three bytes per pixel, blue first. Value 3."""
    __members__: ClassVar[dict[str, ImageTypeEnum]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class ProtectiveCoverStatus(_Enumeration):
    """State of a device's protective cover. The only enumeration whose members
    are not module attributes."""

    ProtectiveCoverStatus_Unknown: ClassVar[ProtectiveCoverStatus]
    """Not known (also what a failed GetProtectiveCoverStatus returns). Value
    0."""
    ProtectiveCoverStatus_Closed: ClassVar[ProtectiveCoverStatus]
    """Closed. Value 1."""
    ProtectiveCoverStatus_Closing: ClassVar[ProtectiveCoverStatus]
    """Moving towards closed. Value 2."""
    ProtectiveCoverStatus_Open: ClassVar[ProtectiveCoverStatus]
    """Open. Value 3."""
    ProtectiveCoverStatus_Opening: ClassVar[ProtectiveCoverStatus]
    """Moving towards open. Value 4."""
    __members__: ClassVar[dict[str, ProtectiveCoverStatus]]
    """Every member name mapped to its member, in registration order, aliases
    included."""


# --- images ----------------------------------------------------------------

def ImageTypeToString(type: ImageTypeEnum, /) -> str | None:
    """The name of a pixel format; None for a value without a name.
    Releases the GIL."""

def ImageTypeGetPixelSize(type: ImageTypeEnum, /) -> int:
    """Bytes per pixel of a pixel format (0 for none). Releases the GIL."""

def ImageCreate(type: ImageTypeEnum, size: Size, /) -> Image:
    """A new zeroed image of that type and size in SDK memory; release it
    with ImageDestroy. On failure the image is not valid (IsValid() False);
    see GetLastError() / GetLastErrorMessage(). Releases the GIL."""

def ImageDestroy(img: Image, no_reuse: bool = True) -> None:
    """Release the image. With no_reuse False the SDK may keep its storage
    for the next image of the same size (never storage a live view still
    describes). Views of the image keep its storage where the SDK has view
    pins; otherwise they must not be used afterwards. Releases the GIL."""

class Image(metaclass=_pybind11_type):
    """Handle of a 2D image in SDK memory. Through the buffer protocol
    numpy.asarray(image) is a writable uint8 view of the pixels without a
    copy: shape (rows, cols) for Mono8, (rows, cols, 3) for BGR8 and RGB8
    (bytes of a pixel adjacent); an image without pixels gives an empty
    view. Holds the GIL while the view is made."""

    def __init__(self) -> None:
        """A handle that names no image. Releases the GIL."""
    @staticmethod
    def CreateFromFile(path: str, /) -> Image:
        """Load a PNG or BMP file (by extension): Mono8 for grey files, BGR8
        for colour ones. On failure the image is not valid; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    @staticmethod
    def Destroy(img: Image, /) -> None:
        """Release the image (as ImageDestroy(img, True)). Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names an image. Releases the GIL."""
    def GetSize(self) -> Size:
        """Width and height in pixels; 0 x 0 when not valid. Releases the GIL."""
    def SaveImage(self, path: str, /) -> bool:
        """Save as PNG or BMP, chosen by the file name's extension. False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetType(self) -> ImageTypeEnum:
        """The pixel format. Releases the GIL."""
    def Clone(self) -> Image:
        """A deep copy in new SDK memory, to be released with ImageDestroy;
        not valid on failure. Releases the GIL."""

# --- depth, confidence and correspondence maps ------------------------------

class DepthMap(metaclass=_pybind11_type):
    """Handle of a camera's depth map. numpy.asarray(depth) is a writable
    float64 view of shape (rows, cols) without a copy: camera-frame z in
    metres, NaN where there is no measurement (empty when not valid). The
    map belongs to the camera: its next capture releases it."""

    def __init__(self) -> None:
        """A handle that names no map. Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a map. Releases the GIL."""
    def GetSize(self) -> Size:
        """Width and height in pixels; 0 x 0 when not valid. Releases the GIL."""
    def SaveDepthMap(self, path: str, float32: bool, /) -> bool:
        """Save the depth map: with float32 True as a 32-bit float TIFF
        (.tif/.tiff) of metres, NaN kept; with False as a 16-bit PNG (.png)
        of millimetres, 0 for no measurement. The extension must match the
        flag. False on failure; see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""

class ConfidenceMap(metaclass=_pybind11_type):
    """Handle of a camera's confidence map. numpy.asarray(conf) is a
    writable float64 view of shape (rows, cols) without a copy: 0 (no
    measurement) to 1 (empty when not valid). The map belongs to the
    camera: its next capture releases it. Every call holds the GIL."""

    def __init__(self) -> None:
        """A handle that names no map. Holds the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a map. Holds the GIL."""
    def GetSize(self) -> Size:
        """Width and height in pixels; 0 x 0 when not valid. Holds the GIL."""

class CorrespondMap(metaclass=_pybind11_type):
    """Handle of an X2's correspondence map. numpy.asarray(corr) is a
    writable float64 view of shape (rows, cols, 2) without a copy: for each
    left-camera pixel the column and row where the right camera sees the
    same surface point, NaN where there is none (empty when not valid).
    The map belongs to the camera: its next capture releases it. Every call
    holds the GIL."""

    def __init__(self) -> None:
        """A handle that names no map. Holds the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a map. Holds the GIL."""
    def GetSize(self) -> Size:
        """Width and height in pixels (the left camera's); 0 x 0 when not
        valid. Holds the GIL."""

class PointMapTypeEnum(_Enumeration):
    """What a point map holds. The member None (value 0, nothing) exists but,
    None being a Python keyword, is reached only as
    getattr(PointMapTypeEnum, "None") or getattr(PyVyx, "None")."""

    PointsOnly: ClassVar[PointMapTypeEnum]
    """Points (x, y, z) only. Value 1."""
    PointsNormals: ClassVar[PointMapTypeEnum]
    """Points and one normal per point. Value 2."""
    __members__: ClassVar[dict[str, PointMapTypeEnum]]
    """Every member name mapped to its member, in registration order, aliases
    included."""


# --- point maps -------------------------------------------------------------

def PointMapTypeToString(type: PointMapTypeEnum, /) -> str | None:
    """The name of a point-map type; None for a value without a name.
    Releases the GIL."""

def PointMapCreate(type: PointMapTypeEnum, size: Size, /) -> PointMap:
    """A new point map of that type and size in SDK memory (points NaN,
    normals zero); release it with PointMapDestroy. On failure the point
    map is not valid; see GetLastError() / GetLastErrorMessage(). Releases
    the GIL."""

def PointMapDestroy(map: PointMap, /) -> None:
    """Release the point map. Views made before keep its storage where the
    SDK has view pins (otherwise they must not be used afterwards); views
    made after, and NormalData views, are empty. Releases the GIL."""

class PointMap(metaclass=_pybind11_type):
    """Handle of an organised point cloud: rows x cols points (x, y, z) in
    metres, NaN where there is no point, optionally with unit normals, and a
    timestamp. numpy.asarray(pm) is a writable float64 view of shape
    (rows, cols, 3) without a copy; element [r, c, 2] is the z of the point
    at row r, column c (empty when not valid). Holds the GIL while the view
    is made."""

    def __init__(self) -> None:
        """A handle that names no point map. Releases the GIL."""
    @staticmethod
    def CreateFromFile(path: str, size: Size, unit: PointMapUnitEnum, /) -> PointMap:
        """Load a PLY or PCD file (by extension) whose grid is `size`, its
        coordinates in `unit`. On failure (missing or damaged file, another
        grid) the point map is not valid; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    @staticmethod
    def Destroy(map: PointMap, /) -> None:
        """Release the point map (as PointMapDestroy). Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a point map. Releases the GIL."""
    def GetSize(self) -> Size:
        """Width (columns) and height (rows); 0 x 0 when not valid. Releases
        the GIL."""
    def Clone(self) -> PointMap:
        """A deep copy (points, normals, timestamp) in new SDK memory, to be
        released with PointMapDestroy; not valid on failure. Releases the GIL."""
    def GetNormalDataPtr(self) -> NormalData:
        """A snapshot of the point map's normal storage, through which the
        normals are viewed; its IsValid() is False when the point map has no
        normals. Releases the GIL."""
    def Save(self, filename: str, unit: PointMapUnitEnum = ..., isBinary: bool = True) -> bool:
        """Save as PLY or PCD (by extension), binary or text, every grid cell
        in row order (NaN for no point), normals included. unit defaults to
        Millimeter. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def SaveWithImage(
        self, filename: str, image: Image, unit: PointMapUnitEnum = ..., isBinary: bool = True
    ) -> bool:
        """As Save, with each point coloured from its pixel of `image` when
        the image has the point map's size. unit defaults to Millimeter.
        False on failure; see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""
    def GetTimestamp(self) -> int:
        """The timestamp: the device clock in microseconds when the points
        were taken (0 for a point map that has none). Releases the GIL."""
    def SetTimestamp(self, timestamp: int, /) -> bool:
        """Set the timestamp (0 to 2**64 - 1; TypeError otherwise). False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""

class Mesh(metaclass=_pybind11_type):
    """Handle of a triangle mesh in SDK memory. It has no NumPy view (a
    buffer request raises BufferError); its content is reached through Save."""

    def __init__(self) -> None:
        """A handle that names no mesh. Releases the GIL."""
    @staticmethod
    def CreateFromPointMapData(
        size: Size, points: numpy.typing.ArrayLike, max_edge: float, /
    ) -> Mesh:
        """Triangulate a grid of size.height x size.width points given as
        float64 values (x, y, z per point, NaN for none; for example an array
        of shape (rows, cols, 3)). No triangle gets an edge longer than
        max_edge, in the points' unit (0 or less: no limit). ValueError when
        the array does not hold rows x cols x 3 values. Release the mesh with
        Mesh.Destroy; not valid on failure, see GetLastError() /
        GetLastErrorMessage(). Releases the GIL during triangulation."""
    @staticmethod
    def CreateFromPointMap(map: PointMap, max_edge: float, /) -> Mesh:
        """Triangulate a point map's grid between neighbouring valid points;
        no triangle gets an edge longer than max_edge metres (0 or less: no
        limit). The mesh keeps its own copy of the points. Release it with
        Mesh.Destroy; not valid on failure, see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    @staticmethod
    def Destroy(mesh: Mesh, /) -> None:
        """Release the mesh. Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a mesh. Releases the GIL."""
    def GetSize(self) -> Size:
        """width = the number of vertices, height = the number of triangles.
        Releases the GIL."""
    def Clone(self) -> Mesh:
        """A copy of the mesh, to be released with Mesh.Destroy. Releases the GIL."""
    def Save(self, path: str, unit: PointMapUnitEnum, /) -> bool:
        """Save as PLY, OBJ or STL (by extension), vertices in `unit` (no
        default). False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""

class NormalData(metaclass=_pybind11_type):
    """Snapshot of a point map's normals (PointMap.GetNormalDataPtr).
    numpy.asarray(normals) is a writable float64 view of shape
    (rows, cols, 3) over the point map's normal storage without a copy: one
    unit vector per point, NaN where no normal could be computed. The view
    is empty when the point map had no normals or has since been destroyed
    or changed its storage; a view made earlier keeps the point map's
    storage (where the SDK has view pins). The snapshot itself does not keep
    the point map alive."""

    def __init__(self) -> None:
        """An empty snapshot: IsValid() False, size 0 x 0. Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the point map had normals when the snapshot was made.
        Releases the GIL."""
    def GetSize(self) -> Size:
        """The point map's size when the snapshot was made. Releases the GIL."""

# --- system lifecycle --------------------------------------------------------

def SystemInit() -> bool:
    """Initialise the SDK; every other SDK call except the version, error and
    name functions fails before it. False on failure; see GetLastError() /
    GetLastErrorMessage(). Releases the GIL."""

def SystemIsInited() -> bool:
    """Whether the SDK is initialised. Releases the GIL."""

def SystemShutdown() -> None:
    """Shut the SDK down, releasing every SDK object (devices, cameras,
    images, maps, meshes): handles held by Python name nothing afterwards;
    views keep their storage where the SDK has view pins, and must not be
    used otherwise. Nothing calls this at interpreter exit. Releases the GIL."""

def SystemFindDevice(serialNumber: str) -> Device:
    """The device with that serial number. Always a Device: one whose
    IsValid() is False when none is found (or it is unplugged); see
    GetLastError() / GetLastErrorMessage(). Releases the GIL."""

# --- X1: capture options -----------------------------------------------------

class X1_CaptureOptions(metaclass=_pybind11_type):
    """Settings of one X1 capture, holding the SDK's defaults when new.
    Passing a record to an X1 method never changes it; methods that produce
    options return a new record. Values are checked by the SDK when used:
    out-of-range ones make the capture fail."""

    def __init__(self) -> None:
        """A record with the SDK's defaults. Releases the GIL."""
    calc_normal: bool
    """Compute one normal per point (default False)."""
    calc_normal_radius: int
    """Half-width of the window normals are fitted over, pixels (default 5;
    unsigned 32-bit)."""
    light_contrast_threshold: int
    """Minimum pattern contrast for a measured point, grey levels 0..255
    (default 3)."""
    transform_to_camera: bool
    """Points in the camera frame (True, default) or the device frame (False)."""
    filter_range: int
    """Filter range (default 0)."""
    use_auto_noise_removal: bool
    """Remove outliers automatically (default True)."""
    noise_removal_distance: float
    """Outlier-removal distance, millimetres (default 0.0)."""
    noise_removal_point_number: int
    """Outlier-removal neighbour count (default 40)."""
    phase_filter_range: int
    """Phase filter range (default 0)."""
    projector_brightness: int
    """Projector brightness, 1..240 (default 240)."""
    exposure_time_2d: int
    """Exposure time of the 2D image, milliseconds, 3..100 (default 11)."""
    exposure_time_3d: int
    """Exposure time of the 3D capture, milliseconds, 3..100 (default 11)."""
    gain_2d: float
    """Gain of the 2D image, dB, 0..20 (default 0.0; stored as a 32-bit float)."""
    gain_3d: float
    """Gain of the 3D capture, dB, 0..20 (default 0.0; stored as a 32-bit float)."""
    gamma_2d: float
    """Gamma of the 2D image, 0.1..4 (default 1.0; 32-bit float)."""
    gamma_3d: float
    """Gamma of the pattern images (default 1.0; 32-bit float)."""
    hdr_exposure_times: int
    """Number of HDR exposures: 0 off (default), 1..3 use that many entries
    of the HDR tables instead of exposure_time_3d, gain_3d,
    projector_brightness and scan_times."""
    use_projector_capturing_2d_image: bool
    """Light the 2D image with the projector (default True)."""
    smoothness: SmoothnessLevel
    """Depth smoothing (default SmoothnessLevel_Off). The value read refers to
    the field: it shows later assignments and keeps the record alive."""
    downsample_distance: float
    """Down-sampling distance (default 0.0)."""
    scan_times: int
    """Scans per exposure, 1..8 (default 1); noise falls with its square root."""
    truncate_z_min: float
    """Points whose z is below this are removed, millimetres (default -9999.0)."""
    truncate_z_max: float
    """Points whose z is above this are removed, millimetres (default 9999.0)."""
    use_auto_bilateral_filter: bool
    """Automatic bilateral filter (default True)."""
    bilateral_filter_kernal_size: int
    """Bilateral filter kernel size (the SDK's spelling; default 0)."""
    bilateral_filter_depth_sigma: float
    """Bilateral filter depth sigma (default 0.0)."""
    bilateral_filter_space_sigma: float
    """Bilateral filter space sigma (default 0.0)."""
    reflection_filter_threshold: int
    """Reflection filter threshold (default 0)."""
    smooth_sigma: float
    """Smoothing sigma (default 1.75)."""
    enable_2d_in_capture: bool
    """A 3D capture also takes the 2D image (default True)."""
    def GetHDRExposureTimeContent(self, index: int, /) -> int:
        """HDR exposure time `index` (0..2; defaults 11, 20, 50), milliseconds;
        -1 for another index. Releases the GIL."""
    def SetHDRExposureTimeContent(self, index: int, value: int, /) -> bool:
        """Set HDR exposure time `index` (0..2) to `value`, 3..100
        milliseconds. False, with nothing changed, for another index or
        value. Releases the GIL."""
    def GetHDRGainContent(self, index: int, /) -> float:
        """HDR gain `index` (0..2; default 0.0), dB; -1.0 for another index.
        Releases the GIL."""
    def SetHDRGainContent(self, index: int, value: float, /) -> bool:
        """Set HDR gain `index` (0..2) to `value`, 0.0..20.0 dB after rounding
        to a 32-bit float. False, with nothing changed, for another index or
        value (NaN included). Releases the GIL."""
    def GetHDRScanTimesContent(self, index: int, /) -> int:
        """HDR scan count `index` (0..2; default 1); -1 for another index.
        Releases the GIL."""
    def SetHDRScanTimesContent(self, index: int, value: int, /) -> bool:
        """Set HDR scan count `index` (0..2) to `value`, 2..4 (so the default
        1 cannot be set back). False, with nothing changed, for another index
        or value. Releases the GIL."""
    def GetHDRProjectorBrightnessContent(self, index: int, /) -> int:
        """HDR projector brightness `index` (0..2; default 240); -1 for
        another index. Releases the GIL."""
    def SetHDRProjectorBrightnessContent(self, index: int, value: int, /) -> bool:
        """Set HDR projector brightness `index` (0..2) to `value`, 1..240.
        False, with nothing changed, for another index or value. Releases
        the GIL."""
    capture_mode: CaptureMode
    """Capture mode (default CaptureMode_Normal); the device must support it.
    The value read refers to the field: it shows later assignments and keeps
    the record alive."""
    confidence_threshold: float
    """Points with a confidence below this (0..1) are removed (default 0.0)."""
    roi: ROI
    """Region of interest in pixels; all zero (default) is the whole image.
    The ROI read refers to the record's own: changing its fields changes the
    record, and it keeps the record alive."""

class X1_CustomTransformOptions(metaclass=_pybind11_type):
    """An X1's custom transformation: which frame (coordinate_select) and a
    4 x 4 matrix T, row-major, in metres (identity when new). T has no
    getter: a record from GetCustomTransformation carries it back to
    SetCustomTransformation unchanged."""

    def __init__(self) -> None:
        """Disabled, with the identity matrix. Releases the GIL."""
    coordinate_select: X1CustomTransformCoordinate
    """The frame T applies to (default CoordinateSelect_Disabled). The value
    read refers to the field and keeps the record alive."""
    def SetTransform(self, matrix: numpy.typing.ArrayLike, /) -> None:
        """Set T from exactly 16 numbers in row-major order, for example a
        (4, 4) array (converted to float64 where needed). ValueError for any
        other count, with nothing changed; coordinate_select is untouched.
        Holds the GIL."""

class SmoothnessLevel(_Enumeration):
    """Edge-preserving depth smoothing of a 3D capture."""

    SmoothnessLevel_Off: ClassVar[SmoothnessLevel]
    """No smoothing. Value 0."""
    SmoothnessLevel_Weak: ClassVar[SmoothnessLevel]
    """Averaging over 3 x 3 neighbours. Value 1."""
    SmoothnessLevel_Normal: ClassVar[SmoothnessLevel]
    """Averaging over 5 x 5 neighbours. Value 2."""
    SmoothnessLevel_Strong: ClassVar[SmoothnessLevel]
    """Averaging over 7 x 7 neighbours. Value 3."""
    __members__: ClassVar[dict[str, SmoothnessLevel]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class CaptureMode(_Enumeration):
    """Capture modes, a bit set with no member of value 0
    (DeviceInfo.support_capture_mode combines them; combine values as
    integers and call CaptureMode(total); combined values have the name
    "???")."""

    CaptureMode_Fast: ClassVar[CaptureMode]
    """Fewest pattern images, most noise. Value 1."""
    CaptureMode_Normal: ClassVar[CaptureMode]
    """The default balance of time and noise. Value 2."""
    CaptureMode_Ultra: ClassVar[CaptureMode]
    """More phase steps, least noise. Value 4."""
    CaptureMode_Robust: ClassVar[CaptureMode]
    """Inverted Gray-code patterns for difficult surfaces. Value 8."""
    CaptureMode_AntiInterReflection: ClassVar[CaptureMode]
    """Inverted patterns and more phase steps against inter-reflections. Value
    16."""
    CaptureMode_SwingLineScan: ClassVar[CaptureMode]
    """Swinging line scan. Value 32."""
    CaptureMode_FixedLineScan: ClassVar[CaptureMode]
    """Fixed line scan (X2.StartFixedLineScan). Value 64."""
    CaptureMode_LineArrayShift: ClassVar[CaptureMode]
    """Line-array shift. Value 128."""
    __members__: ClassVar[dict[str, CaptureMode]]
    """Every member name mapped to its member, in registration order, aliases
    included."""

class TriggerMode(_Enumeration):
    """What triggers a profile of a fixed line scan."""

    TriggerMode_SoftWare: ClassVar[TriggerMode]
    """Each GetFixedLineScanPointMap call takes one profile. Value 0."""
    TriggerMode_HardWare: ClassVar[TriggerMode]
    """A conveyor encoder: one profile every encoder_trigger_interval ticks
    (100 ticks per mm). Value 1."""
    TriggerMode_FixedRate: ClassVar[TriggerMode]
    """fixed_rate profiles per millisecond. Value 2."""
    __members__: ClassVar[dict[str, TriggerMode]]
    """Every member name mapped to its member, in registration order, aliases
    included."""


# --- X1: one camera and the projector ---------------------------------------

class X1(metaclass=_pybind11_type):
    """Handle of a device opened with one of its cameras and the projector.
    Every method is one SDK call without the GIL, so other Python threads run
    during captures; calls on a closed, destroyed or empty handle fail in the
    SDK. Typical use: X1.Create(device, CameraID_Left), Open(),
    Capture(opts), GetPointMap(), Close(), X1.Destroy(camera). Dropping the
    last reference neither closes nor destroys the camera."""

    def __init__(self) -> None:
        """A handle that names no camera (IsValid() False). Releases the GIL."""
    @staticmethod
    def Create(device: Device, camid: CameraID = ...) -> X1:
        """A camera handle for `device`'s camera `camid` (CameraID_Left, the
        default, or CameraID_Right), not yet open. On failure (device not
        valid, unplugged, or unable to open as an X1) the handle is not
        valid; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    @staticmethod
    def Destroy(camera: X1, /) -> None:
        """Close the camera and release it with its results; the handle inside
        `camera` is cleared (other copies keep a released handle). Releases
        the GIL."""
    def Open(self) -> bool:
        """Open the camera (opening an open one succeeds). False on failure,
        for example while another X1 or X2 has the device open; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def IsOpen(self) -> bool:
        """Whether this handle has the camera open. Releases the GIL."""
    def Close(self) -> None:
        """Give the device up; results stay readable. Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a camera. Releases the GIL."""
    def IsPhysicallyConnected(self) -> bool:
        """Whether the device is plugged in. Releases the GIL."""
    @overload
    def Capture(self, opts: X1_CaptureOptions, /) -> bool:
        """Take a 3D capture (and, with enable_2d_in_capture, the 2D image)
        with these options, replacing the camera's previous results. The
        record is copied and never changed. False on failure (camera not
        open, options out of range, cover closed), previous results kept;
        see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    @overload
    def Capture(self) -> bool:
        """Take a 3D capture with the options stored in the current user set
        (SaveCaptureOptionParameters; the defaults at first). False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    @overload
    def Capture2D(self, opts: X1_CaptureOptions = ...) -> bool:
        """Take only the 2D image with the 2D fields of `opts` (default: a
        default-constructed record), releasing the 3D results. False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    @overload
    def Capture2D(self) -> bool:  # type: ignore[overload-cannot-match]
        """The SDK's 2D capture with stored options. Registered, but never
        chosen: the form above takes calls without arguments."""
    def SetBandwidth(self, percent: float, /) -> bool:
        """Limit the link to `percent` (10..100) of its bandwidth. False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def SetCustomTransformation(self, opts: X1_CustomTransformOptions, /) -> bool:
        """Apply this custom transformation to the points of later captures
        (T must be finite, its 3 x 3 part invertible unless disabled). The
        record is copied and never changed. False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetCustomTransformation(self) -> tuple[bool, X1_CustomTransformOptions]:
        """(ok, the camera's custom transformation). On failure the record is
        the default (disabled, identity) unless the SDK wrote it; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetCameraResolution(self) -> tuple[bool, Size]:
        """(ok, image size in pixels); 0 x 0 on failure. Works on a closed
        camera. Releases the GIL."""
    def GetProjectorTemperature(self) -> tuple[bool, float]:
        """(ok, projector temperature, degrees Celsius); NaN on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetImage(self) -> Image:
        """The 2D image of the last capture (Mono8 or BGR8), owned by the
        camera until its next capture. Not valid when there is none; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetExposureTimeRange(self) -> tuple[bool, int, int]:
        """(ok, shortest, longest exposure time, milliseconds); 0, 0 on
        failure. Releases the GIL."""
    def GetGainRange(self) -> tuple[bool, float, float]:
        """(ok, lowest, highest gain, dB); 0.0, 0.0 on failure. Releases the GIL."""
    def GetGammaRange(self) -> tuple[bool, float, float]:
        """(ok, lowest, highest gamma); 0.0, 0.0 on failure. Releases the GIL."""
    def GetCameraTemperature(self, selector: CameraTempSelector, /) -> tuple[bool, float]:
        """(ok, temperature of that part of the camera, degrees Celsius); NaN
        on failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetDepthMap(self) -> DepthMap:
        """The depth map of the last 3D capture (metres), owned by the camera
        until its next capture. Not valid when there is none; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetPointMap(self) -> PointMap:
        """The point map of the last 3D capture (metres, with normals when
        calc_normal was set), owned by the camera until its next capture.
        Not valid when there is none; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetMesh(self) -> Mesh:
        """A mesh of the last 3D capture's point map, owned by the camera
        until its next capture. Not valid when there is none; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetConfidenceMap(self) -> ConfidenceMap:
        """The confidence map of the last 3D capture, owned by the camera
        until its next capture. Not valid when there is none; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def SaveEncodedImagesData(self, path: str, /) -> bool:
        """Write the pattern images of the last 3D capture as PNG files into
        the directory `path` (created if needed). False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def SetBalanceRatio(self, selector: BalanceSelector, ratio: float, /) -> bool:
        """Set the white-balance ratio of a colour channel (0.25..4; colour
        devices only). False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetBalanceRatio(self, selector: BalanceSelector, /) -> tuple[bool, float]:
        """(ok, white-balance ratio of that channel); 0.0 on failure.
        Releases the GIL."""
    def GetBalanceRange(self, selector: BalanceSelector, /) -> tuple[bool, float, float]:
        """(ok, lowest, highest ratio of that channel); 0.0, 0.0 on failure.
        Releases the GIL."""
    def AutoWhiteBalance(self, frames: int, opts: X1_CaptureOptions, roi: ROI, /) -> bool:
        """Set the white balance from `frames` (1..100) frames taken with the
        2D fields of `opts`, over `roi` (0 x 0: the whole image). Colour
        devices only. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetExtrinsicMatrix(self) -> tuple[bool, list[float]]:
        """(ok, the camera's pose: camera to device frame, 16 values of a
        row-major 4 x 4 matrix, metres). The identity on failure. Releases
        the GIL."""
    def GetIntrinsicParameters(self) -> tuple[bool, list[float], list[float]]:
        """(ok, camera matrix fx 0 cx 0 fy cy 0 0 1 (9 values, pixels),
        distortion k1 k2 p1 p2 k3 (5 values)). Zeros on failure. Releases
        the GIL."""
    def SaveCaptureOptionParameters(self, opts: X1_CaptureOptions, /) -> bool:
        """Check and store the options in the current user set (used by
        Capture() without options). False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def LoadCaptureOptionParameters(self) -> tuple[bool, X1_CaptureOptions]:
        """(ok, the options stored in the current user set); default options
        on failure. Releases the GIL."""
    def GetAutoCaptureSetting(
        self, opts: X1_CaptureOptions = ..., roi: ROI = ...
    ) -> tuple[bool, X1_CaptureOptions]:
        """(ok, a copy of `opts` with exposure_time_3d and exposure_time_2d
        chosen for the scene inside `roi`, HDR off). opts defaults to a
        default record, roi to the whole image; the caller's record is never
        changed. On failure the copy is unchanged; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetAutoHdrCaptureSetting(
        self, opts: X1_CaptureOptions = ..., roi: ROI = ...
    ) -> tuple[bool, X1_CaptureOptions]:
        """(ok, a copy of `opts` with HDR exposures chosen for the scene
        inside `roi`). Defaults and failure as GetAutoCaptureSetting.
        Releases the GIL."""
    def GetAutoNoiseRemovalSetting(
        self, opts: X1_CaptureOptions, /
    ) -> tuple[bool, X1_CaptureOptions]:
        """(ok, a copy of `opts` with noise_removal_distance chosen for the
        scene, millimetres). No default; the caller's record is never
        changed; on failure the copy is unchanged. Releases the GIL."""
    def LoadSettingFromFile(self, path: str, /) -> bool:
        """Load the device's settings (balance, bandwidth, custom
        transformation, user sets, cover) from a JSON settings file; nothing
        changes when the file is refused. False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def SaveSettingToFile(self, path: str, /) -> bool:
        """Write the device's settings to a JSON settings file. False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def CheckRoi(self, roi: ROI, /) -> bool:
        """Whether `roi` is a region the camera accepts (see GetRoiRange);
        False names the reason in GetLastErrorMessage(). Releases the GIL."""
    def AutoAdjustRoi(self, roi: ROI, /) -> ROI:
        """The smallest accepted region covering the part of `roi` inside the
        image, as a new ROI; `roi` is unchanged. Releases the GIL."""
    def GetRoiRange(self) -> tuple[bool, ROIRange]:
        """(ok, the steps and bounds of accepted regions); all zero on
        failure. Releases the GIL."""
    def OpenProtectiveCover(self) -> bool:
        """Open the protective cover at once (devices with one). False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def CloseProtectiveCover(self) -> bool:
        """Close the protective cover at once. Captures fail while it is not
        open. False on failure; see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""
    def ResetProtectiveCover(self) -> bool:
        """Re-home the protective cover (it ends closed). False on failure;
        see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def OpenProtectiveCoverAsync(self) -> bool:
        """Start opening the protective cover and return (a full stroke takes
        about 300 ms). False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def CloseProtectiveCoverAsync(self) -> bool:
        """Start closing the protective cover and return. False on failure;
        see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetProtectiveCoverStatus(self) -> tuple[bool, ProtectiveCoverStatus]:
        """(ok, cover state); ProtectiveCoverStatus_Unknown on failure.
        Releases the GIL."""
    def GetAuto2DExposureTime(
        self, opts: X1_CaptureOptions = ..., roi: ROI = ...
    ) -> tuple[bool, X1_CaptureOptions]:
        """(ok, a copy of `opts` with exposure_time_2d chosen for the scene
        inside `roi`). Defaults and failure as GetAutoCaptureSetting.
        Releases the GIL."""
    def SetCurrentUserSet(self, index: int, /) -> bool:
        """Switch to user set `index` (0..7). False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetCurrentUserSet(self) -> tuple[bool, int]:
        """(ok, index of the current user set); -1 on failure. Releases the GIL."""
    def SetUserSetName(self, index: int, name: str, /) -> bool:
        """Name user set `index`; names of 64 UTF-8 bytes or more are refused,
        never cut. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetUserSetName(self, index: int, /) -> tuple[bool, str]:
        """(ok, name of user set `index`); "" on failure. UnicodeDecodeError
        when the stored name is not UTF-8. Releases the GIL."""

# --- X2: capture options -----------------------------------------------------

class X2_CaptureOptions(metaclass=_pybind11_type):
    """Settings of one X2 capture, 2D capture or fixed line scan, holding the
    SDK's defaults when new. Passing a record to an X2 method never changes
    it, except that Capture2D hands the SDK the caller's own record; methods
    that produce options return a new record. Values are checked by the SDK
    when used."""

    def __init__(self) -> None:
        """A record with the SDK's defaults. Releases the GIL."""
    transform_to_camera: CameraID
    """Measuring camera and output frame: CameraID_Left (default),
    CameraID_Right or CameraID_Extra. The value read refers to the field and
    keeps the record alive."""
    projector_brightness: int
    """Projector brightness, 1..240 (default 240)."""
    calc_normal: bool
    """Compute one normal per point (default False)."""
    calc_normal_radius: int
    """Half-width of the window normals are fitted over, pixels (default 5;
    unsigned 32-bit)."""
    light_contrast_threshold: int
    """Minimum pattern contrast for a measured point, grey levels 0..255
    (default 3)."""
    edge_noise_reduction_threshold: int
    """Edge noise reduction threshold (default 2)."""
    exposure_time_2d: int
    """Exposure time of the 2D images, milliseconds, 3..100 (default 11)."""
    exposure_time_3d: int
    """Exposure time of the 3D capture, milliseconds, 3..100 (default 11)."""
    gain_2d: float
    """Gain of the 2D images, dB, 0..20 (default 0.0; 32-bit float)."""
    gain_3d: float
    """Gain of the 3D capture, dB, 0..20 (default 0.0; 32-bit float)."""
    hdr_exposure_times: int
    """Number of HDR exposures: 0 off (default), 1..3 use that many entries
    of the HDR tables."""
    gamma_2d: float
    """Gamma of the 2D images, 0.1..4 (default 1.0; 32-bit float)."""
    gamma_3d: float
    """Gamma of the pattern images (default 1.0; 32-bit float)."""
    projector_color: ProjectorColor
    """Projector colour (default ProjectorColor_Blue). The value read refers
    to the field and keeps the record alive."""
    use_projector_capturing_2d_image: bool
    """Light the 2D images with the projector (default True)."""
    smoothness: SmoothnessLevel
    """Depth smoothing (default SmoothnessLevel_Off). The value read refers to
    the field and keeps the record alive."""
    use_auto_noise_removal: bool
    """Remove outliers automatically (default True)."""
    noise_removal_distance: float
    """Outlier-removal distance, millimetres (default 0.0)."""
    noise_removal_point_number: int
    """Outlier-removal neighbour count (default 40)."""
    downsample_distance: float
    """Down-sampling distance (default 0.0)."""
    capture_mode: CaptureMode
    """Capture mode of a 3D capture (default CaptureMode_Normal). The value
    read refers to the field and keeps the record alive."""
    confidence_threshold: float
    """Points with a confidence below this (0..1) are removed (default 0.0)."""
    scan_times: int
    """Scans per exposure, 1..8 (default 1)."""
    bilateral_filter_kernal_size: int
    """Bilateral filter kernel size (the SDK's spelling; default 0)."""
    bilateral_filter_depth_sigma: float
    """Bilateral filter depth sigma (default 0.0)."""
    bilateral_filter_space_sigma: float
    """Bilateral filter space sigma (default 0.0)."""
    line_scanner_scan_time_ms: int
    """Duration of a line scan, milliseconds, 1..60000 (default 1000)."""
    line_scanner_exposure_time_us: int
    """Exposure time of a line-scan profile, microseconds, 10..10000
    (default 300)."""
    line_scanner_min_distance: int
    """Nearest line-scan point kept, millimetres (default 0)."""
    line_scanner_max_distance: int
    """Farthest line-scan point kept, millimetres; 0 (default) sets no limit."""
    correspond2d: bool
    """2D correspondence (default False)."""
    line_scanner_laser_position: int
    """Projector row of the laser line, 0..65535 across the projector
    (default 32768; unsigned 16-bit)."""
    use_auto_bilateral_filter: bool
    """Automatic bilateral filter (default True)."""
    reflection_filter_threshold: int
    """Reflection filter threshold (default 0)."""
    smooth_sigma: float
    """Smoothing sigma (default 1.75)."""
    roi: ROI
    """Region of interest on the measuring camera's pixels; all zero
    (default) is the whole image. The ROI read refers to the record's own:
    changing its fields changes the record, and it keeps the record alive."""
    enable_2d_in_capture: bool
    """A 3D capture also takes both cameras' 2D images (default True)."""
    pointcloud_completion: bool
    """Point-cloud completion (default False)."""
    line_scanner_brightness_threshold: int
    """Minimum laser signal for a line-scan point, grey levels 0..255
    (default 5)."""
    trigger_mode: TriggerMode
    """What triggers a line-scan profile (default TriggerMode_SoftWare). The
    value read refers to the field and keeps the record alive."""
    encoder_trigger_interval: int
    """Encoder ticks between profiles with TriggerMode_HardWare, 1 or more
    (default 8)."""
    truncate_z_min: float
    """Points whose z is below this are removed, millimetres (default -29999.0)."""
    truncate_z_max: float
    """Points whose z is above this are removed, millimetres (default 29999.0)."""
    line_scanner_confidence: float
    """Minimum confidence of a line-scan point, 0..1 (default 0.72)."""
    fixed_rate: float
    """Profiles per millisecond with TriggerMode_FixedRate (default 1.0)."""
    auto_set_fixed_rate: bool
    """Use the fastest rate the line-scan exposure allows instead of
    fixed_rate (default True)."""
    enable_transfer_control: bool
    """Transfer control (default False)."""
    def GetHDRExposureTimeContent(self, index: int, /) -> int:
        """HDR exposure time `index` (0..2; defaults 11, 20, 50), milliseconds;
        -1 for another index. Releases the GIL."""
    def SetHDRExposureTimeContent(self, index: int, value: int, /) -> bool:
        """Set HDR exposure time `index` (0..2) to `value`, 3..100
        milliseconds. False, with nothing changed, for another index or
        value. Releases the GIL."""
    def GetHDRGainContent(self, index: int, /) -> float:
        """HDR gain `index` (0..2; default 0.0), dB; -1.0 for another index.
        Releases the GIL."""
    def SetHDRGainContent(self, index: int, value: float, /) -> bool:
        """Set HDR gain `index` (0..2) to `value`, 0.0..20.0 dB after rounding
        to a 32-bit float. False, with nothing changed, for another index or
        value (NaN included). Releases the GIL."""
    def GetHDRProjectorBrightnessContent(self, index: int, /) -> int:
        """HDR projector brightness `index` (0..2; default 240); -1 for
        another index. Releases the GIL."""
    def SetHDRProjectorBrightnessContent(self, index: int, value: int, /) -> bool:
        """Set HDR projector brightness `index` (0..2) to `value`, 1..240.
        False, with nothing changed, for another index or value. Releases
        the GIL."""
    def SetHDRScanTimesContent(self, index: int, value: int, /) -> bool:
        """Set HDR scan count `index` (0..2) to `value`, 1..8. False, with
        nothing changed, for another index or value. Holds the GIL."""
    def GetHDRScanTimesContent(self, index: int, /) -> int:
        """HDR scan count `index` (0..2; default 1); -1 for another index.
        Holds the GIL."""

class X2_CustomTransformOptions(metaclass=_pybind11_type):
    """An X2's custom transformation: which frame (coordinate_select) and a
    4 x 4 matrix T, row-major, in metres (identity when new). T has no
    getter: a record from GetCustomTransformation carries it back to
    SetCustomTransformation unchanged."""

    def __init__(self) -> None:
        """Disabled, with the identity matrix. Releases the GIL."""
    coordinate_select: X2CustomTransformCoordinate
    """The frame T applies to (default CoordinateSelect_Disabled). The value
    read refers to the field and keeps the record alive."""
    def SetTransform(self, matrix: numpy.typing.ArrayLike, /) -> None:
        """Set T from exactly 16 numbers in row-major order, for example a
        (4, 4) array (converted to float64 where needed). ValueError for any
        other count, with nothing changed; coordinate_select is untouched.
        Holds the GIL."""

# --- X2: both cameras and the projector -------------------------------------

class X2(metaclass=_pybind11_type):
    """Handle of a device opened with both cameras and the projector; points
    exist where both cameras and the projector see the surface. Every method
    is one SDK call without the GIL, so other Python threads run during
    captures and scans; calls on a closed, destroyed or empty handle fail in
    the SDK. Typical use: X2.Create(device), Open(), Capture(opts),
    GetPointMap(), GetImage(CameraID_Left), Close(), X2.Destroy(camera).
    Dropping the last reference neither closes nor destroys the camera."""

    def __init__(self) -> None:
        """A handle that names no camera (IsValid() False). Releases the GIL."""
    @staticmethod
    def Create(device: Device) -> X2:
        """A handle for `device` used with both cameras, not yet open. On
        failure (device not valid, unplugged, or unable to open as an X2) the
        handle is not valid; see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""
    @staticmethod
    def Destroy(camera: X2, /) -> None:
        """Close the camera (ending a line scan) and release it with its
        results; the handle inside `camera` is cleared (other copies keep a
        released handle). Releases the GIL."""
    def Open(self) -> bool:
        """Open the device (opening an open one succeeds). False on failure,
        for example while another X1 or X2 has the device open; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def IsOpen(self) -> bool:
        """Whether this handle has the device open. Releases the GIL."""
    def Close(self) -> None:
        """Give the device up (ending a line scan); results stay readable.
        Releases the GIL."""
    def IsValid(self) -> bool:
        """Whether the handle names a camera. Releases the GIL."""
    def IsPhysicallyConnected(self) -> bool:
        """Whether the device is plugged in. Releases the GIL."""
    @overload
    def Capture(self, opts: X2_CaptureOptions, /) -> bool:
        """Take a 3D capture with both cameras (and, with
        enable_2d_in_capture, both 2D images) with these options, replacing
        the previous results. The record is copied and never changed. False
        on failure (not open, options out of range, line-scan mode, scan
        running), previous results kept; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    @overload
    def Capture(self) -> bool:
        """Take a 3D capture with the options stored in the current user set.
        False on failure; see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""
    @overload
    def StartFixedLineScan(self, opts: X2_CaptureOptions, /) -> bool:
        """Start a fixed line scan with these options (the line_scanner_
        fields, trigger_mode and its rate or interval). The record is copied.
        False on failure (device without the mode, scan already running,
        options out of range); see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""
    @overload
    def StartFixedLineScan(self) -> bool:
        """Start a fixed line scan with the options stored in the current
        user set. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    @overload
    def GetFixedLineScanPointMap(self) -> PointMap:
        """The profiles scanned so far as a new point map (one row per
        profile), which the caller releases with PointMap.Destroy. With
        TriggerMode_SoftWare each call takes one profile. Not valid on
        failure (no scan running); see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    @overload
    def GetFixedLineScanPointMap(self, map: PointMap, /) -> bool:
        """Write the profiles scanned so far into `map` itself: into its rows
        when it has the scan's width and room for them, otherwise by
        replacing the handle it holds with a new point map (one this form
        made earlier is then released). False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def StopFixedLineScan(self) -> bool:
        """End the line scan. False on failure (no scan running); see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    @overload
    def Capture2D(self, cid: CameraID, opts: X2_CaptureOptions = ...) -> bool:
        """Take the 2D image of camera `cid` (CameraID_Left, CameraID_Right,
        CameraID_Extra, or CameraID_Both for a pair) with the 2D fields of
        `opts` (default: a default-constructed record; the caller's record
        is passed, not a copy). Other cameras' images stay; the 3D results
        are released. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    @overload
    def Capture2D(self, cid: CameraID) -> bool:  # type: ignore[overload-cannot-match]
        """The SDK's 2D capture with stored options. Registered, but never
        chosen: the form above takes calls with `cid` alone."""
    def SetBandwidth(self, percent: float, /) -> bool:
        """Limit the link to `percent` (10..100) of its bandwidth. False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def SetCustomTransformation(self, opts: X2_CustomTransformOptions, /) -> bool:
        """Apply this custom transformation to the points of later captures
        (T must be finite, its 3 x 3 part invertible unless disabled). The
        record is copied. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetCustomTransformation(self) -> tuple[bool, X2_CustomTransformOptions]:
        """(ok, the device's custom transformation). On failure the record is
        the default (disabled, identity) unless the SDK wrote it. Releases
        the GIL."""
    def GetCameraResolution(self) -> tuple[bool, Size]:
        """(ok, the left camera's image size in pixels); 0 x 0 on failure.
        Releases the GIL."""
    def GetTimestamp(self) -> tuple[bool, int]:
        """(ok, device clock in microseconds since Open or ResetTimestamp,
        plus the simulated acquisition time of captures); 0 on failure.
        Releases the GIL."""
    def ResetTimestamp(self) -> bool:
        """Set the device clock to 0. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetProjectorTemperature(self) -> tuple[bool, float]:
        """(ok, projector temperature, degrees Celsius); NaN on failure.
        Releases the GIL."""
    def GetImage(self, cid: CameraID, /) -> Image:
        """The 2D image of camera `cid` from the last capture, owned by the
        camera until a capture replaces it. Not valid when there is none; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetPointMap(self) -> PointMap:
        """The point map of the last 3D capture (metres, on the measuring
        camera's grid), owned by the camera until its next capture. Not valid
        when there is none; see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""
    def GetMesh(self) -> Mesh:
        """A mesh of the last 3D capture's point map, owned by the camera
        until its next capture. Not valid when there is none. Releases the GIL."""
    def GetConfidenceMap(self) -> ConfidenceMap:
        """The confidence map of the last 3D capture, owned by the camera
        until its next capture. Not valid when there is none. Releases the GIL."""
    def GetCorrespondMap(self) -> CorrespondMap:
        """The correspondence map of the last 3D capture (left-camera pixels
        to right-camera column and row), owned by the camera until its next
        capture. Not valid when there is none. Releases the GIL."""
    def SaveEncodedImagesData(self, path: str, /) -> bool:
        """Write both cameras' pattern images of the last 3D capture as PNG
        files into the directory `path` (created if needed). False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetDepthMap(self) -> DepthMap:
        """The depth map of the last 3D capture (measuring-camera z, metres),
        owned by the camera until its next capture. Not valid when there is
        none. Releases the GIL."""
    def AutoWhiteBalance(self, frames: int, opts: X2_CaptureOptions, roi: ROI, /) -> bool:
        """Set the white balance from `frames` (1..100) frames of both
        cameras taken with the 2D fields of `opts`, over `roi` (0 x 0: the
        whole image). Colour devices only. False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetExtrinsicMatrix(self, cid: CameraID, /) -> tuple[bool, list[float]]:
        """(ok, camera `cid`'s pose: camera to device frame, 16 values of a
        row-major 4 x 4 matrix, metres). Zeros on failure. Releases the GIL."""
    def GetIntrinsicParameters(self, cid: CameraID, /) -> tuple[bool, list[float], list[float]]:
        """(ok, camera `cid`'s matrix fx 0 cx 0 fy cy 0 0 1 (9 values,
        pixels), distortion k1 k2 p1 p2 k3 (5 values)). Zeros on failure.
        Releases the GIL."""
    def GetExposureTimeRange(self) -> tuple[bool, int, int]:
        """(ok, shortest, longest exposure time, milliseconds); 0, 0 on
        failure. Releases the GIL."""
    def GetGainRange(self) -> tuple[bool, float, float]:
        """(ok, lowest, highest gain, dB); 0.0, 0.0 on failure. Releases the GIL."""
    def GetGammaRange(self) -> tuple[bool, float, float]:
        """(ok, lowest, highest gamma); 0.0, 0.0 on failure. Releases the GIL."""
    def GetCameraTemperature(
        self, cid: CameraID, selector: CameraTempSelector, /
    ) -> tuple[bool, float]:
        """(ok, temperature of that part of camera `cid`, degrees Celsius);
        NaN on failure. Releases the GIL."""
    def SaveCaptureOptionParameters(self, opts: X2_CaptureOptions, /) -> bool:
        """Check and store the options in the current user set (used by
        Capture() and StartFixedLineScan() without options). False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def LoadCaptureOptionParameters(self) -> tuple[bool, X2_CaptureOptions]:
        """(ok, the options stored in the current user set); default options
        on failure. Releases the GIL."""
    def GetAutoCaptureSetting(
        self, opts: X2_CaptureOptions = ..., roi: ROI = ...
    ) -> tuple[bool, X2_CaptureOptions]:
        """(ok, a copy of `opts` with exposure_time_3d and exposure_time_2d
        chosen for the scene inside `roi`, seen by the measuring camera).
        opts defaults to a default record, roi to the whole image; the
        caller's record is never changed. On failure the copy is unchanged;
        see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetAutoHdrCaptureSetting(
        self, opts: X2_CaptureOptions = ..., roi: ROI = ...
    ) -> tuple[bool, X2_CaptureOptions]:
        """(ok, a copy of `opts` with HDR exposures chosen for the scene
        inside `roi`). Defaults and failure as GetAutoCaptureSetting.
        Releases the GIL."""
    def GetAutoNoiseRemovalSetting(
        self, opts: X2_CaptureOptions, /
    ) -> tuple[bool, X2_CaptureOptions]:
        """(ok, a copy of `opts` with noise_removal_distance chosen for the
        scene, millimetres). No default; the caller's record is never
        changed; on failure the copy is unchanged. Releases the GIL."""
    def LoadSettingFromFile(self, path: str, /) -> bool:
        """Load the device's settings from a JSON settings file; nothing
        changes when the file is refused. False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def SaveSettingToFile(self, path: str, /) -> bool:
        """Write the device's settings to a JSON settings file. False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def CheckRoi(self, roi: ROI, /) -> bool:
        """Whether `roi` is a region the cameras accept (see GetRoiRange);
        False names the reason in GetLastErrorMessage(). Releases the GIL."""
    def AutoAdjustRoi(self, roi: ROI, /) -> ROI:
        """The smallest accepted region covering the part of `roi` inside the
        image, as a new ROI; `roi` is unchanged. Releases the GIL."""
    def GetRoiRange(self) -> tuple[bool, ROIRange]:
        """(ok, the steps and bounds of accepted regions); all zero on
        failure. Releases the GIL."""
    def OpenProtectiveCover(self) -> bool:
        """Open the protective cover at once (devices with one). False on
        failure; see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def CloseProtectiveCover(self) -> bool:
        """Close the protective cover at once. Captures and scans fail while
        it is not open. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def ResetProtectiveCover(self) -> bool:
        """Re-home the protective cover (it ends closed). False on failure;
        see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def OpenProtectiveCoverAsync(self) -> bool:
        """Start opening the protective cover and return (a full stroke takes
        about 300 ms). False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def CloseProtectiveCoverAsync(self) -> bool:
        """Start closing the protective cover and return. False on failure;
        see GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetProtectiveCoverStatus(self) -> tuple[bool, ProtectiveCoverStatus]:
        """(ok, cover state); ProtectiveCoverStatus_Unknown on failure.
        Releases the GIL."""
    def GetAuto2DExposureTime(
        self, opts: X2_CaptureOptions = ..., roi: ROI = ...
    ) -> tuple[bool, X2_CaptureOptions]:
        """(ok, a copy of `opts` with exposure_time_2d chosen for the scene
        inside `roi`). Defaults and failure as GetAutoCaptureSetting.
        Releases the GIL."""
    def SetCurrentUserSet(self, index: int, /) -> bool:
        """Switch to user set `index` (0..7). False on failure; see
        GetLastError() / GetLastErrorMessage(). Releases the GIL."""
    def GetCurrentUserSet(self) -> tuple[bool, int]:
        """(ok, index of the current user set); -1 on failure. Releases the GIL."""
    def SetUserSetName(self, index: int, name: str, /) -> bool:
        """Name user set `index`; names of 64 UTF-8 bytes or more are refused,
        never cut. False on failure; see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""
    def GetUserSetName(self, index: int, /) -> tuple[bool, str]:
        """(ok, name of user set `index`); "" on failure. UnicodeDecodeError
        when the stored name is not UTF-8. Releases the GIL."""

# --- fixed-marker compensator ------------------------------------------------

class Compensator_FixedMarkers(metaclass=_pybind11_type):
    """Keeps point maps registered against coded markers fixed in the scene.
    Owns an SDK object, released when the Python object is collected (the
    only class that frees SDK state on collection). One object is not safe
    to use from several threads at once."""

    def __init__(self) -> None:
        """A compensator without a reference. Releases the GIL."""
    def Initialize(self, map: PointMap, image: Image, min_markers: int, /) -> int:
        """Take the coded markers seen in `image` and `map` (same size) as the
        reference. The number of reference markers (at least
        max(3, min_markers)) on success; a negative error code on failure,
        leaving an earlier reference in place; see GetLastErrorMessage().
        Releases the GIL."""
    def Update(self, map: PointMap, image: Image, /) -> tuple[bool, float]:
        """Estimate the drift of a new view against the reference: (ok, RMS
        displacement of the reference markers, millimetres). On failure
        (False) the drift is 0.0; see GetLastError() / GetLastErrorMessage().
        Releases the GIL."""
    def Apply(self, map: PointMap, /) -> tuple[bool, PointMap]:
        """Undo the current drift in `map` itself (points and normals):
        (ok, a new PointMap object holding the same handle as `map`). False
        on failure (no reference yet, map not valid); see GetLastError() /
        GetLastErrorMessage(). Releases the GIL."""

# --- external camera -----------------------------------------------------------

def GetExternalCameraExtrinsicMatrix(
    image1: Image,
    map1: PointMap,
    mask1: numpy.typing.ArrayLike,
    image2: Image,
    map2: PointMap,
    mask2: numpy.typing.ArrayLike,
    image3: Image,
    map3: PointMap,
    mask3: numpy.typing.ArrayLike,
    width: int,
    height: int,
    camera_matrix: Sequence[float],
    distortion: Sequence[float],
    /,
) -> tuple[bool, list[float], float]:
    """Register an external 2D camera from three views of the calibration
    board. Each view is the 3D camera's image and point map and the external
    camera's grey image of the same moment (maskK: uint8 of shape
    (height, width), other dtypes converted); width and height are the
    external camera's resolution, camera_matrix its 9 values fx 0 cx 0 fy cy
    0 0 1 (pixels), distortion its 5 values k1 k2 p1 p2 k3. Returns (ok, E,
    reprojection error): E as 16 values of a row-major 4 x 4 matrix with
    p_ext = E p_3d (metres), the RMS reprojection error in pixels. On failure
    ok is False, E 16 zeros and the error 0.0; see GetLastError() /
    GetLastErrorMessage(). ValueError when a list or mask has the wrong
    length. Releases the GIL during the computation."""

def GetExternalCameraPointMap(
    map: PointMap,
    width: int,
    height: int,
    camera_matrix: Sequence[float],
    distortion: Sequence[float],
    extrinsic: Sequence[float],
    /,
) -> PointMap:
    """The points of `map` seen from the external camera: a new width x height
    point map in its frame (nearest point per pixel, NaN where none), which
    the caller releases with PointMap.Destroy. camera_matrix: 9 values,
    distortion: 5, extrinsic: 16 (E as GetExternalCameraExtrinsicMatrix
    returns it); ValueError for other lengths. Not valid on failure; see
    GetLastError() / GetLastErrorMessage(). Releases the GIL."""

# --- circle markers ------------------------------------------------------------

class CodedCircleMarkerType(metaclass=_pybind11_type):
    """Geometry of coded circle markers: a centre dot of radius r0, a gap to
    r1 and a ring from r1 to r2 cut into N sectors."""

    def __init__(self) -> None:
        """N = 12, r1 = 2 r0, r2 = 3 r0. Releases the GIL."""
    N: int
    """Number of ring sectors, 3..31 (default 12)."""
    r1_to_r0_ratio: float
    """Inner ring radius over dot radius, 1.2 or more (default 2.0)."""
    r2_to_r0_ratio: float
    """Outer ring radius over dot radius, at least 0.3 above r1_to_r0_ratio,
    at most 50 (default 3.0)."""

class CodedCircleMarker(metaclass=_pybind11_type):
    """One detected coded circle marker."""

    def __init__(self) -> None:
        """x = y = 0.0, code = 0. Releases the GIL."""
    x: float
    """Column of the marker's centre, pixels (pixel centres at integers)."""
    y: float
    """Row of the marker's centre, pixels."""
    code: int
    """The marker's rotation-invariant code."""

@overload
def DetectCodedCircleMarker(
    image: Image, type: CodedCircleMarkerType, /
) -> list[CodedCircleMarker]:
    """The coded markers found in `image`, sorted by y, then x; at most 1000.
    Empty when none is found and also on failure (image not valid, unusable
    type); only GetLastError() / GetLastErrorMessage() tell the two apart.
    Releases the GIL."""

@overload
def DetectCodedCircleMarker(
    pixels: numpy.typing.ArrayLike, type: CodedCircleMarkerType, /
) -> list[CodedCircleMarker]:
    """As above, on pixels given as an array: shape (rows, cols) or
    (rows, cols, 1) is read as Mono8, (rows, cols, 3) as BGR8 (other dtypes
    converted to uint8, strided arrays copied). ValueError for other shapes
    or an empty array. Releases the GIL during the detection."""

def DetectConcentricCircleMarker2d(image: Image, /) -> tuple[int, int, list[float]]:
    """Concentric circle markers in `image`: (code, count, values). code is 0
    on success, otherwise the error code (see GetLastErrorMessage());
    values always has 2000 entries, x and y in pixels of marker i at 2 i and
    2 i + 1 for i < count (sorted by y, then x), zeros after. Releases the GIL."""

def DetectConcentricCircleMarker3d(
    image: Image, map: PointMap, /
) -> tuple[int, int, list[float], list[float]]:
    """Concentric circle markers in `image` lifted through `map` (same size):
    (code, count, values2d, values3d). code is 0 on success, otherwise the
    error code (see GetLastErrorMessage()). values2d (2000 entries) holds x,
    y in pixels, values3d (3000 entries) x, y, z in metres in the point
    map's frame, of the same marker i at 2 i and 3 i; zeros after count.
    Releases the GIL."""

def GetTwoCameraTransformByCodedCircleMarker(
    map1: PointMap, image1: Image, map2: PointMap, image2: Image, type: CodedCircleMarkerType, /
) -> tuple[int, numpy.typing.NDArray[numpy.float64], numpy.typing.NDArray[numpy.float64]]:
    """The rigid transform between two views from the coded markers both see:
    (code, R, t) with p2 = R p1 + t, R of shape (3, 3), t of shape (3,) in
    metres, new arrays. code is 0 on success, otherwise the error code (see
    GetLastErrorMessage()), and R and t are zeros. Releases the GIL during
    the computation."""

# --- point-cloud transform and accuracy test ------------------------------------

def TransformPointCloud(
    rotation: numpy.typing.ArrayLike, translation: numpy.typing.ArrayLike, map: PointMap, /
) -> None:
    """Replace every point p of `map` in place by A p + t, A the 3 x 3 matrix
    in row-major order from 9 values of `rotation`, t the 3 values of
    `translation` in metres (converted to float64; the caller's arrays are
    not changed); normals turn with A's inverse transpose. ValueError for
    other value counts. There is no result: a failure (not finite values,
    singular A, map not valid; the map is then untouched) shows only in
    GetLastError() / GetLastErrorMessage(). Releases the GIL."""

@overload
def TestAccuracy(
    image: Image, map: PointMap, cols: int, rows: int, spacing_mm: float, /
) -> tuple[int, list[float], list[float], float, float]:
    """Accuracy test on the calibration board's grid of cols x rows circles
    spacing_mm apart, seen in `image` and `map` (same size). Returns (code,
    centers2d, centers3d, mean_spacing_error_mm, flatness_mm): code 0 on
    success, otherwise the error code (see GetLastErrorMessage()); centres
    row by row, 2 n pixel values and 3 n millimetre values (n = cols x rows,
    zeros on failure); the mean absolute error of neighbour distances and the
    RMS distance from the best-fit plane, millimetres (0.0 on failure).
    ValueError for negative cols or rows or a grid of more than 715827882
    circles. Releases the GIL."""

@overload
def TestAccuracy(
    image: Image,
    map: PointMap,
    reference2d: Sequence[float],
    reference3d: Sequence[float],
    cols: int,
    rows: int,
    spacing_mm: float,
    /,
) -> tuple[int, list[float], list[float], float, float]:
    """As above, with expected circle positions: reference2d (2 n values,
    pixels) fixes which circle is which instead of searching the grid;
    reference3d (3 n values, millimetres) replaces spacing_mm as the nominal
    distances. An empty list stands for none; ValueError for other lengths.
    Releases the GIL."""

# --- module attributes: the enumeration members, later registrations winning ----

CameraID_NONE: CameraID
"""The same object as CameraID.CameraID_NONE (value 0)."""
CameraID_0: CameraID
"""The same object as CameraID.CameraID_0 (value 1)."""
CameraID_1: CameraID
"""The same object as CameraID.CameraID_1 (value 2)."""
CameraID_2: CameraID
"""The same object as CameraID.CameraID_2 (value 4)."""
CameraID_3: CameraID
"""The same object as CameraID.CameraID_3 (value 8)."""
CameraID_Left: CameraID
"""The same object as CameraID.CameraID_Left (value 1)."""
CameraID_Right: CameraID
"""The same object as CameraID.CameraID_Right (value 2)."""
CameraID_Both: CameraID
"""The same object as CameraID.CameraID_Both (value 3)."""
CameraID_Extra: CameraID
"""The same object as CameraID.CameraID_Extra (value 4)."""
PortType_NONE: PortType
"""The same object as PortType.PortType_NONE (value 0)."""
PortType_USB: PortType
"""The same object as PortType.PortType_USB (value 1)."""
PortType_GIGE: PortType
"""The same object as PortType.PortType_GIGE (value 2)."""
CameraTempSelector_Camera: CameraTempSelector
"""The same object as CameraTempSelector.CameraTempSelector_Camera (value 0)."""
CameraTempSelector_CoreBoard: CameraTempSelector
"""The same object as CameraTempSelector.CameraTempSelector_CoreBoard (value
1)."""
CameraTempSelector_FpgaCore: CameraTempSelector
"""The same object as CameraTempSelector.CameraTempSelector_FpgaCore (value 2)."""
CameraTempSelector_Framegrabberboard: CameraTempSelector
"""The same object as CameraTempSelector.CameraTempSelector_Framegrabberboard
(value 3)."""
CameraTempSelector_Sensor: CameraTempSelector
"""The same object as CameraTempSelector.CameraTempSelector_Sensor (value 4)."""
CameraTempSelector_SensorBoard: CameraTempSelector
"""The same object as CameraTempSelector.CameraTempSelector_SensorBoard (value
5)."""
ProjectorColor_None: ProjectorColor
"""The same object as ProjectorColor.ProjectorColor_None (value 0)."""
ProjectorColor_Red: ProjectorColor
"""The same object as ProjectorColor.ProjectorColor_Red (value 1)."""
ProjectorColor_Green: ProjectorColor
"""The same object as ProjectorColor.ProjectorColor_Green (value 2)."""
ProjectorColor_Blue: ProjectorColor
"""The same object as ProjectorColor.ProjectorColor_Blue (value 4)."""
ProjectorColor_White: ProjectorColor
"""The same object as ProjectorColor.ProjectorColor_White (value 8)."""
BalanceSelector_None: BalanceSelector
"""The same object as BalanceSelector.BalanceSelector_None (value 0)."""
BalanceSelector_Red: BalanceSelector
"""The same object as BalanceSelector.BalanceSelector_Red (value 1)."""
BalanceSelector_Green: BalanceSelector
"""The same object as BalanceSelector.BalanceSelector_Green (value 2)."""
BalanceSelector_Blue: BalanceSelector
"""The same object as BalanceSelector.BalanceSelector_Blue (value 3)."""
NetworkType_DHCP: NetworkType
"""The same object as NetworkType.NetworkType_DHCP (value 0)."""
NetworkType_STATIC: NetworkType
"""The same object as NetworkType.NetworkType_STATIC (value 1)."""
NetworkDevice_LightMachine: NetworkDevice
"""The same object as NetworkDevice.NetworkDevice_LightMachine (value 0)."""
NetworkDevice_LeftCamera: NetworkDevice
"""The same object as NetworkDevice.NetworkDevice_LeftCamera (value 1)."""
NetworkDevice_RightCamera: NetworkDevice
"""The same object as NetworkDevice.NetworkDevice_RightCamera (value 2)."""
NetworkDevice_ExtraCamera: NetworkDevice
"""The same object as NetworkDevice.NetworkDevice_ExtraCamera (value 3)."""
CoordinateSelect_Camera: X1CustomTransformCoordinate
"""The same object as X1CustomTransformCoordinate.CoordinateSelect_Camera
(value 1)."""
CoordinateSelect_Disabled: X2CustomTransformCoordinate
"""The same object as X2CustomTransformCoordinate.CoordinateSelect_Disabled
(value 0)."""
CoordinateSelect_CameraLeft: X2CustomTransformCoordinate
"""The same object as X2CustomTransformCoordinate.CoordinateSelect_CameraLeft
(value 1)."""
CoordinateSelect_CameraRight: X2CustomTransformCoordinate
"""The same object as X2CustomTransformCoordinate.CoordinateSelect_CameraRight
(value 2)."""
CoordinateSelect_CaliBoard: X2CustomTransformCoordinate
"""The same object as X2CustomTransformCoordinate.CoordinateSelect_CaliBoard
(value 3)."""
CoordinateSelect_CameraExtra: X2CustomTransformCoordinate
"""The same object as X2CustomTransformCoordinate.CoordinateSelect_CameraExtra
(value 4)."""
USB: SystemListDeviceTypeEnum
"""The same object as SystemListDeviceTypeEnum.USB (value 1)."""
GigE: SystemListDeviceTypeEnum
"""The same object as SystemListDeviceTypeEnum.GigE (value 2)."""
All: SystemListDeviceTypeEnum
"""The same object as SystemListDeviceTypeEnum.All (value 3)."""
Meter: PointMapUnitEnum
"""The same object as PointMapUnitEnum.Meter (value 0)."""
Millimeter: PointMapUnitEnum
"""The same object as PointMapUnitEnum.Millimeter (value 1)."""
Mono8: ImageTypeEnum
"""The same object as ImageTypeEnum.Mono8 (value 1)."""
RGB8: ImageTypeEnum
"""The same object as ImageTypeEnum.RGB8 (value 2)."""
BGR8: ImageTypeEnum
"""The same object as ImageTypeEnum.BGR8 (value 3)."""
PointsOnly: PointMapTypeEnum
"""The same object as PointMapTypeEnum.PointsOnly (value 1)."""
PointsNormals: PointMapTypeEnum
"""The same object as PointMapTypeEnum.PointsNormals (value 2)."""
SmoothnessLevel_Off: SmoothnessLevel
"""The same object as SmoothnessLevel.SmoothnessLevel_Off (value 0)."""
SmoothnessLevel_Weak: SmoothnessLevel
"""The same object as SmoothnessLevel.SmoothnessLevel_Weak (value 1)."""
SmoothnessLevel_Normal: SmoothnessLevel
"""The same object as SmoothnessLevel.SmoothnessLevel_Normal (value 2)."""
SmoothnessLevel_Strong: SmoothnessLevel
"""The same object as SmoothnessLevel.SmoothnessLevel_Strong (value 3)."""
CaptureMode_Fast: CaptureMode
"""The same object as CaptureMode.CaptureMode_Fast (value 1)."""
CaptureMode_Normal: CaptureMode
"""The same object as CaptureMode.CaptureMode_Normal (value 2)."""
CaptureMode_Ultra: CaptureMode
"""The same object as CaptureMode.CaptureMode_Ultra (value 4)."""
CaptureMode_Robust: CaptureMode
"""The same object as CaptureMode.CaptureMode_Robust (value 8)."""
CaptureMode_AntiInterReflection: CaptureMode
"""The same object as CaptureMode.CaptureMode_AntiInterReflection (value 16)."""
CaptureMode_SwingLineScan: CaptureMode
"""The same object as CaptureMode.CaptureMode_SwingLineScan (value 32)."""
CaptureMode_FixedLineScan: CaptureMode
"""The same object as CaptureMode.CaptureMode_FixedLineScan (value 64)."""
CaptureMode_LineArrayShift: CaptureMode
"""The same object as CaptureMode.CaptureMode_LineArrayShift (value 128)."""
TriggerMode_SoftWare: TriggerMode
"""The same object as TriggerMode.TriggerMode_SoftWare (value 0)."""
TriggerMode_HardWare: TriggerMode
"""The same object as TriggerMode.TriggerMode_HardWare (value 1)."""
TriggerMode_FixedRate: TriggerMode
"""The same object as TriggerMode.TriggerMode_FixedRate (value 2)."""
