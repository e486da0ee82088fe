// The link bandwidth setting of a device and what it carries (bandwidth.h).
#include "camera/bandwidth.h"

#include <string>

#include "core/error.h"

namespace vyxsim::cam {

bool SetBandwidth(const char* op, CameraState& s, float percent) {
    if (!(percent >= kBandwidthMin && percent <= kBandwidthMax)) {
        return Fail(false, kInvalidArgument, std::string(op) + ": bandwidth " + std::to_string(percent) +
                                                 " is outside " + std::to_string(kBandwidthMin) + " .. " +
                                                 std::to_string(kBandwidthMax) + " (percent of the link)");
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settings.bandwidth = percent;
    return true;
}

double LinkBytesPerSecond(DeviceRecord& d, CameraState& s) {
    float pct;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        pct = s.settings.bandwidth;
    }
    int mbps = d.LinkSpeedMbps();
    if (mbps <= 0) mbps = d.port == Vyx::PortType_GIGE ? 1000 : 5000;
    return mbps * 1e6 / 8.0 * pct / 100.0;
}

}  // namespace vyxsim::cam
