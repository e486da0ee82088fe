// The session and device layer of the camera handles (X1 and X2): the camera
// object every handle names (CameraSession), device acquisition (one session
// per device), the session checks, the frame an entry point runs in (the
// gate, the handle lookup, the session check), the checks that a call may
// still report what it made, the lifetime of capture results, and the
// lifecycle calls (Create, Destroy, Open, Close, IsValid, IsOpen,
// IsPhysicallyConnected) written once for either camera type.
//
// A camera object type C (X1Obj, X2Obj) derives from CameraSession and
// provides
//   using Handle = ...;                   the SDK handle that names it
//   using Options = ...;                  its capture-options record
//   static constexpr Kind kKind;          its kind in the handle registry
//   static constexpr const char* kName;   how messages name it ("camera", "X2")
//   static constexpr const char* kTraceArg;  the name its handle is traced by
//   static constexpr const char* kUse;    how Create names the use ("an X1")
//   static bool Supports(const DeviceRecord&);  whether a device serves as one
//   bool TakeDevice(const char* op);      takes the device for its session
//   void CloseSession();                  ends its session (Close)
//   void ReleaseCaptures();               releases its results (Destroy;
//                                         the caller holds its mutex)
// and, for captures and results, `results` (with captured, last_was_2d,
// points_obj, mesh and mesh_obj).
//
// Calls racing with SystemShutdown, vyxsim reset or unplug, or Destroy of the
// camera: a call that registers objects or stores results checks, after it
// has registered them and before it stores them or reports success, that the
// camera is still current (StillCurrent). If it is not, the call removes what
// it registered and fails: kNotInitialized after a shutdown, kDisconnected
// after an unplug, kInvalidHandle after Destroy. Nothing waits for calls in
// progress; a capture waiting out its latency stops waiting at once
// (Interrupted).
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "camera/camera_state.h"
#include "core/call.h"
#include "core/clock.h"
#include "core/devices.h"
#include "core/device_registry.h"
#include "core/epoch.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "vyx/types.h"

namespace vyxsim {

namespace cam {

// "device 'SERIAL'" for messages.
std::string DeviceText(const DeviceRecord& device);

// Device sessions: a device is open through one X1 or X2 handle at a time.
// Each X1 handle takes an id from NewSessionId (X2 handles count their own,
// see x2_camera.cpp).
uint64_t NewSessionId();
// Takes the device for `owner`: fails (naming `op`) when it is unplugged or
// retired (kDisconnected), its firmware does not match (kFirmwareMismatch) or
// another handle has it open (kWrongState). Taking it again is harmless.
// `taken` (optional) is set true when this call took the device, so that a
// new session starts (its clock at zero).
bool AcquireDevice(const char* op, const DeviceRecord& device, CameraState& state, uint64_t owner,
                   bool* taken = nullptr);
// Gives the device up if `owner` has it.
void ReleaseDevice(CameraState& state, uint64_t owner);
// The kDisconnected failure for a device that is no longer connected.
bool DisconnectedError(const char* op, const DeviceRecord& device);

// Fails with kWrongState saying why a result (`what`) is missing.
bool NoResultYet(const char* op, bool captured, bool last_was_2d, const std::string& what);

// The mesh GetMesh hands out for a point map: triangles between neighbouring
// points, none with an edge longer than ten times the median distance
// between horizontal neighbours (at least 2 mm), so that depth edges are not
// bridged. Null with the last error set when the builder fails.
std::shared_ptr<MeshObj> MeshOfPointMap(const PointMapObj& points);

}  // namespace cam

// What every camera object holds of its session. Its mutex serialises the
// captures of that handle and guards their results; no lock of wider reach
// is held while it renders. Device-wide state (settings, cover, user sets,
// who has the device open, the device clock) lives in the device's
// CameraState, shared with the other handles of the same device.
struct CameraSession : Object {
    explicit CameraSession(uint64_t session_id) : id(session_id) {}
    // Only the device state is touched here, never the registry: the
    // registry may be releasing this object.
    ~CameraSession() override {
        if (state) cam::ReleaseDevice(*state, id);
    }

    const uint64_t id;
    std::shared_ptr<DeviceRecord> device;
    std::shared_ptr<CameraState> state;
    std::atomic<bool> open{false};
    uint64_t epoch = 0;  // the system generation the camera was created in
    // Set by Destroy before it waits for the mutex, so that a capture in
    // progress fails instead of storing results.
    std::atomic<bool> destroyed{false};
    std::mutex mutex;  // captures and the results of the derived type

    // Gives up the device (if this handle holds it).
    void DropSession() {
        open.store(false);
        cam::ReleaseDevice(*state, id);
    }
};

namespace cam {

// Session checks. Connected: else the session is dropped and kDisconnected
// set. Ready: connected and open, else kNotOpen naming `what` ("camera",
// "X2").
inline bool SessionConnected(CameraSession& c, const char* op) {
    if (c.device->connected.load()) return true;
    c.DropSession();
    return DisconnectedError(op, *c.device);
}

inline bool SessionReady(CameraSession& c, const char* op, const char* what) {
    if (!SessionConnected(c, op)) return false;
    if (c.open.load()) return true;
    return Fail(false, kNotOpen, std::string(op) + ": the " + what + " of " + DeviceText(*c.device) + " is not open");
}

}  // namespace cam

template <class C>
using HandleOf = typename C::Handle;

// The handle alone, as the trace names it.
template <class C>
TraceArg Self(const HandleOf<C>& self) {
    return {C::kTraceArg, Vyx::HandleAccess::Get(self)};
}

// What an entry point needs before its work runs.
enum class Need {
    Handle,  // a live handle
    Open,    // an open camera of a connected device
};

// The camera a handle names; null with the last error set.
template <class C>
std::shared_ptr<C> LookupCamera(const typename C::Handle& handle, const char* op) {
    auto c = Find<C>(C::kKind, Vyx::HandleAccess::Get(handle));
    if (!c) {
        Fail(0, kInvalidHandle,
             std::string(op) + ": the " + C::kName + " handle names no camera (never created, or destroyed)");
    }
    return c;
}

// Connected and open (cam::SessionReady).
template <class C>
bool CameraReady(C& c, const char* op) {
    return cam::SessionReady(c, op, C::kName);
}

// The frame of an entry point: the gate, the handle, the session, then
// `work(c)`, which returns false with the last error set when it fails. An
// injected failure after the work reports failure once the work has written
// its outputs.
template <class C, class Work>
bool RunCamera(const char* op, const typename C::Handle& self, std::initializer_list<TraceArg> args, Need need,
               Work&& work) {
    const Gate g = Enter(op, args);
    if (g == Gate::Fail) return false;
    auto c = LookupCamera<C>(self, op);
    if (!c) return false;
    if (need == Need::Open && !CameraReady(*c, op)) return false;
    if (!work(*c)) return false;
    if (g == Gate::FailAfterWork) return FailInjected(false, op);
    return true;
}

// RunCamera for the calls that hand out a handle: `work(c, &words)`.
template <class H, class C, class Work>
H RunCameraHandle(const char* op, const typename C::Handle& self, std::initializer_list<TraceArg> args, Need need,
                  Work&& work) {
    Words w;
    const bool ok = RunCamera<C>(op, self, args, need, [&](C& c) { return work(c, &w); });
    return ok ? Vyx::HandleAccess::Make<H>(w) : H();
}

// Whether a call on `c` may still report what it made: the system has not
// been shut down since the camera was created, the camera has not been
// destroyed and (with `need_device`) its device is still connected.
// Otherwise sets the error that says which and returns false.
template <class C>
bool StillCurrent(C& c, const char* op, bool need_device = true) {
    if (!SameEpoch(op, c.epoch)) return false;
    if (c.destroyed.load()) return Fail(false, kInvalidHandle, std::string(op) + ": the " + C::kName + " was destroyed");
    if (need_device && !cam::SessionConnected(c, op)) return false;
    return true;
}

// True once a capture on `c` cannot succeed any more (see StillCurrent):
// ends its latency wait early. Reads flags only.
template <class C>
bool Interrupted(const C& c) {
    return SystemEpoch() != c.epoch || c.destroyed.load() || !c.device->connected.load();
}

// Runs `work` under the camera's mutex, once the camera is known not to be
// destroyed.
template <class C, class Work>
bool Locked(C& c, const char* op, Work&& work) {
    std::lock_guard<std::mutex> lock(c.mutex);
    if (c.destroyed) return Fail(false, kInvalidHandle, std::string(op) + ": the " + C::kName + " was destroyed");
    return work();
}

// ---------------------------------------------------------------------------
// Results and their lifetime.

// Registers (again, if the caller destroyed it) a result object.
template <class O>
Words ResultHandle(Kind kind, Words* words, const std::shared_ptr<O>& obj) {
    if (!words->IsZero() && FindObject(kind, *words) == obj) return *words;
    *words = RegisterObject(kind, obj);
    return *words;
}

// Hands out the result `obj` of the last capture under `words`, or fails
// saying why there is none (`what`). The caller holds the camera's mutex.
template <class R, class O>
bool HandOutResult(const char* op, R& results, Kind kind, Words R::*words, std::shared_ptr<O> R::*obj,
                   const char* what, Words* out) {
    if (!(results.*obj)) return cam::NoResultYet(op, results.captured, results.last_was_2d, what);
    *out = ResultHandle(kind, &(results.*words), results.*obj);
    return !out->IsZero();
}

// Runs `hand_out(out)`, which registers a result handle of kind `kind` in
// `*out`, and keeps the handle only while the camera is current (the device
// may be unplugged: results already made are still handed out). The caller
// holds the camera's mutex.
template <class C, class HandOut>
bool HandOutCurrent(C& c, const char* op, Kind kind, Words* out, HandOut&& hand_out) {
    if (!hand_out(out)) return false;
    if (StillCurrent(c, op, false)) return true;
    RemoveObject(kind, *out);
    *out = Words{};
    return false;
}

// Hands out the mesh of the last capture's point map, building it on first
// use. The caller holds the camera's mutex.
template <class R>
bool HandOutMesh(const char* op, R& results, Words* out) {
    if (!results.points_obj) {
        return cam::NoResultYet(op, results.captured, results.last_was_2d, "point map to build a mesh from");
    }
    if (!results.mesh_obj) {
        results.mesh_obj = cam::MeshOfPointMap(*results.points_obj);
        if (!results.mesh_obj) return false;  // the builder has set the last error
    }
    *out = ResultHandle(Kind::Mesh, &results.mesh, results.mesh_obj);
    return !out->IsZero();
}

// ---------------------------------------------------------------------------
// Lifecycle. Each catches everything at its boundary and fails with
// kInternal then; the X1 and X2 entry points only forward to them.

// Creates a camera of type C on `device`, traced with `args`. `check(op)`
// checks the arguments beyond the device (after the device handle, before
// its support); `fill(obj)` sets what C adds to the session, once `device`,
// `state` and `epoch` are set.
template <class C, class Check, class Fill>
HandleOf<C> CreateCamera(const char* op, const Vyx::Device& device, std::initializer_list<TraceArg> args,
                         Check&& check, Fill&& fill) try {
    using H = HandleOf<C>;
    const Gate g = Enter(op, args);
    if (g == Gate::Fail) return H();
    uint64_t epoch = 0;
    if (!CallEpoch(op, &epoch)) return H();
    auto rec = DeviceFromHandle(Vyx::HandleAccess::Get(device), op);
    if (!rec) return H();
    if (!check(op)) return H();
    if (!C::Supports(*rec)) {
        return Fail(H(), kUnsupported, std::string(op) + ": " + cam::DeviceText(*rec) + " cannot be used as " + C::kUse);
    }
    if (!rec->connected.load()) {
        return Fail(H(), kDisconnected, std::string(op) + ": " + cam::DeviceText(*rec) + " is disconnected");
    }
    auto obj = std::make_shared<C>();
    obj->device = rec;
    obj->state = StateOf(*rec);
    obj->epoch = epoch;
    fill(*obj);
    const Words w = RegisterObject(C::kKind, obj);
    if (w.IsZero()) return H();
    if (!SameEpoch(op, epoch)) {  // a shutdown came in between
        RemoveObject(C::kKind, w);
        return H();
    }
    if (g == Gate::FailAfterWork) {
        RemoveObject(C::kKind, w);
        return FailInjected(H(), op);
    }
    return Vyx::HandleAccess::Make<H>(w);
} catch (...) {
    return FailUnexpected(HandleOf<C>());
}

// Destroys the camera `camera` names and clears the handle.
template <class C>
void DestroyCamera(const char* op, HandleOf<C>& camera) try {
    const Gate g = Enter(op, {Self<C>(camera)});
    if (g == Gate::Fail) return;
    auto obj = std::static_pointer_cast<C>(RemoveObject(C::kKind, Vyx::HandleAccess::Get(camera)));
    Vyx::HandleAccess::Set(camera, Words{});
    if (!obj) {
        SetLastError(kInvalidHandle, std::string(op) + ": the " + C::kName + " handle names no camera");
        return;
    }
    // A capture in progress stops waiting out its latency and fails; the
    // mutex then waits only for the rest of it.
    obj->destroyed.store(true);
    WakeLatencyWaiters();
    {
        std::lock_guard<std::mutex> lock(obj->mutex);
        obj->ReleaseCaptures();
    }
    obj->DropSession();
    if (g == Gate::FailAfterWork) FailInjected(0, op);
} catch (...) {
    FailUnexpected();
}

template <class C>
bool OpenCamera(const HandleOf<C>& self, const char* op) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Handle, [op](C& c) {
        if (!cam::SessionConnected(c, op)) return false;
        if (!c.TakeDevice(op)) return false;
        c.open.store(true);
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
void CloseCamera(const HandleOf<C>& self, const char* op) try {
    RunCamera<C>(op, self, {Self<C>(self)}, Need::Handle, [](C& c) {
        c.CloseSession();
        return true;
    });
} catch (...) {
    FailUnexpected();
}

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

}  // namespace vyxsim
