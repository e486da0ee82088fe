// The frame the entry points of both camera handles (X1 and X2) run in: the
// gate (trace, initialised check, injected failures), the handle lookup, the
// session check, the camera's mutex, and the results they hand out.
//
// A camera object type C (X1Obj, X2Obj) provides
//   using Handle = ...;                   the SDK handle that names it
//   static constexpr Kind kKind;          its kind in the handle registry
//   static constexpr const char* kName;   how messages name it ("camera", "X2")
//   static constexpr const char* kTraceArg;  the name its handle is traced by
// and, for the session checks, `device`, `open` and DropSession()
// (cam::SessionReady); for captures and results, `mutex`, `destroyed` (an
// atomic flag Destroy sets before it waits for the mutex), `epoch` (the system
// generation the camera was created in) and `results` (with captured,
// last_was_2d, points_obj, mesh and mesh_obj).
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

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "camera/x2_shared.h"
#include "core/call.h"
#include "core/epoch.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"

namespace vyxsim {

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

}  // namespace vyxsim
