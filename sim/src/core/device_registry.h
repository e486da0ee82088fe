// The device set: the configured devices, loading and replacing
// configurations, and the handle of each device.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/devices.h"
#include "core/handles.h"

namespace vyxsim {

// All configured devices, in configuration order (loaded on first use: from
// VYX_SIM_CONFIG when set, else the built-in default; empty when that
// configuration is invalid).
std::vector<std::shared_ptr<DeviceRecord>> AllDevices();
std::shared_ptr<DeviceRecord> FindDeviceBySerial(const std::string& serial);
// The device record a Device handle names (null with the last error set).
std::shared_ptr<DeviceRecord> DeviceFromHandle(Words words, const char* op);
// The same without touching the last error: null when `words` names no device.
std::shared_ptr<DeviceRecord> FindDeviceRecord(Words words);

// The handle of a device: the one it has while that is registered, else a new
// one. Zero words for a retired device.
Words DeviceHandle(const std::shared_ptr<DeviceRecord>& record);

// Loads the configured devices if that has not happened yet. False, with the
// reason in `error`, when VYX_SIM_CONFIG names an invalid configuration.
bool EnsureDevicesLoaded(std::string* error);
// Forgets the devices (retiring them) and loads the configured ones again.
void ReloadDevices();
// Replace the devices with those of a configuration, or add one device.
// `origin` names the source in messages ("configuration file '/x.json'").
bool LoadDevicesFromFile(const std::string& path, std::string* error);
// Relative recording folders are relative to `base_dir` (empty: the current
// directory).
bool LoadDevicesFromText(const std::string& text, const std::string& origin, std::string* error,
                         const std::string& base_dir = "");
bool AddDeviceFromText(const std::string& device_json, std::string* error);

}  // namespace vyxsim
