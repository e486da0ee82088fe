// The capture options each user set stores, one record per camera type:
// SaveCaptureOptionParameters and LoadCaptureOptionParameters of X1 and X2,
// written once for either camera object type C, and the stored record that
// Capture() and Capture2D() without options use.
//
// Besides what session.h asks of C, these use
//   static Options& StoredIn(UserSet&);   the record of C in a user set
//   bool ValidateStored(const Options&, std::string* why) const;
//                                         the check a stored record passes
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "camera/camera_state.h"
#include "camera/options.h"
#include "camera/session.h"

namespace vyxsim {

// The options stored in the current user set.
template <class C>
typename C::Options StoredOptions(C& c) {
    std::lock_guard<std::mutex> lock(c.state->mutex);
    return C::StoredIn(c.state->settings.user_sets[static_cast<std::size_t>(c.state->settings.current_user_set)]);
}

namespace calls {

// Each catches everything at its boundary and fails with kInternal then.

// Validates `options` and stores it into the current user set.
template <class C>
bool SaveCaptureOptions(const HandleOf<C>& self, const char* op, const typename C::Options& options) try {
    const std::string text = OptionsTrace(options);
    return RunCamera<C>(op, self, {Self<C>(self), {"options", text.c_str()}}, Need::Open, [&](C& c) {
        std::string why;
        if (!c.ValidateStored(options, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
        std::lock_guard<std::mutex> lock(c.state->mutex);
        auto& s = c.state->settings;
        C::StoredIn(s.user_sets[static_cast<std::size_t>(s.current_user_set)]) = options;
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

template <class C>
bool LoadCaptureOptions(const HandleOf<C>& self, const char* op, typename C::Options& options) try {
    return RunCamera<C>(op, self, {Self<C>(self)}, Need::Open, [&options](C& c) {
        options = StoredOptions(c);
        return true;
    });
} catch (...) {
    return FailUnexpected(false);
}

}  // namespace calls

}  // namespace vyxsim
