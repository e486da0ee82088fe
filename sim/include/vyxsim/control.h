// Control interface of the stand-in SDK, for tests, demos and CI: the set of
// virtual devices, injected failures, scripted answers, a call trace,
// simulated latency and the model clock. Everything here is safe to call from
// any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vyx/export.h"

namespace vyxsim {

// Back to the built-in default devices (or VYX_SIM_CONFIG when set), shuts the
// system down, and clears injected failures, held calls (letting every
// waiting call go), scripted answers, the trace and latency, and puts the
// clock back in real mode.
VYX_API void Reset();

// Replaces the devices with those of a JSON configuration (a file path, or the
// text itself). Returns false and leaves everything unchanged when the
// configuration is unreadable or invalid; `error` then says why.
VYX_API bool LoadConfigFile(const std::string& path, std::string* error);
VYX_API bool LoadConfigText(const std::string& json, std::string* error);
// Adds one device described as in the configuration's "devices" list.
VYX_API bool AddDevice(const std::string& device_json, std::string* error);
// The built-in default configuration (the devices there are without
// VYX_SIM_CONFIG), as JSON text that LoadConfigText takes and that gives the
// same devices.
VYX_API std::string DefaultConfigText();
// The scene a device sees when its configuration gives none, as scene JSON
// (sim/CAMERA.md): given back as the device's "scene", it renders exactly the
// same. The default scene is laid out from the device's optics, so it is the
// scene of one device: of the configured device `serial`, or, for an empty
// `serial`, of the built-in VX1300001 (whatever is configured now). False,
// with `error` set, when no configured device has that serial number.
VYX_API bool DefaultSceneText(const std::string& serial, std::string* text, std::string* error);
// Gives a configured device another scene from its next capture on, read and
// checked as a configured scene is; a null `scene_json` goes back to the
// configured one. Lasts until Reset or a new configuration. False when no
// configured device has that serial number (`error` left empty), or when the
// text is not a valid scene (`error` says why); nothing changes then.
VYX_API bool SetScene(const std::string& serial, const std::string* scene_json, std::string* error);
// Disconnects or reconnects a device by serial number; false if unknown.
VYX_API bool Unplug(const std::string& serial);
VYX_API bool Replug(const std::string& serial);
// Serial numbers of the configured devices, in order.
VYX_API std::vector<std::string> DeviceSerials();

// Makes the next `count` calls of operation `op` (as named in the trace, e.g.
// "Device::GetNetworkConfig") fail. With `write_outputs` the calls do their
// work and write their outputs before reporting failure; without, they fail
// before touching any output.
VYX_API void FailNext(const std::string& op, int count, bool write_outputs);
// Makes the next `count` calls of `op` throw a C++ exception from inside the
// SDK, right after their trace line (and a hold), before the initialised
// check: std::bad_alloc with `out_of_memory`, otherwise std::runtime_error.
// The entry point catches it at its boundary and fails as it fails otherwise
// (false, an invalid handle, a failure status), with kInternal (15) and the
// message "<op>: internal error: <what>". count <= 0 withdraws.
VYX_API void ThrowNext(const std::string& op, int count, bool out_of_memory);
// Withdraws every injected failure and every injected exception.
VYX_API void ClearFailures();

// Held calls: from now on every call of operation `op` (as named in the
// trace, e.g. "PointMap::Save") waits inside the SDK, at the gate every entry
// point passes first, right after its trace line, until ReleaseCalls(op) or
// Reset. Calls that have waited `limit_ms` milliseconds of real time (the
// steady clock, not the model clock) go on by themselves, so a caller that
// never releases them cannot hang for ever (negative counts as 0). A call
// that goes on continues as if it had just entered: the initialised check
// and injected failures apply then. Holding an op already held only changes
// the limit for calls that begin waiting later.
VYX_API void HoldCalls(const std::string& op, int limit_ms = 60000);
// Withdraws the hold on `op`: later calls go straight through, and the calls
// waiting now go on. Returns how many calls were waiting (0 when `op` was
// not held, or its calls had gone on after their limit).
VYX_API int ReleaseCalls(const std::string& op);
// Number of calls of `op` waiting in the gate now.
VYX_API int HeldCalls(const std::string& op);

// Scripted answers. Each stays in force until Reset or until cleared.
// The next SystemListDevices calls report `count` devices (may exceed the
// caller's capacity, or be negative); `enabled` false restores real listings.
VYX_API void ScriptListingCount(bool enabled, int count);
// GetVersion returns `text`, or null when `is_null`; `enabled` false restores.
VYX_API void ScriptVersion(bool enabled, bool is_null, const std::string& text);
// The next failure of any call (on any thread) reports
// `message` (raw bytes) instead of its own message, once.
VYX_API void ScriptNextErrorMessage(const std::string& message);
// The device's name as GetDeviceInfo reports it (raw bytes, at most 31).
VYX_API bool ScriptDeviceName(const std::string& serial, const std::string& raw_name);

// Call trace: each SDK call as one line `Op(name=value, ...)`.
VYX_API void SetTraceEnabled(bool enabled);
VYX_API std::vector<std::string> TakeTrace();  // returns and clears
VYX_API void ClearTrace();

// Simulated latency added to every capture, in milliseconds (negative counts
// as 0). In real mode a capture waits until the latency in force has passed
// since it began waiting, so lowering the latency ends waits under way; in
// manual mode the capture advances the clock by the latency instead.
VYX_API void SetCaptureLatencyMs(int milliseconds);
VYX_API int CaptureLatencyMs();
// Number of calls now waiting out the latency (real mode only).
VYX_API int CapturesWaiting();

// The clock behind everything that depends on time (device clock, line-scan
// triggers, cover motion, cooling, latency). Real mode (the default) follows
// the steady clock. Manual mode freezes the clock where it stands; it then
// moves only by AdvanceClockUs. The clock never goes backwards, across
// switches either: real mode resumes from where manual mode stood.
VYX_API void SetClockManual(bool manual);
VYX_API bool ClockManual();
// Moves the clock forward by `microseconds`: in manual mode it then stands
// there, in real mode it jumps and keeps running. False (nothing changes) for
// a negative amount, or one that would take the clock past about 146 years.
VYX_API bool AdvanceClockUs(std::int64_t microseconds);
// The clock's reading in microseconds; only differences between readings
// mean anything.
VYX_API std::int64_t ClockNowUs();

// Number of live SDK objects (for leak checks).
VYX_API std::size_t LiveObjects();
// Objects whose handle is gone (destroyed, replaced by a newer capture,
// released by a shut-down or reset) but whose storage a view still holds.
VYX_API std::size_t RetainedObjects();
// Bytes of storage held by every SDK object still alive: the live objects'
// and the retained ones' (not the storage pool kept for reuse).
VYX_API std::size_t StorageBytes();

// Replay devices (configuration entries with a "recording"). Each call names
// the device by serial number and fails (false, `error` saying why, nothing
// changed) when no device has it, it is not a replay device, or an argument
// is out of range.
struct ReplayInfo {
    std::string folder;     // the recording folder
    std::string camera;     // "X1" or "X2": how it opens
    std::string camera_id;  // X1: "Left" or "Right"; empty for X2
    std::int64_t frames = 0;
    std::string at_end;     // "loop", "hold" or "fail"
    bool stepping = false;
    std::int64_t position = 0;    // the index the next capture hands out
    std::int64_t last_frame = -1;  // the index the last capture handed out, -1 before any
};
VYX_API bool GetReplayInfo(const std::string& serial, ReplayInfo* info, std::string* error);
// Moves the cursor: the next capture hands out frame `index` (0 <= index <
// frames).
VYX_API bool ReplaySeek(const std::string& serial, std::int64_t index, std::string* error);
// Stepping mode: captures hand out the frame at the cursor without moving it.
VYX_API bool ReplaySetStepping(const std::string& serial, bool on, std::string* error);
// Moves the cursor `count` (>= 0) frames on, with the device's at_end:
// "loop" wraps, "hold" stops at the last frame, "fail" may go past the end
// (the next capture then fails). `position` receives the new position.
VYX_API bool ReplayStep(const std::string& serial, std::int64_t count, std::int64_t* position, std::string* error);

}  // namespace vyxsim
