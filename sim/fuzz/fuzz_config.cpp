// Device configuration reader (LoadConfigText) over arbitrary text. A refused
// text must leave the loaded devices exactly as they were (the same records,
// in the same order) and say why; an accepted one must install one device per
// entry of its "devices" list, with those serial numbers, and retire the
// devices it replaces.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/device_registry.h"
#include "core/devices.h"
#include "fuzz_check.h"
#include "vyxsim/control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::shared_ptr<vyxsim::DeviceRecord>> before = vyxsim::AllDevices();
    const std::vector<std::string> serials_before = vyxsim::DeviceSerials();
    FUZZ_CHECK(serials_before.size() == before.size());

    std::string error;
    if (!vyxsim::LoadConfigText(text, &error)) {
        FUZZ_CHECK(!error.empty());
        const std::vector<std::shared_ptr<vyxsim::DeviceRecord>> after = vyxsim::AllDevices();
        FUZZ_CHECK(after == before);
        FUZZ_CHECK(vyxsim::DeviceSerials() == serials_before);
        for (const auto& d : after) FUZZ_CHECK(!d->retired);
        return 0;
    }

    // What was accepted is JSON with a "devices" list, and the device set is
    // now that list, in order.
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    FUZZ_CHECK(!root.is_discarded() && root.is_object());
    const auto list = root.find("devices");
    FUZZ_CHECK(list != root.end() && list->is_array());
    const std::vector<std::string> serials = vyxsim::DeviceSerials();
    FUZZ_CHECK(serials.size() == list->size());
    for (size_t i = 0; i < serials.size(); ++i) {
        const auto serial = (*list)[i].find("serial");
        FUZZ_CHECK(serial != (*list)[i].end() && serial->is_string());
        FUZZ_CHECK(serials[i] == serial->get<std::string>());
        FUZZ_CHECK(!serials[i].empty() && serials[i].size() <= 31);
        for (size_t k = 0; k < i; ++k) FUZZ_CHECK(serials[k] != serials[i]);
    }
    for (const auto& d : vyxsim::AllDevices()) {
        FUZZ_CHECK(!d->retired);
        for (const auto& old : before) FUZZ_CHECK(d != old);
    }
    for (const auto& old : before) FUZZ_CHECK(old->retired && !old->connected);
    return 0;
}
