// Device records: the virtual devices the system knows, from the built-in
// default or the configuration file, with the state a real device keeps.
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

struct DeviceRecord {
    // Identity (texts at most 31 bytes; `name` is raw bytes and may be
    // scripted to something that is not UTF-8).
    std::string name, serial, factory_date, port_text;
    Vyx::PortType port = Vyx::PortType_USB;
    int32_t board_model = 0;
    bool support_x1 = true, support_x2 = true, color = false, protective_cover = false,
         extra_camera = false, firmware_match = true;
    int32_t projector_colors = Vyx::ProjectorColor_Blue;
    int32_t capture_modes = Vyx::CaptureMode_Fast | Vyx::CaptureMode_Normal;
    int32_t workingdist_near_mm = 0, workingdist_far_mm = 0;

    // Optics: left and right camera, and the projector (as a camera model
    // whose pose places it in the device frame).
    CameraModel left, right, projector;
    nlohmann::json scene;  // the scene description, as configured

    std::atomic<bool> connected{true};

    std::mutex mutex;  // guards everything below
    std::array<NetworkConfig, 4> network;  // by NetworkDevice
    std::shared_ptr<CameraState> camera_state;
};

struct DeviceObj : Object {
    std::shared_ptr<DeviceRecord> record;
};

// All configured devices, in configuration order.
std::vector<std::shared_ptr<DeviceRecord>> AllDevices();
std::shared_ptr<DeviceRecord> FindDeviceBySerial(const std::string& serial);
// The device record a Device handle names (null with the last error set).
std::shared_ptr<DeviceRecord> DeviceFromHandle(Words words, const char* op);

}  // namespace vyxsim
