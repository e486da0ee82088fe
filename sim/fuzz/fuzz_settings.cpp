// Settings file reader (X1::LoadSettingFromFile) over arbitrary bytes, on an
// open X1 of the built-in colour device. A refused file must report a
// failure (kBadFile: the file is there and readable) and leave the device's
// settings as they were; an accepted one must be in force afterwards, and
// what SaveSettingToFile then writes must load again and save the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "camera/camera_state.h"
#include "camera/settings_file.h"
#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "fuzz_check.h"
#include "vyx/vyx.h"

namespace {

const char kSerial[] = "VX2300002";

// Files in the fuzz build tree, one set per process so that parallel fuzzing
// jobs do not share them. Each is removed once read.
std::string WorkFile(const char* name) {
    return std::string(FUZZ_WORK_DIR) + "/fuzz_settings." + std::to_string(getpid()) + "." + name;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    FUZZ_CHECK(out.good());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What SaveSettingToFile writes now.
std::string Saved(Vyx::X1& camera, const std::string& path) {
    FUZZ_CHECK(camera.SaveSettingToFile(path.c_str()));
    std::string text = ReadFile(path);
    std::remove(path.c_str());
    return text;
}

// The device's settings as a settings file holds them, read from the state
// itself (cheaper than a file, so it can run after every refused input).
nlohmann::json State(vyxsim::DeviceRecord& device) {
    auto state = vyxsim::StateOf(device);
    std::lock_guard<std::mutex> lock(state->mutex);
    return vyxsim::SettingsToJson(device, state->settings, state->cover.PositionAt(state->Now()));
}

struct Setup {
    Vyx::X1 camera;
    std::shared_ptr<vyxsim::DeviceRecord> device;
    std::string input = WorkFile("input.json");
    std::string saved = WorkFile("saved.json");
};

Setup& Get() {
    static Setup setup = [] {
        Setup s;
        FUZZ_CHECK(Vyx::SystemInit());
        Vyx::Device device = Vyx::SystemFindDevice(kSerial);
        FUZZ_CHECK(device.IsValid());
        s.camera = Vyx::X1::Create(device, Vyx::CameraID_Left);
        FUZZ_CHECK(s.camera.Open());
        s.device = vyxsim::FindDeviceBySerial(kSerial);
        FUZZ_CHECK(s.device != nullptr);
        return s;
    }();
    return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup& s = Get();
    const nlohmann::json before = State(*s.device);

    WriteFile(s.input, data, size);
    // Start from a clean error record, so that a refusal that records no
    // failure shows.
    vyxsim::SetLastError(vyxsim::kOk, {});
    const bool loaded = s.camera.LoadSettingFromFile(s.input.c_str());
    std::remove(s.input.c_str());
    if (!loaded) {
        FUZZ_CHECK(Vyx::GetLastError() == vyxsim::kBadFile);
        FUZZ_CHECK(*Vyx::GetLastErrorMessage() != '\0');
        FUZZ_CHECK(State(*s.device) == before);
        return 0;
    }

    // The file's values are in force.
    const nlohmann::json j = nlohmann::json::parse(data, data + size, nullptr, false);
    FUZZ_CHECK(j.is_object());
    int user_set = -1;
    FUZZ_CHECK(s.camera.GetCurrentUserSet(user_set));
    FUZZ_CHECK(user_set == j.at("current_user_set").get<int>());
    float red = 0.0f;
    FUZZ_CHECK(s.camera.GetBalanceRatio(Vyx::BalanceSelector_Red, red));
    FUZZ_CHECK(red == static_cast<float>(j.at("balance").at("red").get<double>()));

    // What the device saves now loads back to the same settings.
    const std::string saved = Saved(s.camera, s.saved);
    FUZZ_CHECK(nlohmann::json::parse(saved, nullptr, false) == State(*s.device));
    WriteFile(s.input, reinterpret_cast<const uint8_t*>(saved.data()), saved.size());
    FUZZ_CHECK(s.camera.LoadSettingFromFile(s.input.c_str()));
    std::remove(s.input.c_str());
    FUZZ_CHECK(Saved(s.camera, s.saved) == saved);
    return 0;
}
