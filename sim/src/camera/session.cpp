// The device sessions, the device text of messages and the results a camera
// hands out that are not plain buffers (the mesh), for session.h.
#include "camera/session.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"

namespace vyxsim::cam {

std::string DeviceText(const DeviceRecord& d) { return "device '" + Printable(d.serial, 40) + "'"; }

namespace {
std::atomic<uint64_t> g_next_session{1};
}  // namespace

uint64_t NewSessionId() { return g_next_session.fetch_add(1); }

bool DisconnectedError(const char* op, const DeviceRecord& d) {
    if (d.retired.load()) {
        return Fail(false, kDisconnected, std::string(op) + ": " + DeviceText(d) + " is no longer configured");
    }
    return Fail(false, kDisconnected, std::string(op) + ": " + DeviceText(d) + " is disconnected (unplugged)");
}

bool AcquireDevice(const char* op, const DeviceRecord& d, CameraState& s, uint64_t owner, bool* taken) {
    if (taken) *taken = false;
    if (!d.connected.load()) return DisconnectedError(op, d);
    if (!d.firmware_match) {
        return Fail(false, kFirmwareMismatch, std::string(op) + ": the firmware of " + DeviceText(d) + " does not match this SDK");
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.open_owner != 0 && s.open_owner != owner) {
        return Fail(false, kWrongState,
                    std::string(op) + ": " + DeviceText(d) + " is already open through another X1 or X2 handle; close that first");
    }
    if (s.open_owner != owner) {
        s.open_owner = owner;
        s.opened_at = s.Now();
        s.simulated = ModelClock::duration{0};
        if (taken) *taken = true;
    }
    return true;
}

void ReleaseDevice(CameraState& s, uint64_t owner) {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.open_owner == owner) s.open_owner = 0;
}

bool NoResultYet(const char* op, bool captured, bool last_was_2d, const std::string& what) {
    std::string why;
    if (!captured) {
        why = "no capture has been made yet";
    } else if (last_was_2d) {
        why = "the last capture was a 2D capture, which makes no " + what;
    } else {
        why = "the last capture made no " + what + " (enable_2d_in_capture was false)";
    }
    return Fail(false, kWrongState, std::string(op) + ": " + why);
}

std::shared_ptr<MeshObj> MeshOfPointMap(const PointMapObj& pm) {
    const Vyx::Size sz = pm.size;
    const double* p = pm.points;
    std::vector<double> gaps;
    const int stride = std::max(1, sz.height / 64);
    for (int v = 0; v < sz.height; v += stride) {
        for (int u = 0; u + 1 < sz.width; ++u) {
            const double* a = p + 3 * (static_cast<std::size_t>(v) * sz.width + u);
            const double* b = a + 3;
            const double d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                       (a[2] - b[2]) * (a[2] - b[2]));
            if (std::isfinite(d)) gaps.push_back(d);
        }
    }
    return MeshFromGrid(sz, p, pm.normals, std::max(0.002, 10.0 * Percentile(gaps, 0.5)));
}

}  // namespace vyxsim::cam
