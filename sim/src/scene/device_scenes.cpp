// The scene each device sees, parsed once and cached per device.
#include "scene/device_scenes.h"

#include <map>
#include <mutex>

#include "core/devices.h"
#include "core/error.h"
#include "scene/default_scene.h"
#include "scene/scene_json.h"

using nlohmann::json;

namespace vyxsim::scene {

namespace {

struct CacheEntry {
    std::weak_ptr<DeviceRecord> device;
    std::shared_ptr<const Scene> scene;  // null: parse the configured one on next use
};

std::mutex g_cache_mutex;
std::map<const DeviceRecord*, CacheEntry> g_cache;

// Drops entries of devices that no longer exist. Caller holds the mutex.
void Prune() {
    for (auto it = g_cache.begin(); it != g_cache.end();) {
        if (it->second.device.expired()) {
            it = g_cache.erase(it);
        } else {
            ++it;
        }
    }
}

CacheEntry* EntryFor(const std::shared_ptr<DeviceRecord>& device) {
    auto it = g_cache.find(device.get());
    if (it != g_cache.end() && it->second.device.lock() == device) return &it->second;
    if (g_cache.size() > 64) Prune();
    CacheEntry& e = g_cache[device.get()];
    e = CacheEntry{};
    e.device = device;
    return &e;
}

}  // namespace

std::shared_ptr<const Scene> SceneForDevice(const std::shared_ptr<DeviceRecord>& device,
                                            std::string* error) {
    if (!device) {
        if (error) *error = "no device";
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    CacheEntry* e = EntryFor(device);
    if (e->scene) return e->scene;
    auto scene = std::make_shared<Scene>();
    if (device->scene.is_null()) {
        *scene = DefaultScene(*device);
    } else {
        std::string why;
        if (!ParseScene(device->scene, scene.get(), &why)) {
            if (error) *error = "the scene configured for device '" + Printable(device->serial, 40) + "' is invalid: " + why;
            return nullptr;
        }
    }
    e->scene = scene;
    return scene;
}

bool SetDeviceScene(const std::shared_ptr<DeviceRecord>& device, const json* scene_json,
                    std::string* error) {
    if (!device) {
        if (error) *error = "no device";
        return false;
    }
    std::shared_ptr<Scene> parsed;
    if (scene_json) {
        parsed = std::make_shared<Scene>();
        if (!ParseScene(*scene_json, parsed.get(), error)) return false;
    }
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    CacheEntry* e = EntryFor(device);
    e->scene = parsed;
    return true;
}

}  // namespace vyxsim::scene
