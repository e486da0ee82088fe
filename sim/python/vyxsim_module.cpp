// The Python control module of the stand-in SDK. Plain values only, so that
// it imports next to PyVyx without registering any type of its own.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "vyxsim/control.h"

namespace py = pybind11;

namespace {

using Release = py::call_guard<py::gil_scoped_release>;

// Runs a loader with the interpreter lock released and raises ValueError
// with its reason when it refuses.
template <class F>
void LoadOrRaise(F&& load) {
    std::string error;
    bool ok;
    {
        py::gil_scoped_release release;
        ok = load(&error);
    }
    if (!ok) throw py::value_error(error);
}

}  // namespace

PYBIND11_MODULE(vyxsim, m) {
    m.doc() = "Control of the stand-in Vyx SDK: virtual devices, injected failures, held calls, "
              "scripted answers, call trace, simulated latency and the model clock.";

    m.def("reset", &vyxsim::Reset, Release(),
          "Shut the SDK down and return to the configured devices (VYX_SIM_CONFIG or the "
          "built-in default); clear failures, held calls (letting them go), scripts, the trace "
          "and latency; the clock back in real mode.");

    m.def(
        "load_config",
        [](const std::string& path) {
            LoadOrRaise([&](std::string* e) { return vyxsim::LoadConfigFile(path, e); });
        },
        py::arg("path"),
        "Replace the devices with those of a JSON configuration file. Raises ValueError "
        "(nothing changes) when the file is unreadable or invalid.");
    m.def(
        "load_config_text",
        [](const std::string& text) {
            LoadOrRaise([&](std::string* e) { return vyxsim::LoadConfigText(text, e); });
        },
        py::arg("text"), "As load_config, with the JSON text itself.");
    m.def(
        "add_device",
        [](const std::string& json_text) {
            LoadOrRaise([&](std::string* e) { return vyxsim::AddDevice(json_text, e); });
        },
        py::arg("json_text"),
        "Add one device, described as an entry of the configuration's \"devices\" list. "
        "Raises ValueError when it is invalid or its serial number is taken.");

    m.def("default_config_json", &vyxsim::DefaultConfigText, Release(),
          "The built-in default configuration as JSON text, as load_config_text takes it.");
    m.def(
        "default_scene_json",
        [](const std::optional<std::string>& serial) {
            std::string text, error;
            bool ok;
            {
                py::gil_scoped_release release;
                ok = vyxsim::DefaultSceneText(serial.value_or(std::string()), &text, &error);
            }
            if (!ok) throw py::value_error("default_scene_json: " + error);
            return text;
        },
        py::arg("serial") = py::none(),
        "The scene a device sees when its configuration gives none, as scene JSON text: of the "
        "configured device `serial`, or of the built-in VX1300001 when None. Raises ValueError "
        "for an unknown serial number.");
    m.def(
        "set_scene",
        [](const std::string& serial, const std::optional<std::string>& json_text) {
            std::string error;
            bool ok;
            {
                py::gil_scoped_release release;
                ok = vyxsim::SetScene(serial, json_text ? &*json_text : nullptr, &error);
            }
            if (!ok && !error.empty()) throw py::value_error(error);
            return ok;
        },
        py::arg("serial"), py::arg("json_text"),
        "Give a device another scene (JSON text) from its next capture on; None goes back to its "
        "configured scene. False when no device has that serial number; ValueError, nothing "
        "changed, when the scene is invalid.");

    m.def("unplug", &vyxsim::Unplug, py::arg("serial"), Release(),
          "Disconnect a device; False when no device has that serial number.");
    m.def("replug", &vyxsim::Replug, py::arg("serial"), Release(),
          "Reconnect a device; False when no device has that serial number.");
    m.def("serials", &vyxsim::DeviceSerials, Release(),
          "Serial numbers of the configured devices (connected or not), in order.");

    m.def("fail_next", &vyxsim::FailNext, py::arg("op"), py::arg("count") = 1,
          py::arg("write_outputs") = false, Release(),
          "Make the next `count` calls of SDK operation `op` (as named in the trace, e.g. "
          "'Device::GetNetworkConfig') fail; with write_outputs they write their outputs first.");
    m.def("throw_next", &vyxsim::ThrowNext, py::arg("op"), py::arg("count") = 1,
          py::arg("out_of_memory") = false, Release(),
          "Make the next `count` calls of SDK operation `op` throw a C++ exception inside the SDK "
          "(std::bad_alloc with out_of_memory, else std::runtime_error); the call catches it and "
          "fails with error 15 (internal error).");
    m.def("clear_failures", &vyxsim::ClearFailures, Release(),
          "Forget every injected failure and every injected exception.");

    m.def("hold_calls", &vyxsim::HoldCalls, py::arg("op"), py::arg("limit_ms") = 60000, Release(),
          "Make every later call of SDK operation `op` (as named in the trace, e.g. "
          "'PointMap::Save') wait inside the SDK until release_calls(op) or reset(); a call "
          "goes on by itself after waiting limit_ms milliseconds of real time.");
    m.def("release_calls", &vyxsim::ReleaseCalls, py::arg("op"), Release(),
          "Stop holding calls of `op` and let the waiting ones go on; returns how many were "
          "waiting.");
    m.def("held_calls", &vyxsim::HeldCalls, py::arg("op"), Release(),
          "Number of calls of `op` waiting inside the SDK now.");

    m.def(
        "script_listing_count",
        [](std::optional<int> count) { vyxsim::ScriptListingCount(count.has_value(), count.value_or(0)); },
        py::arg("count"), Release(),
        "SystemListDevices reports `count` devices from now on; None restores real listings.");
    m.def(
        "script_version",
        [](std::optional<std::string> text) {
            vyxsim::ScriptVersion(true, !text.has_value(), text.value_or(std::string()));
        },
        py::arg("text"), "GetVersion returns `text` (None: a null pointer) until cleared.");
    m.def(
        "clear_version_script", [] { vyxsim::ScriptVersion(false, false, std::string()); },
        "GetVersion returns the SDK's own text again.");
    m.def(
        "script_next_error_message",
        [](const std::variant<py::bytes, std::string>& text) {
            std::string raw = std::holds_alternative<py::bytes>(text)
                                  ? std::string(std::get<py::bytes>(text))
                                  : std::get<std::string>(text);
            py::gil_scoped_release release;
            vyxsim::ScriptNextErrorMessage(raw);
        },
        py::arg("text"),
        "The next failing SDK call (on any thread) reports this message (str, or raw bytes) "
        "instead of its own, once.");
    m.def(
        "script_device_name",
        [](const std::string& serial, const py::bytes& name) {
            std::string raw = name;
            py::gil_scoped_release release;
            return vyxsim::ScriptDeviceName(serial, raw);
        },
        py::arg("serial"), py::arg("name"),
        "The name GetDeviceInfo reports for the device: raw bytes, at most 31. False when the "
        "serial number is unknown or the name too long.");

    m.def("trace_enable", &vyxsim::SetTraceEnabled, py::arg("on") = true, Release(),
          "Record SDK calls in the trace (off after reset).");
    m.def("trace", &vyxsim::TakeTrace, Release(),
          "The recorded calls, one 'Op(name=value, ...)' text each; clears the trace.");
    m.def("trace_clear", &vyxsim::ClearTrace, Release(), "Forget the recorded calls.");

    m.def("set_capture_latency_ms", &vyxsim::SetCaptureLatencyMs, py::arg("ms"), Release(),
          "Add this many milliseconds to every capture: waited for in real mode (lowering it ends "
          "waits under way), added to the clock in manual mode.");
    m.def("captures_waiting", &vyxsim::CapturesWaiting, Release(),
          "Number of calls now waiting out the capture latency (real mode).");

    m.def("clock_manual", &vyxsim::SetClockManual, py::arg("on") = true, Release(),
          "Manual mode (on) freezes the stand-in's clock where it stands; it then moves only by "
          "clock_advance_us. Off: real time again, from where the clock stood.");
    m.def("clock_is_manual", &vyxsim::ClockManual, Release(), "Whether the clock is in manual mode.");
    m.def(
        "clock_advance_us",
        [](std::int64_t us) {
            bool ok;
            {
                py::gil_scoped_release release;
                ok = vyxsim::AdvanceClockUs(us);
            }
            if (!ok) throw py::value_error("clock_advance_us: " + std::to_string(us) +
                                           " is negative or would take the clock past about 146 years");
        },
        py::arg("us"),
        "Move the clock forward by this many microseconds (it keeps running in real mode). "
        "Raises ValueError, nothing changed, for a negative or too large amount.");
    m.def("clock_now_us", &vyxsim::ClockNowUs, Release(),
          "The clock's reading in microseconds; only differences between readings mean anything.");
    m.def("live_objects", &vyxsim::LiveObjects, Release(),
          "Number of live SDK objects (devices, cameras, images, maps, meshes).");
    m.def("retained_objects", &vyxsim::RetainedObjects, Release(),
          "Number of SDK objects whose handle is gone but whose storage a view still keeps.");
    m.def(
        "replay_info",
        [](const std::string& serial) {
            vyxsim::ReplayInfo info;
            std::string error;
            bool ok;
            {
                py::gil_scoped_release release;
                ok = vyxsim::GetReplayInfo(serial, &info, &error);
            }
            if (!ok) throw py::value_error(error);
            py::dict d;
            d["folder"] = info.folder;
            d["camera"] = info.camera;
            d["camera_id"] = info.camera_id.empty() ? py::object(py::none()) : py::object(py::str(info.camera_id));
            d["frames"] = info.frames;
            d["at_end"] = info.at_end;
            d["stepping"] = info.stepping;
            d["position"] = info.position;
            d["last_frame"] = info.last_frame;
            return d;
        },
        py::arg("serial"), "The state of a replay device as a dict.");
    m.def(
        "replay_position",
        [](const std::string& serial) {
            vyxsim::ReplayInfo info;
            LoadOrRaise([&](std::string* e) { return vyxsim::GetReplayInfo(serial, &info, e); });
            return info.position;
        },
        py::arg("serial"), "The index the next capture of a replay device hands out.");
    m.def(
        "replay_frame",
        [](const std::string& serial) {
            vyxsim::ReplayInfo info;
            LoadOrRaise([&](std::string* e) { return vyxsim::GetReplayInfo(serial, &info, e); });
            return info.last_frame;
        },
        py::arg("serial"), "The index the last capture of a replay device handed out, -1 before any.");
    m.def(
        "replay_seek",
        [](const std::string& serial, std::int64_t index) {
            LoadOrRaise([&](std::string* e) { return vyxsim::ReplaySeek(serial, index, e); });
        },
        py::arg("serial"), py::arg("index"), "Make the next capture of a replay device hand out frame `index`.");
    m.def(
        "replay_stepping",
        [](const std::string& serial, bool on) {
            LoadOrRaise([&](std::string* e) { return vyxsim::ReplaySetStepping(serial, on, e); });
        },
        py::arg("serial"), py::arg("on") = true, "Stepping mode: captures do not move the cursor.");
    m.def(
        "replay_step",
        [](const std::string& serial, std::int64_t count) {
            std::int64_t position = 0;
            LoadOrRaise([&](std::string* e) { return vyxsim::ReplayStep(serial, count, &position, e); });
            return position;
        },
        py::arg("serial"), py::arg("count") = 1, "Move a replay device's cursor on; returns the new position.");
    m.def("storage_bytes", &vyxsim::StorageBytes, Release(),
          "Bytes of storage held by the live and the retained SDK objects.");
}
