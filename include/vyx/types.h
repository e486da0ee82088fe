// Plain value types of the Vyx SDK: enumerations, name tables and records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vyx/export.h"

namespace Vyx {

// ---------------------------------------------------------------------------
// Enumerations: unscoped, 32-bit.

enum CameraID : int32_t {
    CameraID_NONE = 0,
    CameraID_0 = 1,
    CameraID_1 = 2,
    CameraID_2 = 4,
    CameraID_3 = 8,
    CameraID_Left = 1,
    CameraID_Right = 2,
    CameraID_Both = 3,
    CameraID_Extra = 4,
};

enum PortType : int32_t {
    PortType_NONE = 0,
    PortType_USB = 1,
    PortType_GIGE = 2,
};

enum CameraTempSelector : int32_t {
    CameraTempSelector_Camera = 0,
    CameraTempSelector_CoreBoard = 1,
    CameraTempSelector_FpgaCore = 2,
    CameraTempSelector_Framegrabberboard = 3,
    CameraTempSelector_Sensor = 4,
    CameraTempSelector_SensorBoard = 5,
};

enum ProjectorColor : int32_t {
    ProjectorColor_None = 0,
    ProjectorColor_Red = 1,
    ProjectorColor_Green = 2,
    ProjectorColor_Blue = 4,
    ProjectorColor_White = 8,
};

enum BalanceSelector : int32_t {
    BalanceSelector_None = 0,
    BalanceSelector_Red = 1,
    BalanceSelector_Green = 2,
    BalanceSelector_Blue = 3,
};

enum NetworkType : int32_t {
    NetworkType_DHCP = 0,
    NetworkType_STATIC = 1,
};

enum NetworkDevice : int32_t {
    NetworkDevice_LightMachine = 0,
    NetworkDevice_LeftCamera = 1,
    NetworkDevice_RightCamera = 2,
    NetworkDevice_ExtraCamera = 3,
};

enum ProtectiveCoverStatus : int32_t {
    ProtectiveCoverStatus_Unknown = 0,
    ProtectiveCoverStatus_Closed = 1,
    ProtectiveCoverStatus_Closing = 2,
    ProtectiveCoverStatus_Open = 3,
    ProtectiveCoverStatus_Opening = 4,
};

enum SmoothnessLevel : int32_t {
    SmoothnessLevel_Off = 0,
    SmoothnessLevel_Weak = 1,
    SmoothnessLevel_Normal = 2,
    SmoothnessLevel_Strong = 3,
};

enum CaptureMode : int32_t {
    CaptureMode_Fast = 1,
    CaptureMode_Normal = 2,
    CaptureMode_Ultra = 4,
    CaptureMode_Robust = 8,
    CaptureMode_AntiInterReflection = 16,
    CaptureMode_SwingLineScan = 32,
    CaptureMode_FixedLineScan = 64,
    CaptureMode_LineArrayShift = 128,
};

enum TriggerMode : int32_t {
    TriggerMode_SoftWare = 0,
    TriggerMode_HardWare = 1,
    TriggerMode_FixedRate = 2,
};

// ---------------------------------------------------------------------------
// Name tables: an enumeration with its texts. ToString returns a static text,
// or null for a value without a name.

struct VYX_API SystemListDeviceType {
    enum Enum : int32_t { USB = 1, GigE = 2, All = 3 };
    static const char* ToString(Enum type);
};

struct VYX_API PointMapUnit {
    enum Enum : int32_t { Meter = 0, Millimeter = 1 };
    static const char* ToString(Enum unit);
};

struct VYX_API ImageType {
    enum Enum : int32_t { None = 0, Mono8 = 1, RGB8 = 2, BGR8 = 3 };
    static const char* ToString(Enum type);
    // Bytes per pixel: 1 for Mono8, 3 for RGB8 and BGR8, 0 for None or an
    // unknown value.
    static std::size_t GetPixelSize(Enum type);
};

struct VYX_API PointMapType {
    enum Enum : int32_t { None = 0, PointsOnly = 1, PointsNormals = 2 };
    static const char* ToString(Enum type);
};

// ---------------------------------------------------------------------------
// Geometry records.

struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

// A rectangular region in pixels. The default constructor is the SDK's own
// (exported); the four-value one is inline.
struct VYX_API ROI {
    ROI();
    ROI(int32_t x_, int32_t y_, int32_t width_, int32_t height_)
        : x(x_), y(y_), width(width_), height(height_) {}
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

struct ROIRange {
    int32_t x_step = 0;
    int32_t y_step = 0;
    int32_t width_step = 0;
    int32_t height_step = 0;
    int32_t width_min = 0;
    int32_t height_min = 0;
    int32_t width_max = 0;
    int32_t height_max = 0;
};

// Identity and capabilities of a device, filled by Device::GetDeviceInfo.
// Every text holds at most 31 bytes followed by a NUL.
struct DeviceInfo {
    char name[32];
    char sn[32];
    char factroydate[32];
    char port[32];
    PortType type;
    CameraID cameraid;
    int32_t boardmodel;
    bool support_x2;
    ProjectorColor support_color;
    int32_t workingdist_near_mm;
    int32_t workingdist_far_mm;
    uint8_t reserved[128];  // further device data, not interpreted by callers
    CaptureMode support_capture_mode;
    bool support_x1;
    bool support_protective_cover;
    bool support_extra;
};

// ---------------------------------------------------------------------------
// Compile-time layout checks: member order, widths and natural alignment.

namespace layout {
constexpr std::size_t AlignUp(std::size_t offset, std::size_t align) {
    return (offset + align - 1) / align * align;
}
}  // namespace layout

// Asserts that member `cur` follows member `prev` of `T` at the next offset
// natural alignment allows (no reordering, no unexpected padding).
#define VYX_LAYOUT_FOLLOWS(T, prev, cur)                                            \
    static_assert(offsetof(T, cur) ==                                               \
                      ::Vyx::layout::AlignUp(offsetof(T, prev) + sizeof(T::prev),   \
                                             alignof(decltype(T::cur))),            \
                  #T ": " #cur " must follow " #prev)

static_assert(sizeof(CameraID) == 4 && sizeof(PortType) == 4 && sizeof(CaptureMode) == 4 &&
                  sizeof(TriggerMode) == 4 && sizeof(SmoothnessLevel) == 4 &&
                  sizeof(ProtectiveCoverStatus) == 4 && sizeof(ImageType::Enum) == 4 &&
                  sizeof(PointMapType::Enum) == 4 && sizeof(PointMapUnit::Enum) == 4 &&
                  sizeof(SystemListDeviceType::Enum) == 4,
              "SDK enumerations are 32-bit");
static_assert(sizeof(Size) == 8 && offsetof(Size, height) == 4, "Size layout");
static_assert(sizeof(ROI) == 16 && offsetof(ROI, y) == 4 && offsetof(ROI, width) == 8 &&
                  offsetof(ROI, height) == 12,
              "ROI layout");
static_assert(sizeof(ROIRange) == 32 && offsetof(ROIRange, height_max) == 28, "ROIRange layout");

static_assert(offsetof(DeviceInfo, sn) == 32 && offsetof(DeviceInfo, factroydate) == 64 &&
                  offsetof(DeviceInfo, port) == 96 && offsetof(DeviceInfo, type) == 128,
              "DeviceInfo texts");
VYX_LAYOUT_FOLLOWS(DeviceInfo, type, cameraid);
VYX_LAYOUT_FOLLOWS(DeviceInfo, cameraid, boardmodel);
VYX_LAYOUT_FOLLOWS(DeviceInfo, boardmodel, support_x2);
VYX_LAYOUT_FOLLOWS(DeviceInfo, support_x2, support_color);
VYX_LAYOUT_FOLLOWS(DeviceInfo, support_color, workingdist_near_mm);
VYX_LAYOUT_FOLLOWS(DeviceInfo, workingdist_near_mm, workingdist_far_mm);
VYX_LAYOUT_FOLLOWS(DeviceInfo, workingdist_far_mm, reserved);
VYX_LAYOUT_FOLLOWS(DeviceInfo, reserved, support_capture_mode);
VYX_LAYOUT_FOLLOWS(DeviceInfo, support_capture_mode, support_x1);
VYX_LAYOUT_FOLLOWS(DeviceInfo, support_x1, support_protective_cover);
VYX_LAYOUT_FOLLOWS(DeviceInfo, support_protective_cover, support_extra);
static_assert(offsetof(DeviceInfo, reserved) == 156 && offsetof(DeviceInfo, support_capture_mode) == 284 &&
                  sizeof(DeviceInfo) == 292,
              "DeviceInfo: 128 reserved bytes between workingdist_far_mm and support_capture_mode");

}  // namespace Vyx
