// Entry points whose work is the same through an X1 and an X2 handle: they
// act on the device (bandwidth, projector temperature, ranges, settings
// files, region-of-interest rules, protective cover, user sets) whichever
// handle names it. Each runs in the frame of session.h (RunCamera) for the
// camera object type C, naming `op` in its trace line and its errors; the
// X1 and X2 methods forward to them with their own operation names
// ("X1::CheckRoi").
//
// Besides what session.h asks of C, these use RoiCamera(), the camera whose
// image the region of interest applies to.
//
// Each catches everything at its boundary and fails with kInternal then.
#pragma once

#include <cstring>
#include <mutex>
#include <string>

#include "camera/bandwidth.h"
#include "camera/camera_state.h"
#include "camera/cover.h"
#include "camera/options.h"
#include "camera/roi.h"
#include "camera/session.h"
#include "camera/settings_file.h"
#include "camera/user_sets.h"
#include "core/devices.h"
#include "vyx/types.h"
#include "vyx/x1.h"

namespace vyxsim::calls {

// ---------------------------------------------------------------------------
// Device settings.

template <class C>
bool SetBandwidth(const HandleOf<C>& self, const char* op, float bandwidth) try {
    return RunCamera<C>(op, self, {Self<C>(self), {"bandwidth", static_cast<double>(bandwidth)}}, Need::Open,
                        [&](C& c) { return cam::SetBandwidth(op, *c.state, bandwidth); });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool ProjectorTemperature(const HandleOf<C>& self, const char* op, float& celsius) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Open, [&celsius](C& c) {
        std::lock_guard<std::mutex> lock(c.state->mutex);
        celsius = vyxsim::ProjectorTemperature(*c.state);
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

// The range queries: the device's limits, whatever its state.
template <class C, class T>
bool WriteRange(const HandleOf<C>& self, const char* op, T* min, T* max, T lo, T hi) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Handle, [&](C&) {
        if (!min || !max) return Fail(false, kInvalidArgument, std::string(op) + ": an output pointer is null");
        *min = lo;
        *max = hi;
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Settings files.

template <class C>
bool LoadSettings(const HandleOf<C>& self, const char* op, const char* path) try {
    return RunCamera<C>(op, self, {Self<C>(self), {"path", path}}, Need::Open,
                        [&](C& c) { return LoadSettingsFile(op, path, *c.device); });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool SaveSettings(const HandleOf<C>& self, const char* op, const char* path) try {
    return RunCamera<C>(op, self, {Self<C>(self), {"path", path}}, Need::Open,
                        [&](C& c) { return SaveSettingsFile(op, path, *c.device); });
} catch (...) {
    return FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Region of interest.

template <class C>
bool CheckRoi(const HandleOf<C>& self, const char* op, const Vyx::ROI& roi) try {
    const std::string roi_text = cam::RoiText(roi);
    return RunCamera<C>(op, self, {Self<C>(self), {"roi", roi_text.c_str()}}, Need::Handle, [&](C& c) {
        std::string why;
        if (!cam::RoiFollowsRules(c.RoiCamera(), roi, &why)) {
            return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
        }
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

// The adjusted ROI; all zero on failure.
template <class C>
Vyx::ROI AutoAdjustRoi(const HandleOf<C>& self, const char* op, const Vyx::ROI& roi) try {
    const std::string roi_text = cam::RoiText(roi);
    Vyx::ROI out(0, 0, 0, 0);
    const bool ok = RunCamera<C>(op, self, {Self<C>(self), {"roi", roi_text.c_str()}}, Need::Handle, [&](C& c) {
        out = cam::AdjustRoi(c.RoiCamera(), roi);
        return true;
    });
    return ok ? out : Vyx::ROI(0, 0, 0, 0);
} catch (...) {
    return FailUnexpected(Vyx::ROI(0, 0, 0, 0));
}

template <class C>
bool RoiRange(const HandleOf<C>& self, const char* op, Vyx::ROIRange& range) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Handle, [&range](C& c) {
        range = cam::RoiRange(c.RoiCamera());
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// Protective cover.

template <class C>
bool OpenCover(const HandleOf<C>& self, const char* op, bool async) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Open,
                        [&](C& c) { return cam::CoverOpen(op, *c.device, *c.state, async); });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool CloseCover(const HandleOf<C>& self, const char* op, bool async) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Open,
                        [&](C& c) { return cam::CoverClose(op, *c.device, *c.state, async); });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool ResetCover(const HandleOf<C>& self, const char* op) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Open,
                        [&](C& c) { return cam::CoverReset(op, *c.device, *c.state); });
} catch (...) {
    return FailUnexpected(false);
}

// `status` is written only on success.
template <class C>
bool CoverStatus(const HandleOf<C>& self, const char* op, Vyx::ProtectiveCoverStatus& status) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Open, [&](C& c) {
        Vyx::ProtectiveCoverStatus s = Vyx::ProtectiveCoverStatus_Unknown;
        if (!cam::CoverStatus(op, *c.device, *c.state, &s)) return false;
        status = s;
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

// ---------------------------------------------------------------------------
// User sets.

template <class C>
bool SetCurrentUserSet(const HandleOf<C>& self, const char* op, int index) try {
    return RunCamera<C>(op, self, {Self<C>(self), {"index", index}}, Need::Open,
                        [&](C& c) { return cam::SetCurrentUserSet(op, *c.state, index); });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool GetCurrentUserSet(const HandleOf<C>& self, const char* op, int& index) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Open,
                        [&](C& c) { return cam::GetCurrentUserSet(op, *c.state, &index); });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool SetUserSetName(const HandleOf<C>& self, const char* op, int index, const char* name) try {
    // The traced name is bounded: the caller's text may be longer than any
    // name, or not terminated within the name's capacity.
    const std::string shown = name ? Printable(std::string(name, strnlen(name, Vyx::kUserSetNameCapacity)), 80) : "";
    return RunCamera<C>(op, self, {Self<C>(self), {"index", index}, {"name", name ? shown.c_str() : nullptr}},
                        Need::Open, [&](C& c) { return cam::SetUserSetName(op, *c.state, index, name); });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool GetUserSetName(const HandleOf<C>& self, const char* op, int index, char* name) try {
    return RunCamera<C>(op, self, {Self<C>(self), {"index", index}}, Need::Open,
                        [&](C& c) { return cam::GetUserSetName(op, *c.state, index, name); });
} catch (...) {
    return FailUnexpected(false);
}

}  // namespace vyxsim::calls
