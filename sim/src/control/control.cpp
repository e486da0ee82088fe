// The control interface: devices, injected failures, scripted answers,
// trace, latency and the model clock.
#include "vyxsim/control.h"

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <unordered_set>

#include "core/call.h"
#include "core/clock.h"
#include "core/device_config.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/json_read.h"
#include "core/scripts.h"
#include "recording/recording.h"
#include "recording/replay.h"
#include "scene/default_scene.h"
#include "scene/device_scenes.h"
#include "vyx/system.h"

namespace vyxsim {
namespace {

std::atomic<bool> g_listing_scripted{false};
std::atomic<int> g_listing_count{0};

std::mutex g_version_mutex;
bool g_version_scripted = false;
const char* g_version_text = nullptr;
// Every text ever scripted, so that a pointer GetVersion handed out stays
// valid after the script changes (as the SDK's static text would).
std::unordered_set<std::string>* g_version_texts = new std::unordered_set<std::string>;

}  // namespace

bool ScriptedListingCount(int* count) {
    if (!g_listing_scripted.load(std::memory_order_acquire)) return false;
    *count = g_listing_count.load(std::memory_order_relaxed);
    return true;
}

void SetScriptedListingCount(bool enabled, int count) {
    g_listing_count.store(count, std::memory_order_relaxed);
    g_listing_scripted.store(enabled, std::memory_order_release);
}

bool ScriptedVersion(const char** text) {
    std::lock_guard lock(g_version_mutex);
    if (!g_version_scripted) return false;
    *text = g_version_text;
    return true;
}

void SetScriptedVersion(bool enabled, bool is_null, const std::string& text) {
    std::lock_guard lock(g_version_mutex);
    g_version_scripted = enabled;
    g_version_text = nullptr;
    if (enabled && !is_null) g_version_text = g_version_texts->insert(text).first->c_str();
}

void ClearScripts() {
    SetScriptedListingCount(false, 0);
    SetScriptedVersion(false, false, {});
    ClearScriptedErrorMessage();
}

void Reset() {
    // The shutdown first: a call in progress (a capture waiting out its
    // latency, say) then fails instead of finishing on the old system, and
    // the held calls let go next fail at the gate.
    ShutdownSystem();
    ReleaseAllOps();
    ResetClock();
    ClearInjectedFailures();
    ClearScripts();
    SetTraceRecording(false);
    ClearTraceLines();
    ReloadDevices();
}

bool LoadConfigFile(const std::string& path, std::string* error) {
    return LoadDevicesFromFile(path, error);
}

bool LoadConfigText(const std::string& json, std::string* error) {
    return LoadDevicesFromText(json, "configuration text", error);
}

bool AddDevice(const std::string& device_json, std::string* error) {
    return AddDeviceFromText(device_json, error);
}

std::string DefaultConfigText() { return DefaultConfigurationText(); }

bool DefaultSceneText(const std::string& serial, std::string* text, std::string* error) {
    std::shared_ptr<DeviceRecord> device;
    if (serial.empty()) {
        // The first built-in device, read afresh: the configured devices may
        // be others.
        device = ParseConfiguration(DefaultConfigurationText()).front();
    } else {
        device = FindDeviceBySerial(serial);
    }
    if (!device) {
        if (error) *error = "no configured device has serial number '" + Printable(serial, 40) + "'";
        return false;
    }
    *text = scene::DefaultSceneJson(*device).dump();
    return true;
}

bool SetScene(const std::string& serial, const std::string* scene_json, std::string* error) {
    if (error) error->clear();
    auto device = FindDeviceBySerial(serial);
    if (!device) return false;
    std::string why;
    bool ok = false;
    if (!scene_json) {
        ok = scene::SetDeviceScene(device, nullptr, &why);
    } else {
        try {
            const nlohmann::json parsed = jsonread::Parse(*scene_json);
            ok = scene::SetDeviceScene(device, &parsed, &why);
        } catch (const jsonread::Problem& p) {
            why = p.what();
        }
    }
    if (!ok && error) *error = "scene for device '" + Printable(serial, 40) + "': " + why;
    return ok;
}

bool Unplug(const std::string& serial) {
    auto d = FindDeviceBySerial(serial);
    if (!d) return false;
    d->connected = false;
    // A capture on the device waiting out its latency stops waiting and fails.
    WakeLatencyWaiters();
    return true;
}

bool Replug(const std::string& serial) {
    auto d = FindDeviceBySerial(serial);
    if (!d) return false;
    d->connected = true;
    return true;
}

std::vector<std::string> DeviceSerials() {
    std::vector<std::string> serials;
    for (const auto& d : AllDevices()) serials.push_back(d->serial);
    return serials;
}

void FailNext(const std::string& op, int count, bool write_outputs) {
    InjectFailure(op, count, write_outputs);
}

void ThrowNext(const std::string& op, int count, bool out_of_memory) {
    InjectException(op, count, out_of_memory);
}

void ClearFailures() { ClearInjectedFailures(); }

void HoldCalls(const std::string& op, int limit_ms) { HoldOp(op, limit_ms); }
int ReleaseCalls(const std::string& op) { return ReleaseOp(op); }
int HeldCalls(const std::string& op) { return HeldOpCalls(op); }

void ScriptListingCount(bool enabled, int count) { SetScriptedListingCount(enabled, count); }

void ScriptVersion(bool enabled, bool is_null, const std::string& text) {
    SetScriptedVersion(enabled, is_null, text);
}

void ScriptNextErrorMessage(const std::string& message) {
    SetScriptedErrorMessage(message);
}

bool ScriptDeviceName(const std::string& serial, const std::string& raw_name) {
    if (raw_name.size() > 31) return false;
    auto d = FindDeviceBySerial(serial);
    if (!d) return false;
    std::lock_guard lock(d->mutex);
    d->name_scripted = true;
    d->scripted_name = raw_name;
    return true;
}

void SetTraceEnabled(bool enabled) { SetTraceRecording(enabled); }
std::vector<std::string> TakeTrace() { return TakeTraceLines(); }
void ClearTrace() { ClearTraceLines(); }

void SetCaptureLatencyMs(int milliseconds) { SetLatencyMs(milliseconds); }
int CaptureLatencyMs() { return LatencyMs(); }
int CapturesWaiting() { return LatencyWaiters(); }

void SetClockManual(bool manual) { SetClockMode(manual); }
bool ClockManual() { return ClockIsManual(); }

bool AdvanceClockUs(std::int64_t microseconds) {
    // Checked here: a count this large would overflow in nanoseconds.
    constexpr std::int64_t kMaxUs = std::numeric_limits<std::int64_t>::max() / 2000;
    if (microseconds < 0 || microseconds > kMaxUs) return false;
    return AdvanceClock(std::chrono::microseconds(microseconds));
}

std::int64_t ClockNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(ModelClock::now().time_since_epoch()).count();
}

std::size_t LiveObjects() { return LiveObjectCount(); }

std::size_t RetainedObjects() {
    // Every registered object has one handle while it is live, so what is
    // alive beyond the live handles is retained. The counters are read apart
    // while other threads may change them: clamp at zero.
    const std::size_t live = LiveObjectCount();
    const std::size_t alive = AliveObjectCount();
    return alive > live ? alive - live : 0;
}

std::size_t StorageBytes() { return AliveStorageBytes(); }

// ---------------------------------------------------------------------------
// Replay devices.

namespace {

// The replay source of the device `serial`; null with `error` set.
std::shared_ptr<rec::Replay> ReplayOf(const char* op, const std::string& serial, std::string* error) {
    auto d = FindDeviceBySerial(serial);
    if (!d) {
        if (error) *error = std::string(op) + ": no device with serial number '" + Printable(serial) + "'";
        return nullptr;
    }
    if (!d->replay) {
        if (error) *error = std::string(op) + ": device '" + Printable(serial) + "' is not a replay device";
        return nullptr;
    }
    return d->replay;
}

}  // namespace

bool GetReplayInfo(const std::string& serial, ReplayInfo* info, std::string* error) {
    auto r = ReplayOf("replay_info", serial, error);
    if (!r) return false;
    const rec::Recording& rec = r->recording();
    const rec::ReplayStatus s = r->Status();
    info->folder = rec.folder;
    info->camera = rec.x2 ? "X2" : "X1";
    info->camera_id = rec.x2 ? "" : (rec.camera_id == Vyx::CameraID_Left ? "Left" : "Right");
    info->frames = static_cast<std::int64_t>(s.frames);
    info->at_end = rec::AtEndName(s.at_end);
    info->stepping = s.stepping;
    info->position = s.position;
    info->last_frame = s.last_frame;
    return true;
}

bool ReplaySeek(const std::string& serial, std::int64_t index, std::string* error) {
    auto r = ReplayOf("replay_seek", serial, error);
    if (!r) return false;
    if (r->Seek(index)) return true;
    if (error) {
        *error = "replay_seek: index " + std::to_string(index) + " is out of range (the recording of '" +
                 Printable(serial) + "' has " + std::to_string(r->recording().frames.size()) + " frames, 0 to " +
                 std::to_string(r->recording().frames.size() - 1) + ")";
    }
    return false;
}

bool ReplaySetStepping(const std::string& serial, bool on, std::string* error) {
    auto r = ReplayOf("replay_stepping", serial, error);
    if (!r) return false;
    r->SetStepping(on);
    return true;
}

bool ReplayStep(const std::string& serial, std::int64_t count, std::int64_t* position, std::string* error) {
    auto r = ReplayOf("replay_step", serial, error);
    if (!r) return false;
    if (count < 0) {
        if (error) *error = "replay_step: count " + std::to_string(count) + " is negative";
        return false;
    }
    const std::int64_t p = r->Step(count);
    if (position) *position = p;
    return true;
}

}  // namespace vyxsim
