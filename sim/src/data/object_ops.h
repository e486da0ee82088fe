// The handle steps every data object (image, map, point map, mesh) takes
// alike: finding the object a handle names, answering a query about it,
// finishing a creation and destroying it.
#pragma once

#include <type_traits>
#include <utility>

#include <memory>
#include <string>
#include <utility>

#include "core/call.h"
#include "core/error.h"
#include "core/handles.h"

namespace vyxsim::data {

// The object of kind `kind` that handle `h` names, or null.
template <class Obj, class H>
std::shared_ptr<Obj> FindOf(Kind kind, const H& h) {
    return Find<Obj>(kind, Vyx::HandleAccess::Get(h));
}

// Records that `op` was given a handle naming no `what` (kInvalidHandle) and
// returns false.
inline bool NoObject(const char* op, const char* what) {
    return Fail(false, kInvalidHandle, std::string(op) + ": the handle names no " + what);
}

// A query that cannot fail on its own: traces `op` with the handle as
// argument `arg`, then answers `read(object)`, or `fallback` when the call is
// refused or the handle names nothing.
template <class Obj, class H, class R, class Read>
R Query(const char* op, const char* arg, Kind kind, const H& h, R fallback, Read read) {
    if (Enter(op, {{arg, Vyx::HandleAccess::Get(h)}}) == Gate::Fail) return fallback;
    const auto obj = FindOf<Obj>(kind, h);
    return obj ? static_cast<R>(read(*obj)) : fallback;
}

// The handle of the object just registered as `w` for `op`: invalid when the
// registration failed (its last error is set); removed again, with the
// injected error, when the call is made to fail after its work.
template <class H>
H Finish(Kind kind, Words w, Gate g, const char* op) {
    if (w.IsZero()) return H();
    if (g == Gate::FailAfterWork) {
        RemoveObject(kind, w);
        return FailInjected(H(), op);
    }
    return Vyx::HandleAccess::Make<H>(w);
}

template <class Obj, class = void>
struct HasRecycleFlag : std::false_type {};
template <class Obj>
struct HasRecycleFlag<Obj, std::void_t<decltype(std::declval<Obj&>().recycle)>> : std::true_type {};

// Destroys the object `w` names (traced as `op(arg=w, no_reuse=...)`). When
// the caller allows reuse and no other thread still holds the object (the
// registry no longer hands it out, so that cannot change), `recycle(object)`
// offers its storage to the pool.
template <class Obj, class Recycle>
void Destroy(const char* op, const char* arg, Kind kind, Words w, bool no_reuse, const char* what,
             Recycle recycle) {
    const Gate g = Enter(op, {{arg, w}, {"no_reuse", no_reuse}});
    if (g == Gate::Fail) return;
    auto obj = std::static_pointer_cast<Obj>(RemoveObject(kind, w));
    if (!obj) {
        NoObject(op, what);
        return;
    }
    if constexpr (HasRecycleFlag<Obj>::value) {
        if (no_reuse) obj->recycle = false;
    }
    if (!no_reuse && obj.use_count() == 1) recycle(*obj);
    if (g == Gate::FailAfterWork) SetInjectedError(op);
}

}  // namespace vyxsim::data
