// Optional extension of the Vyx SDK: view pins.
//
// A language binding that hands out views of an object's storage (a NumPy
// array over an image's pixels, say) pins the object while the view exists.
// A pinned object's storage stays allocated and in place, and is never given
// to another object, even when the object is destroyed, its camera captures
// again or the system shuts down: the handle is released at once (it reports
// invalid and names nothing, as usual), and the storage is freed when the
// last pin is released. The SDK never writes into a pinned object's storage
// on its own, except where the caller asks it to fill that very object.
//
// An SDK without this extension simply lacks these symbols: a caller that
// declares them weak (as PyVyx does) finds them null and keeps the ordinary
// rule that storage ends with its object.
//
// Thread-safe; cheap (one handle lookup and one small allocation per pin),
// whatever the size of the storage.
#pragma once

#include "vyx/data.h"
#include "vyx/export.h"

namespace Vyx {

// One pin; opaque to the caller.
struct ViewPin;

// Pins the object the handle names and returns the pin; null when the
// handle names no object (nothing is pinned then). Never touches the last
// error.
VYX_API ViewPin* PinView(const Image& image);
VYX_API ViewPin* PinView(const DepthMap& map);
VYX_API ViewPin* PinView(const ConfidenceMap& map);
VYX_API ViewPin* PinView(const CorrespondMap& map);
VYX_API ViewPin* PinView(const PointMap& map);

// Releases a pin that PinView returned (null is allowed and does nothing).
// The last release of a destroyed object's pins frees its storage.
VYX_API void UnpinView(ViewPin* pin);

}  // namespace Vyx
