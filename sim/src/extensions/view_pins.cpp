// View pins: a pin holds a reference to the object its handle named, so the
// object (and its storage) outlives the release of the handle for as long as
// a caller's view of that storage exists. The registry's own reference goes
// at Destroy, at the next capture of a camera's results, at shut-down or
// reset, exactly as without pins; only the storage's end waits for the pins.
// Storage that is shared with a pin is never recycled into the storage pool
// (Destroy recycles only what nothing else holds), so it is never handed to
// another object.
//
// This file is the only place the extension's symbols are defined; a build
// of the library without it is a library without the extension.
#include "vyx/view_pins.h"

#include <memory>
#include <new>

#include "core/handles.h"

namespace Vyx {

struct ViewPin {
    std::shared_ptr<vyxsim::Object> object;
};

namespace {

// The PinView calls. Like every entry point they let no exception out, but
// they never touch the last error: a failure to pin (the registry's lookup
// throwing, say) is reported as no pin at all.
template <class H>
ViewPin* Pin(vyxsim::Kind kind, const H& handle) noexcept try {
    std::shared_ptr<vyxsim::Object> object = vyxsim::FindObject(kind, HandleAccess::Get(handle));
    if (!object) return nullptr;
    return new (std::nothrow) ViewPin{std::move(object)};
} catch (...) {
    return nullptr;
}

}  // namespace

ViewPin* PinView(const Image& image) { return Pin(vyxsim::Kind::Image, image); }
ViewPin* PinView(const DepthMap& map) { return Pin(vyxsim::Kind::DepthMap, map); }
ViewPin* PinView(const ConfidenceMap& map) { return Pin(vyxsim::Kind::ConfidenceMap, map); }
ViewPin* PinView(const CorrespondMap& map) { return Pin(vyxsim::Kind::CorrespondMap, map); }
ViewPin* PinView(const PointMap& map) { return Pin(vyxsim::Kind::PointMap, map); }

// Releasing the last reference runs only destructors, which do not throw.
void UnpinView(ViewPin* pin) { delete pin; }

}  // namespace Vyx
