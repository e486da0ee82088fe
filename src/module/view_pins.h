// Views that keep the SDK's storage alive, where the SDK can.
//
// An SDK may offer view pins (vyx/view_pins.h): while a pin exists, the
// object's storage stays allocated even after the object is destroyed. The
// module pins the object behind every buffer it hands out and releases the
// pin when the buffer is released, so a NumPy array made from an image or a
// map shows what it showed when it was made for as long as it lives.
//
// The pin functions are declared weak: the module links against and loads
// with an SDK that lacks them, and then views are as they always were, valid
// only while their object is.
//
// How a pin travels: the view function of a class (its def_buffer function,
// which runs inside pybind11's buffer request) pins the object first and then
// reads its description, so the storage described is the storage pinned, even
// when another thread destroys the object meanwhile (the handle then names
// nothing and the description is empty). It leaves the pin in a per-thread
// slot. The class's buffer slots are replaced by wrappers around pybind11's
// own: the request wrapper takes the pin from that slot and ties it to the
// Py_buffer (in `internal`, beside pybind11's record), the release wrapper
// drops it after pybind11 has released its record.
#pragma once

#include <utility>

#include <pybind11/pybind11.h>

#include "vyx/data.h"
#if __has_include("vyx/view_pins.h")
// Where the SDK declares the extension, its declarations and the weak ones
// below must agree: the compiler checks it.
#include "vyx/view_pins.h"
#endif

namespace Vyx {
struct ViewPin;
#define PYVYX_WEAK_SDK __attribute__((weak, visibility("default")))
PYVYX_WEAK_SDK ViewPin* PinView(const Image& image);
PYVYX_WEAK_SDK ViewPin* PinView(const DepthMap& map);
PYVYX_WEAK_SDK ViewPin* PinView(const ConfidenceMap& map);
PYVYX_WEAK_SDK ViewPin* PinView(const CorrespondMap& map);
PYVYX_WEAK_SDK ViewPin* PinView(const PointMap& map);
PYVYX_WEAK_SDK void UnpinView(ViewPin* pin);
#undef PYVYX_WEAK_SDK
}  // namespace Vyx

namespace pyvyx {

namespace py = pybind11;

// Whether the SDK has view pins (all of them, or none is used).
inline bool SdkHasViewPins() {
    using PinImage = Vyx::ViewPin* (*)(const Vyx::Image&);
    using PinDepth = Vyx::ViewPin* (*)(const Vyx::DepthMap&);
    using PinConfidence = Vyx::ViewPin* (*)(const Vyx::ConfidenceMap&);
    using PinCorrespond = Vyx::ViewPin* (*)(const Vyx::CorrespondMap&);
    using PinPoints = Vyx::ViewPin* (*)(const Vyx::PointMap&);
    static const bool has =
        static_cast<PinImage>(&Vyx::PinView) != nullptr && static_cast<PinDepth>(&Vyx::PinView) != nullptr &&
        static_cast<PinConfidence>(&Vyx::PinView) != nullptr &&
        static_cast<PinCorrespond>(&Vyx::PinView) != nullptr &&
        static_cast<PinPoints>(&Vyx::PinView) != nullptr && &Vyx::UnpinView != nullptr;
    return has;
}

// The pin the running view function took, waiting for the request wrapper.
inline Vyx::ViewPin*& PendingViewPin() {
    thread_local Vyx::ViewPin* pin = nullptr;
    return pin;
}

// Runs `describe()` (which returns the buffer description of `handle`'s
// storage) with `handle`'s object pinned; the pin is left for the request
// wrapper when the description has data, and released otherwise.
template <class Handle, class Describe>
py::buffer_info PinnedView(const Handle& handle, Describe describe) {
    if (!SdkHasViewPins()) return describe();
    struct Guard {
        Vyx::ViewPin* pin;
        ~Guard() { Vyx::UnpinView(pin); }
    } guard{Vyx::PinView(handle)};
    py::buffer_info info = describe();
    if (guard.pin != nullptr && info.ptr != nullptr) {
        Vyx::UnpinView(std::exchange(PendingViewPin(), nullptr));  // none is expected here
        PendingViewPin() = std::exchange(guard.pin, nullptr);
    }
    return info;
}

// Replaces the buffer slots of the registered class `cls` (registered with
// py::buffer_protocol() and a view function that uses PinnedView) by the
// pin-carrying wrappers.
void CarryViewPins(py::handle cls);

}  // namespace pyvyx
