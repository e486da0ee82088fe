// Scripted answers set through the control interface and read by the SDK
// calls they change.
#pragma once

#include <string>

namespace vyxsim {

// The count SystemListDevices reports instead of the real one; false when
// listings are real.
bool ScriptedListingCount(int* count);
void SetScriptedListingCount(bool enabled, int count);

// The text GetVersion returns instead of its own (may be null); false when
// no version is scripted. Scripted texts stay valid for the life of the
// process, as the SDK's static text does.
bool ScriptedVersion(const char** text);
void SetScriptedVersion(bool enabled, bool is_null, const std::string& text);

// Clears every scripted answer (listing count, version, next error message).
void ClearScripts();

}  // namespace vyxsim
