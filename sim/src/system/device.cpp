// Device handles: identity, firmware check and network configuration.
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "core/call.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/network.h"
#include "vyx/system.h"

using Vyx::HandleAccess;
using vyxsim::Gate;

namespace {

// Copies at most `capacity - 1` bytes of `src` and a NUL.
void CopyText(char* dst, std::size_t capacity, const std::string& src) {
    std::size_t n = src.size() < capacity - 1 ? src.size() : capacity - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

std::string Serial(const vyxsim::DeviceRecord& d) { return "'" + vyxsim::Printable(d.serial) + "'"; }

// Checks the network part named by a call; returns false with the last error
// set when the device has no such part.
bool CheckPart(const vyxsim::DeviceRecord& d, Vyx::NetworkDevice part, const char* op) {
    if (part < Vyx::NetworkDevice_LightMachine || part > Vyx::NetworkDevice_ExtraCamera) {
        return vyxsim::Fail(false, vyxsim::kInvalidArgument,
                            std::string(op) + ": unknown network part " +
                                std::to_string(static_cast<int>(part)));
    }
    if (part == Vyx::NetworkDevice_ExtraCamera && !d.extra_camera) {
        return vyxsim::Fail(false, vyxsim::kUnsupported,
                            std::string(op) + ": device " + Serial(d) + " has no extra camera");
    }
    return true;
}

bool CheckConnected(const vyxsim::DeviceRecord& d, const char* op) {
    if (d.connected) return true;
    return vyxsim::Fail(false, vyxsim::kDisconnected,
                        std::string(op) + ": device " + Serial(d) + " is not connected");
}

// Serialises AutoConfigureNetwork calls, so two devices configured at once
// do not pick the same free address.
std::mutex g_auto_network_mutex;

}  // namespace

namespace Vyx {

void Device::Destroy(Device device) try {
    constexpr const char* op = "Device::Destroy";
    vyxsim::Words w = HandleAccess::Get(device);
    auto g = vyxsim::Enter(op, {{"device", w}});
    if (g == Gate::Fail) return;
    auto obj = vyxsim::RemoveObject(vyxsim::Kind::Device, w);
    if (!obj) {
        vyxsim::SetLastError(vyxsim::kInvalidHandle, std::string(op) + ": the handle names no device");
        return;
    }
    if (g == Gate::FailAfterWork) vyxsim::SetInjectedError(op);
} catch (...) {
    vyxsim::FailUnexpected();
}

bool Device::IsValid() const try {
    constexpr const char* op = "Device::IsValid";
    vyxsim::Words w = HandleAccess::Get(*this);
    auto g = vyxsim::Enter(op, {{"device", w}});
    if (g == Gate::Fail) return false;
    // A validity check answers only yes or no: the last error stays as it was.
    if (!vyxsim::FindDeviceRecord(w)) return false;
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

void Device::Print() const try {
    constexpr const char* op = "Device::Print";
    vyxsim::Words w = HandleAccess::Get(*this);
    auto g = vyxsim::Enter(op, {{"device", w}});
    if (g == Gate::Fail) return;
    auto d = vyxsim::DeviceFromHandle(w, op);
    if (!d) return;
    std::string modes;
    const char* names[] = {"Fast",          "Normal",        "Ultra",         "Robust",
                           "AntiInterReflection", "SwingLineScan", "FixedLineScan", "LineArrayShift"};
    for (int i = 0; i < 8; ++i) {
        if (d->capture_modes & (1 << i)) modes += std::string(modes.empty() ? "" : " ") + names[i];
    }
    std::string opens;
    if (d->support_x1) opens += "X1";
    if (d->support_x2) opens += opens.empty() ? "X2" : " X2";
    char optics[160];
    std::snprintf(optics, sizeof optics, "%d x %d px, %s, baseline %.0f mm", d->left.width,
                  d->left.height, d->color ? "colour" : "grey", d->right.pose[3] * 1000.0);
    std::string text = "Device " + vyxsim::Printable(d->serial) + "\n" +
                       "  name:             " + vyxsim::Printable(d->ReportedName()) + "\n" +
                       "  port:             " +
                       (d->port == PortType_GIGE ? "GigE" : "USB") + " (" + d->port_text + ")\n" +
                       "  factory date:     " + d->factory_date + "\n" +
                       "  board model:      " + std::to_string(d->board_model) + "\n" +
                       "  cameras:          " + optics + "\n" +
                       "  opens as:         " + (opens.empty() ? "-" : opens) + "\n" +
                       "  capture modes:    " + modes + "\n" +
                       "  working distance: " + std::to_string(d->workingdist_near_mm) + " to " +
                       std::to_string(d->workingdist_far_mm) + " mm\n" +
                       "  protective cover: " + (d->protective_cover ? "yes" : "no") + "\n" +
                       "  connected:        " + (d->connected ? "yes" : "no") + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (g == Gate::FailAfterWork) vyxsim::SetInjectedError(op);
} catch (...) {
    vyxsim::FailUnexpected();
}

bool Device::GetDeviceInfo(DeviceInfo* info) const try {
    constexpr const char* op = "Device::GetDeviceInfo";
    vyxsim::Words w = HandleAccess::Get(*this);
    auto g = vyxsim::Enter(op, {{"device", w}});
    if (g == Gate::Fail) return false;
    if (!info) return vyxsim::Fail(false, vyxsim::kInvalidArgument, std::string(op) + ": info is a null pointer");
    auto d = vyxsim::DeviceFromHandle(w, op);
    if (!d) return false;
    // The identity is cached: it is reported also while the device is
    // unplugged.
    std::memset(info, 0, sizeof *info);
    CopyText(info->name, sizeof info->name, d->ReportedName());
    CopyText(info->sn, sizeof info->sn, d->serial);
    CopyText(info->factroydate, sizeof info->factroydate, d->factory_date);
    CopyText(info->port, sizeof info->port, d->port_text);
    info->type = d->port;
    info->cameraid = static_cast<CameraID>(d->camera_ids);
    info->boardmodel = d->board_model;
    info->support_x2 = d->support_x2;
    info->support_color = static_cast<ProjectorColor>(d->projector_colors);
    info->workingdist_near_mm = d->workingdist_near_mm;
    info->workingdist_far_mm = d->workingdist_far_mm;
    info->support_capture_mode = static_cast<CaptureMode>(d->capture_modes);
    info->support_x1 = d->support_x1;
    info->support_protective_cover = d->protective_cover;
    info->support_extra = d->extra_camera;
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool Device::IsFirmwareMatch() const try {
    constexpr const char* op = "Device::IsFirmwareMatch";
    vyxsim::Words w = HandleAccess::Get(*this);
    auto g = vyxsim::Enter(op, {{"device", w}});
    if (g == Gate::Fail) return false;
    auto d = vyxsim::DeviceFromHandle(w, op);
    if (!d || !CheckConnected(*d, op)) return false;
    if (!d->firmware_match) {
        return vyxsim::Fail(false, vyxsim::kFirmwareMismatch,
                            std::string(op) + ": the firmware of device " + Serial(*d) +
                                " does not match this SDK");
    }
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

int Device::SetNetworkConfig(NetworkDevice part, NetworkType type, const char* ip,
                             const char* mask, const char* gateway) try {
    constexpr const char* op = "Device::SetNetworkConfig";
    vyxsim::Words w = HandleAccess::Get(*this);
    auto g = vyxsim::Enter(op, {{"device", w},
                                {"part", static_cast<int>(part)},
                                {"type", static_cast<int>(type)},
                                {"ip", ip},
                                {"mask", mask},
                                {"gateway", gateway}});
    if (g == Gate::Fail) return GetLastError();
    auto d = vyxsim::DeviceFromHandle(w, op);
    if (!d || !CheckPart(*d, part, op)) return GetLastError();
    if (type != NetworkType_DHCP && type != NetworkType_STATIC) {
        return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                            std::string(op) + ": unknown network type " +
                                std::to_string(static_cast<int>(type)));
    }
    if (type == NetworkType_STATIC) {
        std::string problem = vyxsim::CheckNetworkTexts(ip, mask, gateway);
        if (!problem.empty()) {
            return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                                std::string(op) + ": " + problem);
        }
    } else {
        // With DHCP the texts are not used, but they must still be readable:
        // empty or dotted IPv4 addresses.
        for (auto [name, text] : {std::pair{"ip", ip}, std::pair{"mask", mask},
                                  std::pair{"gateway", gateway}}) {
            uint32_t ignored;
            if (!text) {
                return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                                    std::string(op) + ": " + name + " is missing (null)");
            }
            if (*text && !vyxsim::ParseIPv4(text, &ignored)) {
                return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                                    std::string(op) + ": " + name + " '" +
                                        vyxsim::Printable(text, 40) +
                                        "' is neither empty nor a dotted IPv4 address");
            }
        }
    }
    if (!CheckConnected(*d, op)) return GetLastError();
    {
        std::lock_guard lock(d->mutex);
        vyxsim::NetworkConfig& c = d->network[part];
        if (type == NetworkType_STATIC) {
            c.type = NetworkType_STATIC;
            c.ip = ip;
            c.mask = mask;
            c.gateway = gateway;
        } else {
            c = d->dhcp_lease[part];
            c.type = NetworkType_DHCP;
        }
    }
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(vyxsim::kInjectedFault, op);
    return 0;
} catch (...) {
    return vyxsim::FailUnexpected(vyxsim::kInternal);
}

int Device::GetNetworkConfig(NetworkDevice part, NetworkType* type, char* ip, char* mask,
                             char* gateway, int* link_speed_mbps) const try {
    constexpr const char* op = "Device::GetNetworkConfig";
    vyxsim::Words w = HandleAccess::Get(*this);
    auto g = vyxsim::Enter(op, {{"device", w}, {"part", static_cast<int>(part)}});
    if (g == Gate::Fail) return GetLastError();
    if (!type || !ip || !mask || !gateway || !link_speed_mbps) {
        return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                            std::string(op) + ": an output pointer is null");
    }
    auto d = vyxsim::DeviceFromHandle(w, op);
    if (!d || !CheckPart(*d, part, op) || !CheckConnected(*d, op)) return GetLastError();
    vyxsim::NetworkConfig c;
    {
        std::lock_guard lock(d->mutex);
        c = d->network[part];
    }
    // Each buffer holds 16 bytes: at most 15 characters and the NUL.
    constexpr std::size_t kBuffer = vyxsim::kMaxIPv4Text + 1;
    *type = c.type;
    CopyText(ip, kBuffer, c.ip);
    CopyText(mask, kBuffer, c.mask);
    CopyText(gateway, kBuffer, c.gateway);
    *link_speed_mbps = d->LinkSpeedMbps();
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(vyxsim::kInjectedFault, op);
    return 0;
} catch (...) {
    return vyxsim::FailUnexpected(vyxsim::kInternal);
}

int Device::AutoConfigureNetwork() try {
    constexpr const char* op = "Device::AutoConfigureNetwork";
    vyxsim::Words w = HandleAccess::Get(*this);
    auto g = vyxsim::Enter(op, {{"device", w}});
    if (g == Gate::Fail) return GetLastError();
    auto d = vyxsim::DeviceFromHandle(w, op);
    if (!d || !CheckConnected(*d, op)) return GetLastError();

    std::lock_guard auto_lock(g_auto_network_mutex);
    // The host's subnet is the one the device's light machine leases from.
    uint32_t lease_ip = 0, mask = 0, gateway = 0;
    vyxsim::ParseIPv4(d->dhcp_lease[0].ip.c_str(), &lease_ip);
    vyxsim::ParseIPv4(d->dhcp_lease[0].mask.c_str(), &mask);
    vyxsim::ParseIPv4(d->dhcp_lease[0].gateway.c_str(), &gateway);
    uint32_t net = lease_ip & mask;

    std::set<uint32_t> used = {gateway};
    for (const auto& other : vyxsim::AllDevices()) {
        if (other == d) continue;
        std::lock_guard lock(other->mutex);
        for (const auto& c : other->network) {
            uint32_t a;
            if (vyxsim::ParseIPv4(c.ip.c_str(), &a)) used.insert(a);
        }
    }
    int parts = d->extra_camera ? 4 : 3;
    std::array<uint32_t, 4> chosen{};
    uint32_t host = 100;
    for (int part = 0; part < parts; ++part) {
        while (host < ~mask && used.count(net | host)) ++host;
        if (host >= ~mask) {
            return vyxsim::Fail(vyxsim::kNotAvailable, vyxsim::kNotAvailable,
                                std::string(op) + ": no free address left in subnet " +
                                    vyxsim::FormatIPv4(net) + " for device " + Serial(*d));
        }
        chosen[part] = net | host;
        used.insert(net | host);
    }
    {
        std::lock_guard lock(d->mutex);
        for (int part = 0; part < parts; ++part) {
            d->network[part].type = NetworkType_STATIC;
            d->network[part].ip = vyxsim::FormatIPv4(chosen[part]);
            d->network[part].mask = vyxsim::FormatIPv4(mask);
            d->network[part].gateway = vyxsim::FormatIPv4(gateway);
        }
    }
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(vyxsim::kInjectedFault, op);
    return 0;
} catch (...) {
    return vyxsim::FailUnexpected(vyxsim::kInternal);
}

}  // namespace Vyx
