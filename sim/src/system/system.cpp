// Version, the system lifecycle and device discovery.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/call.h"
#include "core/clock.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/epoch.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/scripts.h"
#include "vyx/system.h"

using Vyx::HandleAccess;

namespace {

constexpr const char kVersionText[] = "Vyx SDK 1.0.0 (stand-in)";

// Serialises SystemInit and SystemShutdown against each other.
std::mutex g_lifecycle_mutex;

bool PortMatches(const vyxsim::DeviceRecord& d, Vyx::SystemListDeviceType::Enum type) {
    switch (type) {
        case Vyx::SystemListDeviceType::USB: return d.port == Vyx::PortType_USB;
        case Vyx::SystemListDeviceType::GigE: return d.port == Vyx::PortType_GIGE;
        case Vyx::SystemListDeviceType::All: return true;
    }
    return false;
}

}  // namespace

namespace vyxsim {

namespace {
std::atomic<uint64_t> g_epoch{1};
}  // namespace

uint64_t SystemEpoch() { return g_epoch.load(); }

bool CallEpoch(const char* op, uint64_t* epoch) {
    *epoch = g_epoch.load();
    // Read after the generation: initialised now means initialised in that
    // generation (a shutdown clears the flag before it moves the generation
    // on, and a later SystemInit cannot set it again before that).
    if (SystemInitialised()) return true;
    return Fail(false, kNotInitialized, std::string(op) + ": the system is not initialised (call SystemInit first)");
}

bool SameEpoch(const char* op, uint64_t epoch) {
    if (g_epoch.load() == epoch) return true;
    return Fail(false, kNotInitialized, std::string(op) + ": the system was shut down while the call was in progress");
}

void ShutdownSystem() {
    std::lock_guard lock(g_lifecycle_mutex);
    SetSystemInitialised(false);
    // Before the handles go: a call still registering objects then sees the
    // new generation (registration and ClearObjects meet on the registry's
    // locks) and removes what it made, or ClearObjects finds it.
    g_epoch.fetch_add(1);
    WakeLatencyWaiters();
    ClearObjects();
}

}  // namespace vyxsim

namespace Vyx {

const char* GetVersion() try {
    vyxsim::TraceCall("GetVersion");
    const char* scripted = nullptr;
    if (vyxsim::ScriptedVersion(&scripted)) return scripted;
    return kVersionText;
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<const char*>(nullptr));
}

bool SystemInit() try {
    auto g = vyxsim::Enter("SystemInit", {}, false);
    if (g == vyxsim::Gate::Fail) return false;
    {
        std::lock_guard lock(g_lifecycle_mutex);
        std::string problem;
        if (!vyxsim::EnsureDevicesLoaded(&problem)) {
            return vyxsim::Fail(false, vyxsim::kBadFile, "SystemInit: " + problem);
        }
        vyxsim::SetSystemInitialised(true);
    }
    if (g == vyxsim::Gate::FailAfterWork) return vyxsim::FailInjected(false, "SystemInit");
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool SystemIsInited() try {
    vyxsim::TraceCall("SystemIsInited");
    return vyxsim::SystemInitialised();
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

void SystemShutdown() try {
    vyxsim::TraceCall("SystemShutdown");
    vyxsim::ShutdownSystem();
} catch (...) {
    vyxsim::FailUnexpected();
}

int SystemListDevices(Device* devices, int capacity, int* count, SystemListDeviceType::Enum type) try {
    constexpr const char* op = "SystemListDevices";
    auto g = vyxsim::Enter(op, {{"capacity", capacity}, {"type", static_cast<int>(type)}});
    if (g == vyxsim::Gate::Fail) return GetLastError();
    if (!count) {
        return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                            std::string(op) + ": count is a null pointer");
    }
    if (capacity < 0) {
        return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                            std::string(op) + ": capacity " + std::to_string(capacity) +
                                " is negative");
    }
    if (!devices && capacity > 0) {
        return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                            std::string(op) + ": devices is a null pointer but capacity is " +
                                std::to_string(capacity));
    }
    if (type != SystemListDeviceType::USB && type != SystemListDeviceType::GigE &&
        type != SystemListDeviceType::All) {
        return vyxsim::Fail(vyxsim::kInvalidArgument, vyxsim::kInvalidArgument,
                            std::string(op) + ": unknown port kind " +
                                std::to_string(static_cast<int>(type)));
    }

    std::vector<std::shared_ptr<vyxsim::DeviceRecord>> found;
    for (auto& d : vyxsim::AllDevices()) {
        if (d->connected && PortMatches(*d, type)) found.push_back(std::move(d));
    }
    int reported = static_cast<int>(found.size());
    int scripted = 0;
    bool is_scripted = vyxsim::ScriptedListingCount(&scripted);
    if (is_scripted) reported = scripted;

    // Entries the caller has room for: handles of real devices, then (when a
    // scripted count claims more devices than exist) all-zero handles.
    int room = reported < capacity ? (reported > 0 ? reported : 0) : capacity;
    int written = 0;
    for (; written < room && written < static_cast<int>(found.size()); ++written) {
        HandleAccess::Set(devices[written], vyxsim::DeviceHandle(found[written]));
    }
    for (int i = written; i < room; ++i) HandleAccess::Set(devices[i], vyxsim::Words{});
    *count = reported;

    if (g == vyxsim::Gate::FailAfterWork) {
        vyxsim::SetInjectedError(op);
        return vyxsim::kInjectedFault;
    }
    return 0;
} catch (...) {
    return vyxsim::FailUnexpected(vyxsim::kInternal);
}

Device SystemFindDevice(const char* serialNumber) try {
    constexpr const char* op = "SystemFindDevice";
    auto g = vyxsim::Enter(op, {{"serialNumber", serialNumber}});
    if (g == vyxsim::Gate::Fail) return Device();
    if (!serialNumber) {
        return vyxsim::Fail(Device(), vyxsim::kInvalidArgument,
                            std::string(op) + ": the serial number is a null pointer");
    }
    auto record = vyxsim::FindDeviceBySerial(serialNumber);
    if (!record) {
        return vyxsim::Fail(Device(), vyxsim::kNotFound,
                            std::string(op) + ": no device with serial number '" +
                                vyxsim::Printable(serialNumber) + "'");
    }
    if (!record->connected) {
        return vyxsim::Fail(Device(), vyxsim::kDisconnected,
                            std::string(op) + ": device '" + vyxsim::Printable(serialNumber) +
                                "' is not connected");
    }
    Device device = HandleAccess::Make<Device>(vyxsim::DeviceHandle(record));
    if (g == vyxsim::Gate::FailAfterWork) return vyxsim::FailInjected(Device(), op);
    return device;
} catch (...) {
    return vyxsim::FailUnexpected(Device());
}

}  // namespace Vyx
