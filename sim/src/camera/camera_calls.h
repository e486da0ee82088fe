// Entry points whose work is the same through an X1 and an X2 handle: they
// act on the device (its cover, user sets, settings files, bandwidth,
// projector, region-of-interest rules) whichever handle names it. Each runs
// in the frame of camera_entry.h for the camera object type C, naming `op`
// in its trace line and its errors.
//
// Besides what camera_entry.h asks of C, these use `state` (the device's
// CameraState) and RoiCamera(), the camera whose image the region of
// interest applies to.
//
// Each catches everything at its boundary (the methods the macro below
// defines only forward to them) and fails with kInternal then.
#pragma once

#include <cstring>
#include <string>

#include "camera/camera_entry.h"
#include "camera/camera_state.h"
#include "camera/maintenance.h"
#include "camera/options.h"
#include "core/devices.h"
#include "vyx/types.h"
#include "vyx/x1.h"

namespace vyxsim::calls {

template <class C>
using HandleOf = typename C::Handle;

// The handle alone, as the trace names it.
template <class C>
TraceArg Self(const HandleOf<C>& self) {
    return {C::kTraceArg, Vyx::HandleAccess::Get(self)};
}

// ---------------------------------------------------------------------------
// The handle.

// Whether the handle names a camera; no error when it does not.
template <class C>
bool IsValid(const HandleOf<C>& self, const char* op) try {
    const Gate g = Enter(op, {Self<C>(self)});
    if (g == Gate::Fail) return false;
    const bool valid = FindObject(C::kKind, Vyx::HandleAccess::Get(self)) != nullptr;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return valid;
} catch (...) {
    return FailUnexpected(false);
}

// Whether the session is open; a session of an unplugged device ends here.
template <class C>
bool IsOpen(const HandleOf<C>& self, const char* op) try {
    bool open = false;
    const bool ok = RunCamera<C>(op, self, {Self<C>(self)}, Need::Handle, [&open](C& c) {
        if (!c.device->connected.load()) c.DropSession();
        open = c.open.load();
        return true;
    });
    return ok && open;
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool IsPhysicallyConnected(const HandleOf<C>& self, const char* op) try {
    bool connected = false;
    const bool ok = RunCamera<C>(op, self, {Self<C>(self)}, Need::Handle, [&connected](C& c) {
        connected = c.device->connected.load();
        return true;
    });
    return ok && connected;
} catch (...) {
    return FailUnexpected(false);
}

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

// Defines, for camera class `Cls` (X1 or X2, whose object is vyxsim::ClsObj),
// the methods both classes declare alike and that do the same through
// either handle: each runs its call above under the class's own operation
// name ("X1::CheckRoi"). Used once, inside namespace Vyx, by each class.
#define VYXSIM_DEFINE_DEVICE_CALLS(Cls)                                                                      \
    bool Cls::IsValid() const { return vyxsim::calls::IsValid<vyxsim::Cls##Obj>(*this, #Cls "::IsValid"); } \
    bool Cls::IsOpen() const { return vyxsim::calls::IsOpen<vyxsim::Cls##Obj>(*this, #Cls "::IsOpen"); }    \
    bool Cls::IsPhysicallyConnected() const {                                                                \
        return vyxsim::calls::IsPhysicallyConnected<vyxsim::Cls##Obj>(*this, #Cls "::IsPhysicallyConnected"); \
    }                                                                                                        \
    bool Cls::SetBandwidth(float bandwidth) {                                                                \
        return vyxsim::calls::SetBandwidth<vyxsim::Cls##Obj>(*this, #Cls "::SetBandwidth", bandwidth);       \
    }                                                                                                        \
    bool Cls::GetProjectorTemperature(float& celsius) const {                                                \
        return vyxsim::calls::ProjectorTemperature<vyxsim::Cls##Obj>(*this, #Cls "::GetProjectorTemperature", \
                                                                    celsius);                                \
    }                                                                                                        \
    bool Cls::GetExposureTimeRange(int* min, int* max) const {                                               \
        return vyxsim::calls::WriteRange<vyxsim::Cls##Obj>(*this, #Cls "::GetExposureTimeRange", min, max,   \
                                                           vyxsim::kExposureMin, vyxsim::kExposureMax);      \
    }                                                                                                        \
    bool Cls::GetGainRange(float* min, float* max) const {                                                   \
        return vyxsim::calls::WriteRange<vyxsim::Cls##Obj>(*this, #Cls "::GetGainRange", min, max,           \
                                                           vyxsim::kGainMin, vyxsim::kGainMax);              \
    }                                                                                                        \
    bool Cls::GetGammaRange(float* min, float* max) const {                                                  \
        return vyxsim::calls::WriteRange<vyxsim::Cls##Obj>(*this, #Cls "::GetGammaRange", min, max,          \
                                                           vyxsim::kGammaMin, vyxsim::kGammaMax);            \
    }                                                                                                        \
    bool Cls::LoadSettingFromFile(const char* path) {                                                        \
        return vyxsim::calls::LoadSettings<vyxsim::Cls##Obj>(*this, #Cls "::LoadSettingFromFile", path);     \
    }                                                                                                        \
    bool Cls::SaveSettingToFile(const char* path) const {                                                    \
        return vyxsim::calls::SaveSettings<vyxsim::Cls##Obj>(*this, #Cls "::SaveSettingToFile", path);       \
    }                                                                                                        \
    bool Cls::CheckRoi(ROI roi) const {                                                                      \
        return vyxsim::calls::CheckRoi<vyxsim::Cls##Obj>(*this, #Cls "::CheckRoi", roi);                     \
    }                                                                                                        \
    ROI Cls::AutoAdjustRoi(ROI roi) const {                                                                  \
        return vyxsim::calls::AutoAdjustRoi<vyxsim::Cls##Obj>(*this, #Cls "::AutoAdjustRoi", roi);           \
    }                                                                                                        \
    bool Cls::GetRoiRange(ROIRange& range) const {                                                           \
        return vyxsim::calls::RoiRange<vyxsim::Cls##Obj>(*this, #Cls "::GetRoiRange", range);                \
    }                                                                                                        \
    bool Cls::OpenProtectiveCover() {                                                                        \
        return vyxsim::calls::OpenCover<vyxsim::Cls##Obj>(*this, #Cls "::OpenProtectiveCover", false);       \
    }                                                                                                        \
    bool Cls::CloseProtectiveCover() {                                                                       \
        return vyxsim::calls::CloseCover<vyxsim::Cls##Obj>(*this, #Cls "::CloseProtectiveCover", false);     \
    }                                                                                                        \
    bool Cls::ResetProtectiveCover() {                                                                       \
        return vyxsim::calls::ResetCover<vyxsim::Cls##Obj>(*this, #Cls "::ResetProtectiveCover");            \
    }                                                                                                        \
    bool Cls::OpenProtectiveCoverAsync() {                                                                   \
        return vyxsim::calls::OpenCover<vyxsim::Cls##Obj>(*this, #Cls "::OpenProtectiveCoverAsync", true);   \
    }                                                                                                        \
    bool Cls::CloseProtectiveCoverAsync() {                                                                  \
        return vyxsim::calls::CloseCover<vyxsim::Cls##Obj>(*this, #Cls "::CloseProtectiveCoverAsync", true); \
    }                                                                                                        \
    bool Cls::GetProtectiveCoverStatus(ProtectiveCoverStatus& status) const {                                \
        return vyxsim::calls::CoverStatus<vyxsim::Cls##Obj>(*this, #Cls "::GetProtectiveCoverStatus", status); \
    }                                                                                                        \
    bool Cls::SetCurrentUserSet(const int& index) {                                                          \
        return vyxsim::calls::SetCurrentUserSet<vyxsim::Cls##Obj>(*this, #Cls "::SetCurrentUserSet", index); \
    }                                                                                                        \
    bool Cls::GetCurrentUserSet(int& index) const {                                                          \
        return vyxsim::calls::GetCurrentUserSet<vyxsim::Cls##Obj>(*this, #Cls "::GetCurrentUserSet", index); \
    }                                                                                                        \
    bool Cls::SetUserSetName(const int& index, const char* name) {                                           \
        return vyxsim::calls::SetUserSetName<vyxsim::Cls##Obj>(*this, #Cls "::SetUserSetName", index, name); \
    }                                                                                                        \
    bool Cls::GetUserSetName(const int& index, char* name) const {                                           \
        return vyxsim::calls::GetUserSetName<vyxsim::Cls##Obj>(*this, #Cls "::GetUserSetName", index, name); \
    }
