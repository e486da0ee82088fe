// The device set: loading and replacing configurations, finding devices,
// and the one handle each device has.
#include "core/device_registry.h"

#include <mutex>
#include <utility>

#include "core/device_config.h"
#include "core/error.h"
#include "core/json_read.h"

namespace vyxsim {

namespace {

using namespace jsonread;  // Problem, Parse

std::mutex g_devices_mutex;
std::vector<std::shared_ptr<DeviceRecord>> g_devices;
bool g_loaded = false;

// Retires the devices a new configuration replaces: their handles are
// released and they read as disconnected to anything still holding them.
void Retire(const std::vector<std::shared_ptr<DeviceRecord>>& old) {
    for (const auto& d : old) {
        Words handle;
        {
            std::lock_guard lock(d->mutex);
            d->retired = true;
            d->connected = false;
            handle = d->handle;
            d->handle = {};
        }
        RemoveObject(Kind::Device, handle);
    }
}

// Installs `devices` as the device set; the caller holds g_devices_mutex.
void Install(std::vector<std::shared_ptr<DeviceRecord>> devices,
             std::vector<std::shared_ptr<DeviceRecord>>* old) {
    *old = std::move(g_devices);
    g_devices = std::move(devices);
    g_loaded = true;
}

}  // namespace

bool EnsureDevicesLoaded(std::string* error) {
    std::lock_guard lock(g_devices_mutex);
    if (g_loaded) return true;
    std::vector<std::shared_ptr<DeviceRecord>> devices;
    std::string problem;
    if (!ParseStartConfiguration(&devices, &problem)) {
        if (error) *error = problem;
        return false;
    }
    std::vector<std::shared_ptr<DeviceRecord>> old;
    Install(std::move(devices), &old);
    return true;
}

void ReloadDevices() {
    std::vector<std::shared_ptr<DeviceRecord>> old;
    {
        std::lock_guard lock(g_devices_mutex);
        old = std::move(g_devices);
        g_devices.clear();
        g_loaded = false;
        std::vector<std::shared_ptr<DeviceRecord>> devices;
        std::string problem;
        // When the start configuration is invalid the set stays empty and not
        // loaded: SystemInit reports the problem.
        if (ParseStartConfiguration(&devices, &problem)) {
            std::vector<std::shared_ptr<DeviceRecord>> none;
            Install(std::move(devices), &none);
        }
    }
    Retire(old);
}

bool LoadDevicesFromText(const std::string& text, const std::string& origin, std::string* error,
                         const std::string& base_dir) {
    std::vector<std::shared_ptr<DeviceRecord>> devices;
    try {
        devices = ParseConfiguration(text, base_dir);
    } catch (const Problem& p) {
        if (error) *error = origin + ": " + p.what();
        return false;
    }
    std::vector<std::shared_ptr<DeviceRecord>> old;
    {
        std::lock_guard lock(g_devices_mutex);
        Install(std::move(devices), &old);
    }
    Retire(old);
    return true;
}

bool LoadDevicesFromFile(const std::string& path, std::string* error) {
    std::string text, problem;
    if (!ReadConfigurationFile(path, &text, &problem)) {
        if (error) *error = problem;
        return false;
    }
    return LoadDevicesFromText(text, "configuration file '" + Printable(path) + "'", error, ConfigurationFolder(path));
}

bool AddDeviceFromText(const std::string& device_json, std::string* error) {
    std::string ignored;
    EnsureDevicesLoaded(&ignored);  // an invalid start configuration leaves the set empty
    std::lock_guard lock(g_devices_mutex);
    std::shared_ptr<DeviceRecord> d;
    try {
        d = ParseDevice(Parse(device_json), "", static_cast<int>(g_devices.size()));
        for (const auto& other : g_devices) {
            if (other->serial == d->serial) {
                throw Problem("serial: serial number '" + Printable(d->serial) +
                              "' is already configured");
            }
        }
    } catch (const Problem& p) {
        if (error) *error = std::string("device description: ") + p.what();
        return false;
    }
    g_devices.push_back(std::move(d));
    g_loaded = true;
    return true;
}

std::vector<std::shared_ptr<DeviceRecord>> AllDevices() {
    std::string ignored;
    EnsureDevicesLoaded(&ignored);
    std::lock_guard lock(g_devices_mutex);
    return g_devices;
}

std::shared_ptr<DeviceRecord> FindDeviceBySerial(const std::string& serial) {
    for (auto& d : AllDevices()) {
        if (d->serial == serial) return d;
    }
    return nullptr;
}

Words DeviceHandle(const std::shared_ptr<DeviceRecord>& record) {
    std::lock_guard lock(record->mutex);
    if (record->retired) return {};
    auto live = Find<DeviceObj>(Kind::Device, record->handle);
    if (live && live->record == record) return record->handle;
    auto obj = std::make_shared<DeviceObj>();
    obj->record = record;
    record->handle = RegisterObject(Kind::Device, std::move(obj));
    return record->handle;
}

std::shared_ptr<DeviceRecord> FindDeviceRecord(Words words) {
    auto obj = Find<DeviceObj>(Kind::Device, words);
    if (!obj || obj->record->retired) return nullptr;
    return obj->record;
}

std::shared_ptr<DeviceRecord> DeviceFromHandle(Words words, const char* op) {
    auto record = FindDeviceRecord(words);
    if (!record) {
        return Fail<std::shared_ptr<DeviceRecord>>(
            nullptr, kInvalidHandle, std::string(op) + ": the handle names no device");
    }
    return record;
}

}  // namespace vyxsim
