// Device records: the virtual devices the system knows, with the state a real
// device keeps. device_config.h reads them from a configuration (or the
// built-in default), device_registry.h keeps the set of them.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/handles.h"
#include "vyx/types.h"

namespace vyxsim {

// Pinhole camera with Brown-Conrady distortion; pose maps camera coordinates
// to the device frame (metres, row-major 4 x 4).
struct CameraModel {
    int width = 0;
    int height = 0;
    double fx = 0, fy = 0, cx = 0, cy = 0;
    std::array<double, 5> distortion{};  // k1, k2, p1, p2, k3
    std::array<double, 16> pose{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct NetworkConfig {
    Vyx::NetworkType type = Vyx::NetworkType_DHCP;
    std::string ip, mask, gateway;  // each at most 15 characters
};

// State a camera keeps for the life of the process; defined and created by the
// camera implementation.
struct CameraState;

// The recording a replay device hands out, with its cursor
// (recording/replay.h).
namespace rec {
class Replay;
}

struct DeviceRecord {
    // Identity (texts at most 31 bytes; `name` is raw bytes and may be
    // scripted to something that is not UTF-8). Fixed once the record is
    // configured, so they are read without a lock.
    std::string name, serial, factory_date, port_text;
    Vyx::PortType port = Vyx::PortType_USB;
    int32_t board_model = 0;
    bool support_x1 = true, support_x2 = true, color = false, protective_cover = false,
         extra_camera = false, firmware_match = true;
    int32_t projector_colors = Vyx::ProjectorColor_Blue;
    int32_t capture_modes = Vyx::CaptureMode_Fast | Vyx::CaptureMode_Normal;
    int32_t workingdist_near_mm = 0, workingdist_far_mm = 0;
    int32_t camera_ids = Vyx::CameraID_Left | Vyx::CameraID_Right;  // DeviceInfo.cameraid

    // Optics: left and right camera, and the projector (as a camera model
    // whose pose places it in the device frame).
    CameraModel left, right, projector;
    nlohmann::json scene;  // the scene description, as configured (null when none)
    // Set for a device that replays a recording instead of rendering a scene.
    std::shared_ptr<rec::Replay> replay;

    // The addresses a part takes when set to DHCP (its lease), by NetworkDevice.
    std::array<NetworkConfig, 4> dhcp_lease;

    // False while unplugged (control interface) and once retired.
    std::atomic<bool> connected{true};
    // True once a new configuration has replaced this device: its handles are
    // released and it never comes back.
    std::atomic<bool> retired{false};

    std::mutex mutex;  // guards everything below
    std::array<NetworkConfig, 4> network;  // by NetworkDevice
    std::shared_ptr<CameraState> camera_state;
    Words handle;                // the device's handle while it is registered
    bool name_scripted = false;  // GetDeviceInfo reports `scripted_name`
    std::string scripted_name;

    // Link speed in Mbit/s while connected: 1000 on GigE, 5000 on USB 3.
    int LinkSpeedMbps() const;
    // The name GetDeviceInfo reports (the scripted one when set).
    std::string ReportedName();
};

struct DeviceObj : Object {
    std::shared_ptr<DeviceRecord> record;
};

}  // namespace vyxsim
