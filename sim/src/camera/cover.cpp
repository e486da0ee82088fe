// The protective cover of a device (cover.h).
#include "camera/cover.h"

#include <string>

#include "camera/session.h"
#include "core/error.h"

namespace vyxsim::cam {

namespace {

bool NoCover(const char* op, const DeviceRecord& d) {
    return Fail(false, kUnsupported, std::string(op) + ": " + DeviceText(d) + " has no protective cover");
}

const char* StatusName(Vyx::ProtectiveCoverStatus s) {
    switch (s) {
        case Vyx::ProtectiveCoverStatus_Closed: return "closed";
        case Vyx::ProtectiveCoverStatus_Closing: return "closing";
        case Vyx::ProtectiveCoverStatus_Open: return "open";
        case Vyx::ProtectiveCoverStatus_Opening: return "opening";
        default: return "unknown";
    }
}

}  // namespace

bool CoverOpen(const char* op, const DeviceRecord& d, CameraState& s, bool async) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (async) {
        s.cover.MoveTo(1.0, s.Now());
    } else {
        s.cover.Set(1.0, s.Now());
    }
    return true;
}

bool CoverClose(const char* op, const DeviceRecord& d, CameraState& s, bool async) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (async) {
        s.cover.MoveTo(0.0, s.Now());
    } else {
        s.cover.Set(0.0, s.Now());
    }
    return true;
}

bool CoverReset(const char* op, const DeviceRecord& d, CameraState& s) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.cover.Set(0.0, s.Now());
    return true;
}

bool CoverStatus(const char* op, const DeviceRecord& d, CameraState& s, Vyx::ProtectiveCoverStatus* status) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    *status = s.cover.StatusAt(s.Now());
    return true;
}

bool CoverLetsCapture(const char* op, const DeviceRecord& d, CameraState& s) {
    if (!d.protective_cover) return true;
    Vyx::ProtectiveCoverStatus st;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        st = s.cover.StatusAt(s.Now());
    }
    if (st == Vyx::ProtectiveCoverStatus_Open) return true;
    return Fail(false, kWrongState, std::string(op) + ": the protective cover of " + DeviceText(d) + " is " + StatusName(st) +
                                        "; open it before capturing");
}

}  // namespace vyxsim::cam
