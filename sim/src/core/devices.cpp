// Device records: the state a virtual device keeps.
#include "core/devices.h"

namespace vyxsim {

int DeviceRecord::LinkSpeedMbps() const { return port == Vyx::PortType_GIGE ? 1000 : 5000; }

std::string DeviceRecord::ReportedName() {
    std::lock_guard lock(mutex);
    return name_scripted ? scripted_name : name;
}

}  // namespace vyxsim
