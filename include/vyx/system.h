// Version, error reporting, the system lifecycle, discovery and devices.
#pragma once

#include <cstdint>

#include "vyx/export.h"
#include "vyx/types.h"

namespace Vyx {

// The SDK's version text (static storage), or null when none is known.
VYX_API const char* GetVersion();

// The last error of the calling thread: a code (0 when no call of this
// thread has failed yet) and a message (never null, possibly empty). The
// record is per thread and is replaced by the next failing call; successful
// calls leave it as it is.
VYX_API int GetLastError();
VYX_API const char* GetLastErrorMessage();

// A discovered camera device. Copies name the same device; the default value
// names none.
class VYX_API Device {
public:
    Device() = default;

    // Releases this handle. The device itself stays discoverable: the next
    // listing hands out a new handle for it.
    static void Destroy(Device device);

    bool IsValid() const;
    // Writes a description of the device to standard output.
    void Print() const;
    bool GetDeviceInfo(DeviceInfo* info) const;
    bool IsFirmwareMatch() const;

    // Network configuration of one part of the device: address, subnet mask
    // and gateway as dotted IPv4 texts. Returns 0 on success, otherwise the
    // error code that GetLastError reports.
    int SetNetworkConfig(NetworkDevice part, NetworkType type, const char* ip,
                         const char* mask, const char* gateway);
    // Writes the configuration: the kind, the three texts (each at most 15
    // characters and a NUL, so each buffer must hold 16 bytes) and the link
    // speed in Mbit/s (0 when the link is down). Returns 0 on success.
    int GetNetworkConfig(NetworkDevice part, NetworkType* type, char* ip, char* mask,
                         char* gateway, int* link_speed_mbps) const;
    // Picks a free static configuration for every network part of the device
    // in the host's subnet. Returns 0 on success, otherwise an error code.
    int AutoConfigureNetwork();

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

static_assert(sizeof(Device) == 8, "handles are two 32-bit words");

VYX_API bool SystemInit();
VYX_API bool SystemIsInited();
// Releases every SDK object (devices, cameras, images, maps, meshes) and
// stops the system; later calls fail until SystemInit.
VYX_API void SystemShutdown();

// Lists the devices on the given kind of port. Writes at most `capacity`
// handles to `devices` and the number of devices found to `count` (which may
// exceed `capacity`). Returns 0 on success, otherwise an error code.
VYX_API int SystemListDevices(Device* devices, int capacity, int* count,
                              SystemListDeviceType::Enum type);

// The device with the given serial number; an invalid handle when there is
// none.
VYX_API Device SystemFindDevice(const char* serialNumber);

}  // namespace Vyx
