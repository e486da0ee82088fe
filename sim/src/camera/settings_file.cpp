// Settings files (SaveSettingToFile, LoadSettingFromFile): the JSON form of
// a device's settings, its reader and the files (settings_file.h).
#include "camera/settings_file.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>

#include "camera/options.h"
#include "camera/transform.h"
#include "camera/x2_camera.h"
#include "core/error.h"
#include "core/json_read.h"
#include "data/formats/io.h"

using nlohmann::json;

namespace vyxsim {

namespace {

constexpr const char* kFormat = "vyx-device-settings";
constexpr int kVersion = 1;

json TransformJson(int select, const double* m) {
    return {{"coordinate_select", select}, {"transform", std::vector<double>(m, m + 16)}};
}

struct Bad : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const json& Required(const json& j, const char* key, const std::string& where) {
    auto it = j.find(key);
    if (it == j.end()) throw Bad(where + "." + key + " is missing");
    return *it;
}

double NumberIn(const json& v, const std::string& where, double lo, double hi) {
    if (!v.is_number()) throw Bad(where + " must be a number");
    const double d = v.get<double>();
    if (!(d >= lo && d <= hi)) throw Bad(where + " must lie between " + std::to_string(lo) + " and " + std::to_string(hi));
    return d;
}

template <class Select>
void ReadTransform(const json& j, const std::string& where, int max_select, Select* select, double* m) {
    if (!j.is_object()) throw Bad(where + " must be an object");
    const json& s = Required(j, "coordinate_select", where);
    if (!s.is_number_integer() || s.get<int64_t>() < 0 || s.get<int64_t>() > max_select) {
        throw Bad(where + ".coordinate_select must be an integer 0 .. " + std::to_string(max_select));
    }
    const json& t = Required(j, "transform", where);
    if (!t.is_array() || t.size() != 16) throw Bad(where + ".transform must be an array of 16 numbers");
    double tmp[16];
    for (std::size_t i = 0; i < 16; ++i) {
        if (!t[i].is_number() || !std::isfinite(t[i].get<double>())) {
            throw Bad(where + ".transform[" + std::to_string(i) + "] must be a finite number");
        }
        tmp[i] = t[i].get<double>();
    }
    *select = static_cast<Select>(s.get<int>());
    std::copy(tmp, tmp + 16, m);
}

}  // namespace

json SettingsToJson(const DeviceRecord& device, const DeviceSettings& s, double cover_position) {
    json j;
    j["format"] = kFormat;
    j["version"] = kVersion;
    j["device"] = {{"serial", device.serial}, {"color", device.color}};
    j["bandwidth_percent"] = s.bandwidth;
    j["balance"] = {{"red", s.balance[0]}, {"green", s.balance[1]}, {"blue", s.balance[2]}};
    j["x1_custom_transform"] = TransformJson(s.x1_transform.coordinate_select, s.x1_transform.transform);
    j["x2_custom_transform"] = TransformJson(s.x2_transform.coordinate_select, s.x2_transform.transform);
    j["current_user_set"] = s.current_user_set;
    json sets = json::array();
    for (const UserSet& u : s.user_sets) {
        sets.push_back({{"name", u.name}, {"x1_capture_options", OptionsToJson(u.x1)}, {"x2_capture_options", OptionsToJson(u.x2)}});
    }
    j["user_sets"] = sets;
    if (device.protective_cover) {
        j["protective_cover"] = cover_position >= 1.0 ? "open" : "closed";
    } else {
        j["protective_cover"] = nullptr;
    }
    return j;
}

bool SettingsFromJson(const json& j, const DeviceRecord& device, DeviceSettings* out, double* cover_position,
                      std::string* error) {
    try {
        if (!j.is_object()) throw Bad("the top level must be an object");
        const json& format = Required(j, "format", "settings");
        if (!format.is_string() || format.get<std::string>() != kFormat) {
            throw Bad(std::string("settings.format must be \"") + kFormat + "\"");
        }
        const json& version = Required(j, "version", "settings");
        if (!version.is_number_integer() || version.get<int64_t>() != kVersion) {
            throw Bad("settings.version " + version.dump() + " is not supported (expected " + std::to_string(kVersion) + ")");
        }
        DeviceSettings s;
        s.bandwidth = static_cast<float>(NumberIn(Required(j, "bandwidth_percent", "settings"), "settings.bandwidth_percent",
                                                  kBandwidthMin, kBandwidthMax));
        const json& bal = Required(j, "balance", "settings");
        if (!bal.is_object()) throw Bad("settings.balance must be an object");
        const char* names[3] = {"red", "green", "blue"};
        for (int c = 0; c < 3; ++c) {
            s.balance[static_cast<std::size_t>(c)] = static_cast<float>(
                NumberIn(Required(bal, names[c], "settings.balance"), std::string("settings.balance.") + names[c], kBalanceMin, kBalanceMax));
        }
        ReadTransform(Required(j, "x1_custom_transform", "settings"), "settings.x1_custom_transform", 2,
                      &s.x1_transform.coordinate_select, s.x1_transform.transform);
        ReadTransform(Required(j, "x2_custom_transform", "settings"), "settings.x2_custom_transform", 4,
                      &s.x2_transform.coordinate_select, s.x2_transform.transform);
        // The transformations as their setters check them: a used X1
        // transformation and every X2 one invertible, the extra camera only
        // on a device that has one.
        std::string why;
        if (!cam::TransformMatrixOk(s.x1_transform.transform,
                                    s.x1_transform.coordinate_select != Vyx::X1::CustomTransformOptions::CoordinateSelect_Disabled,
                                    &why)) {
            throw Bad("settings.x1_custom_transform: " + why);
        }
        if (!cam::TransformMatrixOk(s.x2_transform.transform, true, &why)) {
            throw Bad("settings.x2_custom_transform: " + why);
        }
        if (s.x2_transform.coordinate_select == Vyx::X2::CustomTransformOptions::CoordinateSelect_CameraExtra &&
            !device.extra_camera) {
            throw Bad("settings.x2_custom_transform.coordinate_select: the device has no extra camera");
        }
        const json& cur = Required(j, "current_user_set", "settings");
        if (!cur.is_number_integer() || cur.get<int64_t>() < 0 || cur.get<int64_t>() >= Vyx::kUserSetCount) {
            throw Bad("settings.current_user_set must be an integer 0 .. " + std::to_string(Vyx::kUserSetCount - 1));
        }
        s.current_user_set = cur.get<int>();
        const json& sets = Required(j, "user_sets", "settings");
        if (!sets.is_array() || sets.size() != static_cast<std::size_t>(Vyx::kUserSetCount)) {
            throw Bad("settings.user_sets must be an array of " + std::to_string(Vyx::kUserSetCount) + " user sets");
        }
        for (std::size_t i = 0; i < sets.size(); ++i) {
            const std::string where = "settings.user_sets[" + std::to_string(i) + "]";
            const json& u = sets[i];
            if (!u.is_object()) throw Bad(where + " must be an object");
            const json& name = Required(u, "name", where);
            if (!name.is_string()) throw Bad(where + ".name must be a string");
            std::string nm = name.get<std::string>();
            if (nm.size() >= static_cast<std::size_t>(Vyx::kUserSetNameCapacity) || nm.find('\0') != std::string::npos) {
                throw Bad(where + ".name is longer than " + std::to_string(Vyx::kUserSetNameCapacity - 1) + " bytes");
            }
            if (!IsUtf8(nm)) throw Bad(where + ".name is not valid UTF-8");
            UserSet& us = s.user_sets[i];
            us.name = nm;
            if (!OptionsFromJson(Required(u, "x1_capture_options", where), where + ".x1_capture_options", &us.x1, &why)) throw Bad(why);
            if (!ValidateOptions(us.x1, device, device.left, &why)) throw Bad(where + ".x1_capture_options: " + why);
            if (!OptionsFromJson(Required(u, "x2_capture_options", where), where + ".x2_capture_options", &us.x2, &why)) throw Bad(why);
            if (!ValidateX2(us.x2, X2Use::Store, device, &why)) throw Bad(where + ".x2_capture_options: " + why);
        }
        const json& cover = Required(j, "protective_cover", "settings");
        double pos = -1.0;  // no cover position in the file
        if (cover.is_string() && cover.get<std::string>() == "open") {
            pos = 1.0;
        } else if (cover.is_string() && cover.get<std::string>() == "closed") {
            pos = 0.0;
        } else if (!cover.is_null()) {
            throw Bad("settings.protective_cover must be \"open\", \"closed\" or null");
        }
        *out = std::move(s);
        if (cover_position) *cover_position = pos;
        return true;
    } catch (const Bad& b) {
        if (error) *error = b.what();
        return false;
    } catch (const json::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

bool SaveSettingsFile(const char* op, const char* path, DeviceRecord& device) {
    if (!path) return Fail(false, kInvalidArgument, std::string(op) + ": the path is null");
    auto state = StateOf(device);
    json j;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        j = SettingsToJson(device, state->settings, state->cover.PositionAt(state->Now()));
    }
    // Every text the settings hold is checked as UTF-8 when it is set;
    // replacing what is not keeps the dump from throwing all the same.
    const std::string text = j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    std::string why;
    if (!fmt::WriteWholeFile(path, text.data(), text.size(), &why)) {
        return Fail(false, kIoError, std::string(op) + ": cannot write '" + Printable(path) + "': " + why);
    }
    return true;
}

bool LoadSettingsFile(const char* op, const char* path, DeviceRecord& device) {
    if (!path) return Fail(false, kInvalidArgument, std::string(op) + ": the path is null");
    constexpr std::size_t kMaxBytes = 16u << 20;
    std::vector<uint8_t> bytes;
    std::string why;
    switch (fmt::ReadWholeFile(path, kMaxBytes, &bytes, &why)) {
        case fmt::ReadStatus::Ok: break;
        case fmt::ReadStatus::CannotOpen:
            return Fail(false, why == std::strerror(ENOENT) ? kNotFound : kIoError,
                        std::string(op) + ": cannot open '" + Printable(path) + "': " + why);
        case fmt::ReadStatus::TooLarge:
            return Fail(false, kBadFile, std::string(op) + ": '" + Printable(path) + "' is larger than a settings file can be");
        default:
            return Fail(false, kIoError, std::string(op) + ": cannot read '" + Printable(path) + "': " + why);
    }
    const std::string text(bytes.begin(), bytes.end());
    json j;
    try {
        j = jsonread::Parse(text);
    } catch (const jsonread::Problem& p) {
        return Fail(false, kBadFile, std::string(op) + ": '" + Printable(path) + "' is not a settings file: " + p.what());
    }
    DeviceSettings s;
    double cover = -1.0;
    if (!SettingsFromJson(j, device, &s, &cover, &why)) {
        return Fail(false, kBadFile, std::string(op) + ": '" + Printable(path) + "' is not a valid settings file: " + why);
    }
    auto state = StateOf(device);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->settings = std::move(s);
    if (device.protective_cover && cover >= 0.0) state->cover.Set(cover, state->Now());
    return true;
}

}  // namespace vyxsim
