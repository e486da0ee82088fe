// The user sets of a device: which one is current and their names (user_sets.h).
#include "camera/user_sets.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "core/error.h"

namespace vyxsim::cam {

namespace {

bool BadIndex(const char* op, int index) {
    return Fail(false, kInvalidArgument, std::string(op) + ": user set " + std::to_string(index) + " does not exist (0 .. " +
                                             std::to_string(Vyx::kUserSetCount - 1) + ")");
}

}  // namespace

bool SetCurrentUserSet(const char* op, CameraState& s, int index) {
    if (index < 0 || index >= Vyx::kUserSetCount) return BadIndex(op, index);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settings.current_user_set = index;
    return true;
}

bool GetCurrentUserSet(const char* op, CameraState& s, int* index) {
    if (!index) return Fail(false, kInvalidArgument, std::string(op) + ": the output is null");
    std::lock_guard<std::mutex> lock(s.mutex);
    *index = s.settings.current_user_set;
    return true;
}

bool SetUserSetName(const char* op, CameraState& s, int index, const char* name) {
    if (index < 0 || index >= Vyx::kUserSetCount) return BadIndex(op, index);
    if (!name) return Fail(false, kInvalidArgument, std::string(op) + ": the name is null");
    // Reads at most kUserSetNameCapacity bytes of the caller's text.
    const std::size_t len = strnlen(name, static_cast<std::size_t>(Vyx::kUserSetNameCapacity));
    if (len >= static_cast<std::size_t>(Vyx::kUserSetNameCapacity)) {
        return Fail(false, kInvalidArgument,
                    std::string(op) + ": the name is " + std::to_string(Vyx::kUserSetNameCapacity) +
                        " bytes or longer; user set names hold at most " + std::to_string(Vyx::kUserSetNameCapacity - 1) +
                        " bytes");
    }
    // Names are stored and saved as text: bytes that are not UTF-8 would make
    // every later SaveSettingToFile fail.
    if (!IsUtf8(std::string_view(name, len))) {
        return Fail(false, kInvalidArgument, std::string(op) + ": the name '" + Printable(std::string(name, len)) + "' is not valid UTF-8");
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settings.user_sets[static_cast<std::size_t>(index)].name.assign(name, len);
    return true;
}

bool GetUserSetName(const char* op, CameraState& s, int index, char* name) {
    if (index < 0 || index >= Vyx::kUserSetCount) return BadIndex(op, index);
    if (!name) return Fail(false, kInvalidArgument, std::string(op) + ": the name buffer is null");
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::string& n = s.settings.user_sets[static_cast<std::size_t>(index)].name;
    const std::size_t len = std::min(n.size(), static_cast<std::size_t>(Vyx::kUserSetNameCapacity - 1));
    std::memcpy(name, n.data(), len);
    name[len] = '\0';
    return true;
}

}  // namespace vyxsim::cam
